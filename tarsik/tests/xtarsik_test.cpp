// The tridiagonal elimination: worked systems, singularity, the outside
// slots, and exact solutions of random systems.
#include "matrix/matrix.h"
#include "tarsik/xtarsik.h"
#include "testsupport/decimal.h"
#include "testsupport/records.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Rows of numbers as text: rows separated by ';', numbers by blanks.
using Table = std::vector<std::vector<std::string>>;

Table parse(const std::string& text) {
    Table rows(1);
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        const bool ends_row = w.back() == ';';
        if (ends_row) w.pop_back();
        if (!w.empty()) rows.back().push_back(w);
        if (ends_row) rows.emplace_back();
    }
    return rows;
}

// A band and its right-hand sides as x_num matrices; freed on exit.
struct System {
    int n, m;
    x_num** a;
    x_num** b;
    x_num det = poisoned();

    System(int rows, int cols)
        : n(rows), m(cols), a(xmatrix(1, rows, 1, 3)), b(xmatrix(1, rows, 1, cols)) {}
    System(const Table& band, const Table& rhs)
        : System(static_cast<int>(band.size()), static_cast<int>(rhs[0].size())) {
        for (int i = 1; i <= n; ++i) {
            for (int l = 1; l <= 3; ++l) cvsx(band[i - 1][l - 1], &a[i][l], 30);
            for (int j = 1; j <= m; ++j) cvsx(rhs[i - 1][j - 1], &b[i][j], 30);
        }
    }
    System(const System&) = delete;
    ~System() {
        free_xmatrix(a, 1, n, 1, 3);
        free_xmatrix(b, 1, n, 1, m);
    }
    int solve() { return xtarsik(a, n, b, m, &det, 30); }
};

// Whether x agrees with `want` (a decimal, or p/q) to `digits` significant
// digits; for a zero `want`, whether |x| is below 10^-digits.
testing::AssertionResult agrees(const x_num& x, const std::string& want, int digits) {
    x_num exact, q, diff, ratio;
    const auto slash = want.find('/');
    cvsx(want.substr(0, slash), &exact, 120);
    if (slash != std::string::npos) {
        cvsx(want.substr(slash + 1), &q, 120);
        x_div_(&exact, &q, &exact, 120);
    }
    x_sub_(&x, &exact, &diff, 120);
    ratio = diff;
    if (exact.ndgt != 0) x_div_(&diff, &exact, &ratio, 30);
    if (ratio.ndgt == 0 || x_ord_(&ratio) < -digits) return testing::AssertionSuccess();
    return testing::AssertionFailure() << cvxs(&x, 40) << " is not " << want;
}

} // namespace

// X (row by row), the pivots U(i,i) and the determinant, each to 28 digits.
TEST(XTarsik, WorkedSystems) {
    static const struct {
        const char *a, *b, *x, *pivots, *det;
    } cases[] = {
        // no interchange: factors 1/2 and 2/3
        {"0 2 1; 1 2 1; 1 2 0", "4; 8; 8", "1 2 3", "2 3/2 4/3", "4"},
        // rows interchanged at the first step, 1 < 3
        {"9 1 2; 3 4 9", "3; 7", "1 1", "3 2/3", "-2"},
        // equal magnitudes keep the rows
        {"0 1 1; -1 1 0", "2; 0", "1 1", "1 2", "2"},
        {"7 4 9", "8 -2 0", "2 -0.5 0", "4", "4"},
        {"5 2 0; 0 -4 0; 0 0.5 6", "1; 1; 1", "0.5 -0.25 2", "2 -4 0.5", "-4"},
        // interchanges at both steps; the first leaves a fill-in
        {"0 1 1; 4 1 2; 1 3 0", "3 -0.5; 12 0.5; 11 6.5", "1 -1 2 0.5 3 2", "4 1 -2.75", "-11"},
        // entries near 1e-10 are not zero
        {"0 2e-10 1e-10; 1e-10 2e-10 1e-10; 1e-10 2e-10 0", "4; 8; 8", "1e10 2e10 3e10",
         "2e-10 1.5e-10 4e-10/3", "4e-30"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a);
        System s(parse(c.a), parse(c.b));
        ASSERT_EQ(s.solve(), -1);
        const auto x = parse(c.x)[0], pivots = parse(c.pivots)[0];
        for (int i = 1; i <= s.n; ++i) {
            EXPECT_TRUE(agrees(s.a[i][1], pivots[i - 1], 28)) << "pivot " << i;
            for (int j = 1; j <= s.m; ++j)
                EXPECT_TRUE(agrees(s.b[i][j], x[(i - 1) * s.m + j - 1], 28)) << i << "," << j;
        }
        EXPECT_TRUE(agrees(s.det, c.det, 28));
    }
}

// Singular by a row with nothing left in its columns, or by a pivot not
// above 10^(2 - 30 + e), e the order of the largest entry of its equation:
// an equation of any scale is regular on its own.
TEST(XTarsik, Singular) {
    static const struct {
        const char* a;
        int want;
    } cases[] = {
        {"0 1 2; 0 0 0; 3 4 5", 0}, // a zero row in the middle
        {"0 1 2; 3 4 5; 0 0 0", 0}, // a zero last row
        {"0 1 2; 1 2 0; 5 3 1", 0}, // row 2 eliminated to zero
        {"0 1 0; 0 0 1; 0 1 1", 0}, // a zero pivot with nothing below it
        {"0 0 0", 0},
        {"5 0 7", 0}, // only the outside slots
        {"0 3 1; 9 3 0", 0},
        {"0 3e6 1e6; 9e6 3e6 0", 0}, // truncation leaves a residue far above 1e-28
        {"0 3e-6 1e-6; 9e-6 3e-6 0", 0},
        {"0 2e6 1e6; 1e6 3e6 0", -1},
        {"0 4 1; 1 4 1; 0 2 1; 4 2 0; 0 4 0", 0}, // rows 3 and 4 proportional
        {"0 1 0; 1 1e-28 0", 0},                  // a pivot of exactly the threshold
        {"0 1 0; 1 1.000001e-28 0", -1},
        {"0 1 0; 0 1e-28 0", -1}, // an equation of its own scale
        {"0 1e10 0; 0 1e-18 0", -1},
        {"0 1e-150 0; 0 1 0; 0 1e150 0", -1},
        {"0 1 2; 1e100 2e100 0", 0},            // proportional equations at any scale
        {"0 2e-100 1e-100; 1e100 3e100 0", -1}, // and regular ones
        {"0 1e-200 0; 0 0 0; 0 1e200 0", 0},    // a zero row among wide ones
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a);
        const Table a = parse(c.a);
        System s(a, Table(a.size(), {"1"}));
        EXPECT_EQ(s.solve(), c.want);
        if (c.want == 0) {
            EXPECT_EQ(s.det.ndgt, 0);
        }
    }
    // a row with nothing left stops the elimination before the last row is
    // touched (the outside slot of row 1 counts for nothing)
    for (const char* a : {"0 1 2; 0 0 0; 5 3 1", "0 1 2; 1 2 0; 5 3 1", "7 0 0; 5 3 1"}) {
        SCOPED_TRACE(a);
        const Table band = parse(a);
        System s(band, Table(band.size(), {"1"}));
        ASSERT_EQ(s.solve(), 0);
        for (int l = 1; l <= 3; ++l) EXPECT_EQ(cvxs(&s.a[s.n][l], 30), band.back()[l - 1]);
    }
}

// 0.5 x identity: every pivot is far above the threshold, whatever the
// size of their product.
TEST(XTarsik, SmallDeterminantsSolve) {
    for (const int n : {93, 200}) {
        SCOPED_TRACE(n);
        const auto rows = static_cast<std::size_t>(n);
        System s(Table(rows, {"0", "0.5", "0"}), Table(rows, {"1"}));
        ASSERT_EQ(s.solve(), -1);
        for (int i = 1; i <= n; ++i) ASSERT_EQ(cvxs(&s.b[i][1], 30), "2");
        Digits five_n = "1";
        for (int i = 0; i < n; ++i) five_n = mul(five_n, "5");
        EXPECT_TRUE(agrees(s.det, five_n + "e-" + std::to_string(n), 28));
    }
}

// Equations scaled by powers of ten from 1e-200 to 1e200: X the same to
// the last limb as for the unscaled heat step, whose rows interchange at
// no step, and the determinant the same but for its exponent. The scaled
// rows compare their candidates relative to their own equations; by raw
// magnitude a 1e200 row would take every pivot.
TEST(XTarsik, ScalingAnEquationChangesNoDigit) {
    std::mt19937_64 rng(15);
    std::uniform_int_distribution<int> power(-200, 200);
    const int n = 40;
    System plain(n, 2), scaled(n, 2);
    long long shift = 0;
    for (int i = 1; i <= n; ++i) {
        const int k = power(rng);
        shift += k;
        const char* band[3] = {"-0.5", "2", "-0.5"};
        const std::string rhs[2] = {std::to_string(i % 7 + 1), "-" + std::to_string(i)};
        for (int l = 1; l <= 3; ++l) {
            cvsx(band[l - 1], &plain.a[i][l], 30);
            cvsx(std::string(band[l - 1]) + "e" + std::to_string(k), &scaled.a[i][l], 30);
        }
        for (int j = 1; j <= 2; ++j) {
            cvsx(rhs[j - 1], &plain.b[i][j], 30);
            cvsx(rhs[j - 1] + "e" + std::to_string(k), &scaled.b[i][j], 30);
        }
    }
    ASSERT_EQ(plain.solve(), -1);
    ASSERT_EQ(scaled.solve(), -1);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= 2; ++j) EXPECT_EQ(fields(scaled.b[i][j]), fields(plain.b[i][j])) << i;
    x_num det = scaled.det;
    det.esp = static_cast<std::int32_t>(det.esp - shift);
    EXPECT_EQ(fields(det), fields(plain.det));
}

// A sub-diagonal entry not above the threshold is dropped without
// elimination; one just above it is eliminated.
TEST(XTarsik, TinySubDiagonal) {
    System dropped(parse("0 1 1; 1e-28 1 0"), parse("2; 1"));
    ASSERT_EQ(dropped.solve(), -1);
    EXPECT_EQ(cvxs(&dropped.det, 30), "1");
    EXPECT_EQ(cvxs(&dropped.b[1][1], 30), "1");
    System kept(parse("0 1 1; 2e-28 1 0"), parse("2; 1"));
    ASSERT_EQ(kept.solve(), -1);
    EXPECT_EQ(cvxs(&kept.det, 30), "0.9999999999999999999999999998");
}

// Whatever a[1][1] and a[n][3] hold, X and the determinant are the same to
// the last limb; the interchange at the last step moves a[n][3] into the
// fill-in position.
TEST(XTarsik, OutsideSlotsNeverMatter) {
    for (const char* text : {"0 2 1; 1 2 1; 1 2 0", "0 1 1; 4 1 2; 5 3 0", "0 4 0"}) {
        const Table band = parse(text), rhs(band.size(), {"1", "-3"});
        System base(band, rhs);
        ASSERT_EQ(base.solve(), -1);
        for (const char* outside : {"1e300", "-1e-300", "123"}) {
            SCOPED_TRACE(testing::Message() << text << ", outside " << outside);
            Table b = band;
            b.front()[0] = b.back()[2] = outside;
            System s(b, rhs);
            ASSERT_EQ(s.solve(), -1);
            EXPECT_EQ(fields(s.det), fields(base.det));
            for (int i = 1; i <= s.n; ++i)
                for (int j = 1; j <= s.m; ++j) EXPECT_EQ(fields(s.b[i][j]), fields(base.b[i][j]));
        }
    }
}

namespace {

// The infinity-norm condition number of the band (rows 1..n of `band`),
// in doubles; huge when the double elimination finds it singular.
double condition(const std::vector<std::array<int, 3>>& band, int n) {
    double** a = dmatrix(1, n, 1, n);
    double** b = dmatrix(1, n, 1, 1);
    double norm = 0, inv = 0;
    for (int i = 1; i <= n; ++i) {
        double row = 0;
        for (int j = 1; j <= n; ++j) {
            const int l = j - i + 1; // band position of column j
            a[i][j] = l >= 0 && l <= 2 ? band[i][l] : 0;
            row += std::abs(a[i][j]);
        }
        norm = std::max(norm, row);
        b[i][1] = 0;
    }
    const bool regular = gaussj(a, n, b, 1) != 0;
    for (int i = 1; regular && i <= n; ++i) {
        double row = 0;
        for (int j = 1; j <= n; ++j) row += std::abs(a[i][j]);
        inv = std::max(inv, row);
    }
    free_dmatrix(a, 1, n, 1, n);
    free_dmatrix(b, 1, n, 1, 1);
    return regular ? norm * inv : 1e300;
}

} // namespace

// Systems with a known exact solution: small integer bands, solutions
// k / 1000 with 1000 <= |k| < 100000, right-hand sides formed exactly.
// Diagonally dominant bands, and bands whose small diagonals force
// interchanges (kept when their condition number is below 1000). X and the
// determinant (by the three-term recurrence in big integers) must agree
// with the exact values to 25 significant digits.
TEST(XTarsik, MatchesExactSolutions) {
    const unsigned seed = 20240605;
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<int> off(-9, 9), small(-2, 2), k(1000, 99999), coin(0, 1);
    const auto sign = [&] { return coin(rng) ? 1 : -1; };
    int systems = 0, interchanged = 0;
    for (int round = 0; round < 400 && systems < 60; ++round) {
        const bool forcing = round % 2 == 1;
        const int n = 2 + round % 49, m = 1 + round % 4;
        // rows 0 and n + 1 of the band and of x are zero padding
        std::vector<std::array<int, 3>> band(static_cast<std::size_t>(n) + 2, {0, 0, 0});
        for (int i = 1; i <= n; ++i) {
            auto& r = band[i];
            r = {i > 1 ? off(rng) : 0, 0, i < n ? off(rng) : 0};
            r[1] = forcing ? small(rng)
                           : sign() * (std::abs(r[0]) + std::abs(r[2]) + 1 + 5 * coin(rng));
        }
        if (forcing && condition(band, n) > 1000) continue;
        // the exact determinant: f_i = d_i f_(i-1) - l_i u_(i-1) f_(i-2)
        Dec f2 = from_int(1), f1 = from_int(band[1][1]);
        for (int i = 2; i <= n; ++i) {
            const Dec f = from_int(band[i][1]) * f1 - from_int(band[i][0] * band[i - 1][2]) * f2;
            f2 = f1;
            f1 = f;
        }
        if (f1.mag.empty()) continue;
        ++systems;
        SCOPED_TRACE(testing::Message() << "seed " << seed << " round " << round << " n " << n);

        std::vector<std::vector<long long>> x(band.size(), std::vector<long long>(m + 1));
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= m; ++j) x[i][j] = sign() * k(rng);
        System s(n, m);
        for (int i = 1; i <= n; ++i) {
            const auto& r = band[i];
            for (int l = 1; l <= 3; ++l) xinit(&s.a[i][l], r[l - 1]);
            for (int j = 1; j <= m; ++j) {
                const long long bij = r[0] * x[i - 1][j] + r[1] * x[i][j] + r[2] * x[i + 1][j];
                cvsx(std::to_string(bij) + "e-3", &s.b[i][j], 30);
            }
        }
        ASSERT_EQ(s.solve(), -1);
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= m; ++j)
                ASSERT_TRUE(agrees(s.b[i][j], std::to_string(x[i][j]) + "e-3", 25))
                    << i << "," << j;
        EXPECT_TRUE(agrees(s.det, (f1.neg ? "-" : "") + f1.mag, 25));
        // an interchange at step i < n - 1 leaves its fill-in in a[i][3]
        for (int i = 1; i < n - 1; ++i) interchanged += s.a[i][3].ndgt != 0;
    }
    EXPECT_GE(systems, 60);
    EXPECT_GT(interchanged, 100);
}
