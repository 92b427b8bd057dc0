// The multiply-adds: acc + a * b with the digits of the product through a
// record of its own followed by the sum, on records and on prepared
// factors, one at a time, as a run of terms into one accumulator (a dot
// product) and as a row of an elimination.
#include "xarith/fused.h"

#include <cstring>
#include <new>

using namespace xarith_detail;

static_assert(sizeof(Prep) <= sizeof(x_prep) && alignof(Prep) <= alignof(x_prep),
              "x_prep holds a prepared factor");
static_assert(std::is_trivially_copyable_v<Prep>);

namespace xarith_detail {

const Prep& prep_of(const x_prep* p) {
    return *std::launder(reinterpret_cast<const Prep*>(p->opaque));
}

// acc = acc + (a * b), the product's sign turned when `turn`, through the
// records: x_mult_ keeps the product, and a zero accumulator takes it as it
// is (a zero product leaves a non-zero accumulator alone).
void add_product_records(const x_num* a, const x_num* b, x_num* acc, bool turn, int digit_max) {
    if (a->ndgt == 0 || b->ndgt == 0) { // the zero xinit makes
        if (acc->ndgt == 0) {
            xinit(acc, 0);
            if (turn) acc->sign = '-';
        }
        return;
    }
    Product p;
    product(a, b, digit_max, &p);
    const signed char sign = turn ? turned_sign(p.sign) : p.sign;
    if (acc->ndgt == 0) {
        store(acc, sign, p.d, p.n, p.esp);
    } else if (p.n != 0) {
        add_terms(term_of(acc, acc->sign), {p.d, p.n, clamp_esp(p.esp), sign}, acc,
                  clamp_prec(digit_max, PREC_ADD_MAX));
    }
}

} // namespace xarith_detail

namespace {

// The record a prepared factor was made from, as far as a product can tell:
// a factor whose limbs were all 0 becomes the one limb 0.
x_num factor_record(const Prep& p) {
    x_num x;
    record_of(&x, p);
    if (p.nh == 0 && !p.zero_record) {
        x.dgt[0] = 0;
        x.ndgt = 1;
    }
    return x;
}

// The word path for one multiply-add: non-zero factors and an accumulator
// that can be held; false, with nothing done, otherwise.
template <int W>
bool add_product_words(const Prep& a, const Prep& b, signed char psign, x_num* acc, int prec) {
    if (a.nh == 0 || b.nh == 0 || !loadable<W>(acc)) return false;
    Acc<W> s;
    s.load(acc);
    step(s, a, b, psign, prec);
    s.store(acc);
    return true;
}

// acc = acc + a * b for prepared factors, the product's sign turned when
// `turn`.
void add_product_prepared(const Prep& a, const Prep& b, x_num* acc, bool turn, int digit_max) {
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    const signed char psign = product_sign(a.sign, b.sign);
    const bool done = with_words(words_for(prec), [&](auto w) {
        return add_product_words<decltype(w)::value>(a, b, turn ? turned_sign(psign) : psign, acc,
                                                     prec);
    });
    if (done) return;
    const x_num x = factor_record(a), y = factor_record(b);
    add_product_records(&x, &y, acc, turn, digit_max);
}

// acc += a[r] * b[r] over r = 0..n-1 in order, the accumulator kept in
// words from term to term. A term the word path does not take (a zero
// factor, a zero accumulator, which takes the product uncut) goes through
// the record, and the words are taken up again after it. While the sum
// holds exactly prec digits (from W = 2 on) it is kept signed, each term
// cut at its exponent: the steps then wait on no comparison of magnitudes
// and no count of digits. Otherwise the grid each term expects is the one
// the terms before left, taken up again only when a term moves it: so the
// cut of each product waits on no sum before it.
template <int W> void dot(const x_prep* a, const x_prep* b, int n, x_num* acc, int prec) {
    enum class Held { record, words, signed_words };
    Held held = Held::record;
    Acc<W> s;
    SignedSum<std::max(W, 2)> f;
    const TopRange full = top_range<std::max(W, 2)>(std::max(prec, WORD_DIGITS + 1));
    wide_t expect = 0;
    const auto take_up = [&] {
        if constexpr (W >= 2)
            if (take_signed(f, s, prec)) held = Held::signed_words;
    };
    const auto put_back = [&] {
        if (held == Held::signed_words) store_sum(f, acc);
        if (held == Held::words) s.store(acc);
        held = Held::record;
    };
    for (int r = 0; r < n; ++r) {
        const Prep& pa = prep_of(&a[r]);
        const Prep& pb = prep_of(&b[r]);
        if (held == Held::record && loadable<W>(acc)) {
            s.load(acc);
            held = Held::words;
            expect = s.esp;
            take_up();
        }
        if (held == Held::record || pa.nh == 0 || pb.nh == 0) {
            put_back();
            add_product_prepared(pa, pb, acc, false, prec);
            continue;
        }
        u64 pbuf[PRODUCT_ROOM<W>];
        u64* p = pbuf + W;
        for (int i = 0; i < W; ++i) pbuf[i] = 0;
        const wide_t ep = static_cast<wide_t>(pa.esp) + pb.esp;
        // a signed sum mostly cuts the product at its own exponent: only
        // the product's words above it are formed then
        bool whole = true;
        int np = held == Held::signed_words ? top_product(p, pa, pb, f.esp - ep, &whole)
                                            : product_words(p, pa, pb);
        for (int i = 0; i <= W; ++i) p[np + i] = 0;
        const signed char psign = product_sign(pa.sign, pb.sign);
        if constexpr (W >= 2) {
            if (held == Held::signed_words) {
                if (add_at_own_grid(f, p, np, ep, psign == '-', prec, full)) [[likely]] {
                    if (f.zero()) put_back(); // cancelled: the next term goes through the record
                    continue;
                }
                if (!whole) {
                    np = product_words(p, pa, pb);
                    for (int i = 0; i <= W; ++i) p[np + i] = 0;
                }
                acc_of(s, f);
                held = Held::words;
                expect = s.esp;
            }
        }
        if (!add_product_words<W, true>(s, p, np, ep, psign, prec, expect)) expect = s.esp;
        if (s.nw == 0) { // cancelled to zero: the next term goes through the record
            put_back();
            continue;
        }
        take_up();
    }
    put_back();
}

} // namespace

void xprep_(const x_num* a, x_prep* p) {
    prepare(new (p->opaque) Prep, a);
}

// The difference in words, its mantissa prepared from them: the limbs of
// the record, which xprep_ would read back, are never written. A
// difference that cancels, zeros, or operands the words cannot hold go
// through the record.
void xprep_sub_(const x_num* a, const x_num* b, x_prep* p, int digit_max) {
    Prep* q = new (p->opaque) Prep;
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    const bool done = a->ndgt != 0 && b->ndgt != 0 && with_words(words_for(prec), [&](auto w) {
        constexpr int W = decltype(w)::value;
        if (!loadable<W>(a) || !loadable<W>(b)) return false;
        Acc<W> s;
        sum_records_words<W>(a, b, turned_sign(b->sign), &s, prec);
        if (s.nw == 0) return false;
        prepare(q, s);
        return true;
    });
    if (done) return;
    x_num c;
    x_sub_(a, b, &c, digit_max);
    prepare(q, &c);
}

namespace {

// The longest factors, in words, that a lone multiply-add takes straight
// from their limbs: records of up to 108 digits.
constexpr int LONE_WORDS = 6;
static_assert(kernel_words(LONE_WORDS) == LONE_WORDS, "a factor's words fit its kernel's");

// The words of wa[0..na) * wb[0..nb), both counts at most N, into
// p[0..na + nb) by columns; returns their count, the top word not 0 (the
// factors' top words are not 0). A bound N of its own for short factors
// keeps their columns few.
template <int N>
[[gnu::always_inline]] inline int lone_product(u64* p, const u64* wa, int na, const u64* wb,
                                               int nb) {
    u128 col[2 * N - 1] = {};
    for (int i = 0; i < na; ++i)
        for (int j = 0; j < nb; ++j) col[i + j] += static_cast<u128>(wa[i]) * wb[j];
    u64 carry = 0;
    for (int k = 0; k < na + nb - 1; ++k) carry = BY_E18.divide(col[k] + carry, &p[k]);
    int np = na + nb;
    p[np - 1] = carry;
    while (p[np - 1] == 0) --np;
    return np;
}

// lone_product for longer factors, out of the path of the short ones: by
// the unrolled kernel for the counts, zero words on top (at 6 words a
// third less time than columns summed in a loop), and only the words that
// floor(P / 10^g) needs (top_from; g <= 0 forms them all). The words it
// leaves out read 0.
[[gnu::noinline]] int long_lone_product(u64* p, u64* wa, int na, u64* wb, int nb, wide_t g) {
    const int ka = kernel_words(na), kb = kernel_words(nb);
    for (int i = na; i < ka; ++i) wa[i] = 0;
    for (int i = nb; i < kb; ++i) wb[i] = 0;
    const int from = top_from(g, na + nb);
    mul_kernel_words(p, wa, ka, wb, kb, from);
    if (from > 0 && !top_kept(p, from, g)) [[unlikely]]
        mul_kernel_words(p, wa, ka, wb, kb);
    int np = ka + kb;
    while (p[np - 1] == 0) --np;
    return np;
}

// acc = acc + a * b, the product's sign psign, for records in normal form
// and an accumulator that can be held: the factors' words are read from
// their limbs and multiplied by columns, which for a single product costs
// less than preparing both factors (tarsik's multiply-subtracts take a
// third fewer instructions at 30 digits). Factors longer than W + 1 words
// (a sum's words and its carry) or LONE_WORDS are left to the prepared
// factors, which took fewer instructions for them. False, with nothing
// done, when the path does not apply.
template <int W>
bool add_lone_product(const x_num* a, const x_num* b, signed char psign, x_num* acc, int prec) {
    constexpr int MOST = 3 * std::min(W + 1, LONE_WORDS); // limbs
    const int la = a->ndgt, lb = b->ndgt;
    if (la <= 0 || lb <= 0 || la > MOST || lb > MOST || a->dgt[la - 1] == 0 ||
        b->dgt[lb - 1] == 0 || !loadable<W>(acc))
        return false;
    u64 wa[LONE_WORDS], wb[LONE_WORDS];
    const int na = words_of_limbs(wa, a->dgt, la), nb = words_of_limbs(wb, b->dgt, lb);
    u64 pbuf[PRODUCT_ROOM<W>];
    u64* p = pbuf + W;
    for (int i = 0; i < W; ++i) pbuf[i] = 0;
    Acc<W> s;
    s.load(acc);
    const wide_t ep = static_cast<wide_t>(a->esp) + b->esp;
    int np;
    if (na <= 3 && nb <= 3) {
        np = lone_product<3>(p, wa, na, wb, nb);
    } else {
        // the grid lies at or above the higher leading power less prec, and
        // the product's leading power at or above its factors' less one
        // (exponents far out, whose kept product add_product_words works
        // out, form every word)
        const wide_t lead = std::max<wide_t>(
            s.esp + s.digits, ep + digits_of(a->dgt, la) + digits_of(b->dgt, lb) - 1);
        np = long_lone_product(p, wa, na, wb, nb,
                               ep > -SAFE_ESP && ep < SAFE_ESP ? lead - prec - ep : 0);
    }
    for (int i = 0; i <= W; ++i) p[np + i] = 0;
    add_product_words(s, p, np, ep, psign, prec);
    s.store(acc);
    return true;
}

// acc = acc + a * b, the product's sign turned when `turn`: the word path
// for non-zero factors, the records otherwise.
void multiply_add(const x_num* a, const x_num* b, x_num* acc, bool turn, int digit_max) {
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    const signed char psign = product_sign(a->sign, b->sign);
    if (with_words(words_for(prec), [&](auto w) {
            return add_lone_product<decltype(w)::value>(a, b, turn ? turned_sign(psign) : psign,
                                                        acc, prec);
        }))
        return;
    Prep pa, pb;
    prepare(&pa, a);
    prepare(&pb, b);
    if (a->ndgt == 0 || b->ndgt == 0 || pa.nh == 0 || pb.nh == 0)
        add_product_records(a, b, acc, turn, digit_max);
    else
        add_product_prepared(pa, pb, acc, turn, digit_max);
}

} // namespace

int x_mult_add_(const x_num* a, const x_num* b, x_num* acc, int digit_max) {
    multiply_add(a, b, acc, false, digit_max);
    return 1;
}

int x_mult_sub_(const x_num* a, const x_num* b, x_num* acc, int digit_max) {
    multiply_add(a, b, acc, true, digit_max);
    return 1;
}

int x_mult_add_p_(const x_prep* a, const x_prep* b, x_num* acc, int digit_max) {
    add_product_prepared(prep_of(a), prep_of(b), acc, false, digit_max);
    return 1;
}

int x_mult_sub_p_(const x_prep* a, const x_prep* b, x_num* acc, int digit_max) {
    add_product_prepared(prep_of(a), prep_of(b), acc, true, digit_max);
    return 1;
}

int x_dot_add_p_(const x_prep* a, const x_prep* b, int n, x_num* acc, int digit_max) {
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    with_words(words_for(prec), [&](auto w) { dot<decltype(w)::value>(a, b, n, acc, prec); });
    return 1;
}

namespace xarith_detail {

void sub_row_p(const x_prep* p, const x_prep* f, int n, x_num* row, int digit_max) {
    for (int l = 0; l < n; ++l)
        add_product_prepared(prep_of(&p[l]), prep_of(f), &row[l], true, digit_max);
}

} // namespace xarith_detail
