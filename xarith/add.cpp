// Addition, subtraction and comparison of records.
#include "xarith/limbs.h"

using namespace xarith_detail;

namespace {

// Room for an aligned operand of up to 234 digits plus the carry limb.
constexpr int ADD_ROOM = SUB_DGT + 2;

// c = a + b where b's sign is taken as b_sign (x_sub_ passes it turned).
// Both operands are aligned to a common exponent and cut to digit_max
// digits before the limbs are added, so the cut never depends on the sum.
// 10^100 + 1 at 30 digits: 10^100 keeps 30 digits (10^29, esp 71) and the
// 1 lies wholly below 10^71, so it contributes nothing.
void add_signed(const x_num* a, const x_num* b, signed char b_sign, x_num* c, int digit_max) {
    // zero operands pass the other through, uncut
    if (a->ndgt == 0) {
        copy_value(c, b);
        c->sign = b_sign;
        return;
    }
    if (b->ndgt == 0) {
        copy_value(c, a);
        return;
    }
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    const signed char a_sign = a->sign;
    const int n1 = strip_top(a->dgt, used_limbs(a));
    const int n2 = strip_top(b->dgt, used_limbs(b));
    if (n1 == 0 || n2 == 0) { // limbs all zero: a zero all the same
        if (n1 == 0) {
            copy_value(c, b);
            c->sign = b_sign;
        } else {
            copy_value(c, a);
        }
        return;
    }

    // align the exponents, cutting each operand to the precision; the
    // operands are copied as they are shifted, so c may be either of them
    const wide_t emin = std::min(a->esp, b->esp);
    const wide_t e1 = a->esp - emin, e2 = b->esp - emin;
    const wide_t p = std::max(e1 + digits_of(a->dgt, n1), e2 + digits_of(b->dgt, n2)) - prec;
    const wide_t cut = std::max<wide_t>(p, 0);
    limb_t x1[ADD_ROOM], x2[ADD_ROOM];
    const int m1 = shift_copy(x1, a->dgt, n1, e1 - cut);
    const int m2 = shift_copy(x2, b->dgt, n2, e2 - cut);
    const wide_t esp = emin + cut;

    // add the magnitudes, or subtract them with the weights the signs give
    const int nmax = std::max(m1, m2);
    limb_t* u = c->dgt;
    int nu = nmax;
    signed char sign = '+';
    const bool neg1 = a_sign == '-', neg2 = b_sign == '-';
    if (neg1 == neg2) {
        if (add_n(u, x1, m1, x2, m2, nmax)) u[nu++] = 1;
        if (a_sign == b_sign) sign = a_sign;
    } else {
        // the positive operand less the negative one; a final borrow means
        // the sum is negative and u holds 10^(6 nmax) plus it
        const bool borrow = neg2 ? sub_n(u, x1, m1, x2, m2, nmax) : sub_n(u, x2, m2, x1, m1, nmax);
        if (borrow) {
            complement_n(u, nmax);
            sign = '-';
        }
    }

    // renormalise: a sum that cancels ends with ndgt 0 and sign '+'. Each
    // aligned operand holds at most prec digits, so the sum fits the limbs
    // a result keeps and nothing is cut here.
    nu = strip_top(u, nu);
    c->sign = sign;
    c->ndgt = nu;
    c->esp = clamp_esp(esp);
}

} // namespace

int x_add_(const x_num* a, const x_num* b, x_num* c, int digit_max) {
    add_signed(a, b, b->sign, c, digit_max);
    return 1;
}

// The subtrahend's sign is turned on the way in, not in the record, so b
// may be any record, a or c included.
int x_sub_(const x_num* a, const x_num* b, x_num* c, int digit_max) {
    add_signed(a, b, b->sign == '-' ? '+' : '-', c, digit_max);
    return 1;
}

int xcomp_(const x_num* x, const x_num* y, int dgt_max) {
    x_num z;
    x_sub_(x, y, &z, dgt_max);
    if (z.sign == '-' && z.ndgt > 0) return -1;
    if (z.sign == '+' && z.ndgt > 0) return 1;
    return 0;
}
