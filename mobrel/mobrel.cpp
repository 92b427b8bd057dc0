// mobrel file_A file_B file_C: C = A * B at 30 significant digits.
#include "mobrel/messages.h"
#include "mobrel/product.h"

#include <cstdio>

namespace mobrel {

using pipeline::DGT_MAX;

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
    std::printf(MSG_DONE, escaped(file_a).c_str(), escaped(file_b).c_str(),
                escaped(file_c).c_str());
    return 0;
}

} // namespace mobrel
