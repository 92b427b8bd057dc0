// The regression stages: design matrix, centres, centred normal equations,
// their solution, the intercept, the result column and R^2.
#include "velmar/regress.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

using pipeline::DMatrix;
using pipeline::XMatrix;

void xavg(x_num** m, int n, int i_min, int j, x_num* avg, int dgt_max) {
    x_num sum, count;
    xinit(&sum, 0);
    x_sum s;
    xsum_(&s, &sum, dgt_max);
    for (int i = i_min; i <= n; ++i) x_sum_add_(&s, &m[i][j]);
    xsum_get_(&s, &sum);
    xinit(&count, n);
    x_div_(&sum, &count, avg, dgt_max);
}

namespace velmar {

namespace {

// Rows whose centred values are formed together in normal_equations. Each
// accumulator of the normal matrix then takes this many terms while it is
// in the cache, and the centred values of a block (mx x rows prepared
// factors) are reused by all mx (mx + 1) / 2 sums. At least BLOCK_ROWS
// (about 1 MB for 200 columns); for few columns as many as fill
// BLOCK_BYTES, so that each sum is read and written once for more terms.
constexpr int BLOCK_ROWS = 32;
constexpr int BLOCK_ROWS_MOST = 256;
constexpr std::size_t BLOCK_BYTES = std::size_t{256} << 10;

// The sum of each of n columns over the rows, at dgt_max from 0, its
// values added in increasing row order.
class ColumnSums {
  public:
    ColumnSums(int n, int dgt_max) : sums_(static_cast<std::size_t>(n)) {
        x_num zero;
        xinit(&zero, 0);
        for (auto& s : sums_) xsum_(&s, &zero, dgt_max);
    }
    void add(int j, const x_num& v) { x_sum_add_(&sums_[static_cast<std::size_t>(j - 1)], &v); }
    std::vector<x_num> records() const {
        std::vector<x_num> r(sums_.size());
        for (std::size_t j = 0; j < sums_.size(); ++j) xsum_get_(&sums_[j], &r[j]);
        return r;
    }

  private:
    std::vector<x_sum> sums_;
};

int block_rows(int mx) {
    const std::size_t fit = BLOCK_BYTES / sizeof(x_prep) / static_cast<std::size_t>(mx + 1);
    return static_cast<int>(std::clamp<std::size_t>(fit, BLOCK_ROWS, BLOCK_ROWS_MOST));
}

} // namespace

int precision(int degree, int digits) {
    return degree <= 1 ? digits : 2 * degree + digits;
}

int digits_most(int degree) {
    return pipeline::DIGITS_QUOTIENTS_MAX - precision(degree, 0);
}

Design::Design(int rows, int cols, int dgt_max, const std::vector<int>& limbs)
    : rows_(rows), cols_(cols), stride_(0) {
    const int most = std::min(dgt_max / 6 + 2, SUB_DGT);
    for (int j = 0; j < cols; ++j) {
        const int l = limbs.empty() ? most : std::min(most, limbs[static_cast<std::size_t>(j)]);
        limbs_.push_back(l);
        offsets_.push_back(stride_);
        stride_ += static_cast<std::size_t>(l) + 2; // the exponent, the count and sign, the limbs
    }
    const auto r = static_cast<std::size_t>(rows);
    if (stride_ != 0 && r > SIZE_MAX / sizeof(std::int32_t) / stride_)
        nrerror("allocation failure in Design");
    data_.reset(static_cast<std::int32_t*>(matrix_block(r * stride_ * sizeof(std::int32_t))));
    if (!data_) nrerror("allocation failure in Design");
}

void Design::Free::operator()(std::int32_t* p) const {
    std::free(p);
}

std::int32_t* Design::slot(int i, int j) const {
    return data_.get() + static_cast<std::size_t>(i - 1) * stride_ +
           offsets_[static_cast<std::size_t>(j - 1)];
}

// slot: the exponent, then the limb count above the sign's byte, then the limbs
void Design::put(int i, int j, const x_num& x) {
    if (x.ndgt < 0 || x.ndgt > limbs_[static_cast<std::size_t>(j - 1)])
        nrerror("a design value beyond its slot");
    std::int32_t* s = slot(i, j);
    s[0] = x.esp;
    s[1] = x.ndgt * 256 + static_cast<unsigned char>(x.sign);
    std::copy_n(x.dgt, x.ndgt, s + 2);
}

void Design::get(int i, int j, x_num* x) const {
    const std::int32_t* s = slot(i, j);
    x->esp = s[0];
    x->ndgt = s[1] / 256;
    x->sign = static_cast<signed char>(s[1] % 256);
    std::copy_n(s + 2, x->ndgt, x->dgt);
}

x_num Design::at(int i, int j) const {
    x_num x{};
    get(i, j, &x);
    return x;
}

Design design_matrix(const DMatrix& x, int degree, int dgt_max, const pipeline::Texts* texts,
                     bool column_sums) {
    const int nx = x.rows(), mx0 = x.cols();
    // a value from a double has at most 3 limbs at 16 digits and more (its
    // 16 digits, their trailing zeros in the exponent), and a product at
    // most the limbs of its factors: power p at most 3 p limbs
    std::vector<int> limbs;
    if (texts == nullptr && dgt_max >= 16)
        for (int k = 1; k <= degree; ++k)
            for (int j = 1; j <= mx0; ++j) limbs.push_back(3 * k);
    Design xX(nx, mx0 * degree, dgt_max, limbs);
    std::optional<ColumnSums> sums;
    if (column_sums) sums.emplace(xX.cols(), dgt_max);
    x_num value, power, next;
    const auto put = [&](int i, int j, const x_num& v) {
        xX.put(i, j, v);
        if (sums) sums->add(j, v);
    };
    for (int i = 1; i <= nx; ++i) {
        for (int j = 1; j <= mx0; ++j) {
            pipeline::to_x(x, texts, i, j, &value, dgt_max);
            put(i, j, value);
            // power k + 1 = value x power k
            power = value;
            for (int k = 1; k < degree; ++k) {
                x_mult_(&value, &power, &next, dgt_max);
                put(i, j + k * mx0, next);
                power = next;
            }
        }
    }
    if (sums) xX.set_column_sums(sums->records());
    return xX;
}

Centres centres(const Design& xX, const XMatrix& xY, std::optional<double> intercept,
                int dgt_max) {
    const int nx = xX.rows(), mx = xX.cols();
    Centres c{{}, XMatrix(1, mx)};
    if (intercept) {
        cvdx(&c.y, *intercept, dgt_max);
        for (int j = 1; j <= mx; ++j) xinit(&c.x[1][j], 0);
    } else {
        xavg(xY.get(), nx, 1, 1, &c.y, dgt_max);
        // xavg of every design column: the sums the design formed, or
        // formed here side by side in one pass over the rows (each still in
        // increasing row order), which reads the matrix in its memory order
        std::vector<x_num> sum = xX.column_sums();
        if (sum.size() != static_cast<std::size_t>(mx)) {
            ColumnSums sums(mx, dgt_max);
            x_num value;
            for (int i = 1; i <= nx; ++i) {
                for (int j = 1; j <= mx; ++j) {
                    xX.get(i, j, &value);
                    sums.add(j, value);
                }
            }
            sum = sums.records();
        }
        x_num count;
        xinit(&count, nx);
        for (int j = 1; j <= mx; ++j)
            x_div_(&sum[static_cast<std::size_t>(j - 1)], &count, &c.x[1][j], dgt_max);
    }
    return c;
}

// Every sum runs over the rows k = 1..nx in increasing order, each term the
// product of two centred values. A centred value xX[k][i] - c_i is the same
// subtraction in every term it enters, so it is formed once per row and
// column and reused: the digits are those of forming it afresh each time.
// The rows are taken in blocks (block_rows) with the sums innermost, so the
// accumulators and the block's centred values stay in the cache; each sum
// still adds its terms in the order k = 1, 2, ..., nx.
void normal_equations(const Design& xX, const XMatrix& xY, const Centres& c, const XMatrix& xC,
                      const XMatrix& xD, int dgt_max) {
    const int nx = xX.rows(), mx = xX.cols();
    const x_num* cx = c.x[1];
    for (int i = 1; i <= mx; ++i) {
        for (int j = i; j <= mx; ++j) xinit(&xC[i][j], 0);
        xinit(&xD[i][1], 0);
    }

    // pdev[(i - 1) * block + r]: design column i, row k0 + r, centred;
    // pdy[r]: the response of row k0 + r, centred; each prepared once for
    // the mx + 1 products it enters (straight from the difference)
    const int block = block_rows(mx);
    const auto b = static_cast<std::size_t>(block);
    std::vector<x_prep> pdev(static_cast<std::size_t>(mx) * b), pdy(b);
    const auto at = [b](int i, int r) {
        return static_cast<std::size_t>(i - 1) * b + static_cast<std::size_t>(r);
    };
    for (int k0 = 1; k0 <= nx; k0 += block) {
        const int rows = std::min(block, nx - k0 + 1);
        x_num value;
        for (int r = 0; r < rows; ++r) {
            for (int i = 1; i <= mx; ++i) {
                xX.get(k0 + r, i, &value);
                xprep_sub_(&value, &cx[i], &pdev[at(i, r)], dgt_max);
            }
            xprep_sub_(&xY[k0 + r][1], &c.y, &pdy[static_cast<std::size_t>(r)], dgt_max);
        }
        for (int i = 1; i <= mx; ++i) {
            const x_prep* di = &pdev[at(i, 0)];
            // the upper triangle with the diagonal
            for (int j = i; j <= mx; ++j)
                x_dot_add_p_(di, &pdev[at(j, 0)], rows, &xC[i][j], dgt_max);
            // the right-hand side
            x_dot_add_p_(di, pdy.data(), rows, &xD[i][1], dgt_max);
        }
    }

    // the lower triangle is the upper one mirrored
    for (int i = 2; i <= mx; ++i)
        for (int j = 1; j < i; ++j) xC[i][j] = xC[j][i];
}

// A normal matrix of more design columns than the centred rows can span
// (nx - 1 of them with a fitted intercept, nx through a forced one) is
// singular whatever the data; it is reported before the mx x mx matrix is
// made, which for a high degree on many columns would not fit in memory.
std::optional<Solution> solve(const Design& xX, const XMatrix& xY, std::optional<double> intercept,
                              int dgt_max, bool inverse) {
    const int nx = xX.rows(), mx = xX.cols();
    if (mx > (intercept ? nx : nx - 1)) return std::nullopt;

    Centres c = centres(xX, xY, intercept, dgt_max);
    XMatrix xC(mx, mx);
    Solution s{XMatrix(mx, 1), {}, {}, c.y, {}, {}};
    normal_equations(xX, xY, c, xC, s.b, dgt_max);
    const int solved = (inverse ? xgaussj_scaled : xgaussj_solve)(
        xC.get(), mx, s.b.get(), 1, &s.det, x_scale::diagonal, &s.lost, dgt_max);
    if (solved == 0) return std::nullopt;

    if (intercept) {
        cvdx(&s.a0, *intercept, dgt_max);
    } else {
        x_num accum, term;
        xinit(&accum, 0);
        int top = x_ord_(&c.y); // the largest term of c_y - sum c_i b_i
        for (int i = 1; i <= mx; ++i) {
            x_mult_(&c.x[1][i], &s.b[i][1], &term, dgt_max);
            x_add_(&accum, &term, &accum, dgt_max);
            top = std::max(top, x_ord_(&term));
        }
        x_sub_(&c.y, &accum, &s.a0, dgt_max);
        s.lost += x_lost_(&s.a0, top);
    }
    if (inverse) s.inverse = std::move(xC);
    s.x_centres = std::move(c.x);
    return s;
}

bool result_column(const Solution& s, std::optional<double> intercept, const DMatrix& out,
                   int dgt_max) {
    for (int i = 1; i <= s.b.rows(); ++i)
        if (!pipeline::to_double(s.b[i][1], &out[i + 1][1], "C", i + 1, 1, dgt_max)) return false;
    if (intercept) {
        out[1][1] = *intercept;
        return true;
    }
    return pipeline::to_double(s.a0, &out[1][1], "C", 1, 1, dgt_max);
}

Squares r_squared(const Design& xX, const XMatrix& xY, const Solution& s, int dgt_max,
                  const XMatrix* fits) {
    const int nx = xX.rows(), mx = xX.cols();
    Squares sq;
    x_num fitted, term, square, value;
    xinit(&sq.vr, 0);
    xinit(&sq.vy, 0);
    // the two sums of squares run from zero (each term added to the sum, as
    // the sum to each term: a sum does not depend on its order of operands)
    x_sum vr, vy;
    xsum_(&vr, &sq.vr, dgt_max);
    xsum_(&vy, &sq.vy, dgt_max);
    // the fitted value a0 + x_1 b_1 + ... + x_mx b_mx as a dot product, the
    // coefficients prepared once, each row's values once
    std::vector<x_prep> pb(static_cast<std::size_t>(mx)), prow(pb.size());
    for (int j = 1; j <= mx; ++j) xprep_(&s.b[j][1], &pb[static_cast<std::size_t>(j - 1)]);
    for (int i = 1; i <= nx; ++i) {
        const x_num* y = &xY[i][1];
        for (int j = 1; j <= mx; ++j) {
            xX.get(i, j, &value);
            xprep_(&value, &prow[static_cast<std::size_t>(j - 1)]);
        }
        fitted = s.a0;
        x_dot_add_p_(prow.data(), pb.data(), mx, &fitted, dgt_max);
        x_sub_(&fitted, y, &term, dgt_max);
        if (fits != nullptr) {
            (*fits)[i][1] = fitted;
            (*fits)[i][2] = term;
            x_not_(&(*fits)[i][2]);
        }
        x_mult_(&term, &term, &square, dgt_max);
        x_sum_add_(&vr, &square);
        x_sub_(&s.y_centre, y, &term, dgt_max);
        x_mult_(&term, &term, &square, dgt_max);
        x_sum_add_(&vy, &square);
    }
    xsum_get_(&vr, &sq.vr);
    xsum_get_(&vy, &sq.vy);
    // a zero vy makes the quotient the undefined record, which the
    // subtraction takes as zero
    x_num quotient, one;
    x_div_(&sq.vr, &sq.vy, &quotient, dgt_max);
    xinit(&one, 1);
    x_sub_(&one, &quotient, &sq.r2, dgt_max);
    return sq;
}

namespace {

// a / b, or what stands for it when b is zero.
Stat ratio(const x_num& a, const x_num& b, int dgt_max) {
    Stat r;
    if (b.ndgt != 0) {
        r.kind = Stat::number;
        x_div_(&a, &b, &r.value, dgt_max);
    } else if (a.ndgt != 0) {
        r.kind = xzero_(&a) < 0 ? Stat::minus_inf : Stat::inf;
    }
    return r;
}

// s sqrt(v): undefined for a v below zero, which only the cuts of a
// nearly singular inverse can leave on its diagonal.
Stat standard_error(const x_num& s, const x_num& v, int dgt_max) {
    Stat r;
    x_num root;
    if (x_sqrt_(&v, &root, dgt_max) == 0) return r;
    r.kind = Stat::number;
    x_mult_(&s, &root, &r.value, dgt_max);
    return r;
}

} // namespace

Summary summarise(const Solution& s, const Squares& sq, int n, bool forced, int dgt_max) {
    const int mx = s.b.rows();
    Summary sm;
    sm.df = n - mx - (forced ? 0 : 1);
    sm.residual_ss = sq.vr;
    x_sub_(&sq.vy, &sq.vr, &sm.regression_ss, dgt_max);
    sm.se.resize(static_cast<std::size_t>(mx) + 1);
    sm.t.resize(sm.se.size());
    if (forced) sm.se[0].kind = sm.t[0].kind = Stat::forced;
    if (sm.df == 0) return sm; // every other statistic undefined

    x_num df, s2, one, count;
    xinit(&df, sm.df);
    xinit(&one, 1);
    xinit(&count, n);
    x_div_(&sq.vr, &df, &s2, dgt_max);
    sm.s.kind = Stat::number;
    x_sqrt_(&s2, &sm.s.value, dgt_max);

    for (int i = 1; i <= mx; ++i) {
        const auto k = static_cast<std::size_t>(i);
        sm.se[k] = standard_error(sm.s.value, s.inverse[i][i], dgt_max);
        if (sm.se[k].kind == Stat::number) sm.t[k] = ratio(s.b[i][1], sm.se[k].value, dgt_max);
    }
    if (!forced) {
        // 1/n + m^T C^-1 m, the sums over rows and columns in increasing order
        const x_num* m = s.x_centres[1];
        x_num v, w;
        x_div_(&one, &count, &v, dgt_max);
        for (int i = 1; i <= mx; ++i) {
            xinit(&w, 0);
            for (int j = 1; j <= mx; ++j) x_mult_add_(&s.inverse[i][j], &m[j], &w, dgt_max);
            x_mult_add_(&m[i], &w, &v, dgt_max);
        }
        sm.se[0] = standard_error(sm.s.value, v, dgt_max);
        if (sm.se[0].kind == Stat::number) sm.t[0] = ratio(s.a0, sm.se[0].value, dgt_max);
    }

    x_num columns, mean_square, term;
    xinit(&columns, mx);
    x_div_(&sm.regression_ss, &columns, &mean_square, dgt_max);
    sm.f = ratio(mean_square, s2, dgt_max);

    // 1 - (1 - R^2)(n - 1) / df, or n / df
    x_num lost, scale;
    xinit(&scale, forced ? n : n - 1);
    x_sub_(&one, &sq.r2, &lost, dgt_max);
    x_mult_(&lost, &scale, &term, dgt_max);
    x_div_(&term, &df, &lost, dgt_max);
    sm.adjusted_r2.kind = Stat::number;
    x_sub_(&one, &lost, &sm.adjusted_r2.value, dgt_max);
    return sm;
}

} // namespace velmar
