// x_num matrices and the Gauss-Jordan solver.
#include "matrix/matrix.h"
#include "xarith/tests/support.h"

#include <gtest/gtest.h>

namespace {

// An x_num matrix from rows of doubles, first indices 1; freed on exit.
struct XMat {
    int rows, cols;
    x_num** m;
    XMat(int r, int c, std::initializer_list<double> values) : rows(r), cols(c), m(xmatrix(1, r, 1, c)) {
        auto it = values.begin();
        for (int i = 1; i <= r; ++i)
            for (int j = 1; j <= c; ++j) cvdx(&m[i][j], it == values.end() ? 0.0 : *it++, 30);
    }
    XMat(const XMat&) = delete;
    ~XMat() { free_xmatrix(m, 1, rows, 1, cols); }
    double at(int i, int j) const { return cvxd(&m[i][j], 30); }
};

} // namespace

TEST(XMatrix, LayoutAndLoad) {
    double** d = dmatrix(0, 1, 5, 7);
    const double values[2][3] = {{0.1, 0.0, -2.5}, {1.0 / 3, 1e300, -5e-324}};
    for (int i = 0; i <= 1; ++i)
        for (int j = 5; j <= 7; ++j) d[i][j] = values[i][j - 5];
    x_num** x = xmatrix(0, 1, 5, 7);
    EXPECT_EQ(&x[1][5], &x[0][7] + 1); // rows lie one after another
    xmatrix_load(x, d, 0, 1, 5, 7, 30);
    EXPECT_EQ(cvxs(&x[0][5], 30), "0.1");
    EXPECT_EQ(x[0][6].ndgt, 0);
    EXPECT_EQ(cvxs(&x[0][7], 30), "-2.5");
    EXPECT_EQ(cvxs(&x[1][5], 30), "0.3333333333333333");
    EXPECT_EQ(cvxs(&x[1][6], 30), "1E300");
    EXPECT_EQ(cvxs(&x[1][7], 30), "-4.940656458412465E-324");
    free_xmatrix(x, 0, 1, 5, 7);
    free_dmatrix(d, 0, 1, 5, 7);
}

TEST(XMatrix, PrintOuts) {
    XMat a(2, 2, {1.5, -2, 0, 2.5e-40});
    testing::internal::CaptureStdout();
    dump_xmatrix(a.m, 2, 2, 30);
    x_num one;
    xinit(&one, 1);
    dump_det(&one, 30);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "row=1\na[1][1]= 1.5\na[1][2]= -2\nrow=2\na[2][1]= 0\na[2][2]= 2.5E-40\ndet= 1\n");
}

TEST(XGaussJ, WorkedSystems) {
    {
        XMat a(2, 2, {2, 1, 1, 3}), b(2, 1, {3, 5});
        x_num det;
        ASSERT_EQ(xgaussj(a.m, 2, b.m, 1, &det, 30), -1);
        EXPECT_EQ(b.at(1, 1), 0.8);
        EXPECT_EQ(b.at(2, 1), 1.4);
        EXPECT_EQ(a.at(1, 1), 0.6);
        EXPECT_EQ(a.at(1, 2), -0.2);
        EXPECT_EQ(a.at(2, 1), -0.2);
        EXPECT_EQ(a.at(2, 2), 0.4);
        EXPECT_EQ(cvxd(&det, 30), 5.0);
    }
    {
        // two equal candidates: the later one, [2][1], is the first pivot
        XMat a(2, 2, {0, 1, 1, 0}), b(2, 2, {1, 2, 3, 4});
        x_num det;
        ASSERT_EQ(xgaussj(a.m, 2, b.m, 2, &det, 30), -1);
        EXPECT_EQ(cvxs(&det, 30), "-1");
        EXPECT_EQ(a.at(1, 1), 0.0);
        EXPECT_EQ(a.at(1, 2), 1.0);
        EXPECT_EQ(a.at(2, 1), 1.0);
        EXPECT_EQ(b.at(1, 1), 3.0);
        EXPECT_EQ(b.at(2, 2), 2.0);
    }
    {
        XMat a(1, 1, {4}), b(1, 2, {1, -3});
        x_num det;
        ASSERT_EQ(xgaussj(a.m, 1, b.m, 2, &det, 30), -1);
        EXPECT_EQ(cvxs(&det, 30), "4");
        EXPECT_EQ(cvxs(&a.m[1][1], 30), "0.25");
        EXPECT_EQ(cvxs(&b.m[1][2], 30), "-0.75");
    }
    {
        XMat a(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}), b(3, 1, {7, 8, 9});
        x_num det;
        ASSERT_EQ(xgaussj(a.m, 3, b.m, 1, &det, 30), -1);
        EXPECT_EQ(cvxs(&det, 30), "1");
        EXPECT_EQ(cvxs(&b.m[3][1], 30), "9");
    }
}

TEST(XGaussJ, Singularity) {
    static const struct {
        double a11, a12, a21, a22;
        int want;
    } cases[] = {
        {1, 2, 2, 4, 0},
        {0, 0, 0, 0, 0},
        {1, 0, 0, 1e-28, -1},  // a pivot of exactly the threshold passes
        {1, 0, 0, 9e-29, 0},   // one below it does not
        {3, 1, 9, 3, 0},
        {3e6, 1e6, 9e6, 3e6, 0},   // truncation leaves a residue far above 1e-28
        {3e-6, 1e-6, 9e-6, 3e-6, 0},
        {2e6, 1e6, 1e6, 3e6, -1},  // a regular matrix at the same scale
        {2e-20, 1e-20, 1e-20, 3e-20, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a11 << " " << c.a12 << " " << c.a21 << " " << c.a22);
        XMat a(2, 2, {c.a11, c.a12, c.a21, c.a22}), b(2, 1, {1, 1});
        x_num det;
        EXPECT_EQ(xgaussj(a.m, 2, b.m, 1, &det, 30), c.want);
    }
    XMat zero(1, 1, {0}), b(1, 1, {1});
    x_num det;
    EXPECT_EQ(xgaussj(zero.m, 1, b.m, 1, &det, 30), 0);
}

// Systems with a known exact solution: small integer matrices, solutions
// of few digits, right-hand sides formed exactly. The 30-digit solution
// must agree with the exact one to 25 significant digits.
TEST(XGaussJ, MatchesExactSolutions) {
    std::mt19937_64 rng(42);
    for (int round = 0; round < 40; ++round) {
        const int n = 2 + round % 11;
        std::vector<std::vector<long long>> a(static_cast<std::size_t>(n) + 1,
                                              std::vector<long long>(static_cast<std::size_t>(n) + 1));
        std::vector<long long> x(static_cast<std::size_t>(n) + 1);
        std::uniform_int_distribution<int> entry(-9, 9), sol(-99999, 99999);
        for (int i = 1; i <= n; ++i) {
            long long row = 0;
            for (int j = 1; j <= n; ++j) row += std::abs(a[i][j] = entry(rng));
            a[i][i] = (row + 1) * (entry(rng) < 0 ? -1 : 1); // diagonally dominant
            x[i] = sol(rng);                                   // x = sol / 1000
        }
        x_num** xa = xmatrix(1, n, 1, n);
        x_num** xb = xmatrix(1, n, 1, 1);
        for (int i = 1; i <= n; ++i) {
            long long bi = 0;
            for (int j = 1; j <= n; ++j) {
                xinit(&xa[i][j], static_cast<int>(a[i][j]));
                bi += a[i][j] * x[j];
            }
            cvsx(std::to_string(bi) + "e-3", &xb[i][1], 30);
        }
        x_num det;
        ASSERT_EQ(xgaussj(xa, n, xb, 1, &det, 30), -1);
        for (int i = 1; i <= n; ++i) {
            x_num exact, diff, ratio;
            cvsx(std::to_string(x[i]) + "e-3", &exact, 30);
            x_sub_(&xb[i][1], &exact, &diff, 60);
            x_div_(&diff, &exact, &ratio, 30);
            EXPECT_LT(x_ord_(&ratio), -25) << "n " << n << " x" << i << " = " << cvxs(&xb[i][1], 30);
        }
        free_xmatrix(xa, 1, n, 1, n);
        free_xmatrix(xb, 1, n, 1, 1);
    }
}
