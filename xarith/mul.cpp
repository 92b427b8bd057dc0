// Multiplication, division, reciprocal and power of records.
#include "xarith/limbs.h"

using namespace xarith_detail;

namespace {

// Limbs of the widest raw product: two 40-limb operands and the spare top.
constexpr int PROD_ROOM = 2 * SUB_DGT + 1;

// r[0..na+nb] = a[0..na) * b[0..nb), column sums carried once; the top
// limb r[na+nb] is always 0.
void mul_n(limb_t* r, const limb_t* a, int na, const limb_t* b, int nb) {
    wide_t col[PROD_ROOM];
    std::fill(col, col + na + nb + 1, 0);
    for (int i = 0; i < nb; ++i) {
        const wide_t bi = b[i];
        for (int j = 0; j < na; ++j) col[i + j] += bi * a[j];
    }
    wide_t carry = 0;
    for (int k = 0; k <= na + nb; ++k) {
        const wide_t s = col[k] + carry;
        carry = s / DM;
        r[k] = static_cast<limb_t>(s - carry * DM);
    }
}

// floor(x / 10^6) for the signed limb differences of a trial.
inline wide_t floor_div_dm(wide_t x) { return x >= 0 ? x / DM : -((-x + DM - 1) / DM); }

// True when r[0..n) >= v[0..n), both read from the top.
bool geq_n(const limb_t* r, const limb_t* v, int n) {
    for (int i = n - 1; i >= 0; --i)
        if (r[i] != v[i]) return r[i] > v[i];
    return true;
}

} // namespace

// The schoolbook product over all limbs, then the top limbs kept: the
// product of 10^12 + 1 by itself at 6 digits is 10^24 + 2 x 10^12 + 1,
// limbs 1, 0, 2, 0, 1, of which the top three (2, 0, 1; esp 12) stay.
int x_mult_(const x_num* a, const x_num* b, x_num* c, int digit_max) {
    if (a->ndgt == 0 || b->ndgt == 0) {
        xinit(c, 0);
        return 1;
    }
    const int na = used_limbs(a), nb = used_limbs(b);
    limb_t u[PROD_ROOM];
    mul_n(u, a->dgt, na, b->dgt, nb);
    int n = strip_top(u, na + nb + 1);
    wide_t esp = static_cast<wide_t>(a->esp) + b->esp;
    const int keep = std::min(ndgt_max_of(digit_max), SUB_DGT);
    int low = 0;
    if (n > keep) {
        low = n - keep;
        n = keep;
        esp += static_cast<wide_t>(BASE) * low;
    }
    store(c, product_sign(a->sign, b->sign), u + low, n, esp);
    return 1;
}

// Long division, one quotient limb per step. Each limb starts from a
// double estimate from the top two limbs of the partial dividend and of the
// divisor; trial subtractions then lower it while the remainder goes
// negative, and raise it while the remainder still holds the divisor (the
// rounded estimate can come out one low for divisors of two or more limbs).
// Every quotient limb thus lies in 0..999999.
//
// The division ends when a trial matches the partial dividend limb by
// limb (before any borrow) with the dividend used up, or when Qmax + 1
// limbs are made. A remainder that is zero only after borrows does not end
// it, so 2 / 4 yields the limbs 0, 500000 with esp -12, a trailing zero limb
// that later products keep.
int x_div_(const x_num* v1, const x_num* v2, x_num* v3, int digit_max) {
    const int nv2 = strip_top(v2->dgt, used_limbs(v2));
    if (nv2 == 0) {
        v3->sign = '?';
        v3->ndgt = 0;
        return 0;
    }
    if (v1->ndgt == 0) {
        copy_value(v3, v1);
        return 1;
    }
    if (nv2 == 1 && v2->ndgt == 1 && v2->dgt[0] == 1 && v2->esp == 0) {
        const signed char sign = product_sign(v1->sign, v2->sign);
        copy_value(v3, v1);
        v3->sign = sign;
        return 1;
    }

    const int prec = clamp_prec(digit_max, PREC_DIV_MAX);
    const int qmax = prec / BASE + 2;
    const int nv1 = strip_top(v1->dgt, used_limbs(v1));
    const limb_t* dividend = v1->dgt;
    const int n1 = nv1 - 1, n2 = nv2 - 1, ndv = nv2;

    // the divisor with a zero limb above its top, as the trials read it
    limb_t v[SUB_DGT + 1];
    std::memcpy(v, v2->dgt, sizeof(limb_t) * static_cast<std::size_t>(ndv));
    v[ndv] = 0;
    const double vtop = v[n2] + (n2 > 0 ? v[n2 - 1] / 1e6 : 0.0);

    // load the top ndv limbs of the dividend, padding below with zeros
    limb_t dv[SUB_DGT + 1], rst[SUB_DGT + 1] = {}, qz[SUB_DGT];
    wide_t esp = 0;
    for (int i = ndv - 1; i >= 0; --i) {
        const int j = n1 - n2 + i;
        if (j >= 0) {
            dv[i] = dividend[j];
        } else {
            dv[i] = 0;
            esp -= BASE;
        }
    }
    dv[ndv] = 0;
    int conta_d = n1 - n2, conta_q = 0, conta = 0;
    bool resto_zero = false, fine_div = false;

    while (!fine_div && conta < 10000) {
        ++conta;
        const double y = static_cast<double>(dv[ndv]) * 1e6 + dv[ndv - 1] + 1;
        // at most 2 x 10^6 for valid limbs; the bound only guards the cast
        int q = static_cast<int>(std::min(y / vtop, 4e6));
        // trials
        for (;;) {
            ++conta;
            resto_zero = true;
            wide_t cr = 0;
            for (int i = 0; i <= ndv; ++i) {
                wide_t x = dv[i] - static_cast<wide_t>(q) * v[i];
                if (x != 0) resto_zero = false;
                x += cr;
                cr = floor_div_dm(x);
                rst[i] = static_cast<limb_t>(x - cr * DM);
            }
            if (resto_zero) break;
            if (cr != 0) {
                --q; // the remainder went negative
                if (conta >= 10000) break;
                continue;
            }
            if (!geq_n(rst, v, ndv + 1) || conta >= 10000) break;
            ++q; // the remainder still holds the divisor
        }
        qz[conta_q++] = static_cast<limb_t>(q);
        --conta_d;
        if ((resto_zero && conta_d < 0) || conta_q > qmax) fine_div = true;
        if (!fine_div) {
            // bring the remainder up one limb and the next dividend limb down
            for (int i = ndv - 1; i >= 0; --i) dv[i + 1] = rst[i];
            if (conta_d >= 0) {
                dv[0] = dividend[conta_d];
            } else {
                dv[0] = 0;
                esp -= BASE;
            }
        }
    }

    // dividend limbs never brought down count in the exponent
    if (conta_d >= 0) esp += static_cast<wide_t>(BASE) * (conta_d + 1);
    esp += static_cast<wide_t>(v1->esp) - v2->esp;
    limb_t u[SUB_DGT];
    for (int i = 0; i < conta_q; ++i) u[i] = qz[conta_q - 1 - i];
    int n = strip_top(u, conta_q);
    int low = 0;
    if (n > qmax) {
        low = n - qmax;
        n = qmax;
        esp += static_cast<wide_t>(BASE) * low;
    }
    store(v3, product_sign(v1->sign, v2->sign), u + low, n, esp);
    return 1;
}

int x_inv_(const x_num* a, x_num* b, int digit_max) {
    x_num one;
    xinit(&one, 1);
    x_div_(&one, a, b, digit_max);
    return 1;
}

void x_pow_(const x_num* a, x_num* b, int n, int dgt_max) {
    copy_value(b, a);
    for (int i = 1; i < n; ++i) x_mult_(a, b, b, dgt_max);
}
