// The nearest double of d x 10^e by one product of 128-bit numbers: d,
// shifted until its top bit is set, times the top 128 bits of 10^e, whose
// top 128 bits hold the double's 53 and 75 more. The table's powers are
// within one unit of their last bit, so the product's top half is within
// a few units of the exact one: only a number whose 75 bits below the
// double lie within those units of the midpoint is left undecided.
#include "xarith/nearest.h"

#include <bit>
#include <cstring>

namespace xarith_detail {

namespace {

// 10^e as hi 2^64 + lo (top bit set) times 2^b.
struct Pow10 {
    u64 hi, lo;
    int b;
};

// Beyond these powers no d below 2^128 gives a normal double.
constexpr int E_MIN = -365;
constexpr int E_MAX = 309;

// A number held in 192 bits x[0..3) (top bit set) times 2^b while the
// table is made: a step up multiplies by 10, a step down divides by 10,
// each cutting the result back to 192 bits, so that after 365 steps the
// top 128 bits are still within one unit of the exact power.
struct Wide {
    u64 x[3];
    int b;
};

// r[0..4) x 2^b cut to its top 192 bits.
constexpr Wide top_bits(const u64 (&r)[4], int b) {
    int top = 3;
    while (r[top] == 0) --top;
    const int lead = 64 * top + 63 - std::countl_zero(r[top]); // index of the top bit
    const int drop = lead - 191;                               // bits below the 192 kept
    Wide w{{0, 0, 0}, b + drop};
    for (int i = 0; i < 3; ++i) {
        const int bit = 64 * i + drop; // the kept word i starts at this bit of r
        const int word = bit >= 0 ? bit / 64 : -1, off = bit >= 0 ? bit % 64 : 0;
        u64 v = 0;
        if (word >= 0) {
            v = r[word] >> off;
            if (off != 0 && word + 1 < 4) v |= r[word + 1] << (64 - off);
        } else { // drop < 0: the low words come in as zeros
            const int up = -bit;
            if (up < 64) v = r[0] << up;
        }
        w.x[i] = v;
    }
    return w;
}

constexpr Wide times10(const Wide& a) {
    u64 r[4] = {};
    u128 carry = 0;
    for (int i = 0; i < 3; ++i) {
        const u128 t = static_cast<u128>(a.x[i]) * 10 + carry;
        r[i] = static_cast<u64>(t);
        carry = t >> 64;
    }
    r[3] = static_cast<u64>(carry);
    return top_bits(r, a.b);
}

constexpr Wide over10(const Wide& a) {
    // (a.x 2^64) / 10 in four words, then back to 192 bits
    const u64 n[4] = {0, a.x[0], a.x[1], a.x[2]};
    u64 q[4] = {};
    u128 rem = 0;
    for (int i = 3; i >= 0; --i) {
        const u128 cur = (rem << 64) | n[i];
        q[i] = static_cast<u64>(cur / 10);
        rem = cur % 10;
    }
    return top_bits(q, a.b - 64);
}

constexpr auto POW10_TABLE = [] {
    std::array<Pow10, E_MAX - E_MIN + 1> t{};
    const auto put = [&t](int e, const Wide& w) {
        t[static_cast<std::size_t>(e - E_MIN)] = {w.x[2], w.x[1], w.b + 64};
    };
    const Wide one{{0, 0, u64{1} << 63}, -191};
    Wide w = one;
    for (int e = 0; e <= E_MAX; ++e) {
        put(e, w);
        w = times10(w);
    }
    w = one;
    for (int e = -1; e >= E_MIN; --e) {
        w = over10(w);
        put(e, w);
    }
    return t;
}();

double with_sign(double v, bool neg) {
    return neg ? -v : v;
}

} // namespace

bool nearest_double(u128 d, wide_t e, bool above, bool neg, double* out) {
    if (d == 0 || e < E_MIN || e > E_MAX || (d >> 127) != 0) return false;
    constexpr u128 EXACT = u128{1} << 53;
    if (!above && d < EXACT && e >= -19 && e <= 19) {
        // both exact as doubles (10^19 is 5^19 2^19, and 5^19 < 2^53): the
        // one rounding of the product or quotient
        const double v = static_cast<double>(static_cast<u64>(d));
        const auto p = static_cast<double>(POW10_WORD[static_cast<std::size_t>(e < 0 ? -e : e)]);
        *out = with_sign(e < 0 ? v / p : v * p, neg);
        return true;
    }
    const auto dh = static_cast<u64>(d >> 64);
    const int s = dh != 0 ? std::countl_zero(dh) : 64 + std::countl_zero(static_cast<u64>(d));
    const u128 m = d << s;
    const u64 mh = static_cast<u64>(m >> 64), ml = static_cast<u64>(m);
    const Pow10& p = POW10_TABLE[static_cast<std::size_t>(e - E_MIN)];
    // the top 128 bits of m (p.hi 2^64 + p.lo), exactly
    const u128 hh = static_cast<u128>(mh) * p.hi, hl = static_cast<u128>(mh) * p.lo;
    const u128 lh = static_cast<u128>(ml) * p.hi, ll = static_cast<u128>(ml) * p.lo;
    const u128 mid = static_cast<u64>(hl) + static_cast<u128>(static_cast<u64>(lh)) + (ll >> 64);
    u128 top = hh + (hl >> 64) + (lh >> 64) + (mid >> 64);
    // d 10^e = m 2^-s 10^e lies within top 2^bexp by less than 2^(bexp + 1)
    // on either side (the power's unit times m, the product's cut); a
    // number below (d + 1) 10^e lies less than 10^e 2^s / 2^bexp, under 2^s
    // units, above d 10^e, and under twice that after the shift below
    int bexp = p.b + 128 - s;
    u128 span = above ? u128{1} << s : 0;
    if ((top >> 127) == 0) {
        top <<= 1;
        --bexp;
        span <<= 1;
    }
    constexpr int REST = 75; // bits below the double's 53
    constexpr u128 HALF = u128{1} << (REST - 1), MARGIN = 8;
    u64 mant = static_cast<u64>(top >> REST);
    const u128 rest = top & ((u128{1} << REST) - 1);
    if (rest + MARGIN + span >= HALF && rest <= HALF + MARGIN) return false;
    if (rest > HALF && ++mant == (u64{1} << 53)) {
        mant >>= 1;
        ++bexp;
    }
    // d 10^e rounds to mant 2^(bexp + REST), mant in [2^52, 2^53)
    const int biased = bexp + REST + 52 + 1023;
    if (biased < 1 || biased > 2046) return false;
    const u64 bits = (static_cast<u64>(neg) << 63) | (static_cast<u64>(biased) << 52) |
                     (mant & ((u64{1} << 52) - 1));
    *out = std::bit_cast<double>(bits);
    return true;
}

} // namespace xarith_detail
