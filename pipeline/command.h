// The command line the three programs share: options first, then the
// operands. One table-driven parser reads the options every program takes
// (--digits, --check, --exact-input, --help, --version) and the ones a
// program adds of its own.
//
//   mobrel -d 60 --check A.txt B.txt -
//
// Options stand before the operands: the first argument that is not an
// option ("-" included) ends them, and so does "--", which is dropped. An
// option is -s or --long. A value follows as -s VALUE, -sVALUE,
// --long=VALUE or --long VALUE; flags may share one dash (-ce).
#ifndef PIPELINE_COMMAND_H
#define PIPELINE_COMMAND_H

#include "pipeline/pipeline.h"

#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace pipeline {

// One option of a command line. take is called for each occurrence, with
// the value (nullptr for a flag); it returns false, after printing its
// refusal, to end the run with status 1.
struct Option {
    char short_name;        // 0: none
    const char* long_name;  // nullptr: none
    const char* value_name; // the value as the help shows it ("N"); nullptr: a flag
    const char* help;       // one line of help
    std::function<bool(const char* value)> take;
};

// What a program tells the command line about itself.
struct Program {
    const char* name;                   // for --version and the refusals
    std::span<const char* const> usage; // the usage screen's own lines
    int operands;                       // the fewest operands a run takes
    const char* digits_help;            // the help line of --digits
    const char* examples;               // the usage screen's last lines
};

// What the shared options ask for. digits is N, the working precision;
// check_digits is P, the precision a check works at (with or without
// --check), once settled: 0 when no precision above N is supported.
struct Command {
    std::vector<const char*> operands;
    int digits = DGT_MAX;
    const char* digits_text = nullptr; // as given; nullptr when not given
    bool check = false;
    bool exact = false;
    int check_digits = 0;
};

// Reads argv: the options (the shared ones, then `extra`), then the
// operands into c. Returns the exit status when the command line itself
// ends the run: an unknown option, a missing or unwanted value or an
// extra option's refusal (one line on standard output, status 1), --help
// (the usage screen with every option, status 0), --version (one line,
// status 0), fewer than p.operands operands (the usage screen, status 1).
// Otherwise returns nothing: the run goes on.
std::optional<int> read_command(int argc, char** argv, const Program& p, Command* c,
                                std::span<const Option> extra = {});

// Sends the console to standard error when the result file `result` is
// the standard output (see is_standard_output).
void console_for(const char* result);

// Settles what depends on the operands, before any work: the console (see
// console()) for the result file `result`, --digits within DIGITS_MIN..most
// (`where` ends the refusal, e.g. " at degree 5"), the precision a check
// works at (2 N, or most when that is less; --check is refused when that
// would not exceed N), and at most one of `inputs` read from standard
// input. Prints the refusal on the console and returns false.
bool settle(Command* c, int most, std::span<const char* const> inputs, const char* result,
            const char* where = "");

} // namespace pipeline

#endif
