// Multiplication and power of records.
#include "xarith/record.h"
#include "xarith/words.h"

#include <algorithm>

using namespace xarith_detail;

namespace {

// Factors of at least LONG_LIMBS limbs each, one of them beyond the limb
// kernels of fixed size, are multiplied in words: read into base 10^18,
// one kernel product, and back into limbs. Two factors of 17 limbs (100
// digits) take about half the time of the limb product; with a short
// factor the limbs stay faster.
constexpr int LONG_LIMBS = 11;

void product_limbs(limb_t* r, const limb_t* a, int na, const limb_t* b, int nb) {
    if (std::min(na, nb) < LONG_LIMBS || std::max(na, nb) <= MUL_FIXED) {
        mul_limbs(r, a, na, b, nb);
        return;
    }
    u64 wa[RECORD_WORDS] = {}, wb[RECORD_WORDS] = {}, wr[2 * RECORD_WORDS];
    const int ka = kernel_words(words_of_limbs(wa, a, na));
    const int kb = kernel_words(words_of_limbs(wb, b, nb));
    mul_kernel_words(wr, wa, ka, wb, kb);
    limb_t t[6 * RECORD_WORDS];
    limbs_of_words(t, wr, ka + kb);
    std::copy_n(t, na + nb, r); // the limbs above are 0
}

} // namespace

namespace xarith_detail {

// The schoolbook product of two records over all their limbs, then the top
// limbs kept: the product of 10^12 + 1 by itself at 6 digits is
// 10^24 + 2 x 10^12 + 1, limbs 1, 0, 2, 0, 1, of which the top three
// (2, 0, 1; esp 12) stay. Leading zero limbs of an operand only add zero
// limbs on top, which are stripped.
void product(const x_num* a, const x_num* b, int digit_max, Product* p) {
    const int na = used_limbs(a), nb = used_limbs(b);
    product_limbs(p->u, a->dgt, na, b->dgt, nb);
    const int n = strip_top(p->u, na + nb);
    const int low = std::max(n - product_keep(digit_max), 0);
    p->d = p->u + low;
    p->n = n - low;
    p->esp = static_cast<wide_t>(a->esp) + b->esp + static_cast<wide_t>(BASE) * low;
    p->sign = product_sign(a->sign, b->sign);
}

} // namespace xarith_detail

int x_mult_(const x_num* a, const x_num* b, x_num* c, int digit_max) {
    if (a->ndgt == 0 || b->ndgt == 0) {
        xinit(c, 0);
        return 1;
    }
    Product p;
    product(a, b, digit_max, &p);
    store(c, p.sign, p.d, p.n, p.esp);
    return 1;
}

void x_pow_(const x_num* a, x_num* b, int n, int dgt_max) {
    copy_value(b, a);
    for (int i = 1; i < n; ++i) x_mult_(a, b, b, dgt_max);
}
