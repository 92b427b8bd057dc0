// tarsik [OPTION]... file_A file_B file_X: solves A X = B for a tridiagonal
// A given in band form, at 30 significant digits or the precision --digits
// asks for, and reports the determinant.
#include "tarsik/tarsik.h"
#include "tarsik/messages.h"
#include "tarsik/xtarsik.h"

#include "pipeline/check.h"
#include "pipeline/command.h"

#include <cstdio>

namespace tarsik {

int run(int argc, char** argv) {
    const pipeline::Stopwatch clock;
    static const char* const usage[] = {USAGE};
    const pipeline::Program program{"tarsik", usage, 3, HELP_DIGITS, EXAMPLES};
    pipeline::Command cmd;
    if (const auto status = pipeline::read_command(argc, argv, program, &cmd)) return *status;
    const char *file_a = cmd.operands[0], *file_b = cmd.operands[1], *file_x = cmd.operands[2];
    const char* const inputs[] = {file_a, file_b};
    if (!pipeline::settle(&cmd, pipeline::DIGITS_QUOTIENTS_MAX, inputs, file_x)) return 1;

    pipeline::Loader loader;
    const auto a = loader.table(file_a, cmd.exact);
    if (!a) return 1;
    const int na = a->rows(), ma = a->cols();
    if (ma != 3) {
        pipeline::say(MSG_DIMENSION_A, na, ma);
        return 1;
    }
    const auto b = loader.table(file_b, cmd.exact);
    if (!b) return 1;
    const int nb = b->rows(), mb = b->cols();
    if (nb != na) {
        pipeline::say(MSG_DIMENSION_AB, na, ma, nb, mb);
        return 1;
    }

    const pipeline::Job job = [&](int digits) -> std::optional<pipeline::Outcome> {
        const pipeline::XMatrix xa = pipeline::to_x(a->values, digits, a->exact());
        const pipeline::XMatrix xb = pipeline::to_x(b->values, digits, b->exact());
        x_num xdet;
        int lost = 0;
        if (xtarsik(xa.get(), na, xb.get(), mb, &xdet, &lost, digits) == 0) {
            std::fputs(pipeline::MSG_SINGULAR, pipeline::console());
            return std::nullopt;
        }
        pipeline::Outcome x{pipeline::DMatrix(nb, mb), "X", {pipeline::printed_det(xdet, digits)}};
        x.lost = lost;
        x.working = digits;
        if (!pipeline::to_doubles(xb, x.table, "X", digits)) return std::nullopt;
        return x;
    };
    const auto x = job(cmd.digits);
    if (!x || !pipeline::write(file_x, x->table)) return 1;
    const pipeline::Printed& det = x->report[0];
    pipeline::say(MSG_SOLVED, nb, mb);
    pipeline::say(pipeline::MSG_DETERMINANT, det.text.c_str());
    pipeline::print_timing(clock, file_x);
    pipeline::check_and_warn(cmd, job, *x);
    return 0;
}

} // namespace tarsik
