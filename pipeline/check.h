// The digits check: a program's whole job done again at a higher
// precision, and every number it printed or wrote compared with the one the
// higher precision gives.
//
// A program splits its run in two: the inputs are loaded once, then its
// job, everything from the conversion of the tables to the numbers it
// prints, runs at a given precision and returns an Outcome. The run at N
// digits is written and reported; check() runs the same job at P digits
// and says how many digits of each printed number the two agree on.
#ifndef PIPELINE_CHECK_H
#define PIPELINE_CHECK_H

#include "pipeline/command.h"
#include "pipeline/pipeline.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pipeline {

// A number a run prints: value x 10^scale, scale 0 unless the number lies
// beyond the range of a double (a determinant, printed from its digits).
struct Printed {
    std::string name; // "determinant", "R^2"
    double value = 0;
    int scale = 0;
    std::string text; // as the report prints it, where the program keeps it
};

// What one run of a job gives: the result table as written, and the
// numbers of the report in the order they are printed.
struct Outcome {
    DMatrix table;
    const char* table_name = "C"; // its numbers are named C[i,j]
    std::vector<Printed> report;
    // The digits its result may have lost (x_lost_: to cancellation in a
    // sum, or in a pivot), and the precision it worked at.
    int lost = 0;
    int working = 0;
};

// A program's job at `digits` (N, as --digits gives it). It prints nothing
// unless it fails: then its one line goes to console() and it returns
// nothing.
using Job = std::function<std::optional<Outcome>(int digits)>;

// The determinant as its report line prints it (see format_det), its text
// included.
Printed printed_det(const x_num& det, int dgt_max);

// K, the digits on which the printed a and the higher-precision b agree:
// 16 when a equals b, otherwise floor(-log10(|a - b| / |b|)) held within
// 0..15, and 0 when b is 0.
int agreeing_digits(const Printed& a, const Printed& b);

// What check() found: the failure line of the run at `digits` when it
// failed (without its line end), else the number with the fewest agreeing
// digits (the first in row order, the table before the report, on a tie)
// and that count, 16 when every number agrees.
struct Verdict {
    int digits = 0;
    std::optional<std::string> failure;
    std::string name;
    int agreeing = 16;
};

// Runs job at `digits` with its console line caught, not printed, and
// compares every number of its outcome with those of `first`.
Verdict check(const Job& job, const Outcome& first, int digits);

// The check's line on the console.
void print_verdict(const Verdict& v);

// Whether fewer than 16 digits, a double's worth, may survive in the
// result of `first`: it keeps about working - lost of its digits. The one
// rule by which a run that asked for no check is checked all the same.
bool digits_at_risk(const Outcome& first);

// After a successful run: check() when --check asked for it (and its line
// after the report) or when the digits of `first` are at risk; then, when
// they were at risk and the run at P digits agrees with a printed number
// in fewer than 15 digits (a last-digit difference at a rounding boundary
// is no reason to warn), or failed, one warning line on standard error.
// The result, the report and the status stay as they are.
void check_and_warn(const Command& c, const Job& job, const Outcome& first);

} // namespace pipeline

#endif
