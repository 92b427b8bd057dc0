// The integer product loop gives the records the record loop gives.
#include "mobrel/product.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {

// Entries that stress the alignment: wide exponents, zeros, values on
// both sides of powers of ten, 16-digit mantissas, and pairs that cancel.
double entry(std::mt19937_64& rng, int spread) {
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_real_distribution<double> unit(0, 1);
    const double sign = unit(rng) < 0.5 ? -1 : 1;
    switch (kind(rng)) {
    case 0: return 0.0;
    case 1: return sign * std::pow(10.0, std::uniform_int_distribution<int>(-spread, spread)(rng));
    case 2: return sign * 9.999999999999999 * std::pow(10.0, std::uniform_int_distribution<int>(-spread, spread)(rng));
    case 3: return sign * (1 + 1e-15) * std::pow(10.0, std::uniform_int_distribution<int>(-spread, spread)(rng));
    default: return sign * std::pow(10.0, spread * (2 * unit(rng) - 1));
    }
}

void expect_same(const x_num& fast, const x_num& slow, int i, int j) {
    SCOPED_TRACE(testing::Message() << "C[" << i << "," << j << "] = " << cvxs(&slow, 40));
    ASSERT_EQ(fast.ndgt, slow.ndgt);
    if (slow.ndgt == 0) return; // a zero's sign and exponent carry no meaning
    ASSERT_EQ(fast.sign, slow.sign);
    ASSERT_EQ(fast.esp, slow.esp);
    for (int l = 0; l < slow.ndgt; ++l) ASSERT_EQ(fast.dgt[l], slow.dgt[l]) << "limb " << l;
}

} // namespace

TEST(Product, IntegerLoopMatchesRecordLoop) {
    std::mt19937_64 rng(2026);
    for (int round = 0; round < 600; ++round) {
        const int spread = round % 3 == 0 ? 300 : (round % 3 == 1 ? 20 : 3);
        const int n = 3, inner = 1 + round % 40, m = 9;
        pipeline::DMatrix a(n, inner), b(inner, m);
        for (int i = 1; i <= n; ++i)
            for (int k = 1; k <= inner; ++k) a[i][k] = entry(rng, spread);
        for (int k = 1; k <= inner; ++k)
            for (int j = 1; j <= m; ++j) b[k][j] = entry(rng, spread);
        // column m cancels: its entries make a[1][k] * b[k][m] sum to zero in pairs
        for (int k = 2; k <= inner; k += 2) {
            a[1][k] = a[1][k - 1];
            b[k][m] = -b[k - 1][m];
        }
        const pipeline::XMatrix xa = pipeline::to_x(a, 30), xb = pipeline::to_x(b, 30);
        const mobrel::FastProduct fast(xa, xb);
        ASSERT_TRUE(fast.usable());
        std::vector<x_num> got(m + 1), want(m + 1);
        for (int i = 1; i <= n; ++i) {
            fast.row(i, got.data());
            mobrel::product_row(xa, xb, i, want.data());
            for (int j = 1; j <= m; ++j) expect_same(got[j], want[j], i, j);
        }
    }
}

TEST(Product, LongEntriesTakeTheRecordLoop) {
    pipeline::XMatrix a(1, 1), b(1, 1);
    cvsx("1.23456789012345678", &a[1][1], 30); // 18 digits: not from a double
    cvsx("2", &b[1][1], 30);
    EXPECT_FALSE(mobrel::FastProduct(a, b).usable());
    pipeline::DMatrix c(1, 1);
    ASSERT_TRUE(mobrel::multiply(a, b, c));
    EXPECT_EQ(c[1][1], 2.46913578024691356);
}
