// mobrel file_A file_B file_C: C = A * B at 30 significant digits.
#include "mobrel/messages.h"
#include "mobrel/product.h"

#include <cstdio>
#include <vector>

namespace mobrel {

using pipeline::DGT_MAX;

// C = A * B into doubles. Each element is a sum over k in increasing order
// of products cut to 30 digits, the running sum cut at every step, turned
// into a double once. A row of C is built with one accumulator per column
// and k outside j, so that B is read row by row; every element still adds
// its products in the order k = 1, 2, ... Returns false when an element is
// beyond the range of a double.
bool multiply(const pipeline::XMatrix& a, const pipeline::XMatrix& b, const pipeline::DMatrix& c) {
    const int n = a.rows(), inner = a.cols(), m = b.cols();
    std::vector<x_num> acc(static_cast<std::size_t>(m) + 1);
    x_num prod;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= m; ++j) xinit(&acc[j], 0);
        for (int k = 1; k <= inner; ++k) {
            const x_num* aik = &a[i][k];
            const x_num* bk = b[k];
            for (int j = 1; j <= m; ++j) {
                x_mult_(aik, &bk[j], &prod, DGT_MAX);
                x_add_(&acc[j], &prod, &acc[j], DGT_MAX);
            }
        }
        for (int j = 1; j <= m; ++j)
            if (!pipeline::to_double(acc[j], &c[i][j], "C", i, j)) return false;
    }
    return true;
}

int run(int argc, char** argv) {
    if (argc < 4) {
        std::fputs(USAGE, stdout);
        return 1;
    }
    const char *file_a = argv[1], *file_b = argv[2], *file_c = argv[3];
    pipeline::Loader loader;
    auto mat_a = loader.load(file_a);
    if (!mat_a) return 1;
    auto mat_b = loader.load(file_b);
    if (!mat_b) return 1;
    if (mat_a->cols() != mat_b->rows()) {
        std::printf(MSG_DIMENSION, mat_a->rows(), mat_a->cols(), mat_b->rows(), mat_b->cols());
        return 1;
    }

    const pipeline::XMatrix xa = pipeline::to_x(*mat_a, DGT_MAX);
    const pipeline::XMatrix xb = pipeline::to_x(*mat_b, DGT_MAX);
    const pipeline::DMatrix mat_c(mat_a->rows(), mat_b->cols());
    if (!multiply(xa, xb, mat_c) || !pipeline::write(file_c, mat_c)) return 1;
    std::printf(MSG_DONE, file_a, file_b, file_c);
    return 0;
}

} // namespace mobrel
