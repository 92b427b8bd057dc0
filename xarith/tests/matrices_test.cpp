// x_num matrices, their allocation failure, and the Gauss-Jordan solver.
#include "matrix/matrix.h"
#include "testsupport/memory.h"
#include "testsupport/records.h"

#include <gtest/gtest.h>

#include <vector>

// Under AddressSanitizer a refused allocation returns null, as malloc does,
// so that the death test sees xmatrix's own failure path.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

// An x_num matrix from rows of doubles, first indices 1; freed on exit.
struct XMat {
    int rows, cols;
    x_num** m;
    XMat(int r, int c, std::initializer_list<double> values)
        : rows(r), cols(c), m(xmatrix(1, r, 1, c)) {
        auto it = values.begin();
        for (int i = 1; i <= r; ++i)
            for (int j = 1; j <= c; ++j) cvdx(&m[i][j], it == values.end() ? 0.0 : *it++, 30);
    }
    XMat(const XMat&) = delete;
    ~XMat() { free_xmatrix(m, 1, rows, 1, cols); }
    double at(int i, int j) const { return cvxd(&m[i][j], 30); }
};

// Gauss-Jordan with full pivoting step by step as its definition reads,
// every operation on records of its own: the reference for xgaussj's
// records. The threshold is 10^(2 - dgt_max + e), e the order of the
// largest entry of the pivot's row as given, which moves with the row.
int literal_gaussj(x_num** a, int n, x_num** b, int m, x_num* det, int dgt_max) {
    std::vector<int> e(static_cast<std::size_t>(n) + 1, -99999);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) e[i] = std::max(e[i], x_ord_(&a[i][j]));
    x_num tiny;
    xinit(&tiny, 1);
    xinit(det, 1);
    std::vector<int> indxr(static_cast<std::size_t>(n) + 1), indxc(indxr), ipiv(indxr);
    x_num big, mag, temp, temp1, pivinv, dum;
    for (int i = 1; i <= n; ++i) {
        xinit(&big, 0);
        int irow = 0, icol = 0;
        for (int j = 1; j <= n; ++j) {
            if (ipiv[j] == 1) continue;
            for (int k = 1; k <= n; ++k) {
                if (ipiv[k] != 0) continue;
                mag = xabs_(&a[j][k]);
                if (xcomp_(&mag, &big, dgt_max) >= 0) {
                    big = mag;
                    irow = j;
                    icol = k;
                }
            }
        }
        ++ipiv[icol];
        if (irow != icol) {
            x_not_(det);
            for (int l = 1; l <= n; ++l) std::swap(a[irow][l], a[icol][l]);
            for (int l = 1; l <= m; ++l) std::swap(b[irow][l], b[icol][l]);
            std::swap(e[irow], e[icol]);
        }
        indxr[i] = irow;
        indxc[i] = icol;
        x_mult_(&a[icol][icol], det, &temp, dgt_max);
        *det = temp;
        mag = xabs_(&a[icol][icol]);
        tiny.esp = 2 - dgt_max + e[icol];
        if (mag.ndgt == 0 || xcomp_(&mag, &tiny, dgt_max) < 0) return 0;
        x_inv_(&a[icol][icol], &pivinv, dgt_max);
        xinit(&a[icol][icol], 1);
        for (int l = 1; l <= n; ++l) {
            x_mult_(&a[icol][l], &pivinv, &temp, dgt_max);
            a[icol][l] = temp;
        }
        for (int l = 1; l <= m; ++l) {
            x_mult_(&b[icol][l], &pivinv, &temp, dgt_max);
            b[icol][l] = temp;
        }
        for (int ll = 1; ll <= n; ++ll) {
            if (ll == icol) continue;
            dum = a[ll][icol];
            xinit(&a[ll][icol], 0);
            for (int l = 1; l <= n; ++l) {
                x_mult_(&a[icol][l], &dum, &temp, dgt_max);
                x_sub_(&a[ll][l], &temp, &temp1, dgt_max);
                a[ll][l] = temp1;
            }
            for (int l = 1; l <= m; ++l) {
                x_mult_(&b[icol][l], &dum, &temp, dgt_max);
                x_sub_(&b[ll][l], &temp, &temp1, dgt_max);
                b[ll][l] = temp1;
            }
        }
    }
    for (int l = n; l >= 1; --l) {
        if (indxr[l] == indxc[l]) continue;
        for (int k = 1; k <= n; ++k) std::swap(a[k][indxr[l]], a[k][indxc[l]]);
    }
    return -1;
}

// The fields of a record; zeros compare equal whatever their sign and
// exponent, which nothing reads.
Fields value_fields(const x_num& x) {
    if (x.ndgt == 0) return fields(make('+', {}, 0));
    return fields(x);
}

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

// Each pivot is judged against its own row's largest entry (or, for a
// normal matrix, its diagonal entry), so scaling a row changes no decision
// and no digit of X; x1, x2 (when not 0) are X for B = (1, 1) as doubles.
TEST(XGaussJ, Singularity) {
    static const struct {
        double a11, a12, a21, a22;
        int want;
        x_scale scale = x_scale::row;
        double x1 = 0, x2 = 0;
    } cases[] = {
        {1, 2, 2, 4, 0},
        {0, 0, 0, 0, 0},
        {1, 0, 0, 1e-28, -1, x_scale::row, 1, 1e28}, // a row of its own scale
        {1, 0, 0, 9e-29, -1},
        {1, 0, 1, 1e-28, -1}, // a pivot of exactly the threshold of its row passes
        {1, 0, 1, 9e-29, 0},  // one below it does not
        {3, 1, 9, 3, 0},
        {3e6, 1e6, 9e6, 3e6, 0}, // truncation leaves a residue far above 1e-28
        {3e-6, 1e-6, 9e-6, 3e-6, 0},
        {2e6, 1e6, 1e6, 3e6, -1}, // a regular matrix at the same scale
        {2e-20, 1e-20, 1e-20, 3e-20, -1},
        // rows scaled by 1e-100 and 1e100: X = (3e100 - 1e-100, 2e-100 - 1e100) / 5
        {2e-100, 1e-100, 1e100, 3e100, -1, x_scale::row, 6e99, -2e99},
        {1e-100, 2e-100, 2e100, 4e100, 0}, // proportional rows at any scale
        {0, 0, 1e100, 1, 0},               // a row of zeros
        // normal matrices: columns 1e-100 u and 1e100 v with correlation 0.5
        // are regular (the row scale finds the first pivot tiny against 0.5)
        {1e-200, 0.5, 0.5, 1e200, -1, x_scale::diagonal},
        {1e-200, 0.5, 0.5, 1e200, 0, x_scale::row},
        {1e-200, 1e-200, 1e-200, 1e-200, 0, x_scale::diagonal}, // identical columns
        {1e200, 2e200, 2e200, 4e200, 0, x_scale::diagonal},     // proportional ones
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a11 << " " << c.a12 << " " << c.a21 << " " << c.a22);
        XMat a(2, 2, {c.a11, c.a12, c.a21, c.a22}), b(2, 1, {1, 1});
        x_num det;
        EXPECT_EQ(xgaussj_scaled(a.m, 2, b.m, 1, &det, c.scale, nullptr, 30), c.want);
        if (c.x1 != 0) {
            EXPECT_EQ(b.at(1, 1), c.x1);
            EXPECT_EQ(b.at(2, 1), c.x2);
        }
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
        std::vector<std::vector<long long>> a(
            static_cast<std::size_t>(n) + 1,
            std::vector<long long>(static_cast<std::size_t>(n) + 1));
        std::vector<long long> x(static_cast<std::size_t>(n) + 1);
        std::uniform_int_distribution<int> entry(-9, 9), sol(-99999, 99999);
        for (int i = 1; i <= n; ++i) {
            long long row = 0;
            for (int j = 1; j <= n; ++j) row += std::abs(a[i][j] = entry(rng));
            a[i][i] = (row + 1) * (entry(rng) < 0 ? -1 : 1); // diagonally dominant
            x[i] = sol(rng);                                 // x = sol / 1000
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
            EXPECT_LT(x_ord_(&ratio), -25)
                << "n " << n << " x" << i << " = " << cvxs(&xb[i][1], 30);
        }
        free_xmatrix(xa, 1, n, 1, n);
        free_xmatrix(xb, 1, n, 1, 1);
    }
}

// xgaussj gives the records of the literal elimination on random matrices:
// entries of every limb count and wide exponents, zero entries and rows,
// proportional rows (singular), at the precisions of the word path and of
// the record path (beyond 72 digits, products of words); xgaussj_solve
// gives its solutions and determinant.
TEST(XGaussJ, MatchesTheLiteralElimination) {
    std::mt19937_64 rng(2026);
    static const int precs[] = {30, 34, 36, 50, 54, 60, 30, 12, 100, 150};
    for (int round = 0; round < 500; ++round) {
        const int prec = precs[round % 10];
        const int n = 1 + static_cast<int>(rng() % 9), m = static_cast<int>(rng() % 3);
        const int most = std::min(prec > 72 ? 27 : 12, prec / 6 + 2);
        x_num** a = xmatrix(1, n, 1, n);
        x_num** b = xmatrix(1, n, 1, std::max(m, 1));
        x_num** ra = xmatrix(1, n, 1, n);
        x_num** rb = xmatrix(1, n, 1, std::max(m, 1));
        x_num** sa = xmatrix(1, n, 1, n);
        x_num** sb = xmatrix(1, n, 1, std::max(m, 1));
        const auto entry = [&](x_num* x) {
            *x = random_record(rng, 1 + static_cast<int>(rng() % static_cast<unsigned>(most)), -9,
                               9);
            if (rng() % 11 == 0) xinit(x, 0);
        };
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) entry(&a[i][j]);
            for (int j = 1; j <= m; ++j) entry(&b[i][j]);
        }
        if (round % 3 == 0) // entries of equal magnitude: the later one in the scan wins
            for (int k = 0; k < n; ++k) {
                x_num& x = a[1 + static_cast<int>(rng() % n)][1 + static_cast<int>(rng() % n)];
                x = a[1][1];
                if (rng() % 2 == 0) x_not_(&x);
            }
        if (round % 10 == 0 && n > 1) // row 2 = row 1 times 2 (singular)
            for (int j = 1; j <= n; ++j) x_add_(&a[1][j], &a[1][j], &a[2][j], prec);
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) ra[i][j] = sa[i][j] = a[i][j];
            for (int j = 1; j <= m; ++j) rb[i][j] = sb[i][j] = b[i][j];
        }
        x_num det, rdet, sdet;
        const int solved = xgaussj_solve(sa, n, sb, m, &sdet, x_scale::row, nullptr, prec);
        const int got = xgaussj(a, n, b, m, &det, prec);
        const int want = literal_gaussj(ra, n, rb, m, &rdet, prec);
        SCOPED_TRACE(testing::Message()
                     << "round " << round << ": n " << n << " m " << m << " at " << prec);
        ASSERT_EQ(got, want);
        ASSERT_EQ(solved, want);
        ASSERT_EQ(value_fields(det), value_fields(rdet));
        ASSERT_EQ(value_fields(sdet), value_fields(rdet));
        if (got != 0) {
            for (int i = 1; i <= n; ++i) {
                for (int j = 1; j <= n; ++j)
                    ASSERT_EQ(value_fields(a[i][j]), value_fields(ra[i][j])) << i << "," << j;
                for (int j = 1; j <= m; ++j) {
                    ASSERT_EQ(value_fields(b[i][j]), value_fields(rb[i][j])) << i << "," << j;
                    ASSERT_EQ(value_fields(sb[i][j]), value_fields(rb[i][j])) << i << "," << j;
                }
            }
        }
        free_xmatrix(a, 1, n, 1, n);
        free_xmatrix(b, 1, n, 1, std::max(m, 1));
        free_xmatrix(ra, 1, n, 1, n);
        free_xmatrix(rb, 1, n, 1, std::max(m, 1));
        free_xmatrix(sa, 1, n, 1, n);
        free_xmatrix(sb, 1, n, 1, std::max(m, 1));
    }
}

// Running out of memory ends through nrerror's report, as every allocation
// of the suite does.
TEST(XMatrixDeathTest, AllocationFailureReports) {
    static const struct {
        int rows, cols;
        const char* line;
    } cases[] = {{1 << 27, 1, "allocation failure 1 in xmatrix\\(\\)"},
                 {1, 1 << 24, "allocation failure 2 in xmatrix\\(\\)"}};
    for (const auto& c : cases) {
        const std::string report = std::string("^Run-time error\\.\\.\\.\n") + c.line +
                                   "\n\\.\\.\\.now exiting to system\\.\\.\\.\n$";
        EXPECT_EXIT((limit_memory(), xmatrix(1, c.rows, 1, c.cols)), ::testing::ExitedWithCode(1), report);
    }
}
