// Record-level forms in words: the accumulator a run of sums and
// multiply-adds is held in, prepared factors, and the multiply-add step on
// them. Internal to the library.
//
// Why the word path gives the digits of the record path. A sum cuts both
// terms at its grid (sum_grid), each cut term then below 10^prec, so a sum
// at prec <= 18 W fits W words and a carry. x_mult_ keeps prec / 6 + 2
// limbs of a product, more than prec digits: whenever it drops limbs the
// grid lies above them, and cutting the whole product at the grid gives
// the digits of cutting the kept limbs there. Only the exponent of the
// kept product, which decides the grid when nothing is cut, depends on the
// drop, and the step below takes it into account. A record's limbs are its
// mantissa in base 10^6 for its exponent, so words and limbs carry the same
// number.
#ifndef XARITH_ACC_H
#define XARITH_ACC_H

#include "xarith/halves.h"
#include "xarith/record.h"

#include <type_traits>

namespace xarith_detail {

// The words a sum at prec digits needs; every precision a sum takes
// (1..PREC_ADD_MAX) has its W.
inline int words_for(int prec) {
    return (prec + WORD_DIGITS - 1) / WORD_DIGITS;
}
inline constexpr int WORDS_MAX = (PREC_ADD_MAX + WORD_DIGITS - 1) / WORD_DIGITS;

// f(std::integral_constant<int, W>{}) for the run-time w in 1..WORDS_MAX.
template <class F> decltype(auto) with_words(int w, F&& f) {
    return with_constant<1, WORDS_MAX>(w, std::forward<F>(f));
}

// A factor prepared once for many products: its mantissa (the integer the
// record's limbs form), exponent and sign. nh = 0 for a zero value;
// zero_record tells a record with ndgt 0 (whose product is the zero xinit
// makes) from one whose limbs are all 0 (whose product keeps the signs'
// sign and the exponents' sum, as x_mult_ gives it). A mantissa of up to
// MUL_HALVES_FIXED halves is held in the nh halves h, for the fixed
// kernels; a longer one in the nw words w (nw a count of KERNEL_WORDS,
// zeros above the value), so that its products read it as it is (nh still
// counts its halves). This is the inside of the public x_prep, with room for H
// halves: any record's for an x_prep, fewer where the values are known to
// be short (the cells of an elimination), which keeps more of them in the
// cache.
template <int H> struct PrepOf {
    std::int32_t esp;
    std::int16_t nh;
    signed char sign;
    bool zero_record;
    bool one_word;  // at most two halves and a moderate exponent (ONE_WORD_ESP)
    std::int8_t nw; // 0 while the mantissa is in h
    union {
        half_t h[H];
        u64 w[kernel_words(std::min((H + 1) / 2, RECORD_WORDS))];
    };
};
// The exponents of one-word factors: within this bound every grid of
// their products and sums stays far from the ends of a record's exponent.
inline constexpr std::int32_t ONE_WORD_ESP = 1 << 28;
using Prep = PrepOf<RECORD_HALVES>;

// p's mantissa from its words w[0..n), n > 0 and w[n - 1] != 0, and its
// decimal digits: in halves when it has up to MUL_HALVES_FIXED of them,
// else in words.
template <int H> inline void set_mantissa(PrepOf<H>* p, const u64* w, int n, int digits) {
    p->nh = static_cast<std::int16_t>((digits + 8) / 9);
    if (p->nh <= MUL_HALVES_FIXED) {
        halves_of_words(p->h, w, n);
        p->nw = 0;
        return;
    }
    const int nk = kernel_words(n);
    for (int i = 0; i < n; ++i) p->w[i] = w[i];
    for (int i = n; i < nk; ++i) p->w[i] = 0;
    p->nw = static_cast<std::int8_t>(nk);
}

// Whether a prepared factor of nh halves and exponent esp has the one-word
// form the matrix product takes.
inline bool one_word_form(int nh, std::int32_t esp) {
    return nh > 0 && nh <= 2 && esp < ONE_WORD_ESP && esp > -ONE_WORD_ESP;
}

inline void prepare(Prep* p, const x_num* a) {
    p->esp = a->esp;
    p->sign = a->sign;
    p->zero_record = a->ndgt == 0;
    p->nw = 0;
    const int n = strip_top(a->dgt, used_limbs(a));
    if (n <= 3 * MUL_HALVES_FIXED / 2) { // at most MUL_HALVES_FIXED halves
        p->nh = static_cast<std::int16_t>(n == 0 ? 0 : halves_of_limbs(p->h, a->dgt, n));
    } else {
        u64 w[RECORD_WORDS];
        const int nw = words_of_limbs(w, a->dgt, n);
        set_mantissa(p, w, nw, digits_of(a->dgt, n));
    }
    p->one_word = one_word_form(p->nh, a->esp);
}

// The record a prepared factor stands for, in normal form: the limbs of
// its mantissa (trailing zero limbs as the record had them).
template <int H> inline void record_of(x_num* x, const PrepOf<H>& p) {
    x->sign = p.sign;
    x->esp = p.esp;
    if (p.nh == 0) {
        x->ndgt = 0;
        return;
    }
    const int nl = std::min(SUB_DGT, (9 * p.nh + BASE - 1) / BASE);
    if (p.nw == 0) {
        limbs_of_halves(x->dgt, nl, p.h, p.nh);
    } else {
        limb_t d[3 * RECORD_WORDS];
        limbs_of_words(d, p.w, p.nw);
        for (int i = 0; i < nl; ++i) x->dgt[i] = d[i];
    }
    x->ndgt = strip_top(x->dgt, nl);
}

// The words of a prepared factor's mantissa, as many as its product
// kernel reads: its own, or those of its halves read into buf.
template <class A>
[[gnu::always_inline]] inline const u64* kernel_words_of(const A& a, u64* buf, int* n) {
    if (a.nw != 0) {
        *n = a.nw;
        return a.w;
    }
    *n = words_of_halves(buf, a.h, a.nh);
    return buf;
}

// product_words for a factor held in words, out of the loops that call it;
// the columns below `from` left out.
template <class A, class B> [[gnu::noinline]] int product_long(u64* r, const A& a, const B& b, int from = 0) {
    u64 x[MUL_HALVES_FIXED / 2], y[MUL_HALVES_FIXED / 2];
    int na, nb;
    const u64* wa = kernel_words_of(a, x, &na);
    const u64* wb = kernel_words_of(b, y, &nb);
    mul_kernel_words(r, wa, na, wb, nb, from);
    int n = na + nb;
    while (n > 1 && r[n - 1] == 0) --n;
    return n;
}

// The words of the product of two non-zero prepared factors into r;
// returns their count, the top word non-zero. r has room for
// 2 RECORD_WORDS + 1 words.
// The words in r of a product of factors of nha and nhb halves, the top
// ones not 0: such factors make nha + nhb - 1 or nha + nhb halves, at most
// one zero word on top.
inline int halves_product_words(const u64* r, int nha, int nhb) {
    const int n = (nha + nhb + 1) / 2;
    return r[n - 1] == 0 ? n - 1 : n;
}

template <class A, class B>
[[gnu::always_inline]] inline int product_words(u64* r, const A& a, const B& b) {
    if (a.nw != 0 || b.nw != 0) [[unlikely]]
        return product_long(r, a, b);
    MUL_HALVES[static_cast<std::size_t>((a.nh - 1) * MUL_HALVES_FIXED + b.nh - 1)](r, a.h, b.h);
    return halves_product_words(r, a.nh, b.nh);
}

// Products of which only floor(P / 10^g) is read (g >= 0: the digits
// below a sum's grid): the kernels leave out the columns below `from`, the
// highest that leaves g at least TOP_MARGIN digits into the word from + 1
// or above, from = floor((g - TOP_MARGIN) / 18) - 1 (0, none left out,
// where that leaves out nothing or reaches the top of the product's
// `words` words). Each column is below 14 x 10^36, so those left out add
// to P less than 15 x 10^(18 (from + 1)): to the rest R, less than 15 at
// the foot of its word from + 1. floor(P / 10^g) is then floor(R / 10^g)
// unless the d = g - 18 (from + 1) digits of that word below g, with 16
// more, reach 10^d (for g at or past the word from + 2, unless the word
// is within 15 of 10^18): top_kept false, and the whole product is formed
// then (a chance of at most 16 in 10^TOP_MARGIN). P's digits at and above
// g, and its word count, are those of the words kept. The columns left out
// are multiplies saved, and the word products are bound by the
// multiplier: a product of 7 x 7 words at 120 digits mostly leaves out 5
// or 6 of its 13 columns.
inline constexpr int TOP_MARGIN = 3;
inline int top_from(wide_t g, int words) {
    const wide_t from = (g - TOP_MARGIN) / WORD_DIGITS - 1;
    return from <= 0 || from + 2 >= words ? 0 : static_cast<int>(from);
}
inline bool top_kept(const u64* r, int from, wide_t g) {
    const wide_t d = g - WORD_DIGITS * (from + 1);
    assert(d >= TOP_MARGIN);
    const u64 w = r[from + 1];
    if (d >= WORD_DIGITS) return w < E18 - 15;
    const WordMagic& mg = WORD_MAGIC[static_cast<std::size_t>(d)];
    return w - div_pow10_word(w, mg) * mg.low + 16 <= mg.low;
}

// Of a product of two factors held in halves only the words from `from`
// up are formed, from = floor((g - 13) / 18), at most HALVES_FROM_MOST and
// two words below the product's top word, for factors of HALVES_FROM_PAIR
// halves together and more (MUL_HALVES_FROM). A half column
// is below 8 x 10^18, so the columns below half 2 from add E <
// 10^(18 from + 10) to the value R of the rest. floor(P / 10^g) is then
// floor(R / 10^g) unless R's digits from 18 from + 10 up to g, at least
// three, are all 9: unless digits 10 to 12 of R's word from read 999 (a
// chance of 1 in 1000), when the whole product is formed. R's words at and
// above from + 2, its top word among them, are P's.
inline int halves_top_from(wide_t g) {
    int from = 0; // the f of 1..HALVES_FROM_MOST with 18 f + 13 <= g
    for (int f = 1; f <= HALVES_FROM_MOST; ++f) from += g >= WORD_DIGITS * f + 13;
    return from;
}
inline bool halves_top_kept(const u64* r, int from) {
    constexpr u64 E13 = 10'000'000'000'000;
    return r[from] % E13 < 999 * (E13 / 1000);
}

// The words of a product P of two non-zero prepared factors that
// floor(P / 10^g) needs into r; returns their count, and in *whole whether
// they are P's own (see top_from and halves_top_from).
template <class A, class B>
[[gnu::always_inline]] inline int top_product(u64* r, const A& a, const B& b, wide_t g, bool* whole) {
    *whole = true;
    if (a.nw == 0 && b.nw == 0) {
        if (a.nh + b.nh < HALVES_FROM_PAIR) return product_words(r, a, b);
        const int f = halves_top_from(g);
        if (f == 0) return product_words(r, a, b);
        const auto k = static_cast<std::size_t>((a.nh - 1) * MUL_HALVES_FIXED + b.nh - 1);
        const HalvesFrom& h =
            MUL_HALVES_FROM[k * HALVES_FROM_MOST + static_cast<std::size_t>(f - 1)];
        h.kernel(r, a.h, b.h);
        if (h.from != 0 && !halves_top_kept(r, h.from)) [[unlikely]]
            return product_words(r, a, b);
        *whole = h.from == 0;
        return halves_product_words(r, a.nh, b.nh);
    }
    if (a.nw == 0 || b.nw == 0) return product_words(r, a, b);
    const int from = top_from(g, a.nw + b.nw);
    if (from == 0) return product_long(r, a, b);
    const int n = product_long(r, a, b, from);
    // every word kept 0 (a product below 15 at the foot of word from + 1,
    // its carries left out) has no digits to count: the whole one is formed
    if (r[n - 1] != 0 && top_kept(r, from, g)) [[likely]] {
        *whole = false;
        return n;
    }
    return product_long(r, a, b);
}

// Whether a record can enter an Acc<W>: normal form, non-zero, and no
// more limbs than a value of W + 1 words.
template <int W> inline bool loadable(const x_num* x) {
    const int n = x->ndgt;
    return n > 0 && n <= 3 * (W + 1) && x->dgt[n - 1] != 0;
}

// A sum held in words between sums and multiply-adds: sign x c[0..nw) x
// 10^esp, with its decimal digits. Its record is the words' limbs with the
// same exponent. The value (a sum at prec <= 18 W digits and its carry, or
// a kept product: at most W + 1 words) sits in buf with W zero words below
// it and zeros above as far as aligned<W> reads.
template <int W> struct Acc {
    u64 buf[3 * W + 2];
    int nw;
    int digits;
    std::int32_t esp;
    signed char sign;

    u64* c() { return buf + W; }
    const u64* c() const { return buf + W; }

    // From a record that is loadable<W>.
    [[gnu::always_inline]] void load(const x_num* x) {
        assert(loadable<W>(x));
        for (int i = 0; i < W; ++i) buf[i] = 0;
        nw = words_of_limbs(c(), x->dgt, x->ndgt);
        for (int i = 0; i <= W; ++i) c()[nw + i] = 0; // as far as aligned<W> reads
        digits = digits_of(x->dgt, x->ndgt);
        esp = x->esp;
        sign = x->sign;
    }

    // A zero, its sign and exponent kept as a record would hold them.
    void load_zero(signed char s, std::int32_t e) {
        for (auto& w : buf) w = 0;
        nw = 0;
        digits = 0;
        esp = e;
        sign = s;
    }

    void store(x_num* x) const {
        limbs_of_words(x->dgt, c(), nw);
        x->ndgt = (digits + BASE - 1) / BASE;
        x->esp = esp;
        x->sign = sign;
    }
};

// An accumulator's value without the zeros around it, to be kept between
// steps in less room than an Acc.
template <int W> struct AccValue {
    u64 c[W + 1];
    int nw;
    int digits;
    std::int32_t esp;
    signed char sign;

    void keep(const Acc<W>& a) {
        for (int i = 0; i <= W; ++i) c[i] = a.c()[i];
        nw = a.nw;
        digits = a.digits;
        esp = a.esp;
        sign = a.sign;
    }
    void give(Acc<W>& a) const {
        for (int i = 0; i < W; ++i) a.buf[i] = 0;
        for (int i = 0; i <= W; ++i) a.c()[i] = c[i];
        for (int i = W + 1; i <= 2 * W + 1; ++i) a.c()[i] = 0;
        a.nw = nw;
        a.digits = digits;
        a.esp = esp;
        a.sign = sign;
    }
};

// The factor prepare makes of the record a non-zero accumulator stands for,
// read from its words.
template <int W> void prepare(Prep* p, const Acc<W>& s) {
    assert(s.nw > 0);
    p->esp = s.esp;
    p->sign = s.sign;
    p->zero_record = false;
    p->nw = 0;
    set_mantissa(p, s.c(), s.nw, s.digits);
    p->one_word = one_word_form(p->nh, s.esp);
}

// acc = x1 + x2, the two terms cut at the grid, x1 with acc's sign and x2
// with sign2: the sum's words, digits, exponent and sign, as the limb sum
// settles them (a sum that cancels is a '+' zero).
template <int W>
[[gnu::always_inline]] inline void settle(Acc<W>& acc, const Words<W>& x1, const Words<W>& x2,
                                          signed char sign2, wide_t grid) {
    Words<W> s;
    u64 carry = 0;
    const bool neg1 = acc.sign == '-', neg2 = sign2 == '-';
    signed char usign = '+';
    if (neg1 == neg2) {
        carry = add_words<W>(s.w, x1, x2);
        if (acc.sign == sign2) usign = sign2;
    } else if (neg1 ? sub_words<W>(s.w, x2, x1) : sub_words<W>(s.w, x1, x2)) {
        // the positive term less the negative one borrowed: the sum is
        // negative, and its magnitude the complement
        negate_words<W>(s.w);
        usign = '-';
    }
    u64* c = acc.c();
    for (int i = 0; i < W; ++i) c[i] = s.w[i];
    c[W] = carry;
    for (int i = W + 1; i <= 2 * W + 1; ++i) c[i] = 0;
    int nw = 0;
    for (int i = 0; i <= W; ++i) nw = c[i] != 0 ? i + 1 : nw;
    acc.nw = nw;
    acc.digits = nw == 0 ? 0 : run_digits(c, nw);
    acc.esp = clamp_esp(grid);
    acc.sign = usign;
}

// acc = acc + p x 10^ep, the term's sign psign: the grid from the rule,
// both terms cut there and settled. p[0..np) are the words of a whole
// product (top word non-zero) readable W words below and above; keep is
// the limbs x_mult_ keeps of it, which decide its exponent in the rule.
// The grid mostly stays where the accumulator's digits put it before: with
// AHEAD the product is also cut at `expect`, the grid the caller expects,
// before the grid is known, so that the cut does not wait for the grid
// (nor, in a dot product, for the sum before). Where the grid is elsewhere
// the product is cut again. The dot products and the elimination cut
// ahead: velmar's 320 x 200 fit takes about a ninth less time at 30
// digits, a few percent at 60 and 100, for a few percent more
// instructions. Returns whether the grid was at `expect` with the
// accumulator there (always false without AHEAD).
template <int W, bool AHEAD = false>
[[gnu::always_inline]] inline bool add_product_words(Acc<W>& acc, const u64* p, int np, wide_t ep,
                                                     signed char psign, int prec,
                                                     wide_t expect = 0) {
    const int dp = run_digits(p, np);
    const wide_t eacc = acc.esp;
    // The product as x_mult_ keeps it may have dropped its lowest limbs,
    // but it then keeps more than prec digits, so its exponent lies below
    // (leading power - prec) and never decides the grid: the whole product
    // gives the same grid. Only where its exponent field would saturate (a
    // record's esp is an int) is the kept product worked out: ep becomes the
    // exponent of the whole product that goes with the saturated field.
    wide_t grid;
    if (ep > -SAFE_ESP && ep < SAFE_ESP) [[likely]] {
        grid = sum_grid(eacc, acc.digits, ep, dp, prec);
    } else {
        const int dropped = std::max((dp + BASE - 1) / BASE - product_keep(prec), 0);
        const wide_t kept_esp = clamp_esp(ep + BASE * dropped);
        ep = kept_esp - BASE * dropped;
        grid = sum_grid(eacc, acc.digits, kept_esp, dp - BASE * dropped, prec);
    }
    // the cut at the expected grid depends on no sum (ep moves only where
    // its exponent saturates)
    Words<W> at_expect{};
    if constexpr (AHEAD)
        at_expect = aligned<W>(p, np, std::min<wide_t>(ep - expect, WORD_DIGITS * W));
    Words<W> x1;
    if (eacc == grid) { // the accumulator mostly sets the grid and needs no shift
        for (int i = 0; i < W; ++i) x1.w[i] = acc.c()[i];
        if (AHEAD && grid == expect) [[likely]] {
            settle(acc, x1, at_expect, psign, grid);
            return true;
        }
    } else {
        x1 = aligned<W>(acc.c(), acc.nw, eacc - grid);
    }
    settle(acc, x1, aligned<W>(p, np, ep - grid), psign, grid);
    return false;
}

// Room for the product words of a step: W below, the product, W above.
template <int W> inline constexpr int PRODUCT_ROOM = 2 * RECORD_WORDS + 2 * W + 2;

// acc = acc + a * b, the product's sign taken as psign, for non-zero
// factors and a non-zero accumulator, prec <= 18 W, as the product through
// a record of its own and the sum would give it. The accumulator may end
// at zero (nw == 0). AHEAD and `expect` as in add_product_words.
template <int W, bool AHEAD = false, class A, class B>
[[gnu::always_inline]] inline bool step(Acc<W>& acc, const A& a, const B& b, signed char psign,
                                        int prec, wide_t expect = 0) {
    assert(a.nh > 0 && b.nh > 0 && acc.nw > 0);
    u64 pbuf[PRODUCT_ROOM<W>];
    u64* p = pbuf + W;
    for (int i = 0; i < W; ++i) pbuf[i] = 0;
    const int np = product_words(p, a, b);
    for (int i = 0; i <= W; ++i) p[np + i] = 0;
    return add_product_words<W, AHEAD>(acc, p, np, static_cast<wide_t>(a.esp) + b.esp, psign, prec,
                                       expect);
}

// acc = acc + b, b's sign taken as b_sign, for a non-zero accumulator, a
// record b that is loadable<W> and prec <= 18 W, as the limb sum forms it.
template <int W>
[[gnu::always_inline]] inline void add_record(Acc<W>& acc, const x_num* b, signed char b_sign,
                                              int prec) {
    Acc<W> t;
    t.load(b);
    const wide_t ea = acc.esp, eb = t.esp;
    const wide_t grid = sum_grid(ea, acc.digits, eb, t.digits, prec);
    Words<W> x1;
    if (ea == grid) {
        for (int i = 0; i < W; ++i) x1.w[i] = acc.c()[i];
    } else {
        x1 = aligned<W>(acc.c(), acc.nw, ea - grid);
    }
    const Words<W> x2 = aligned<W>(t.c(), t.nw, eb - grid);
    settle(acc, x1, x2, b_sign, grid);
}

// *s = a + b, b's sign taken as b_sign, in words, for records loadable<W>
// and prec <= 18 W, as the limb sum forms it.
template <int W>
void sum_records_words(const x_num* a, const x_num* b, signed char b_sign, Acc<W>* s, int prec) {
    s->load(a);
    add_record(*s, b, b_sign, prec);
}

// c = a + b as sum_records_words forms it; c may be a or b.
template <int W>
void add_records_words(const x_num* a, const x_num* b, signed char b_sign, x_num* c, int prec) {
    Acc<W> s;
    sum_records_words<W>(a, b, b_sign, &s, prec);
    s.store(c);
}

// A running sum held as signed words, for runs of terms that are cut at
// the sum's own exponent: a signed term adds without comparing magnitudes
// (the signs of the terms follow the data: a branch on them would
// mispredict half the time), and the sum's digits are looked at only
// through the range of its top word. The value w[W-1] 10^(18 (W-1)) +
// ... + w[0] times 10^esp, w[0..W-2] in 0..10^18 - 1; a zero keeps the
// exponent its record would have.
//
// Terms may also be added lazily (add_lazy): each word takes the term's
// word, signed, and no carry, so the lower words leave 0..10^18 - 1 (they
// are then read as signed) until carry_through brings them back, at the
// latest after LAZY_MOST terms. After k such terms a lower word lies
// within (-k, k + 1) x 10^18 and the top word is within k + 1 of its
// carried value: LAZY_MOST = 8 keeps every word and carry within 64 bits.
// Only the lazy path's own tests (surely_holds_prec, surely_nonzero) read
// a sum with terms pending; everything else carries them through first.
inline constexpr int LAZY_MOST = 8;
template <int W> struct SignedSum {
    u64 w[W - 1];
    std::int64_t top;
    wide_t esp;
    int lazy; // terms added lazily since the words were last carried through

    bool zero() const {
        if (lazy != 0) {
            if (surely_nonzero(*this)) return false;
            SignedSum carried = *this;
            carry_through(carried);
            return carried.zero();
        }
        u64 any = static_cast<u64>(top);
        for (int i = 0; i < W - 1; ++i) any |= w[i];
        return any == 0;
    }
    void clear(wide_t e) {
        for (auto& x : w) x = 0;
        top = 0;
        esp = e;
        lazy = 0;
    }
};

// The lower words back into 0..10^18 - 1, each read as signed and its
// carry (floor(word / 10^18), negative for a negative word) passed up.
template <int W> inline void carry_through(SignedSum<W>& s) {
    constexpr auto E = static_cast<std::int64_t>(E18);
    std::int64_t c = 0;
    for (int i = 0; i < W - 1; ++i) {
        const std::int64_t l = static_cast<std::int64_t>(s.w[i]) + c;
        std::int64_t q = l / E, r = l - q * E;
        const std::int64_t under = r < 0;
        q -= under;
        r += under * E;
        s.w[i] = static_cast<u64>(r);
        c = q;
    }
    s.top += c;
    s.lazy = 0;
}

// s = s + (-1)^neg q, the words q[0..W) below 10^18, lazily: each word
// takes its term's word, with no carry.
template <int W>
[[gnu::always_inline]] inline void add_lazy(SignedSum<W>& s, const u64* q, bool neg) {
    const u64 m = 0 - static_cast<u64>(neg);
    for (int i = 0; i < W - 1; ++i) s.w[i] += (q[i] ^ m) - m;
    s.top += static_cast<std::int64_t>((q[W - 1] ^ m) - m);
    if (++s.lazy == LAZY_MOST) carry_through(s);
}

// The magnitude of a sum as W + 1 words, least significant first, and its
// sign: for a negative one 10^(18 (W-1)) less the lower words, with a
// borrow from the top.
template <int W> void magnitude(const SignedSum<W>& sum, u64* m, bool* neg) {
    SignedSum<W> s = sum;
    if (s.lazy != 0) carry_through(s);
    *neg = s.top < 0;
    std::int64_t top = s.top;
    u64 borrow = 0;
    for (int i = 0; i < W - 1; ++i) {
        const u64 x = s.w[i];
        if (*neg) {
            const u64 t = 0 - x - borrow;
            borrow = x + borrow != 0;
            m[i] = t + ((0 - borrow) & E18);
        } else {
            m[i] = x;
        }
    }
    if (*neg) top = -top - static_cast<std::int64_t>(borrow);
    const auto h = static_cast<u64>(top);
    m[W - 1] = h >= E18 ? h - E18 : h;
    m[W] = h >= E18;
}

// Whether any of the lower words is not 0.
template <int W> inline bool low_words(const SignedSum<W>& s) {
    assert(s.lazy == 0);
    u64 any = 0;
    for (int i = 0; i < W - 1; ++i) any |= s.w[i];
    return any != 0;
}

// The top word of the magnitude: -top less a borrow from the lower words
// (low: any of them not 0) for a negative sum.
template <int W> inline u64 top_magnitude(const SignedSum<W>& s, bool low) {
    const std::int64_t mask = s.top >> 63; // all ones for a negative sum
    return static_cast<u64>((s.top ^ mask) - mask - (mask & static_cast<std::int64_t>(low)));
}

// s = s + (-1)^neg q, the words q[0..W) below 10^18: each word back into
// 0..10^18 - 1 by its carry or borrow. The negation is arithmetic,
// (q xor m) - m with m all ones for a negative term.
template <int W> inline void add_signed(SignedSum<W>& s, const u64* q, bool neg) {
    assert(s.lazy == 0);
    const std::int64_t m = -static_cast<std::int64_t>(neg);
    std::int64_t c = 0;
    for (int i = 0; i < W - 1; ++i) {
        std::int64_t l =
            static_cast<std::int64_t>(s.w[i]) + ((static_cast<std::int64_t>(q[i]) ^ m) - m) + c;
        c = (l >= static_cast<std::int64_t>(E18)) - (l < 0);
        l -= c * static_cast<std::int64_t>(E18);
        s.w[i] = static_cast<u64>(l);
    }
    s.top += ((static_cast<std::int64_t>(q[W - 1]) ^ m) - m) + c;
}

// Decimal digits of |s| for a non-zero sum.
template <int W> inline int sum_digits(const SignedSum<W>& s) {
    u64 m[W + 1];
    bool neg;
    magnitude(s, m, &neg);
    int n = W + 1;
    while (m[n - 1] == 0) --n;
    return run_digits(m, n);
}

// The range of the top word of a sum of exactly prec digits, 18 (W - 1) <
// prec <= 18 W: 10^(prec - 1 - 18 (W - 1)) <= top < 10^(prec - 18 (W - 1)).
struct TopRange {
    u64 low, high;
};
template <int W> TopRange top_range(int prec) {
    const int above = prec - WORD_DIGITS * (W - 1);
    return {POW10_WORD[static_cast<std::size_t>(above - 1)],
            POW10_WORD[static_cast<std::size_t>(above)]};
}

// The record of a sum: a sum that cancelled is a '+' zero.
template <int W> void store_sum(const SignedSum<W>& s, x_num* x) {
    u64 m[W + 1];
    bool neg;
    magnitude(s, m, &neg);
    limb_t l[3 * W + 3];
    limbs_of_words(l, m, W + 1);
    x->ndgt = strip_top(l, 3 * W + 3);
    for (int i = 0; i < x->ndgt; ++i) x->dgt[i] = l[i];
    x->sign = neg ? '-' : '+';
    x->esp = clamp_esp(s.esp);
}

// Whether a non-zero sum holds exactly prec digits (full from top_range).
template <int W> inline bool holds_prec(const SignedSum<W>& s, TopRange full) {
    const u64 top = top_magnitude(s, low_words(s));
    return top >= full.low && top < full.high;
}

// The same for a sum with terms pending, from the bounds on its carried
// top word t (within lazy + 1 of top): true when every t in them holds
// exactly prec digits, for a positive sum (top word t) or a negative one
// (top word of the magnitude -t or -t - 1). False decides nothing.
template <int W> inline bool surely_holds_prec(const SignedSum<W>& s, TopRange full) {
    const std::int64_t slack = s.lazy + 1, top = s.top;
    const auto low = static_cast<std::int64_t>(full.low),
               high = static_cast<std::int64_t>(full.high);
    return (top - slack >= low && top + slack < high) ||
           (-top - slack - 1 >= low && -top + slack < high);
}

// Whether a sum with terms pending is surely not zero: its carried top
// word is not (a sum whose top word is not zero is not).
template <int W> inline bool surely_nonzero(const SignedSum<W>& s) {
    const std::int64_t slack = s.lazy + 1;
    return s.top > slack || s.top < -slack;
}

// f takes up the accumulator s when it holds exactly prec digits and its
// sign is '+' or '-' (a sum of another sign, which no arithmetic makes,
// stays where its sign is written back as it was); returns whether it did.
template <int W> inline bool take_signed(SignedSum<W>& f, const Acc<W>& s, int prec) {
    if (s.digits != prec || (s.sign != '+' && s.sign != '-')) return false;
    assert(s.nw > 0 && s.digits <= WORD_DIGITS * W);
    f.clear(s.esp);
    add_signed(f, s.c(), s.sign == '-');
    return true;
}

// The accumulator a non-zero signed sum stands for.
template <int W> inline void acc_of(Acc<W>& s, const SignedSum<W>& f) {
    for (auto& w : s.buf) w = 0;
    bool neg;
    magnitude(f, s.c(), &neg);
    int nw = W + 1;
    while (s.c()[nw - 1] == 0) --nw;
    s.nw = nw;
    s.digits = run_digits(s.c(), nw);
    s.esp = clamp_esp(f.esp);
    s.sign = neg ? '-' : '+';
}

// f = f + (-1)^neg p x 10^ep, p as add_product_words takes it, when the
// sum holds exactly prec digits and the term cannot pass its leading
// power: the grid is then the sum's own exponent (grid_stays_first), so
// only the term is cut, at an exponent that does not wait for the sum
// before. False, with nothing done, otherwise.
// The term is added lazily; whether the sum holds prec digits is judged
// from the bounds on its top word, and only where they do not decide are
// the pending terms carried through. A sum that may have cancelled is
// carried through too, so that f.zero() after a true return is exact.
template <int W>
[[gnu::always_inline]] inline bool add_at_own_grid(SignedSum<W>& f, const u64* p, int np, wide_t ep,
                                                   bool neg, int prec, TopRange full) {
    const Words<W> q = aligned<W>(p, np, std::min<wide_t>(ep - f.esp, WORD_DIGITS * W));
    bool holds = surely_holds_prec(f, full);
    if (!holds) {
        if (f.lazy != 0) carry_through(f);
        holds = holds_prec(f, full);
    }
    if (ep <= -SAFE_ESP || ep >= SAFE_ESP ||
        !grid_stays_first(holds, f.esp, ep, run_digits(p, np), prec))
        return false;
    add_lazy(f, q.w, neg);
    if (!surely_nonzero(f)) carry_through(f);
    return true;
}

} // namespace xarith_detail

#endif
