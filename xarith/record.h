// The record level of the library: what the kernels do not know, signs,
// exponents and the precision. The limits each operation honours, the one
// rule that decides where a sum cuts, the limbs a product keeps, and the
// record forms of a sum and a comparison. Internal to the library.
#ifndef XARITH_RECORD_H
#define XARITH_RECORD_H

#include "xarith/limbs.h"

namespace xarith_detail {

// Precision bounds: the most digits each operation can honour within a
// record (see the header's limits).
inline constexpr int PREC_ADD_MAX = 6 * (SUB_DGT - 1);     // 234
inline constexpr int PREC_DIV_MAX = 6 * (SUB_DGT - 3) + 5; // 227: Qmax + 1 <= 40
inline constexpr int PREC_CVSX_MAX = 6 * SUB_DGT - 1;      // 239: 240 characters kept
inline constexpr int PREC_CVXS_MAX = 6 * SUB_DGT;          // 240

inline int clamp_prec(int dgt_max, int most) {
    return std::clamp(dgt_max, 1, most);
}

// Limbs a product or quotient keeps at precision dgt_max.
inline int ndgt_max_of(int dgt_max) {
    return clamp_prec(dgt_max, INT_MAX - 12) / BASE + 2;
}

// Limbs x_mult_ keeps of a product: ndgt_max_of, within the record.
inline int product_keep(int dgt_max) {
    return std::min(ndgt_max_of(dgt_max), SUB_DGT);
}

// An exponent computed in 64 bits, saturated into the record's field.
// Exponents of a product or a sum's grid within +-SAFE_ESP are far from
// where a record's exponent field (an int) saturates: the fast paths keep
// to them and leave the rest to the record forms' rules.
inline constexpr wide_t SAFE_ESP = wide_t{1} << 30;

inline std::int32_t clamp_esp(wide_t e) {
    return static_cast<std::int32_t>(std::clamp<wide_t>(e, INT32_MIN, INT32_MAX));
}

// Limbs in use of a record, guarded against a corrupt count.
inline int used_limbs(const x_num* x) {
    return std::clamp<int>(x->ndgt, 0, SUB_DGT);
}

// Whether a record is in normal form: no leading zero limb.
inline bool normal(const x_num* x) {
    const int n = used_limbs(x);
    return n == 0 || x->dgt[n - 1] != 0;
}

// THE CUTTING RULE. The grid of a sum of two non-zero terms: the power of
// ten of its lowest kept digit, at which both terms are cut toward zero
// before they are added. Each term is the digits d_i of its magnitude
// written out from its top limb (leading zeros of a top limb of 0 count as
// digits) times 10^e_i. The grid is the higher of (the higher of e_i + d_i)
// - prec and the lower exponent: no term keeps more than prec digits, and a
// sum that fits needs no cut. 10^100 + 1 at 30 digits: grid 71, the 1 lies
// wholly below it. Every path that adds, on limbs, words or in the
// multiply-adds, takes its grid from here.
inline wide_t sum_grid(wide_t e1, wide_t d1, wide_t e2, wide_t d2, int prec) {
    return std::max(std::max(e1 + d1, e2 + d2) - prec, std::min(e1, e2));
}

// A quick sufficient test that sum_grid(e1, d1, e2, d2, prec) is e1, for
// loops whose first term (a running sum) mostly holds exactly prec digits:
// when d1 is prec and the second term's leading power cannot pass the
// first's (e2 + d2 <= e1 + prec for every d2 up to d2_most, as the digits
// of a product are at most those of its factors together), the higher of
// e1 + d1 and e2 + d2 is e1 + prec, and the grid e1. False decides nothing:
// the caller then asks sum_grid.
inline bool grid_stays_first(bool d1_is_prec, wide_t e1, wide_t e2, wide_t d2_most, int prec) {
    return d1_is_prec && e2 + d2_most <= e1 + prec;
}

// *c = *a for the fields that carry the value; c may be a.
inline void copy_value(x_num* c, const x_num* a) {
    if (c == a) return;
    const int n = used_limbs(a);
    c->sign = a->sign;
    c->esp = a->esp;
    c->ndgt = n;
    for (int i = 0; i < n; ++i) c->dgt[i] = a->dgt[i];
}

// Writes the value of a run of limbs into a record; only the limbs in use
// are copied.
inline void store(x_num* c, signed char sign, const limb_t* d, int n, wide_t esp) {
    c->sign = sign;
    c->ndgt = n;
    c->esp = clamp_esp(esp);
    for (int i = 0; i < n; ++i) c->dgt[i] = d[i];
}

inline signed char product_sign(signed char a, signed char b) {
    return a == b ? '+' : '-';
}

// The sign a negation gives: '-' becomes '+', any other sign '-'.
inline signed char turned_sign(signed char s) {
    return s == '-' ? '+' : '-';
}

// A non-zero term of a sum (ndgt > 0): its limbs as the record holds them
// (a top limb of 0 included), its exponent and sign.
struct Term {
    const limb_t* d;
    int n;
    std::int32_t esp;
    signed char sign;
};

inline Term term_of(const x_num* x, signed char sign) {
    return {x->dgt, used_limbs(x), x->esp, sign};
}

// c = a + b at prec digits (1..PREC_ADD_MAX) on limbs: both terms cut at
// the grid, then added with the weights their signs give; c may hold the
// limbs of either term.
void add_terms(const Term& a, const Term& b, x_num* c, int prec);

// The sign of |a'| - |b'|, a' and b' the terms in normal form as add_terms
// cuts them at prec digits, compared without forming the difference.
int compare_cut(const Term& a, const Term& b, int prec);

// A product of two records with ndgt > 0 as x_mult_ keeps it, in working
// storage: limbs d[0..n) (n 0 when every limb was 0), exponent and sign.
struct Product {
    limb_t u[2 * SUB_DGT + 1];
    const limb_t* d;
    int n;
    wide_t esp;
    signed char sign;
};
void product(const x_num* a, const x_num* b, int digit_max, Product* p);

} // namespace xarith_detail

#endif
