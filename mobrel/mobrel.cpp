// mobrel [OPTION]... file_A file_B file_C: C = A * B at 30 significant
// digits, or at the precision --digits asks for.
#include "mobrel/messages.h"
#include "mobrel/product.h"

#include "pipeline/check.h"
#include "pipeline/command.h"

#include <cstdio>

namespace mobrel {

int run(int argc, char** argv) {
    static const char* const usage[] = {USAGE};
    const pipeline::Program program{"mobrel", usage, 3, HELP_DIGITS, EXAMPLES};
    pipeline::Command cmd;
    if (const auto status = pipeline::read_command(argc, argv, program, &cmd)) return *status;
    const char *file_a = cmd.operands[0], *file_b = cmd.operands[1], *file_c = cmd.operands[2];
    const char* const inputs[] = {file_a, file_b};
    if (!pipeline::settle(&cmd, pipeline::DIGITS_SUMS_MAX, inputs, file_c)) return 1;

    pipeline::Loader loader;
    const auto a = loader.table(file_a, cmd.exact);
    if (!a) return 1;
    const auto b = loader.table(file_b, cmd.exact);
    if (!b) return 1;
    if (a->cols() != b->rows()) {
        pipeline::say(MSG_DIMENSION, a->rows(), a->cols(), b->rows(), b->cols());
        return 1;
    }

    const pipeline::Job job = [&](int digits) -> std::optional<pipeline::Outcome> {
        const pipeline::XMatrix xb = pipeline::to_x(b->values, digits, b->exact());
        pipeline::Outcome c{pipeline::DMatrix(a->rows(), b->cols()), "C", {}};
        c.working = digits;
        if (!multiply(*a, xb, c.table, digits, &c.lost)) return std::nullopt;
        return c;
    };
    const auto c = job(cmd.digits);
    if (!c || !pipeline::write(file_c, c->table)) return 1;
    pipeline::say(MSG_DONE, escaped(file_a).c_str(), escaped(file_b).c_str(), escaped(file_c).c_str());
    pipeline::check_and_warn(cmd, job, *c);
    return 0;
}

} // namespace mobrel
