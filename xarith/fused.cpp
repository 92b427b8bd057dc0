// The multiply-add entry points on words: prepared factors, the single
// multiply-add, runs of terms into one accumulator and rows of a matrix.
#include "xarith/words.h"

#include <utility>

using namespace xarith_detail;

namespace {

template <int W>
void fused(const x_prep* a, const x_prep* b, signed char psign, x_num* acc, int prec) {
    Acc<W> s;
    s.load(acc);
    step<W>(s, a, b, psign, prec);
    s.store(acc);
}

using fused_kernel = void (*)(const x_prep*, const x_prep*, signed char, x_num*, int);
template <std::size_t... I> constexpr auto fused_table(std::index_sequence<I...>) {
    return std::array<fused_kernel, sizeof...(I)>{&fused<static_cast<int>(I) + 1>...};
}
constexpr auto FUSED = fused_table(std::make_index_sequence<SUM_WORDS_MAX>{});

// The word path when it applies: the precision, both factors and a
// non-zero accumulator in normal form within its limits.
bool fused_add(const x_prep* a, const x_prep* b, signed char psign, x_num* acc, int digit_max) {
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    if (prec > PREC_FAST_MAX || a->nh == 0 || b->nh == 0 || !loadable(acc)) return false;
    FUSED[static_cast<std::size_t>(words_for(prec) - 1)](a, b, psign, acc, prec);
    return true;
}

// acc += sum of a[r] * b[r] over r = 0..n-1 in order, the accumulator kept
// in words from term to term. A term the word path does not take (a factor
// outside it, a zero accumulator, which takes the product uncut) goes
// through the record, and the words are taken up again after it.
template <int W> void dot(const x_prep* a, const x_prep* b, int n, x_num* acc, int prec) {
    Acc<W> s;
    bool held = false;
    for (int r = 0; r < n; ++r) {
        if (!held && loadable(acc)) {
            s.load(acc);
            held = true;
        }
        if (held && a[r].nh != 0 && b[r].nh != 0) {
            step<W>(s, &a[r], &b[r], product_sign(a[r].sign, b[r].sign), prec);
            if (s.nw == 0) { // cancelled to zero: the next term goes through the record
                s.store(acc);
                held = false;
            }
            continue;
        }
        if (held) {
            s.store(acc);
            held = false;
        }
        x_mult_add_(a[r].x, b[r].x, acc, prec);
    }
    if (held) s.store(acc);
}

using dot_kernel = void (*)(const x_prep*, const x_prep*, int, x_num*, int);
template <std::size_t... I> constexpr auto dot_table(std::index_sequence<I...>) {
    return std::array<dot_kernel, sizeof...(I)>{&dot<static_cast<int>(I) + 1>...};
}
constexpr auto DOT = dot_table(std::make_index_sequence<SUM_WORDS_MAX>{});

// row[l] -= p[l] * f for l = 0..n-1, each entry on its own.
template <int W> void sub_row(const x_prep* p, const x_prep* f, int n, x_num* row, int prec) {
    for (int l = 0; l < n; ++l) {
        x_num* acc = &row[l];
        if (p[l].nh != 0 && loadable(acc)) {
            Acc<W> s;
            s.load(acc);
            step<W>(s, &p[l], f, turned_sign(product_sign(p[l].sign, f->sign)), prec);
            s.store(acc);
        } else {
            x_mult_sub_(p[l].x, f->x, acc, prec);
        }
    }
}

using row_kernel = void (*)(const x_prep*, const x_prep*, int, x_num*, int);
template <std::size_t... I> constexpr auto row_table(std::index_sequence<I...>) {
    return std::array<row_kernel, sizeof...(I)>{&sub_row<static_cast<int>(I) + 1>...};
}
constexpr auto SUB_ROW = row_table(std::make_index_sequence<SUM_WORDS_MAX>{});

} // namespace

void xprep_(const x_num* a, x_prep* p) {
    p->x = a;
    p->esp = a->esp;
    p->sign = a->sign;
    p->nh = 0;
    if (!loadable(a)) return;
    u64 w[OPERAND_WORDS];
    const int nw = words_of(w, a->dgt, a->ndgt);
    prep_words(p, w, nw, a->esp, a->sign);
}

int x_mult_add_p_(const x_prep* a, const x_prep* b, x_num* acc, int digit_max) {
    if (!fused_add(a, b, product_sign(a->sign, b->sign), acc, digit_max))
        x_mult_add_(a->x, b->x, acc, digit_max);
    return 1;
}

int x_mult_sub_p_(const x_prep* a, const x_prep* b, x_num* acc, int digit_max) {
    if (!fused_add(a, b, turned_sign(product_sign(a->sign, b->sign)), acc, digit_max))
        x_mult_sub_(a->x, b->x, acc, digit_max);
    return 1;
}

int x_dot_add_p_(const x_prep* a, const x_prep* b, int n, x_num* acc, int digit_max) {
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    if (prec > PREC_FAST_MAX) {
        for (int r = 0; r < n; ++r) x_mult_add_(a[r].x, b[r].x, acc, digit_max);
    } else {
        DOT[static_cast<std::size_t>(words_for(prec) - 1)](a, b, n, acc, prec);
    }
    return 1;
}

namespace xarith_detail {

void sub_row_p(const x_prep* p, const x_prep* f, int n, x_num* row, int digit_max) {
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    if (prec > PREC_FAST_MAX || f->nh == 0) {
        for (int l = 0; l < n; ++l) x_mult_sub_(p[l].x, f->x, &row[l], digit_max);
    } else {
        SUB_ROW[static_cast<std::size_t>(words_for(prec) - 1)](p, f, n, row, prec);
    }
}

bool add_product_fast(const x_num* a, const x_num* b, x_num* acc, signed char sign, int digit_max) {
    if (digit_max > PREC_FAST_MAX) return false;
    x_prep pa, pb;
    xprep_(a, &pa);
    xprep_(b, &pb);
    return fused_add(&pa, &pb, sign, acc, digit_max);
}

} // namespace xarith_detail
