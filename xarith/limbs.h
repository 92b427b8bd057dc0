// Limb kernels of xarith: operations on runs of base-10^6 limbs, least
// significant first, that know nothing of signs, exponents or precision.
// Internal to the library.
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

namespace xarith_detail {

using limb_t = std::int32_t;
using wide_t = std::int64_t;

static_assert(DM == 1000000 && BASE == 6, "DM is 10^BASE");
// a column of a product: up to 80 limb products plus a carry
static_assert(80LL * (DM - 1) * (DM - 1) + DM < INT64_MAX / 2, "product columns fit wide_t");

inline constexpr limb_t pow10_limb[BASE + 1] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// Precision bounds: the most digits each operation can honour within a
// record (see the header).
inline constexpr int PREC_ADD_MAX = 6 * (SUB_DGT - 1);     // 234
inline constexpr int PREC_DIV_MAX = 6 * (SUB_DGT - 3) + 5; // 227: Qmax + 1 <= 40
inline constexpr int PREC_CVSX_MAX = 6 * SUB_DGT - 1;      // 239: 240 characters kept
inline constexpr int PREC_CVXS_MAX = 6 * SUB_DGT;          // 240

inline int clamp_prec(int dgt_max, int most) {
    return std::clamp(dgt_max, 1, most);
}

// Limbs a record keeps at precision dgt_max.
inline int ndgt_max_of(int dgt_max) {
    return clamp_prec(dgt_max, INT_MAX - 12) / BASE + 2;
}

// An exponent computed in 64 bits, saturated into the record's field.
inline std::int32_t clamp_esp(wide_t e) {
    return static_cast<std::int32_t>(std::clamp<wide_t>(e, INT32_MIN, INT32_MAX));
}

// Decimal digits of a limb value (0 for 0): from its bit length, about
// log10(2^bits) = bits x 1233 / 4096, one comparison settles the count.
inline int limb_digits(limb_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    const int guess = static_cast<int>(std::bit_width(u)) * 1233 >> 12;
    return guess + (u >= static_cast<std::uint32_t>(pow10_limb[std::min(guess, BASE)]));
}

// Limbs in use of a record, guarded against a corrupt count.
inline int used_limbs(const x_num* x) {
    return std::clamp<int>(x->ndgt, 0, SUB_DGT);
}

// Count of d[0..n) once leading zero limbs are stripped.
inline int strip_top(const limb_t* d, int n) {
    while (n > 0 && d[n - 1] == 0) --n;
    return n;
}

// Decimal digits of the magnitude d[0..n), d[n-1] being its top limb.
inline int digits_of(const limb_t* d, int n) {
    return n == 0 ? 0 : BASE * (n - 1) + limb_digits(d[n - 1]);
}

// d[0..n) times 10^M for 0 < M < 6; returns the digits pushed out of the
// top limb (the new top limb when not 0).
// 999999 shifted 3 -> limbs 999000 | carry 999.
template <int M> limb_t shift_digits_left_m(limb_t* d, int n) {
    constexpr limb_t a = pow10_limb[M], b = pow10_limb[BASE - M];
    limb_t carry = 0;
    for (int i = 0; i < n; ++i) {
        const limb_t v = d[i];
        d[i] = (v % b) * a + carry;
        carry = v / b;
    }
    return carry;
}

// d[0..n) divided by 10^M for 0 < M < 6, the M lowest digits dropped;
// the count stays n, so the top limb may become 0.
// 7123456 shifted 2 -> 71234|00, top limb now 0.
template <int M> void shift_digits_right_m(limb_t* d, int n) {
    constexpr limb_t a = pow10_limb[M], b = pow10_limb[BASE - M];
    limb_t rem = 0;
    for (int i = n - 1; i >= 0; --i) {
        const limb_t v = d[i];
        d[i] = v / a + rem * b;
        rem = v % a;
    }
}

// One case per digit count, so every divisor is a constant.
inline limb_t shift_digits_left(limb_t* d, int n, int m) {
    switch (m) {
    case 1:
        return shift_digits_left_m<1>(d, n);
    case 2:
        return shift_digits_left_m<2>(d, n);
    case 3:
        return shift_digits_left_m<3>(d, n);
    case 4:
        return shift_digits_left_m<4>(d, n);
    case 5:
        return shift_digits_left_m<5>(d, n);
    default:
        return 0;
    }
}

inline void shift_digits_right(limb_t* d, int n, int m) {
    switch (m) {
    case 1:
        shift_digits_right_m<1>(d, n);
        break;
    case 2:
        shift_digits_right_m<2>(d, n);
        break;
    case 3:
        shift_digits_right_m<3>(d, n);
        break;
    case 4:
        shift_digits_right_m<4>(d, n);
        break;
    case 5:
        shift_digits_right_m<5>(d, n);
        break;
    default:
        break;
    }
}

// d[0..n) times 10^k, k >= 0: digits first, then whole limbs. The caller
// provides room for the result (n + k / 6 + 1 limbs). Returns the count.
inline int shift_left(limb_t* d, int n, wide_t k) {
    if (n == 0 && k / BASE == 0) return 0;
    const int m = static_cast<int>(k % BASE);
    const int w = static_cast<int>(k / BASE);
    if (m != 0) {
        const limb_t carry = shift_digits_left(d, n, m);
        if (carry != 0) d[n++] = carry;
    }
    if (w != 0) {
        std::memmove(d + w, d, sizeof(limb_t) * static_cast<std::size_t>(n));
        std::fill(d, d + w, 0);
        n += w;
    }
    return n;
}

// d[0..n) divided by 10^k, k >= 0, truncating: digits first, then whole
// limbs. Returns the count: n less the limbs shifted out, 0 when all are.
inline int shift_right(limb_t* d, int n, wide_t k) {
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
    if (k == 0) { // the term that sets the grid of a sum often needs no shift
        for (int i = 0; i < n; ++i) dst[i] = src[i];
        return n;
    }
    const wide_t w = k >= 0 ? (k + BASE - 1) / BASE : -(-k / BASE);
    const int r = static_cast<int>(BASE * w - k);
    if (n + w <= 0) return 0;
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

// r[0..n) = a[0..n) + b[0..n); returns the final carry.
inline limb_t add_n(limb_t* r, const limb_t* a, const limb_t* b, int n) {
    limb_t carry = 0;
    for (int i = 0; i < n; ++i) {
        const limb_t s = a[i] + b[i] + carry;
        carry = s >= DM;
        r[i] = s - carry * DM;
    }
    return carry;
}

// r[0..n) = a[0..n) - b[0..n) modulo 10^(6n); returns the final borrow.
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

// Writes the value of a run of limbs into a record; only the limbs in use
// are copied, by a plain loop (the runs are short).
inline void store(x_num* c, signed char sign, const limb_t* d, int n, wide_t esp) {
    c->sign = sign;
    c->ndgt = n;
    c->esp = clamp_esp(esp);
    for (int i = 0; i < n; ++i) c->dgt[i] = d[i];
}

// *c = *a for the fields that carry the value; c may be a.
inline void copy_value(x_num* c, const x_num* a) {
    if (c == a) return;
    const int n = used_limbs(a);
    c->sign = a->sign;
    c->esp = a->esp;
    c->ndgt = n;
    for (int i = 0; i < n; ++i) c->dgt[i] = a->dgt[i];
}

inline signed char product_sign(signed char a, signed char b) {
    return a == b ? '+' : '-';
}

// The sign a negation gives: '-' becomes '+', any other sign '-'.
inline signed char turned_sign(signed char s) {
    return s == '-' ? '+' : '-';
}

// A non-zero operand of a sum: the limbs of its magnitude in normal form,
// its exponent and sign.
struct Term {
    const limb_t* d;
    int n;
    std::int32_t esp;
    signed char sign;
};

// c = a + b at prec digits (prec within 1..PREC_ADD_MAX), as x_add_ forms
// it; c may hold the limbs of either term.
void add_terms(const Term& a, const Term& b, x_num* c, int prec);

// The sign of |a'| - |b'|: the magnitudes as add_terms aligns and cuts
// them at prec digits, compared without forming the difference.
int compare_cut(const Term& a, const Term& b, int prec);

// r[0..na+nb) = a[0..na) * b[0..nb), the schoolbook product of limb runs.
void mul_limbs(limb_t* r, const limb_t* a, int na, const limb_t* b, int nb);

// acc = acc + (a * b), the product's sign taken as `sign`, with the digits
// of the product in a record of its own added at digit_max; false, with
// nothing done, for operands the fixed-width path does not take (a zero
// accumulator, precisions above 54 digits, operands beyond 11 limbs).
bool add_product_fast(const x_num* a, const x_num* b, x_num* acc, signed char sign, int digit_max);

// row[l] = row[l] - p[l] * f for l = 0..n-1, as x_mult_sub_p_ gives each;
// no entry of row may be a record a factor was prepared from.
void sub_row_p(const x_prep* p, const x_prep* f, int n, x_num* row, int digit_max);

} // namespace xarith_detail

#endif
