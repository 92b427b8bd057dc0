// The kernels of each base against the digit-string reference: runs of
// random limbs (many 0 and 999999), converted, shifted, added and
// multiplied in limbs, words and halves, divided in words. The seed is
// fixed.
#include "testsupport/decimal.h"
#include "xarith/acc.h"
#include "xarith/halves.h"

#include <gtest/gtest.h>
#include <random>

using namespace xarith_detail;

namespace {

// The integer of a run in base 10^width, least significant first.
template <class T> Digits value(const T* d, int n, int width) {
    Digits s;
    for (int i = n - 1; i >= 0; --i) {
        const std::string v = std::to_string(d[i]);
        s += std::string(static_cast<std::size_t>(width) - v.size(), '0') + v;
    }
    return trim(s);
}

struct LimbRun {
    limb_t d[2 * SUB_DGT] = {};
    int n = 0;
};

LimbRun random_run(std::mt19937_64& rng, int n) {
    LimbRun r;
    r.n = n;
    std::uniform_int_distribution<int> limb(0, DM - 1), kind(0, 5);
    for (int i = 0; i < n; ++i) r.d[i] = kind(rng) == 0 ? 0 : (kind(rng) == 1 ? DM - 1 : limb(rng));
    if (r.d[n - 1] == 0) r.d[n - 1] = 1;
    return r;
}

// floor(d x 10^k) of a non-negative integer.
Digits scaled(const Digits& d, long long k) {
    return scale10(d, k);
}

} // namespace

TEST(Kernels, ConvertersKeepTheValue) {
    std::mt19937_64 rng(31);
    for (int round = 0; round < 2000; ++round) {
        const LimbRun r = random_run(rng, 1 + round % SUB_DGT);
        const Digits v = value(r.d, r.n, 6);
        u64 w[2 * RECORD_WORDS];
        const int nw = words_of_limbs(w, r.d, r.n);
        ASSERT_EQ(nw, (r.n + 2) / 3);
        ASSERT_EQ(value(w, nw, 18), v);
        limb_t back[3 * RECORD_WORDS];
        limbs_of_words(back, w, nw);
        ASSERT_EQ(value(back, 3 * nw, 6), v);
        half_t h[RECORD_HALVES];
        const int nh = halves_of_limbs(h, r.d, r.n);
        ASSERT_EQ(value(h, nh, 9), v);
        ASSERT_NE(h[nh - 1], 0u);
        limb_t from_h[SUB_DGT];
        limbs_of_halves(from_h, r.n, h, nh);
        ASSERT_EQ(value(from_h, r.n, 6), v);
    }
}

// Shifts by any amount, either way, truncating: limbs by shift_copy, W
// words by aligned<W>, which must read nothing but the zeros around its
// source.
TEST(Kernels, ShiftsTruncate) {
    std::mt19937_64 rng(32);
    for (int round = 0; round < 3000; ++round) {
        const LimbRun r = random_run(rng, 1 + round % 12);
        const Digits v = value(r.d, r.n, 6);
        const long long k = std::uniform_int_distribution<long long>(-80, 30)(rng);
        limb_t out[SHIFT_ROOM];
        const int m = shift_copy(out, r.d, r.n, k);
        ASSERT_EQ(value(out, m, 6), scaled(v, k)) << v << " x 10^" << k;

        u64 buf[3 * RECORD_WORDS] = {};
        u64* w = buf + 14;
        const int nw = words_of_limbs(w, r.d, std::min(r.n, 6));
        const Digits vw = value(w, nw, 18);
        const long long kw = std::min<long long>(k, 36 - static_cast<long long>(vw.size()));
        const Words<2> two = aligned<2>(w, nw, kw);
        ASSERT_EQ(value(two.w, 2, 18), scaled(vw, kw)) << vw << " x 10^" << kw;
        const Words<13> wide = aligned<13>(w, nw, k);
        ASSERT_EQ(value(wide.w, 13, 18), scaled(vw, k));
    }
}

// Sums and differences of W words, the carry or borrow out of the top, and
// the magnitude of a difference that borrowed; the same on limbs.
TEST(Kernels, AddAndSubtract) {
    std::mt19937_64 rng(33);
    for (int round = 0; round < 2000; ++round) {
        const LimbRun a = random_run(rng, 9), b = random_run(rng, 1 + round % 9);
        LimbRun bb = b;
        bb.n = 9;
        Words<3> x{}, y{}, s{};
        words_of_limbs(x.w, a.d, 9);
        words_of_limbs(y.w, bb.d, 9);
        const Digits va = value(a.d, 9, 6), vb = value(b.d, b.n, 6), mod = "1" + std::string(54, '0');
        const u64 carry = add_words<3>(s.w, x, y);
        ASSERT_EQ(add(value(s.w, 3, 18), carry ? mod : Digits()), add(va, vb));
        const u64 borrow = sub_words<3>(s.w, x, y);
        ASSERT_EQ(borrow, cmp(va, vb) < 0 ? 1u : 0u);
        if (borrow) negate_words<3>(s.w);
        ASSERT_EQ(value(s.w, 3, 18), cmp(va, vb) < 0 ? sub(vb, va) : sub(va, vb));
        limb_t r[9];
        ASSERT_EQ(sub_n(r, a.d, bb.d, 9), static_cast<limb_t>(borrow));
        if (borrow) complement_n(r, 9);
        ASSERT_EQ(value(r, 9, 6), cmp(va, vb) < 0 ? sub(vb, va) : sub(va, vb));
    }
}

// Products of limbs (fixed and looped) and of halves (fixed kernels, and
// through words beyond them), and long division of halves.
TEST(Kernels, ProductsAndQuotients) {
    std::mt19937_64 rng(34);
    for (int round = 0; round < 2000; ++round) {
        const LimbRun a = random_run(rng, 1 + round % SUB_DGT), b = random_run(rng, 1 + (round / 7) % SUB_DGT);
        const Digits p = mul(value(a.d, a.n, 6), value(b.d, b.n, 6));
        limb_t r[2 * SUB_DGT + 1];
        mul_limbs(r, a.d, a.n, b.d, b.n);
        ASSERT_EQ(value(r, a.n + b.n, 6), p);

        // in halves for factors of up to 8, in words, zeros on top, beyond
        half_t ha[RECORD_HALVES], hb[RECORD_HALVES];
        const int na = halves_of_limbs(ha, a.d, a.n), nb = halves_of_limbs(hb, b.d, b.n);
        u64 w[2 * RECORD_WORDS + 1], wa[RECORD_WORDS] = {}, wb[RECORD_WORDS] = {};
        if (na <= MUL_HALVES_FIXED && nb <= MUL_HALVES_FIXED) {
            MUL_HALVES[static_cast<std::size_t>((na - 1) * MUL_HALVES_FIXED + nb - 1)](w, ha, hb);
            ASSERT_EQ(value(w, (na + nb + 1) / 2, 18), p);
        } else {
            const int ka = kernel_words(words_of_limbs(wa, a.d, a.n));
            const int kb = kernel_words(words_of_limbs(wb, b.d, b.n));
            mul_kernel_words(w, wa, ka, wb, kb);
            ASSERT_EQ(value(w, ka + kb, 18), p);
        }

        // u = p + rest, rest below b: the quotient by b is a, the remainder rest
        const LimbRun rest = random_run(rng, b.n);
        const bool exact = round % 3 == 0 || cmp(value(rest.d, rest.n, 6), value(b.d, b.n, 6)) >= 0;
        const Digits u = exact ? p : add(p, value(rest.d, rest.n, 6));
        u64 wu[2 * RECORD_WORDS + 2], q[2 * RECORD_WORDS + 2];
        LimbRun ur;
        ur.n = static_cast<int>(limbs_of(u).size());
        for (int i = 0; i < ur.n; ++i) ur.d[i] = limbs_of(u)[static_cast<std::size_t>(i)];
        const int nu = words_of_limbs(wu, ur.d, ur.n), nwb = words_of_limbs(wb, b.d, b.n);
        ASSERT_EQ(divide_words(q, wu, nu, wb, nwb), exact);
        ASSERT_EQ(value(q, nu - nwb + 1, 18), value(a.d, a.n, 6));
    }
}

// Products whose columns below a cut are left out keep the cut's floor:
// random factors held in words or in halves, and runs of 999999, whose
// products hold long runs of nines, so that the left-out columns could
// carry into the cut and the whole product is formed instead.
TEST(Kernels, TopProductsKeepTheFloorAtTheirCut) {
    std::mt19937_64 rng(35);
    int whole = 0, cut = 0;
    for (int round = 0; round < 120; ++round) {
        // odd rounds: factors of up to 12 limbs, held in halves
        const int lo = round % 2 == 0 ? 13 : 1, span = round % 2 == 0 ? SUB_DGT - 12 : 12;
        const int n = lo + round / 2 % span;
        LimbRun a = random_run(rng, n), b = random_run(rng, lo + (round * 7) % span);
        if (round % 3 == 0)
            for (int i = 0; i < n; ++i) a.d[i] = b.d[i] = DM - 1, b.n = n;
        x_num xa{'+', {}, 0, a.n}, xb{'+', {}, 0, b.n};
        for (int i = 0; i < a.n; ++i) xa.dgt[i] = a.d[i];
        for (int i = 0; i < b.n; ++i) xb.dgt[i] = b.d[i];
        Prep pa, pb;
        prepare(&pa, &xa);
        prepare(&pb, &xb);
        const Digits p = mul(value(a.d, a.n, 6), value(b.d, b.n, 6));
        for (int g = 0; g < 6 * (a.n + b.n); g += 1 + g % 5) {
            u64 r[2 * RECORD_WORDS + 2] = {};
            bool all;
            const int np = top_product(r, pa, pb, g, &all);
            (all ? whole : cut) += g >= 3 * WORD_DIGITS;
            ASSERT_EQ(scaled(value(r, np, 18), -g), scaled(p, -g)) << "round " << round << " cut " << g;
        }
    }
    EXPECT_GT(cut, 0);
    EXPECT_GT(whole, 0);
}
