// The regression at the heart of velmar: a least-squares fit of a response
// column Y on the columns of X (and, above degree 1, their powers), in x_num
// arithmetic from the design matrix to R^2.
//
// The stages run in the order the program needs them: the design matrix is
// built before Y is read, and R^2 is computed after the result file is
// written. Every stage works at one precision, precision(degree), and adds
// every sum in increasing index order, so the digits of each result are
// fixed by the inputs alone.
#ifndef VELMAR_REGRESS_H
#define VELMAR_REGRESS_H

#include "pipeline/pipeline.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

// avg = the mean of column j of m over rows i_min..n: the entries added in
// increasing row order, starting from 0, and the sum divided by n (not by
// n - i_min + 1; the two agree for the i_min = 1 every caller passes).
// n must fit one limb (below 10^6).
void xavg(x_num** m, int n, int i_min, int j, x_num* avg, int dgt_max);

namespace velmar {

// The highest polynomial degree, whatever --digits asks for. It dates from
// products that kept their operands within 40 limbs, which 2 x 39 + 30 =
// 108 digits would exceed; the library now forms products in working
// storage of their own, and digits_most bounds the precision by itself.
inline constexpr int DEGREE_MAX = 38;

// The working precision for N = digits: N at degree 1, 2 x degree + N
// above (30 and 2 x degree + 30 by default).
int precision(int degree, int digits = pipeline::DGT_MAX);

// The most digits --digits may ask for at a degree: the working precision
// stays within what quotients take, DIGITS_QUOTIENTS_MAX.
int digits_most(int degree);

// A matrix of records held packed: each value as its exponent, sign, limb
// count and the limbs it uses, in a slot of the limbs a value of its
// column can have: at most what a value at dgt_max has (dgt_max / 6 + 2,
// what a product keeps), fewer where the column's values are known to be
// short (`limbs`, a count for each column; empty: none). A 65535 x 10
// design at 50 digits takes 28 MB where records would take 113 MB: less
// memory to fault in and to read on each pass over it. Rows and columns
// count from 1.
class Design {
  public:
    Design(int rows, int cols, int dgt_max, const std::vector<int>& limbs = {});
    int rows() const { return rows_; }
    int cols() const { return cols_; }
    // Stores x, which must fit a slot (it ends the process through nrerror
    // otherwise: a value of the precision always does).
    void put(int i, int j, const x_num& x);
    // The record at (i, j): its sign, exponent, count and limbs in use.
    void get(int i, int j, x_num* x) const;
    x_num at(int i, int j) const;
    // The sum of every column over the rows in increasing order (x_sum at
    // dgt_max from 0), when design_matrix formed them; empty otherwise.
    const std::vector<x_num>& column_sums() const { return sums_; }
    void set_column_sums(std::vector<x_num> sums) { sums_ = std::move(sums); }

  private:
    struct Free {
        void operator()(std::int32_t* p) const;
    };
    std::int32_t* slot(int i, int j) const;
    int rows_, cols_;
    std::vector<int> limbs_;           // of each column's slots, from column 1
    std::vector<std::size_t> offsets_; // of each column's slot in a row
    std::size_t stride_;               // words of a row
    std::unique_ptr<std::int32_t[], Free> data_;
    std::vector<x_num> sums_;
};

// The design matrix: rows as x, x.cols() x degree columns grouped by power.
// Column j + k x cols holds input column j to the power k + 1, each power
// the value times the previous power, cut to dgt_max at every step. Every
// value enters as its "%1.15E" text, or with texts (x's numbers as written)
// through pipeline::read_exact. With column_sums, each column's sum is
// formed too while its values are at hand, in the order centres would add
// them: one pass less over the matrix.
Design design_matrix(const pipeline::DMatrix& x, int degree, int dgt_max,
                     const pipeline::Texts* texts = nullptr, bool column_sums = false);

// The point the sums are taken about: the means of Y and of every design
// column, or, with a forced intercept, that intercept for Y and zero for X.
struct Centres {
    x_num y;
    pipeline::XMatrix x; // row 1, columns 1..design columns
};
Centres centres(const Design& xX, const pipeline::XMatrix& xY,
                std::optional<double> intercept, int dgt_max);

// The centred normal equations: xC[i][j] = sum over rows k of
// (xX[k][i] - c_i) (xX[k][j] - c_j), computed for j >= i and copied below
// the diagonal, and xD[i][1] = sum over k of (xX[k][i] - c_i) (xY[k][1] - c_y).
// xC is mx x mx and xD mx x 1, mx the design columns; both are written whole.
void normal_equations(const Design& xX, const pipeline::XMatrix& xY, const Centres& c,
                      const pipeline::XMatrix& xC, const pipeline::XMatrix& xD, int dgt_max);

// What the fit yields: the coefficients b_i of the design columns, the
// determinant of the normal matrix, the intercept a0 and the centre of Y
// (which R^2 is measured about); for the summary, the inverse of the
// normal matrix and the centres of the design columns; and the digits the
// fit may have lost: the most a pivot lost against its diagonal entry, and
// what the intercept's sum lost to cancellation on top of that (x_lost_).
struct Solution {
    pipeline::XMatrix b; // rows 1..mx, one column
    x_num det;
    x_num a0;
    x_num y_centre;
    pipeline::XMatrix inverse;   // mx x mx, when asked for
    pipeline::XMatrix x_centres; // row 1, columns 1..mx
    int lost = 0;
};

// Centres, normal equations, xgaussj (each pivot judged against its own
// diagonal entry, x_scale::diagonal) and the intercept: a0 = c_y - the sum
// of c_i b_i over i increasing, or the forced intercept through its text.
// Nothing when the normal matrix is singular. The inverse of the normal
// matrix is kept only when asked for (the summary's standard errors).
std::optional<Solution> solve(const Design& xX, const pipeline::XMatrix& xY,
                              std::optional<double> intercept, int dgt_max, bool inverse = false);

// The result column: row 1 the intercept (a forced one exactly as the
// double given), row 1 + i the coefficient b_i, each turned into a double
// once. False, after the value's line is printed, when one is beyond the
// range of a double.
bool result_column(const Solution& s, std::optional<double> intercept,
                   const pipeline::DMatrix& out, int dgt_max);

// The sums of squares of a fit: Vr of the residuals, Vy of Y about its
// centre, and R^2 = 1 - Vr / Vy.
struct Squares {
    x_num vr, vy, r2;
};

// R^2 = 1 - Vr / Vy: Vr the sum of squared residuals of the fitted values
// a0 + sum xX[i][j] b_j, Vy the sum of squares of Y about its centre. A
// zero Vy (every response on the centre, the fit exact) gives exactly 1.
// With fits (nx x 2), row i receives the fitted value and the residual
// y - fitted of observation i, as the sums take them.
Squares r_squared(const Design& xX, const pipeline::XMatrix& xY, const Solution& s,
                  int dgt_max, const pipeline::XMatrix* fits = nullptr);

// A statistic of the summary: a number, or what stands in its place where
// a quotient has a zero divisor (undefined for 0 / 0, inf and minus_inf by
// the dividend's sign), or a forced intercept's missing error.
struct Stat {
    enum Kind { number, undefined, inf, minus_inf, forced };
    Kind kind = undefined;
    x_num value{};
};

// The regression statistics of a fit of n observations on mx design
// columns, with df = n - mx - 1 residual degrees of freedom (n - mx through
// a forced intercept): s^2 = Vr / df; the standard error of b_i,
// s sqrt((C^-1)_ii), C^-1 the inverse of the normal matrix, and of a fitted
// intercept s sqrt(1/n + m^T C^-1 m), m the column centres; t = estimate /
// standard error; F = ((Vy - Vr) / mx) / s^2; adjusted R^2 =
// 1 - (1 - R^2)(n - 1) / df (n / df through a forced intercept). Row 0 of
// se and t is the intercept's. With df 0 every quotient by df is undefined;
// an s of exactly 0 makes the t values and F infinite or undefined.
struct Summary {
    int df = 0;
    Stat s, adjusted_r2, f;
    std::vector<Stat> se, t; // rows 0..mx
    x_num regression_ss, residual_ss;
};
Summary summarise(const Solution& s, const Squares& sq, int n, bool forced, int dgt_max);

// The command line's optional numbers, read only when wholly of their form.
// A degree is a whole number, digits with an optional sign; it need not lie
// within 1..DEGREE_MAX (a value beyond int saturates). An intercept is a
// finite decimal number: [+-]digits[.digits][(e|E)[+-]digits], digits
// optional on one side of the point. Each returns false for anything else.
bool read_degree(std::string_view text, int* degree);
bool read_intercept(std::string_view text, double* intercept);

// The whole program: velmar [OPTION]... file_X file_Y file_C [degree] [Intcpt].
// Returns the exit status: 0 when file_C was written, 1 otherwise.
int run(int argc, char** argv);

} // namespace velmar

#endif
