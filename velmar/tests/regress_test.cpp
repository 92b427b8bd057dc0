// The regression stages: the precision each keeps, the order of its sums,
// and the whole fit and its summary against an exact decimal least-squares
// reference. Worked fits and failures run end to end in
// tests/velmar_test.cpp.
#include "testsupport/decimal.h"
#include "testsupport/records.h"
#include "velmar/regress.h"

#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace {

using pipeline::DMatrix;
using pipeline::XMatrix;
using Rows = std::vector<std::vector<double>>;

DMatrix dmat(const Rows& rows) {
    DMatrix m(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()));
    for (int i = 1; i <= m.rows(); ++i)
        for (int j = 1; j <= m.cols(); ++j)
            m[i][j] = rows[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)];
    return m;
}

DMatrix column(const std::vector<double>& v) {
    Rows rows;
    for (double x : v) rows.push_back({x});
    return dmat(rows);
}

std::string text(const x_num& x) {
    return cvxs(&x, 30);
}

// A double as the program sees it: its "%1.15E" text.
Dec dec(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%1.15E", v);
    x_num x;
    cvsx(buf, &x, 100);
    return value_of(x);
}

// Determinant by expansion along the last row, each minor (the first k
// rows, a set of k columns) computed once.
Dec det(const std::vector<std::vector<Dec>>& m) {
    const int n = static_cast<int>(m.size());
    std::vector<Dec> memo(std::size_t{1} << n);
    std::vector<bool> have(std::size_t{1} << n);
    std::function<Dec(unsigned)> minor = [&](unsigned cols) -> Dec {
        if (cols == 0) return Dec{false, "1", 0};
        if (have[cols]) return memo[cols];
        const int row = std::popcount(cols) - 1;
        Dec sum;
        int pos = 0;
        for (int j = 0; j < n; ++j) {
            if (!(cols >> j & 1u)) continue;
            Dec t = m[static_cast<std::size_t>(row)][static_cast<std::size_t>(j)] *
                    minor(cols & ~(1u << j));
            if ((row + pos++) % 2 == 1) t = -t;
            sum = sum + t;
        }
        have[cols] = true;
        return memo[cols] = sum;
    };
    return minor((1u << n) - 1);
}

// The exact least-squares solution of y on the columns of z: coefficient
// k is num[k] / den, den being the determinant of m = z^T z.
struct Exact {
    Dec den;
    std::vector<Dec> num;
    std::vector<std::vector<Dec>> m;
};

Exact exact_fit(const std::vector<std::vector<Dec>>& z, const std::vector<Dec>& y) {
    const std::size_t n = z[0].size();
    std::vector<std::vector<Dec>> m(n, std::vector<Dec>(n));
    std::vector<Dec> r(n);
    for (std::size_t k = 0; k < z.size(); ++k)
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) m[i][j] = m[i][j] + z[k][i] * z[k][j];
            r[i] = r[i] + z[k][i] * y[k];
        }
    Exact e{det(m), {}, m};
    for (std::size_t c = 0; c < n; ++c) {
        auto mc = m;
        for (std::size_t i = 0; i < n; ++i) mc[i][c] = r[i];
        e.num.push_back(det(mc));
    }
    return e;
}

// The digits to which v agrees with num / den, counted from `scale`, the
// order of the largest numerator: -order(v den - num) + scale.
long long agreement(const x_num& v, const Dec& num, const Dec& den, long long scale) {
    return scale - order(value_of(v) * den - num);
}

// The reference's inputs: the design columns as exact powers of the
// inputs' decimal forms, a column of ones first for a fitted intercept,
// and the responses less a forced intercept.
struct Design {
    std::vector<std::vector<Dec>> z;
    std::vector<Dec> y;
};

Design exact_design(const Rows& x, const std::vector<double>& y, int degree,
                    std::optional<double> intercept) {
    Design d;
    for (std::size_t k = 0; k < x.size(); ++k) {
        std::vector<Dec> row;
        if (!intercept) row.push_back(Dec{false, "1", 0});
        for (int p = 1; p <= degree; ++p)
            for (double v : x[k]) {
                Dec power = dec(v);
                for (int q = 1; q < p; ++q) power = power * dec(v);
                row.push_back(power);
            }
        d.z.push_back(row);
        d.y.push_back(intercept ? dec(y[k]) - dec(*intercept) : dec(y[k]));
    }
    return d;
}

// An exact fraction num / den.
struct Frac {
    Dec num, den{false, "1", 0};
    Frac operator+(const Frac& b) const { return {num * b.den + b.num * den, den * b.den}; }
    Frac operator-(const Frac& b) const { return *this + Frac{-b.num, b.den}; }
    Frac operator*(const Frac& b) const { return {num * b.num, den * b.den}; }
    Frac operator/(const Frac& b) const { return {num * b.den, den * b.num}; }
};

// The significant digits to which v (squared: v^2) agrees with f.
long long agrees(const x_num& v, const Frac& f, bool squared = false) {
    const Dec d = squared ? value_of(v) * value_of(v) : value_of(v);
    return order(f.num) - order(d * f.den - f.num);
}

} // namespace

// ---------------------------------------------------------------------------

TEST(Xavg, MeanOfAColumn) {
    static const struct {
        std::vector<double> values;
        int i_min;
        const char* mean;
    } cases[] = {
        {{1, 2, 2}, 1, "1.66666666666666666666666666666"}, // 30 digits, truncated
        {{0.1, 0.2}, 1, "0.15"},                           // the decimal forms, not the doubles
        {{-1, 1}, 1, "0"},
        {{1e20, 1, -1e20}, 1, "0.333333333333333333333333333333"}, // 1E20 + 1 is kept whole
        {{7.25}, 1, "7.25"},
        {{3, 6, 9}, 2, "5"}, // the sum of rows 2..3 over n = 3
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mean);
        const XMatrix m = pipeline::to_x(column(c.values), 30);
        x_num avg = poisoned();
        xavg(m.get(), m.rows(), c.i_min, 1, &avg, 30);
        EXPECT_EQ(text(avg), c.mean);
    }
}

// Each power is cut to the working precision, not to 30 digits: at degree
// 10 (50 digits, 10 limbs) x^k stays within k x 10^-54 of the exact power.
TEST(DesignMatrix, PowersKeepTheWorkingPrecision) {
    const double x = 1.000000000000001;
    const velmar::Design xX = velmar::design_matrix(dmat({{x}}), 10, velmar::precision(10));
    const Dec v = dec(x);
    Dec power = v;
    for (int k = 1; k <= 10; ++k) {
        EXPECT_LE(order(value_of(xX.at(1, k)) - power), -53) << "power " << k;
        power = power * v;
    }
}

// Every power fits its column's slot (sized to 3 limbs a power) and is
// the product chain itself: values whose 16 digits fill three limbs, at
// precisions where the powers grow longest before the precision cuts them.
TEST(DesignMatrix, PowersFitTheirColumns) {
    const struct {
        double x;
        int degree, dgt_max;
    } cases[] = {{-9.999999999999999e5, 10, 227},
                 {1.234567890123457e-7, 38, 106},
                 {0.9999999999999999, 5, 16}};
    for (const auto& c : cases) {
        const velmar::Design d = velmar::design_matrix(dmat({{c.x, 2.5}}), c.degree, c.dgt_max);
        x_num v, p;
        cvdx(&v, c.x, c.dgt_max);
        p = v;
        for (int k = 1; k <= c.degree; ++k) {
            EXPECT_EQ(fields(d.at(1, 2 * k - 1)), fields(p)) << c.x << " power " << k;
            x_mult_(&v, &p, &p, c.dgt_max);
        }
    }
}

// The column sums formed while the design is built are the sums a pass
// over the built design forms: the same centres at degree 3 on values of
// both signs and several orders.
TEST(DesignMatrix, ColumnSumsAsCentresFormThem) {
    const XMatrix y = pipeline::to_x(column({1, -2, 3, 0.5, -7}), 36);
    const auto x = column({1.25, -3.5e-3, 42, -0.75, 6.0e5});
    const velmar::Design built = velmar::design_matrix(x, 3, 36, nullptr, true);
    const velmar::Design plain = velmar::design_matrix(x, 3, 36);
    ASSERT_EQ(built.column_sums().size(), 3u);
    const velmar::Centres a = velmar::centres(built, y, std::nullopt, 36);
    const velmar::Centres b = velmar::centres(plain, y, std::nullopt, 36);
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(fields(a.x[1][j]), fields(b.x[1][j])) << j;
}

// Every field of a record comes back from its slot: zeros, each sign, the
// exponent's extremes, a slot filled to its last limb, and neighbours of
// other sizes that do not spill into each other.
TEST(DesignMatrix, SlotsKeepEveryField) {
    x_num zero, full, undefined, small;
    xinit(&zero, 0);
    xinit(&small, -7);
    small.esp = INT_MIN;
    std::mt19937_64 rng(3);
    full = random_record(rng, 7, INT_MAX - 5, INT_MAX - 5);
    full.sign = '-';
    undefined = zero;
    undefined.sign = '?';
    const x_num values[] = {zero, full, undefined, small};
    velmar::Design d(2, 2, 30, {1, 7}); // slots of 1 and 7 limbs
    for (int k = 0; k < 4; ++k) d.put(1 + k / 2, 1 + k % 2, values[k]);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(fields(d.at(1 + k / 2, 1 + k % 2)), fields(values[k])) << "value " << k;
}

// A value longer than its slot (of the precision, 7 limbs at 30 digits,
// or its column's own) is refused loudly, never cut.
TEST(DesignMatrixDeathTest, ValueBeyondItsSlot) {
    const struct {
        std::vector<int> limbs;
        int col, ndgt;
    } cases[] = {{{}, 1, 8}, {{9, 3}, 1, 8}, {{7, 3}, 2, 4}};
    for (const auto& c : cases) {
        velmar::Design d(1, 2, 30, c.limbs);
        x_num x{};
        xinit(&x, 1);
        x.ndgt = c.ndgt;
        EXPECT_EXIT(d.put(1, c.col, x), ::testing::ExitedWithCode(1), "beyond its slot") << c.col;
    }
}

// Each sum adds its terms in increasing row order, also across the blocks
// of rows: (1E30 + -1E30) + 1 is 1 at 30 digits, where 1E30 + (-1E30 + 1)
// is 0. The three terms sit in rows 32, 33 and 34, astride a block edge.
TEST(NormalEquations, SumsInRowOrder) {
    std::vector<double> y(40, 0.0);
    y[31] = 1e30;
    y[32] = -1e30;
    y[33] = 1;
    const velmar::Design xX = velmar::design_matrix(column(std::vector<double>(40, 1.0)), 1, 30);
    const XMatrix xY = pipeline::to_x(column(y), 30);
    const velmar::Centres centres = velmar::centres(xX, xY, 0.0, 30);
    const XMatrix xC(1, 1), xD(1, 1);
    velmar::normal_equations(xX, xY, centres, xC, xD, 30);
    EXPECT_EQ(text(xC[1][1]), "40");
    EXPECT_EQ(text(xD[1][1]), "1");
}

// R^2 is exactly 1 when every residual is 0, also when Vy is 0 (the
// quotient is then the undefined record, which the subtraction takes as 0),
// and exactly 1/4 for the residuals -1/2, 1, -1/2 of (1, 1), (2, 3), (3, 2).
TEST(RSquared, ExactCases) {
    static const struct {
        std::vector<double> y;
        std::optional<double> intercept;
        const char* r2;
    } cases[] = {
        {{3, 5, 7}, std::nullopt, "1"},
        {{4, 4, 4}, std::nullopt, "1"},
        {{2.5, 2.5, 2.5}, 2.5, "1"},
        {{1, 3, 2}, std::nullopt, "0.25"},
    };
    const velmar::Design xX = velmar::design_matrix(column({1, 2, 3}), 1, 30);
    for (const auto& c : cases) {
        const XMatrix xY = pipeline::to_x(column(c.y), 30);
        const auto sol = velmar::solve(xX, xY, c.intercept, 30);
        ASSERT_TRUE(sol);
        const x_num r2 = velmar::r_squared(xX, xY, *sol, 30).r2;
        EXPECT_EQ(text(r2), c.r2) << c.y[0];
    }
}

// Random fits against the exact least-squares solution of the inputs'
// decimal forms: the intercept, every coefficient and the determinant
// agree to `digits` significant digits (counted from the largest of them)
// before any conversion to double.
TEST(Solve, MatchesTheExactLeastSquares) {
    enum Kind { plain, collinear, offset, years };
    static const struct {
        int cols, degree, rows;
        std::optional<double> intercept;
        Kind kind;
        int digits;
    } cases[] = {
        {1, 1, 5, std::nullopt, plain, 26},
        {2, 1, 8, std::nullopt, plain, 26},
        {3, 1, 10, std::nullopt, plain, 26},
        {1, 2, 7, std::nullopt, plain, 28},
        {1, 3, 9, std::nullopt, plain, 28},
        {2, 2, 12, std::nullopt, plain, 28},
        {3, 1, 40, std::nullopt, plain, 26}, // rows in two blocks
        {2, 1, 6, 0.0, plain, 26},
        {1, 2, 6, 1.5, plain, 28},
        // the second column is the first plus 1e-5 times noise: a normal
        // matrix of condition near 1e13, where doubles keep 3 digits at best
        {2, 1, 10, std::nullopt, collinear, 14},
        {2, 1, 10, 0.0, collinear, 14},
        // x around 1e6 with a spread of 1
        {1, 1, 10, std::nullopt, offset, 26},
        {2, 1, 10, std::nullopt, offset, 26},
        // a quartic in raw years 1947..1962: powers up to 1.5e13 whose
        // normal matrix, judged pivot by pivot against its own diagonal,
        // is regular (the largest entry would call it singular)
        {1, 4, 16, std::nullopt, years, 16},
    };
    const std::uint64_t seed = 20240611;
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (const auto& c : cases) {
        for (int round = 0; round < 10; ++round) {
            SCOPED_TRACE(::testing::Message()
                         << "seed " << seed << ", " << c.cols << " columns, degree " << c.degree
                         << ", kind " << c.kind << ", round " << round);
            Rows x(static_cast<std::size_t>(c.rows),
                   std::vector<double>(static_cast<std::size_t>(c.cols)));
            std::vector<double> y;
            for (auto& row : x) {
                double signal = 2;
                for (std::size_t j = 0; j < row.size(); ++j) {
                    if (c.kind == years)
                        row[j] = 1947 + static_cast<double>(&row - x.data());
                    else if (c.kind == offset)
                        row[j] = 1e6 + unit(rng);
                    else if (c.kind == collinear && j == 1)
                        row[j] = row[0] + 1e-5 * unit(rng);
                    else
                        row[j] = (c.degree > 1 ? 2 : 10) * unit(rng);
                    signal +=
                        static_cast<double>(j + 1) * (c.kind == offset ? row[j] - 1e6 : row[j]);
                }
                y.push_back(signal + unit(rng));
            }

            const int prec = velmar::precision(c.degree);
            const velmar::Design xX = velmar::design_matrix(dmat(x), c.degree, prec);
            const XMatrix xY = pipeline::to_x(column(y), prec);
            const auto sol = velmar::solve(xX, xY, c.intercept, prec);
            ASSERT_TRUE(sol);

            const Design d = exact_design(x, y, c.degree, c.intercept);
            const Exact e = exact_fit(d.z, d.y);
            long long scale = -1000000;
            for (const Dec& num : e.num) scale = std::max(scale, order(num));

            const int mx = xX.cols(), first = c.intercept ? 0 : 1;
            if (!c.intercept) {
                EXPECT_GE(agreement(sol->a0, e.num[0], e.den, scale), c.digits)
                    << "a0 " << text(sol->a0);
            }
            for (int i = 1; i <= mx; ++i)
                EXPECT_GE(agreement(sol->b[i][1], e.num[static_cast<std::size_t>(first + i - 1)],
                                    e.den, scale),
                          c.digits)
                    << "b" << i << " " << text(sol->b[i][1]);
            // with a fitted intercept, det(z^T z) = rows x det(centred matrix)
            const Dec rows{false, std::to_string(c.rows), 0};
            const Dec det = c.intercept ? value_of(sol->det) : value_of(sol->det) * rows;
            EXPECT_GE(order(e.den) - order(det - e.den), c.digits) << "det " << text(sol->det);
        }
    }
}

// The summary against the exact least-squares fit, to 25 digits. With
// M = z^T z (ones for a fitted intercept included) and Vr = sum (den y -
// z num)^2 / den^2: s^2 = Vr / df, the squared standard error of
// coefficient k s^2 cofactor_kk(M) / den (the intercept's too), t^2 =
// (num_k / den)^2 / se_k^2 with num_k's sign, F, adjusted R^2 and the sums.
TEST(Summarise, MatchesTheExactLeastSquares) {
    const Rows cubic_x = {{-3}, {-2}, {-1}, {0}, {1}, {2}, {3}, {4}};
    const std::vector<double> cubic_y = {-20.5, -4.1, 1.2, 0.9, 2.2, 9.8, 33.1, 70.4};
    const struct {
        Rows x;
        std::vector<double> y;
        int degree;
        std::optional<double> intercept;
    } cases[] = {
        {{{1}, {2}, {3}, {4}, {5}}, {2.1, 3.9, 6.2, 7.8, 10.1}, 1, std::nullopt},
        {{{1, 0.5}, {2, -1}, {3, 2.5}, {4, 1}, {5, -0.5}, {6, 3}},
         {3.2, 2.9, 8.1, 7.4, 6.3, 11.9},
         1,
         0.5},
        {cubic_x, cubic_y, 3, std::nullopt},
        {cubic_x, cubic_y, 3, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x.size() << " rows, degree " << c.degree);
        const int prec = velmar::precision(c.degree);
        const velmar::Design xX = velmar::design_matrix(dmat(c.x), c.degree, prec);
        const XMatrix xY = pipeline::to_x(column(c.y), prec);
        const auto sol = velmar::solve(xX, xY, c.intercept, prec, true);
        ASSERT_TRUE(sol);
        const int n = xX.rows(), mx = xX.cols();
        const bool fitted = !c.intercept;
        const velmar::Summary sm =
            velmar::summarise(*sol, velmar::r_squared(xX, xY, *sol, prec), n, !fitted, prec);
        ASSERT_EQ(sm.df, n - mx - (fitted ? 1 : 0));

        const Design d = exact_design(c.x, c.y, c.degree, c.intercept);
        const Exact e = exact_fit(d.z, d.y);
        Dec r, sum;
        for (std::size_t k = 0; k < d.y.size(); ++k) {
            Dec dev = e.den * d.y[k];
            for (std::size_t i = 0; i < e.num.size(); ++i) dev = dev - d.z[k][i] * e.num[i];
            r = r + dev * dev;
            sum = sum + d.y[k];
        }
        const Frac vr{r, e.den * e.den}, one{from_int(1)}, nn{from_int(n)};
        Frac vy{Dec{}, fitted ? nn.num * nn.num : one.num};
        for (const Dec& y : d.y) {
            const Dec dev = fitted ? nn.num * y - sum : y;
            vy.num = vy.num + dev * dev;
        }
        const Frac df{from_int(sm.df)}, s2 = vr / df;
        EXPECT_GE(agrees(sm.residual_ss, vr), 25);
        EXPECT_GE(agrees(sm.regression_ss, vy - vr), 25);
        EXPECT_GE(agrees(sm.s.value, s2, true), 25);
        EXPECT_GE(agrees(sm.f.value, (vy - vr) / Frac{from_int(mx)} / s2), 25);
        EXPECT_GE(agrees(sm.adjusted_r2.value, one - vr / vy * (fitted ? nn - one : nn) / df), 25);
        for (std::size_t k = 0; k < e.num.size(); ++k) {
            auto minor = e.m;
            minor.erase(minor.begin() + static_cast<std::ptrdiff_t>(k));
            for (auto& row : minor) row.erase(row.begin() + static_cast<std::ptrdiff_t>(k));
            const Frac se2 = s2 * Frac{det(minor), e.den}, b{e.num[k], e.den};
            const std::size_t row = fitted ? k : k + 1;
            EXPECT_GE(agrees(sm.se[row].value, se2, true), 25) << k;
            EXPECT_GE(agrees(sm.t[row].value, b * b / se2, true), 25) << k;
            EXPECT_EQ(xzero_(&sm.t[row].value), e.num[k].neg != e.den.neg ? -1 : 1) << k;
        }
    }
}

// Quotients by zero. An exact fit: standard errors 0, t values inf or -inf
// by the estimate's sign (undefined for 0), F inf (undefined when the
// regression SS is 0 too). No residual degrees of freedom: s, the errors,
// t, F and adjusted R^2 undefined. A forced intercept's error: forced.
TEST(Summarise, QuotientsByZero) {
    static const struct {
        std::vector<double> x, y;
        std::optional<double> intercept;
        // s; se and t of the intercept, then of the slope; F; adjusted R^2:
        // n a number, 0 the number 0, u undefined, i inf, m -inf, f forced
        const char* kinds;
    } cases[] = {
        {{1, 2, 3}, {3, 5, 7}, std::nullopt, "00i0iin"},
        {{1, 2, 3}, {7, 5, 3}, std::nullopt, "00i0min"},
        {{1, 2, 3}, {4, 4, 4}, std::nullopt, "00i0uun"},
        {{1, 2}, {1, 3}, std::nullopt, "uuuuuuu"},
        {{1, 2}, {2.5, 4.5}, 0.5, "0ff0iin"},
        {{2}, {5}, 1.0, "uffuuuu"},
    };
    for (const auto& c : cases) {
        const velmar::Design xX = velmar::design_matrix(column(c.x), 1, 30);
        const XMatrix xY = pipeline::to_x(column(c.y), 30);
        const auto sol = velmar::solve(xX, xY, c.intercept, 30, true);
        ASSERT_TRUE(sol);
        const velmar::Summary sm = velmar::summarise(*sol, velmar::r_squared(xX, xY, *sol, 30),
                                                     xX.rows(), c.intercept.has_value(), 30);
        std::string got;
        for (const velmar::Stat* st :
             {&sm.s, &sm.se[0], &sm.t[0], &sm.se[1], &sm.t[1], &sm.f, &sm.adjusted_r2})
            got +=
                st->kind == velmar::Stat::number && st->value.ndgt == 0 ? '0' : "nuimf"[st->kind];
        EXPECT_EQ(got, c.kinds) << c.y[0];
    }
}
