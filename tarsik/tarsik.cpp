// tarsik file_A file_B file_X: solves A X = B for a tridiagonal A given in
// band form, at 30 significant digits, and reports the determinant.
#include "tarsik/tarsik.h"
#include "tarsik/messages.h"
#include "tarsik/xtarsik.h"

#include "pipeline/pipeline.h"

#include <cstdio>

namespace tarsik {

using pipeline::DGT_MAX;

int run(int argc, char** argv) {
    const pipeline::Stopwatch clock;
    if (argc < 4) {
        std::fputs(USAGE, stdout);
        return 1;
    }
    const char *file_a = argv[1], *file_b = argv[2], *file_x = argv[3];
    pipeline::Loader loader;
    const auto mat_a = loader.load(file_a);
    if (!mat_a) return 1;
    const int na = mat_a->rows(), ma = mat_a->cols();
    if (ma != 3) {
        std::printf(MSG_DIMENSION_A, na, ma);
        return 1;
    }
    const auto mat_b = loader.load(file_b);
    if (!mat_b) return 1;
    const int nb = mat_b->rows(), mb = mat_b->cols();
    if (nb != na) {
        std::printf(MSG_DIMENSION_AB, na, ma, nb, mb);
        return 1;
    }

    const pipeline::XMatrix xa = pipeline::to_x(*mat_a, DGT_MAX);
    const pipeline::XMatrix xb = pipeline::to_x(*mat_b, DGT_MAX);
    x_num xdet;
    if (xtarsik(xa.get(), na, xb.get(), mb, &xdet, DGT_MAX) == 0) {
        std::fputs(pipeline::MSG_SINGULAR, stdout);
        return 1;
    }
    // B's double matrix takes X on its way to the file
    if (!pipeline::to_doubles(xb, *mat_b, "X") || !pipeline::write(file_x, *mat_b)) return 1;
    std::printf(MSG_SOLVED, nb, mb);
    std::printf(pipeline::MSG_DETERMINANT, pipeline::format_det(xdet).c_str());
    pipeline::print_timing(clock, file_x);
    return 0;
}

} // namespace tarsik
