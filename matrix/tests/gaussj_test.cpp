// gaussj on small worked systems, and on random well-conditioned systems
// whose exact solution is known.
#include "matrix/matrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

// A rows x cols matrix (indices from 1) holding v row by row; its elements
// lie in one block, so &m[1][1] addresses them all.
double** make(int rows, int cols, const std::vector<double>& v) {
    double** m = dmatrix(1, rows, 1, cols);
    std::copy(v.begin(), v.end(), &m[1][1]);
    return m;
}

struct system_case {
    const char* name;
    int n, m;
    std::vector<double> a, b;
    int result;
    std::vector<double> inverse, x; // when solved
};

const double nan = std::numeric_limits<double>::quiet_NaN();

// clang-format off
static const system_case systems[] = {
    {"2 x 2", 2, 1, {2, 1, 1, 3}, {3, 5}, -1, {0.6, -0.2, -0.2, 0.4}, {0.8, 1.4}},
    {"row exchange", 2, 2, {0, 1, 1, 0}, {1, 7, 2, 8}, -1, {0, 1, 1, 0}, {2, 8, 1, 7}},
    {"identity", 3, 1, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {4, 5, 6}, -1, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {4, 5, 6}},
    {"exactly TINY", 1, 1, {1e-15}, {2e-15}, -1, {1e15}, {2}},
    {"proportional rows", 2, 1, {1, 2, 2, 4}, {1, 1}, 0, {}, {}},
    {"below TINY", 1, 1, {1e-16}, {1}, 0, {}, {}},
    {"threshold is absolute", 2, 1, {1e-16, 0, 0, 2e-16}, {1, 1}, 0, {}, {}},
    {"no number to pivot on", 2, 1, {nan, nan, nan, nan}, {1, 1}, 0, {}, {}},
};
// clang-format on

TEST(Gaussj, WorkedSystems) {
    for (const system_case& c : systems) {
        SCOPED_TRACE(c.name);
        double** a = make(c.n, c.n, c.a);
        double** b = make(c.n, c.m, c.b);
        EXPECT_EQ(gaussj(a, c.n, b, c.m), c.result);
        for (std::size_t k = 0; k < c.inverse.size(); ++k)
            EXPECT_DOUBLE_EQ((&a[1][1])[k], c.inverse[k]);
        for (std::size_t k = 0; k < c.x.size(); ++k) EXPECT_DOUBLE_EQ((&b[1][1])[k], c.x[k]);
        free_dmatrix(a, 1, c.n, 1, c.n);
        free_dmatrix(b, 1, c.n, 1, c.m);
    }
}

// Integer systems scaled by a power of two, so that B = A X is exact and X
// is the exact solution. Each row's dominant entry stands in a shuffled
// column: the pivots lie off the diagonal, rows and columns get exchanged.
TEST(Gaussj, RandomSystemsWithKnownSolutions) {
    const std::uint64_t seed = 1789;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937_64 gen(seed);
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 1 + trial % 12, m = 1 + trial % 3;
        const auto nn = static_cast<std::size_t>(n), mm = static_cast<std::size_t>(m);
        const double scale = std::ldexp(1.0, static_cast<int>(gen() % 41) - 20);
        std::vector<std::size_t> dominant(nn);
        std::iota(dominant.begin(), dominant.end(), 0);
        std::shuffle(dominant.begin(), dominant.end(), gen);
        std::vector<double> a(nn * nn), x(nn * mm), b(nn * mm);
        for (double& v : x) v = static_cast<double>(gen() % 19) - 9;
        for (std::size_t k = 0; k < a.size(); ++k)
            a[k] = k % nn == dominant[k / nn] ? 9.0 * n + 1 : static_cast<double>(gen() % 19) - 9;
        for (std::size_t k = 0; k < b.size(); ++k)
            for (std::size_t l = 0; l < nn; ++l)
                b[k] += a[k / mm * nn + l] * x[l * mm + k % mm] * scale;
        for (double& v : a) v *= scale;
        SCOPED_TRACE("trial " + std::to_string(trial));
        double** ga = make(n, n, a);
        double** gb = make(n, m, b);
        ASSERT_EQ(gaussj(ga, n, gb, m), -1);
        for (std::size_t k = 0; k < x.size(); ++k) EXPECT_NEAR((&gb[1][1])[k], x[k], 1e-11);
        // the inverse: a times it is the identity
        for (std::size_t k = 0; k < a.size(); ++k) {
            long double unit = k % nn == k / nn ? -1 : 0;
            for (std::size_t l = 0; l < nn; ++l)
                unit += static_cast<long double>(a[k / nn * nn + l]) * (&ga[1][1])[l * nn + k % nn];
            EXPECT_NEAR(static_cast<double>(unit), 0.0, 1e-12);
        }
        free_dmatrix(ga, 1, n, 1, n);
        free_dmatrix(gb, 1, n, 1, m);
    }
}

} // namespace
