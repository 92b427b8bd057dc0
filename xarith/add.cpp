// Addition, subtraction and comparison of records.
#include "xarith/acc.h"

#include <new>

using namespace xarith_detail;

namespace xarith_detail {

// Both terms are cut at the grid before their limbs are added, so the cut
// never depends on the sum.
void add_terms(const Term& a, const Term& b, x_num* c, int prec) {
    // align both terms to the grid, cutting them; the terms are copied as
    // they are shifted, so c may hold either of them
    const wide_t grid = sum_grid(a.esp, digits_of(a.d, a.n), b.esp, digits_of(b.d, b.n), prec);
    limb_t x1[SHIFT_ROOM], x2[SHIFT_ROOM];
    // a term that sets the grid unshifted and already holds c's limbs (an
    // accumulator) is read in place
    const bool a_in_place = a.esp == grid && a.d == c->dgt;
    int m1 = a_in_place ? a.n : shift_copy(x1, a.d, a.n, a.esp - grid);
    int m2 = shift_copy(x2, b.d, b.n, b.esp - grid);
    limb_t* y1 = a_in_place ? c->dgt : x1;
    const int nmax = std::max(m1, m2);
    while (m1 < nmax) y1[m1++] = 0;
    while (m2 < nmax) x2[m2++] = 0;

    // add the magnitudes, or subtract them with the weights the signs give
    limb_t* u = c->dgt;
    int nu = nmax;
    signed char sign = '+';
    const bool neg1 = a.sign == '-', neg2 = b.sign == '-';
    if (neg1 == neg2) {
        if (add_n(u, y1, x2, nmax)) u[nu++] = 1;
        if (a.sign == b.sign) sign = a.sign;
    } else {
        // the positive term less the negative one; a final borrow means
        // the sum is negative and u holds 10^(6 nmax) plus it
        const bool borrow = neg2 ? sub_n(u, y1, x2, nmax) : sub_n(u, x2, y1, nmax);
        if (borrow) {
            complement_n(u, nmax);
            sign = '-';
        }
    }

    // renormalise: a sum that cancels ends with ndgt 0. Each aligned term
    // holds at most prec digits, so the sum fits the limbs a result keeps
    // and nothing is cut here.
    c->sign = sign;
    c->ndgt = strip_top(u, nu);
    c->esp = clamp_esp(grid);
}

} // namespace xarith_detail

namespace {

// c = a + b where b's sign is taken as b_sign (x_sub_ passes it turned).
// A zero operand (ndgt 0) passes the other through, uncut; any other
// record, one whose limbs are all 0 included, goes through the grid.
void add_signed(const x_num* a, const x_num* b, signed char b_sign, x_num* c, int digit_max) {
    if (a->ndgt == 0) {
        copy_value(c, b);
        c->sign = b_sign;
        return;
    }
    if (b->ndgt == 0) {
        copy_value(c, a);
        return;
    }
    // A lone sum of records pays for its conversions to words up to 54
    // digits (11% fewer instructions at 30, none at 60, 6% more at 100).
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    const auto in = [&](auto w) {
        constexpr int W = decltype(w)::value;
        if (!loadable<W>(a) || !loadable<W>(b)) return false;
        add_records_words<W>(a, b, b_sign, c, prec);
        return true;
    };
    bool in_words = false;
    switch (words_for(prec)) {
    case 1:
        in_words = in(std::integral_constant<int, 1>{});
        break;
    case 2:
        in_words = in(std::integral_constant<int, 2>{});
        break;
    case 3:
        in_words = in(std::integral_constant<int, 3>{});
        break;
    default:
        break;
    }
    if (!in_words) add_terms(term_of(a, a->sign), term_of(b, b_sign), c, prec);
}

} // namespace

int x_add_(const x_num* a, const x_num* b, x_num* c, int digit_max) {
    add_signed(a, b, b->sign, c, digit_max);
    return 1;
}

// The subtrahend's sign is turned on the way in, not in the record, so b
// may be any record, a or c included.
int x_sub_(const x_num* a, const x_num* b, x_num* c, int digit_max) {
    add_signed(a, b, turned_sign(b->sign), c, digit_max);
    return 1;
}

namespace {

// The inside of an x_sum at W words: the precision, then the sum, held
// in one of three ways. As a record where the words cannot hold it (a
// zero, a term they cannot take). In words (AccValue) otherwise, each
// term read into words and added to them, so that the sum's limbs are
// neither read nor written from term to term (a column's sum of short
// values, which never reaches prec digits, takes about two thirds of
// x_add_'s instructions at 50 digits, half at 120). Signed (SignedSum)
// while it holds exactly prec digits in W >= 2 words: a term that cannot
// pass the sum's leading power is then cut at the sum's own exponent,
// which is the grid, and added without comparing magnitudes (about a
// third of x_add_'s instructions at 50 digits).
struct SumHead {
    int prec;
    int words;
};
enum class Held : unsigned char { record, words, signed_words };
template <int W> struct SumOf : SumHead {
    Held held;
    union {
        x_num rec;
        AccValue<W> value;
    };
    SignedSum<std::max(W, 2)> f;
};
static_assert(sizeof(SumOf<WORDS_MAX>) <= sizeof(x_sum) && alignof(SumOf<WORDS_MAX>) <= alignof(x_sum),
              "x_sum holds a running sum");
static_assert(std::is_trivially_copyable_v<SumOf<WORDS_MAX>>, "an x_sum is copied like a record");

const SumHead& head_of(const x_sum* s) {
    return *std::launder(reinterpret_cast<const SumHead*>(s->opaque));
}
template <int W> SumOf<W>& sum_of(x_sum* s) {
    return static_cast<SumOf<W>&>(*std::launder(reinterpret_cast<SumHead*>(s->opaque)));
}
template <int W> const SumOf<W>& sum_of(const x_sum* s) {
    return static_cast<const SumOf<W>&>(head_of(s));
}

// The accumulator is taken up signed when it holds exactly prec digits,
// else kept in words.
template <int W> void take_up(SumOf<W>& s, const Acc<W>& acc) {
    if constexpr (W >= 2) {
        if (take_signed(s.f, acc, s.prec)) {
            s.held = Held::signed_words;
            return;
        }
    }
    s.value.keep(acc);
    s.held = Held::words;
}

// The record goes into words when they can hold it.
template <int W> void take_up(SumOf<W>& s) {
    if (!loadable<W>(&s.rec)) return;
    Acc<W> acc;
    acc.load(&s.rec);
    take_up(s, acc);
}

// The sum back into its record, for a term the words do not take.
template <int W> void put_back(SumOf<W>& s) {
    if constexpr (W >= 2) {
        if (s.held == Held::signed_words) store_sum(s.f, &s.rec);
    }
    if (s.held == Held::words) {
        Acc<W> acc;
        s.value.give(acc);
        acc.store(&s.rec);
    }
    s.held = Held::record;
}

// s = s + a: a signed sum cuts the term at its own exponent when that is
// the grid (add_at_own_grid), else it goes into words; a sum in words
// adds the term's words; the record takes what the words cannot.
template <int W> void sum_add(SumOf<W>& s, const x_num* a) {
    if (s.held != Held::record && a->ndgt == 0) return; // s + 0 is s
    if constexpr (W >= 2) {
        if (s.held == Held::signed_words && loadable<W>(a)) {
            u64 buf[W + W + 1 + W + 1] = {}; // W zeros below, the term, zeros above
            const int n = words_of_limbs(buf + W, a->dgt, a->ndgt);
            if (add_at_own_grid(s.f, buf + W, n, a->esp, a->sign == '-', s.prec,
                                top_range<W>(s.prec))) {
                if (s.f.zero()) { // cancelled: the record takes the next term
                    store_sum(s.f, &s.rec);
                    s.held = Held::record;
                }
                return;
            }
            Acc<W> acc;
            acc_of(acc, s.f);
            s.value.keep(acc);
            s.held = Held::words;
        }
    }
    if (s.held == Held::words && loadable<W>(a)) {
        Acc<W> acc;
        s.value.give(acc);
        add_record(acc, a, a->sign, s.prec);
        if (acc.nw == 0) { // cancelled: the record takes the next term
            acc.store(&s.rec);
            s.held = Held::record;
            return;
        }
        take_up(s, acc);
        return;
    }
    put_back(s);
    x_add_(&s.rec, a, &s.rec, s.prec);
    take_up(s);
}

} // namespace

void xsum_(x_sum* s, const x_num* start, int digit_max) {
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    with_words(words_for(prec), [&](auto w) {
        constexpr int W = decltype(w)::value;
        auto* sum = new (s->opaque) SumOf<W>;
        sum->prec = prec;
        sum->words = W;
        sum->held = Held::record;
        copy_value(&sum->rec, start);
        take_up(*sum);
    });
}

int x_sum_add_(x_sum* s, const x_num* a) {
    with_words(head_of(s).words, [&](auto w) { sum_add(sum_of<decltype(w)::value>(s), a); });
    return 1;
}

void xsum_get_(const x_sum* s, x_num* out) {
    with_words(head_of(s).words, [&](auto w) {
        SumOf<decltype(w)::value> sum = sum_of<decltype(w)::value>(s);
        put_back(sum);
        copy_value(out, &sum.rec);
    });
}

namespace {

// The first 18 digits of a non-zero magnitude, from its leading digit on
// (padded with zeros when it has fewer): the top three limbs give 12 digits
// and those of the top limb, the fourth the rest.
std::uint64_t leading18(const limb_t* d, int n) {
    const auto limb = [&](int i) { return i >= 0 ? static_cast<std::uint64_t>(d[i]) : 0; };
    const int top = limb_digits(d[n - 1]);
    const std::uint64_t top3 = limb(n - 1) * E12 + limb(n - 2) * E6 + limb(n - 3);
    return top3 * static_cast<std::uint64_t>(pow10_limb[BASE - top]) +
           limb(n - 4) / static_cast<std::uint64_t>(pow10_limb[top]);
}

} // namespace

namespace xarith_detail {

// A term whose leading digit lies higher is the larger even after the cut:
// it keeps its leading power of ten while the other stays below it. With
// equal leading powers both keep their first prec digits, which 18-digit
// prefixes decide unless they agree; then the cut limbs do.
int compare_cut(const Term& a, const Term& b, int prec) {
    assert(a.n > 0 && b.n > 0 && a.d[a.n - 1] != 0 && b.d[b.n - 1] != 0);
    const wide_t da = digits_of(a.d, a.n), db = digits_of(b.d, b.n);
    const wide_t oa = a.esp + da, ob = b.esp + db; // leading power + 1
    if (oa != ob) return oa > ob ? 1 : -1;
    if (prec >= 18) {
        const std::uint64_t pa = leading18(a.d, a.n), pb = leading18(b.d, b.n);
        if (pa != pb) return pa > pb ? 1 : -1;
    }
    const wide_t grid = sum_grid(a.esp, da, b.esp, db, prec);
    limb_t x1[SHIFT_ROOM], x2[SHIFT_ROOM];
    int m1 = shift_copy(x1, a.d, a.n, a.esp - grid);
    int m2 = shift_copy(x2, b.d, b.n, b.esp - grid);
    m1 = strip_top(x1, m1);
    m2 = strip_top(x2, m2);
    if (m1 != m2) return m1 > m2 ? 1 : -1;
    for (int i = m1 - 1; i >= 0; --i)
        if (x1[i] != x2[i]) return x1[i] > x2[i] ? 1 : -1;
    return 0;
}

} // namespace xarith_detail

// The sign of x - y at dgt_max digits. For records in normal form without
// forming the difference: a zero operand leaves the other's sign (turned
// for y), unlike signs decide at once, like signs compare the cut
// magnitudes. A record with a leading zero limb counts its digits as
// written, which moves the grid: its difference is formed.
int xcomp_(const x_num* x, const x_num* y, int dgt_max) {
    if (!normal(x) || !normal(y)) {
        x_num z;
        x_sub_(x, y, &z, dgt_max);
        if (z.ndgt == 0) return 0;
        return z.sign == '-' ? -1 : (z.sign == '+' ? 1 : 0);
    }
    const auto sign_of = [](signed char s) { return s == '-' ? -1 : (s == '+' ? 1 : 0); };
    if (x->ndgt == 0) return y->ndgt == 0 ? 0 : (y->sign == '-' ? 1 : -1);
    if (y->ndgt == 0) return sign_of(x->sign);
    const bool xneg = x->sign == '-', yneg = y->sign == '-';
    if (xneg && !yneg) return -1;
    if (!xneg && yneg) return 1;
    const int c = compare_cut(term_of(x, '+'), term_of(y, '+'), clamp_prec(dgt_max, PREC_ADD_MAX));
    return xneg ? -c : c;
}

// |x| against 10^(2 - dgt_max + e), the record 1 with that exponent, as
// xcomp_ of the two compares them; the magnitude is read in place.
int xcomp_tiny_(const x_num* x, int e, int dgt_max) {
    x_num t;
    xinit(&t, 1);
    t.esp = clamp_esp(2 - static_cast<wide_t>(dgt_max) + e);
    if (x->ndgt == 0) return -1;
    if (normal(x)) return compare_cut(term_of(x, '+'), term_of(&t, '+'), clamp_prec(dgt_max, PREC_ADD_MAX));
    const x_num mag = xabs_(x);
    return xcomp_(&mag, &t, dgt_max);
}

// The orders are compared as wide integers: e and the order of x both lie
// within an int, and their difference may not.
int x_lost_(const x_num* x, int e) {
    constexpr int ALL = 1000000, NONE = -99999;
    if (x->ndgt == 0) return e == NONE ? 0 : ALL;
    const wide_t lost = static_cast<wide_t>(e) - x_ord_(x);
    return lost <= 0 ? 0 : static_cast<int>(std::min<wide_t>(lost, ALL));
}
