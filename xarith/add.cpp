// Addition, subtraction and comparison of records.
#include "xarith/words.h"

using namespace xarith_detail;

namespace xarith_detail {

// Both terms are aligned to a common exponent and cut to prec digits before
// the limbs are added, so the cut never depends on the sum.
// 10^100 + 1 at 30 digits: 10^100 keeps 30 digits (10^29, esp 71) and the
// 1 lies wholly below 10^71, so it contributes nothing.
void add_terms(const Term& a, const Term& b, x_num* c, int prec) {
    // align the exponents, cutting each term to the precision; the terms
    // are copied as they are shifted, so c may hold either of them
    const wide_t emin = std::min(a.esp, b.esp);
    const wide_t e1 = a.esp - emin, e2 = b.esp - emin;
    const wide_t p = std::max(e1 + digits_of(a.d, a.n), e2 + digits_of(b.d, b.n)) - prec;
    const wide_t cut = std::max<wide_t>(p, 0);
    limb_t x1[SHIFT_ROOM], x2[SHIFT_ROOM];
    // a term that sets the grid unshifted and already holds c's limbs (an
    // accumulator) is read in place
    const bool a_in_place = e1 == cut && a.d == c->dgt;
    int m1 = a_in_place ? a.n : shift_copy(x1, a.d, a.n, e1 - cut);
    int m2 = shift_copy(x2, b.d, b.n, e2 - cut);
    const limb_t* y1 = a_in_place ? c->dgt : x1;
    const wide_t esp = emin + cut;
    const int nmax = std::max(m1, m2);
    while (m1 < nmax) (a_in_place ? c->dgt : x1)[m1++] = 0;
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

    // renormalise: a sum that cancels ends with ndgt 0 and sign '+'. Each
    // aligned term holds at most prec digits, so the sum fits the limbs a
    // result keeps and nothing is cut here.
    c->sign = sign;
    c->ndgt = strip_top(u, nu);
    c->esp = clamp_esp(esp);
}

} // namespace xarith_detail

namespace {

// c = a + b where b's sign is taken as b_sign (x_sub_ passes it turned).
// A zero operand passes the other through, uncut.
void add_signed(const x_num* a, const x_num* b, signed char b_sign, x_num* c, int digit_max) {
    const int n1 = a->ndgt == 0 ? 0 : strip_top(a->dgt, used_limbs(a));
    const int n2 = b->ndgt == 0 ? 0 : strip_top(b->dgt, used_limbs(b));
    if (n1 == 0) { // limbs all zero in a record that claims some: a zero all the same
        copy_value(c, b);
        c->sign = b_sign;
        if (n2 == 0 && b->ndgt != 0) c->ndgt = 0;
        return;
    }
    if (n2 == 0) {
        copy_value(c, a);
        return;
    }
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    if (prec <= PREC_FAST_MAX && loadable(a) && loadable(b)) {
        switch (words_for(prec)) {
        case 1:
            return add_words<1>(a, b, b_sign, c, prec);
        case 2:
            return add_words<2>(a, b, b_sign, c, prec);
        default:
            return add_words<3>(a, b, b_sign, c, prec);
        }
    }
    add_terms({a->dgt, n1, a->esp, a->sign}, {b->dgt, n2, b->esp, b_sign}, c, prec);
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

// The first 18 digits of a non-zero magnitude, from its leading digit on
// (padded with zeros when it has fewer): the top three limbs give 12 digits
// and those of the top limb, the fourth the rest.
std::uint64_t leading18(const limb_t* d, int n) {
    const auto limb = [&](int i) { return i >= 0 ? static_cast<std::uint64_t>(d[i]) : 0; };
    const int top = limb_digits(d[n - 1]);
    const std::uint64_t top3 =
        limb(n - 1) * 1000000000000ULL + limb(n - 2) * 1000000ULL + limb(n - 3);
    return top3 * static_cast<std::uint64_t>(pow10_limb[BASE - top]) +
           limb(n - 4) / static_cast<std::uint64_t>(pow10_limb[top]);
}

} // namespace

namespace xarith_detail {

// The sign of |a'| - |b'|, a' and b' the terms aligned and cut as a sum at
// prec digits cuts them. A term whose leading digit lies higher is the
// larger even after the cut: it keeps its leading power of ten while the
// other stays below it. With equal leading powers both keep their first
// prec digits, which 18-digit prefixes decide unless they agree.
int compare_cut(const Term& a, const Term& b, int prec) {
    const wide_t da = digits_of(a.d, a.n), db = digits_of(b.d, b.n);
    const wide_t oa = a.esp + da, ob = b.esp + db; // leading power + 1
    if (oa != ob) return oa > ob ? 1 : -1;
    if (prec >= 18) {
        const std::uint64_t pa = leading18(a.d, a.n), pb = leading18(b.d, b.n);
        if (pa != pb) return pa > pb ? 1 : -1;
    }
    const wide_t emin = std::min(a.esp, b.esp);
    const wide_t grid = std::max(emin, oa - prec);
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

// The sign of x - y at dgt_max digits, without forming the difference: a
// zero operand leaves the other's sign (turned for y), unlike signs decide
// at once, like signs compare the cut magnitudes.
int xcomp_(const x_num* x, const x_num* y, int dgt_max) {
    const int nx = x->ndgt == 0 ? 0 : strip_top(x->dgt, used_limbs(x));
    const int ny = y->ndgt == 0 ? 0 : strip_top(y->dgt, used_limbs(y));
    const auto sign_of = [](signed char s) { return s == '-' ? -1 : (s == '+' ? 1 : 0); };
    if (nx == 0) return ny == 0 ? 0 : (y->sign == '-' ? 1 : -1);
    if (ny == 0) return sign_of(x->sign);
    const bool xneg = x->sign == '-', yneg = y->sign == '-';
    if (xneg && !yneg) return -1;
    if (!xneg && yneg) return 1;
    const int c = compare_cut({x->dgt, nx, x->esp, '+'}, {y->dgt, ny, y->esp, '+'},
                              clamp_prec(dgt_max, PREC_ADD_MAX));
    return xneg ? -c : c;
}
