// Word arithmetic of xarith: magnitudes in base-10^18 words (three limbs
// each) and base-10^9 halves, and the multiply-add on them that gives the
// digits of x_mult_ into a record of its own followed by x_add_, for
// precisions up to 54 digits. Internal to the library.
//
// Why it gives the same digits. The sum aligns both terms to a grid, the
// power 10^g of its lowest kept digit, and cuts each toward zero there. The
// grid is the higher of (leading power - prec) and the lower exponent of the
// two terms, so each cut term is below 10^prec and fits W = ceil(prec / 18)
// words. x_mult_ keeps prec / 6 + 2 limbs of the product, more than prec
// digits: whenever it drops limbs the grid lies above them, and cutting the
// whole product at the grid gives the digits of cutting the kept limbs
// there. Only the exponent of the kept product, which decides the grid when
// nothing is cut, depends on the drop. A record's limbs are its mantissa
// in base 10^6 for its exponent, so words and limbs carry the same number.
#ifndef XARITH_WORDS_H
#define XARITH_WORDS_H

#include "xarith/limbs.h"

#include <utility>

namespace xarith_detail {

using u64 = std::uint64_t;
__extension__ typedef unsigned __int128 u128;

inline constexpr u64 E6 = 1000000, E12 = E6 * E6, E18 = E12 * E6;
inline constexpr int WORD_DIGITS = 18;

// The widest sum the path takes, in words, and the widest operand: what a
// product or a sum at 54 digits keeps, 11 limbs, in 4 words.
inline constexpr int SUM_WORDS_MAX = 3;
inline constexpr int PREC_FAST_MAX = WORD_DIGITS * SUM_WORDS_MAX;
inline constexpr int OPERAND_LIMBS = PREC_FAST_MAX / BASE + 2;
inline constexpr int OPERAND_WORDS = (OPERAND_LIMBS + 2) / 3;
static_assert(OPERAND_LIMBS <= SUB_DGT && 3 * OPERAND_WORDS <= SUB_DGT,
              "operands are read within a record");

inline constexpr std::array<u64, 20> POW10_WORD = [] {
    std::array<u64, 20> t{};
    u64 p = 1;
    for (auto& v : t) {
        v = p;
        p *= 10;
    }
    return t;
}();

// floor(x / 10^r) for x < 2^60 and 1 <= r < 18: with l = ceil(log2 10^r)
// and m = ceil(2^(60 + l) / 10^r), floor(x m / 2^(60 + l)) is exact for
// every x below 2^60 (and a word is below 10^18 < 2^60). As 60 + l >= 64,
// that is the high word of x m shifted by l - 4. r = 0 keeps x.
struct WordMagic {
    u64 m;
    int shift;
    u64 keep; // all ones for r = 0
    u64 low;  // 10^r
    u64 up;   // 10^(18 - r)
};
inline constexpr std::array<WordMagic, WORD_DIGITS> WORD_MAGIC = [] {
    std::array<WordMagic, WORD_DIGITS> t{};
    t[0] = {0, 0, ~u64{0}, 1, E18};
    for (int r = 1; r < WORD_DIGITS; ++r) {
        const u64 d = POW10_WORD[static_cast<std::size_t>(r)];
        int l = 0;
        while ((u64{1} << l) < d) ++l;
        const u128 pow = static_cast<u128>(1) << (60 + l);
        t[static_cast<std::size_t>(r)] = {static_cast<u64>((pow + d - 1) / d), l - 4, 0, d,
                                          POW10_WORD[static_cast<std::size_t>(WORD_DIGITS - r)]};
    }
    return t;
}();
static_assert(E18 < (u64{1} << 60), "a word fits the dividends of WORD_MAGIC");

inline u64 div_pow10_word(u64 x, const WordMagic& mg) {
    const u64 q = static_cast<u64>((static_cast<u128>(x) * mg.m) >> 64) >> mg.shift;
    return (x & mg.keep) | (q & ~mg.keep);
}

// Decimal digits of a word (0 for 0): a word of bit width b has the digits
// of 2^(b-1), or one more from the power of ten after them on.
struct DigitStep {
    int digits;
    u64 next; // 10^digits
};
inline constexpr std::array<DigitStep, 61> WORD_DIGIT_STEPS = [] {
    std::array<DigitStep, 61> t{};
    t[0] = {0, 1};
    for (int b = 1; b <= 60; ++b) {
        const u64 least = u64{1} << (b - 1);
        int d = 0;
        while (d < 19 && POW10_WORD[static_cast<std::size_t>(d)] <= least) ++d;
        t[static_cast<std::size_t>(b)] = {d, POW10_WORD[static_cast<std::size_t>(d)]};
    }
    return t;
}();

inline int word_digits(u64 x) {
    const DigitStep& s = WORD_DIGIT_STEPS[static_cast<std::size_t>(std::bit_width(x))];
    return s.digits + (x >= s.next);
}

// The words of the limbs d[0..n), 0 < n <= OPERAND_LIMBS, into w; returns
// their count. Only the limbs in use are read; one case per count.
template <int N> inline int words_n(u64* w, const limb_t* d) {
    for (int j = 0; j < N / 3; ++j)
        w[j] = static_cast<u64>(d[3 * j]) + E6 * static_cast<u64>(d[3 * j + 1]) +
               E12 * static_cast<u64>(d[3 * j + 2]);
    if constexpr (N % 3 == 1) w[N / 3] = static_cast<u64>(d[N - 1]);
    if constexpr (N % 3 == 2)
        w[N / 3] = static_cast<u64>(d[N - 2]) + E6 * static_cast<u64>(d[N - 1]);
    return (N + 2) / 3;
}

inline int words_of(u64* w, const limb_t* d, int n) {
    switch (n) {
    case 1:
        return words_n<1>(w, d);
    case 2:
        return words_n<2>(w, d);
    case 3:
        return words_n<3>(w, d);
    case 4:
        return words_n<4>(w, d);
    case 5:
        return words_n<5>(w, d);
    case 6:
        return words_n<6>(w, d);
    case 7:
        return words_n<7>(w, d);
    case 8:
        return words_n<8>(w, d);
    case 9:
        return words_n<9>(w, d);
    case 10:
        return words_n<10>(w, d);
    default:
        return words_n<11>(w, d);
    }
}
static_assert(OPERAND_LIMBS == 11, "words_of has a case for every count");

inline constexpr u64 E9 = 1000000000;
// Half-words of a factor: base 10^9, two to a word.
inline constexpr int OPERAND_HALVES = 2 * OPERAND_WORDS;

// The words of the product of a[0..NA) and b[0..NB), half-words, into
// r[0..(NA + NB + 1) / 2). Each half-word product is below 10^18 and a
// column holds at most OPERAND_HALVES of them, so the columns and their
// carries stay within 64 bits; the carry passes up one column at a time.
template <int NA, int NB> void mul_halves(u64* r, const std::uint32_t* a, const std::uint32_t* b) {
    static_assert(NA <= OPERAND_HALVES && NB <= OPERAND_HALVES, "columns stay within 64 bits");
    static_assert(static_cast<u64>(OPERAND_HALVES) * (E9 - 1) * (E9 - 1) + E9 * E9 < ~u64{0}, "");
    constexpr int NC = NA + NB - 1;
    u64 col[NC] = {};
    for (int i = 0; i < NA; ++i)
        for (int j = 0; j < NB; ++j) col[i + j] += static_cast<u64>(a[i]) * b[j];
    u64 carry = 0, even = 0;
    for (int k = 0; k < NC; ++k) {
        const u64 t = col[k] + carry;
        carry = t / E9;
        const u64 half = t - carry * E9;
        if (k % 2 == 0)
            even = half;
        else
            r[k / 2] = even + E9 * half;
    }
    if constexpr (NC % 2 == 0)
        r[NC / 2] = carry;
    else
        r[NC / 2] = even + E9 * carry;
}

using mul_halves_kernel = void (*)(u64*, const std::uint32_t*, const std::uint32_t*);
template <std::size_t... I> constexpr auto mul_halves_table(std::index_sequence<I...>) {
    return std::array<mul_halves_kernel, sizeof...(I)>{
        &mul_halves<static_cast<int>(I / OPERAND_HALVES) + 1,
                    static_cast<int>(I % OPERAND_HALVES) + 1>...};
}
inline constexpr auto MUL_HALVES =
    mul_halves_table(std::make_index_sequence<OPERAND_HALVES * OPERAND_HALVES>{});

template <int W> struct Words { u64 w[W]; };

// floor(src x 10^k) as W words; src is a run of n > 0 words readable (as
// zeros) W words below and W above. The caller knows the result is below
// 10^(18 W), which bounds k by 18 W. With k = 18v - r (0 <= r < 18) it is
// floor(L / 10^r) for L[i] = src[i - v]: word i takes L[i] / 10^r and the
// r digits that L[i+1] passes down, L[i+1] mod 10^r times 10^(18 - r).
template <int W> [[gnu::always_inline]] inline Words<W> aligned(const u64* src, int n, wide_t k) {
    Words<W> out{};
    // src is below 10^(18 n): every digit lies below the grid
    if (k <= -static_cast<wide_t>(WORD_DIGITS) * n) return out;
    // -18 n < k < 18 W: a bias makes the division by 18 unsigned
    constexpr int BIAS = 2 * OPERAND_WORDS;
    const auto kb = static_cast<unsigned>(k + WORD_DIGITS * BIAS);
    const int v = static_cast<int>((kb + WORD_DIGITS - 1) / WORD_DIGITS) - BIAS;
    const int r = static_cast<int>(WORD_DIGITS * v - k);
    const WordMagic mg = WORD_MAGIC[static_cast<std::size_t>(r)];
    const u64 low = mg.low, up = mg.up;
    const u64* l = src - v;
    u64 q = div_pow10_word(l[0], mg);
    for (int i = 0; i < W; ++i) {
        const u64 next = l[i + 1], qn = div_pow10_word(next, mg);
        out.w[i] = q + (next - qn * low) * up;
        q = qn;
    }
    return out;
}

// An accumulator held in words between multiply-adds: sign x c[0..nw) x
// 10^esp, with its decimal digits. Its record is the words' limbs with the
// same exponent. The words sit in buf with W zero words below them and
// zeros above up to the end.
template <int W> struct Acc {
    u64 buf[W + OPERAND_WORDS + W + 2];
    int nw;
    int digits;
    std::int32_t esp;
    signed char sign;

    u64* c() { return buf + W; }
    const u64* c() const { return buf + W; }

    // From a record in normal form of 1..OPERAND_LIMBS limbs.
    void load(const x_num* x) {
        for (int i = 0; i < W; ++i) buf[i] = 0;
        nw = words_of(c(), x->dgt, x->ndgt);
        for (int i = 0; i <= W; ++i) c()[nw + i] = 0;
        digits = digits_of(x->dgt, x->ndgt);
        esp = x->esp;
        sign = x->sign;
    }

    void store(x_num* x) const {
        limb_t* u = x->dgt;
        for (int i = 0; i < nw; ++i) {
            const u64 w = c()[i], hi = w / E6, top = hi / E6;
            u[3 * i] = static_cast<limb_t>(w - hi * E6);
            u[3 * i + 1] = static_cast<limb_t>(hi - top * E6);
            u[3 * i + 2] = static_cast<limb_t>(top);
        }
        x->ndgt = (digits + BASE - 1) / BASE;
        x->esp = esp;
        x->sign = sign;
    }
};

// acc = x1 + x2, the two terms cut to the grid, x1 with acc's sign and x2
// with sign2: the sum's words, digits, exponent and sign.
template <int W>
[[gnu::always_inline]] inline void settle(Acc<W>& acc, const Words<W>& x1, const Words<W>& x2,
                                          signed char sign2, wide_t grid) {
    const signed char psign = sign2;
    Words<W> s;
    u64 carry = 0;
    const bool neg1 = acc.sign == '-', neg2 = psign == '-';
    signed char usign = '+';
    if (neg1 == neg2) {
        for (int i = 0; i < W; ++i) {
            const u64 t = x1.w[i] + x2.w[i] + carry;
            carry = t >= E18;
            s.w[i] = t - ((0 - carry) & E18);
        }
        if (acc.sign == psign) usign = psign;
    } else {
        // the positive term less the negative one: a final borrow means the
        // sum is negative, and its magnitude is the complement
        const Words<W>& pos = neg1 ? x2 : x1;
        const Words<W>& neg = neg1 ? x1 : x2;
        u64 borrow = 0;
        for (int i = 0; i < W; ++i) {
            const u64 t = pos.w[i] - neg.w[i] - borrow;
            borrow = pos.w[i] < neg.w[i] + borrow;
            s.w[i] = t + ((0 - borrow) & E18);
        }
        if (borrow) {
            usign = '-';
            u64 b2 = 0;
            for (int i = 0; i < W; ++i) {
                const u64 t = 0 - s.w[i] - b2;
                b2 = s.w[i] + b2 != 0;
                s.w[i] = t + ((0 - b2) & E18);
            }
        }
    }

    // the sum's words, zeros above them as far as aligned<W> reads (a
    // loaded accumulator may have left words there)
    u64* c = acc.c();
    for (int i = 0; i < W; ++i) c[i] = s.w[i];
    c[W] = carry;
    for (int i = W + 1; i <= 2 * W + 1; ++i) c[i] = 0;
    int nw = 0;
    for (int i = 0; i <= W; ++i) nw = c[i] != 0 ? i + 1 : nw;
    acc.nw = nw;
    acc.digits = nw == 0 ? 0 : WORD_DIGITS * (nw - 1) + word_digits(c[nw - 1]);
    acc.esp = clamp_esp(grid);
    acc.sign = usign;
}

// acc = acc + a * b, the product's sign taken as psign, for prepared
// factors (nw > 0), a non-zero accumulator and prec <= 18 W, as the product
// through a record of its own and the sum would give it. The accumulator
// may end at zero (nw == 0).
template <int W>
[[gnu::always_inline]] inline void step(Acc<W>& acc, const x_prep* a, const x_prep* b,
                                        signed char psign, int prec) {
    // the product in words, with zero words on either side as far as
    // aligned<W> reads
    u64 pbuf[W + 2 * OPERAND_WORDS + W];
    u64* p = pbuf + W;
    for (int i = 0; i < W; ++i) pbuf[i] = 0;
    const int ha = a->nh, hb = b->nh, words = (ha + hb + 1) / 2;
    MUL_HALVES[static_cast<std::size_t>((ha - 1) * OPERAND_HALVES + hb - 1)](p, a->h, b->h);
    // the product of factors with non-zero top halves has ha + hb - 1 or
    // ha + hb half-words: at most one zero word on top
    const int np = p[words - 1] == 0 ? words - 1 : words;
    for (int i = 0; i < W; ++i) p[np + i] = 0;

    // the grid, from the exponent of the product as x_mult_ keeps it (its
    // field saturates as a record's does); ep is the exponent of the whole
    // product that goes with it
    const int dp = WORD_DIGITS * (np - 1) + word_digits(p[np - 1]);
    const wide_t eacc = acc.esp;
    wide_t ep = static_cast<wide_t>(a->esp) + b->esp;
    wide_t grid = std::max(eacc + acc.digits, ep + dp) - prec;
    // Mostly the accumulator reaches the grid (it holds prec digits or
    // more) and no exponent nears the ends of an int: the grid is then
    // (leading power - prec) whatever the product keeps.
    constexpr wide_t SAFE = wide_t{1} << 30;
    if (eacc > grid || ep > SAFE || ep < -SAFE) {
        const int dropped = std::max((dp + BASE - 1) / BASE - ndgt_max_of(prec), 0);
        ep = static_cast<wide_t>(clamp_esp(ep + BASE * dropped)) - BASE * dropped;
        const wide_t emin = std::min(eacc, ep + BASE * dropped);
        grid = std::max(std::max(eacc + acc.digits, ep + dp) - prec, emin);
    }

    // the accumulator mostly sets the grid and needs no shift; it then
    // holds at most prec digits, so its words fill no more than W
    Words<W> x1;
    if (eacc == grid) {
        for (int i = 0; i < W; ++i) x1.w[i] = acc.c()[i];
    } else {
        x1 = aligned<W>(acc.c(), acc.nw, eacc - grid);
    }
    const Words<W> x2 = aligned<W>(p, np, ep - grid);

    settle(acc, x1, x2, psign, grid);
}

// Whether a record can enter an Acc: normal form within OPERAND_LIMBS.
inline bool loadable(const x_num* x) {
    const int n = x->ndgt;
    return n > 0 && n <= OPERAND_LIMBS && x->dgt[n - 1] != 0;
}

inline int words_for(int prec) {
    return (prec + WORD_DIGITS - 1) / WORD_DIGITS;
}

// c = a + b, b's sign taken as b_sign, for records in normal form within
// OPERAND_LIMBS and prec <= 18 W, as x_add_ forms it; c may be a or b.
template <int W>
void add_words(const x_num* a, const x_num* b, signed char b_sign, x_num* c, int prec) {
    Acc<W> s, t;
    s.load(a);
    t.load(b);
    const wide_t ea = s.esp, eb = t.esp;
    const wide_t grid = std::max(std::max(ea + s.digits, eb + t.digits) - prec, std::min(ea, eb));
    Words<W> x1;
    if (ea == grid) {
        for (int i = 0; i < W; ++i) x1.w[i] = s.c()[i];
    } else {
        x1 = aligned<W>(s.c(), s.nw, ea - grid);
    }
    const Words<W> x2 = aligned<W>(t.c(), t.nw, eb - grid);
    settle(s, x1, x2, b_sign, grid);
    s.store(c);
}

// A factor prepared from the words w[0..nw) of a non-zero magnitude.
inline void prep_words(x_prep* p, const u64* w, int nw, std::int32_t esp, signed char sign) {
    p->esp = esp;
    p->sign = sign;
    for (int i = 0; i < nw; ++i) {
        p->h[2 * i] = static_cast<std::uint32_t>(w[i] % E9);
        p->h[2 * i + 1] = static_cast<std::uint32_t>(w[i] / E9);
    }
    p->nh = p->h[2 * nw - 1] == 0 ? 2 * nw - 1 : 2 * nw;
}

} // namespace xarith_detail

#endif
