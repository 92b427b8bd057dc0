// Limb kernels: runs of base-10^6 limbs, least significant first, the
// digits of a record. They know nothing of signs, exponents or precision:
// each works on (limbs, count), writes nothing past the count it is given
// room for, and returns its carry or borrow to the caller. Internal to the
// library.
#ifndef XARITH_LIMBS_H
#define XARITH_LIMBS_H

#include "xarith/xarith.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <climits>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

namespace xarith_detail {

using limb_t = std::int32_t;
using wide_t = std::int64_t;

static_assert(DM == 1000000 && BASE == 6, "DM is 10^BASE");
// a column of a product: up to 80 limb products plus a carry
static_assert(80LL * (DM - 1) * (DM - 1) + DM < INT64_MAX / 2, "product columns fit wide_t");

inline constexpr limb_t pow10_limb[BASE + 1] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// Decimal digits of a limb value (0 for 0): from its bit length, about
// log10(2^bits) = bits x 1233 / 4096, one comparison settles the count.
inline int limb_digits(limb_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    const int guess = static_cast<int>(std::bit_width(u)) * 1233 >> 12;
    return guess + (u >= static_cast<std::uint32_t>(pow10_limb[std::min(guess, BASE)]));
}

// Count of d[0..n) once leading zero limbs are stripped.
inline int strip_top(const limb_t* d, int n) {
    while (n > 0 && d[n - 1] == 0) --n;
    return n;
}

// Decimal digits of the run d[0..n) as written out from its top limb:
// 6 (n - 1) plus the digits of d[n-1], so a top limb of 0 counts none.
inline int digits_of(const limb_t* d, int n) {
    return n == 0 ? 0 : BASE * (n - 1) + limb_digits(d[n - 1]);
}

// d[0..n) times 10^M for 0 <= M < 6; returns the digits pushed out of the
// top limb, which the caller stores as a new top limb when not 0.
// 999999 shifted 3 -> limbs 999000 | carry 999.
template <int M> limb_t shift_digits_left_m(limb_t* d, int n) {
    if constexpr (M == 0) return 0;
    constexpr limb_t a = pow10_limb[M], b = pow10_limb[BASE - M];
    limb_t carry = 0;
    for (int i = 0; i < n; ++i) {
        const limb_t v = d[i];
        d[i] = (v % b) * a + carry;
        carry = v / b;
    }
    return carry;
}

// d[0..n) divided by 10^M for 0 <= M < 6, the M lowest digits dropped;
// the count stays n, so the top limb may become 0.
// 7123456 shifted 2 -> 71234|00, top limb now 0.
template <int M> void shift_digits_right_m(limb_t* d, int n) {
    if constexpr (M == 0) return;
    constexpr limb_t a = pow10_limb[M], b = pow10_limb[BASE - M];
    limb_t rem = 0;
    for (int i = n - 1; i >= 0; --i) {
        const limb_t v = d[i];
        d[i] = v / a + rem * b;
        rem = v % a;
    }
}

// f(std::integral_constant<int, K>{}) for the run-time v in LO..HI: every
// value gets code of its own (its divisors constants, its loops unrolled).
template <int LO, int HI, class F> decltype(auto) with_constant(int v, F&& f) {
    if constexpr (LO == HI) {
        assert(v == LO);
        return f(std::integral_constant<int, LO>{});
    } else {
        if (v == LO) return f(std::integral_constant<int, LO>{});
        return with_constant<LO + 1, HI>(v, std::forward<F>(f));
    }
}

inline limb_t shift_digits_left(limb_t* d, int n, int m) {
    return with_constant<0, BASE - 1>(m, [&](auto k) { return shift_digits_left_m<decltype(k)::value>(d, n); });
}

inline void shift_digits_right(limb_t* d, int n, int m) {
    with_constant<0, BASE - 1>(m, [&](auto k) { shift_digits_right_m<decltype(k)::value>(d, n); });
}

// d[0..n) divided by 10^k, k >= 0, truncating: digits first, then whole
// limbs. Returns the count: n less the limbs shifted out, 0 when all are.
inline int shift_right(limb_t* d, int n, wide_t k) {
    assert(n >= 0 && k >= 0);
    const wide_t w = k / BASE;
    if (w >= n) {
        std::fill(d, d + n, 0);
        return 0;
    }
    shift_digits_right(d, n, static_cast<int>(k % BASE));
    if (w != 0) {
        const int wi = static_cast<int>(w);
        std::memmove(d, d + wi, sizeof(limb_t) * static_cast<std::size_t>(n - wi));
        std::fill(d + n - wi, d + n, 0);
        n -= wi;
    }
    return n;
}

// x / 10^r for a limb x < 2^20 and 0 <= r <= 5, by a multiply and a shift:
// with l = ceil(log2 10^r) and m = ceil(2^(20 + l) / 10^r), m 10^r exceeds
// 2^(20 + l) by less than 2^l, which makes floor(x m / 2^(20 + l)) exact for
// every x below 2^20 (and 10^6 < 2^20). The same code serves every r.
struct LimbMagic {
    std::uint64_t m;
    int shift;
};
inline constexpr std::array<LimbMagic, BASE> LIMB_MAGIC = [] {
    std::array<LimbMagic, BASE> t{};
    for (int r = 0; r < BASE; ++r) {
        int l = 0;
        while ((1LL << l) < pow10_limb[r]) ++l;
        const std::uint64_t pow = std::uint64_t{1} << (20 + l);
        const auto d = static_cast<std::uint64_t>(pow10_limb[r]);
        t[static_cast<std::size_t>(r)] = {(pow + d - 1) / d, 20 + l};
    }
    return t;
}();
static_assert(DM < (1 << 20), "limbs fit the dividends of LIMB_MAGIC");

inline limb_t div_pow10(limb_t x, const LimbMagic& mg) {
    return static_cast<limb_t>((static_cast<std::uint64_t>(x) * mg.m) >> mg.shift);
}

// Room for the limbs a shift moves, on either side of 40.
inline constexpr int SHIFT_ROOM = 2 * SUB_DGT + 2;

// dst = floor(src[0..n) x 10^k) for any k, n > 0. With k = 6w - r
// (0 <= r < 6) the limbs move up w places (down for w < 0, the lowest
// dropping out) and are then divided by 10^r, each output limb taking the
// digits its upper neighbour loses:
//     dst[i] = L[i] / 10^r + (L[i+1] mod 10^r) x 10^(6 - r).
// One loop for every shift, no branch on its amount: the amounts of a sum
// follow the data. Returns the count n + w (0 when nothing is left); the
// top limb may be 0. dst has room for n + w limbs, at most SHIFT_ROOM - 1.
// 7123456 shifted by -2: w = 0, r = 2: limbs 71234 and 0.
inline int shift_copy(limb_t* dst, const limb_t* src, int n, wide_t k) {
    assert(n > 0);
    if (k == 0) { // the term that sets the grid of a sum often needs no shift
        for (int i = 0; i < n; ++i) dst[i] = src[i];
        return n;
    }
    const wide_t w = k >= 0 ? (k + BASE - 1) / BASE : -(-k / BASE);
    const int r = static_cast<int>(BASE * w - k);
    if (n + w <= 0) return 0;
    assert(n + w < SHIFT_ROOM);
    const LimbMagic mg = LIMB_MAGIC[static_cast<std::size_t>(r)];
    const limb_t low = pow10_limb[r], up = pow10_limb[BASE - r];
    // L[i] = src[i - w]: zeros below the source for w > 0, the lowest
    // limbs gone for w < 0; one zero limb above it
    const int lead = static_cast<int>(std::max<wide_t>(w, 0));
    const int from = static_cast<int>(std::max<wide_t>(-w, 0));
    const int len = n + static_cast<int>(w);
    for (int i = 0; i + 1 < lead; ++i) dst[i] = 0;
    const limb_t* l = src + from; // L[lead + j] = l[j], j < n - from
    const int m = n - from;
    if (lead > 0) dst[lead - 1] = (l[0] - div_pow10(l[0], mg) * low) * up;
    limb_t q = div_pow10(l[0], mg);
    for (int j = 0; j + 1 < m; ++j) {
        const limb_t next = l[j + 1], qn = div_pow10(next, mg);
        dst[lead + j] = q + (next - qn * low) * up;
        q = qn;
    }
    dst[len - 1] = q;
    return len;
}

// r[0..n) = a[0..n) + b[0..n); returns the final carry (0 or 1).
inline limb_t add_n(limb_t* r, const limb_t* a, const limb_t* b, int n) {
    limb_t carry = 0;
    for (int i = 0; i < n; ++i) {
        const limb_t s = a[i] + b[i] + carry;
        carry = s >= DM;
        r[i] = s - carry * DM;
    }
    return carry;
}

// r[0..n) = a[0..n) - b[0..n) modulo 10^(6n); returns the final borrow
// (0 or 1), which the caller turns into a sign.
inline limb_t sub_n(limb_t* r, const limb_t* a, const limb_t* b, int n) {
    limb_t borrow = 0;
    for (int i = 0; i < n; ++i) {
        const limb_t s = a[i] - b[i] - borrow;
        borrow = s < 0;
        r[i] = s + borrow * DM;
    }
    return borrow;
}

// d[0..n) replaced by 10^(6n) - d, the magnitude of a negative limb sum:
// limbs below the lowest non-zero one stay 0, that one becomes DM - d,
// every one above it 999999 - d.
inline void complement_n(limb_t* d, int n) {
    int k = 0;
    while (k < n && d[k] == 0) ++k;
    if (k == n) return;
    d[k] = DM - d[k];
    for (int i = k + 1; i < n; ++i) d[i] = DM - 1 - d[i];
}

// True when a[0..n) >= b[0..n), both read from the top.
inline bool geq_n(const limb_t* a, const limb_t* b, int n) {
    for (int i = n - 1; i >= 0; --i)
        if (a[i] != b[i]) return a[i] > b[i];
    return true;
}

// r[0..na+nb) = a[0..na) * b[0..nb), the schoolbook product; the top limb
// may be 0. Fixed-size kernels serve operands of up to MUL_FIXED limbs.
void mul_limbs(limb_t* r, const limb_t* a, int na, const limb_t* b, int nb);
inline constexpr int MUL_FIXED = 12;

} // namespace xarith_detail

#endif
