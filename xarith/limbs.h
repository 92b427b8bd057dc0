// Limb kernels of xarith: operations on runs of base-10^6 limbs, least
// significant first, that know nothing of signs, exponents or precision.
// Internal to the library.
#ifndef XARITH_LIMBS_H
#define XARITH_LIMBS_H

#include "xarith/xarith.h"

#include <algorithm>
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

inline int clamp_prec(int dgt_max, int most) { return std::clamp(dgt_max, 1, most); }

// Limbs a record keeps at precision dgt_max.
inline int ndgt_max_of(int dgt_max) { return clamp_prec(dgt_max, INT_MAX - 12) / BASE + 2; }

// An exponent computed in 64 bits, saturated into the record's field.
inline std::int32_t clamp_esp(wide_t e) {
    return static_cast<std::int32_t>(std::clamp<wide_t>(e, INT32_MIN, INT32_MAX));
}

// Decimal digits of a limb value (0 for 0).
inline int limb_digits(limb_t v) {
    return (v >= 1) + (v >= 10) + (v >= 100) + (v >= 1000) + (v >= 10000) + (v >= 100000);
}

// Limbs in use of a record, guarded against a corrupt count.
inline int used_limbs(const x_num* x) { return std::clamp<int>(x->ndgt, 0, SUB_DGT); }

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
    case 1: return shift_digits_left_m<1>(d, n);
    case 2: return shift_digits_left_m<2>(d, n);
    case 3: return shift_digits_left_m<3>(d, n);
    case 4: return shift_digits_left_m<4>(d, n);
    case 5: return shift_digits_left_m<5>(d, n);
    default: return 0;
    }
}

inline void shift_digits_right(limb_t* d, int n, int m) {
    switch (m) {
    case 1: shift_digits_right_m<1>(d, n); break;
    case 2: shift_digits_right_m<2>(d, n); break;
    case 3: shift_digits_right_m<3>(d, n); break;
    case 4: shift_digits_right_m<4>(d, n); break;
    case 5: shift_digits_right_m<5>(d, n); break;
    default: break;
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

// The same shifts from src[0..n) into a separate dst, each output limb
// formed from two neighbouring input limbs, so that no limb waits on the
// one before it.
//
// Left by 6w + M digits: the limbs move up w places and M digits; the
// count grows by w, and by one more when the top limb spills over. dst has
// room for n + w + 1 limbs.
template <int M> int shift_copy_left_m(limb_t* dst, const limb_t* src, int n, int w) {
    for (int i = 0; i < w; ++i) dst[i] = 0;
    if constexpr (M == 0) {
        for (int i = 0; i < n; ++i) dst[w + i] = src[i];
        return n + w;
    } else {
        // one division per limb: the digits that stay, and those that rise
        constexpr limb_t a = pow10_limb[M], b = pow10_limb[BASE - M];
        limb_t rise = 0;
        for (int i = 0; i < n; ++i) {
            const limb_t v = src[i], hi = v / b;
            dst[w + i] = (v - hi * b) * a + rise;
            rise = hi;
        }
        if (rise == 0) return n + w;
        dst[w + n] = rise;
        return n + w + 1;
    }
}

// Right by 6w + M digits, truncating: the count is n - w (the top limb may
// become 0), or 0 when every limb is shifted out.
template <int M> int shift_copy_right_m(limb_t* dst, const limb_t* src, int n, int w) {
    const int out = n - w;
    if constexpr (M == 0) {
        for (int i = 0; i < out; ++i) dst[i] = src[i + w];
    } else {
        // one division per limb: the digits that stay, and those that fall
        constexpr limb_t a = pow10_limb[M], b = pow10_limb[BASE - M];
        limb_t q = src[w] / a;
        for (int i = 0; i + 1 < out; ++i) {
            const limb_t v = src[i + w + 1], qn = v / a;
            dst[i] = q + (v - qn * a) * b;
            q = qn;
        }
        dst[out - 1] = q;
    }
    return out;
}

// dst = src[0..n) times 10^k (left for k > 0, right and truncating for
// k < 0). Returns the count. n > 0.
inline int shift_copy(limb_t* dst, const limb_t* src, int n, wide_t k) {
    if (k >= 0) {
        const int w = static_cast<int>(k / BASE);
        switch (k % BASE) {
        case 0: return shift_copy_left_m<0>(dst, src, n, w);
        case 1: return shift_copy_left_m<1>(dst, src, n, w);
        case 2: return shift_copy_left_m<2>(dst, src, n, w);
        case 3: return shift_copy_left_m<3>(dst, src, n, w);
        case 4: return shift_copy_left_m<4>(dst, src, n, w);
        default: return shift_copy_left_m<5>(dst, src, n, w);
        }
    }
    const wide_t wk = -k / BASE;
    if (wk >= n) return 0;
    const int w = static_cast<int>(wk);
    switch (-k % BASE) {
    case 0: return shift_copy_right_m<0>(dst, src, n, w);
    case 1: return shift_copy_right_m<1>(dst, src, n, w);
    case 2: return shift_copy_right_m<2>(dst, src, n, w);
    case 3: return shift_copy_right_m<3>(dst, src, n, w);
    case 4: return shift_copy_right_m<4>(dst, src, n, w);
    default: return shift_copy_right_m<5>(dst, src, n, w);
    }
}

// r[0..n) = a[0..na) + b[0..nb) with na, nb <= n; returns the final carry.
inline limb_t add_n(limb_t* r, const limb_t* a, int na, const limb_t* b, int nb, int n) {
    limb_t carry = 0;
    for (int i = 0; i < n; ++i) {
        limb_t s = carry + (i < na ? a[i] : 0) + (i < nb ? b[i] : 0);
        carry = s >= DM;
        if (carry) s -= DM;
        r[i] = s;
    }
    return carry;
}

// r[0..n) = a[0..na) - b[0..nb) modulo 10^(6n); returns the final borrow.
inline limb_t sub_n(limb_t* r, const limb_t* a, int na, const limb_t* b, int nb, int n) {
    limb_t borrow = 0;
    for (int i = 0; i < n; ++i) {
        limb_t s = (i < na ? a[i] : 0) - (i < nb ? b[i] : 0) - borrow;
        borrow = s < 0;
        if (borrow) s += DM;
        r[i] = s;
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

inline signed char product_sign(signed char a, signed char b) { return a == b ? '+' : '-'; }

} // namespace xarith_detail

#endif
