// The matrix product: every element a sum of products from zero, each term
// as x_mult_ then x_add_ form it.
#include "xarith/fused.h"

#include <algorithm>
#include <vector>

using namespace xarith_detail;

namespace {

// Sums of products of one-word factors: every factor holds at most 18
// digits (two halves), as every number that entered from a double does, at
// the precisions 24 to 36. A product is then below 10^36 and never loses a
// limb to x_mult_'s cut (it keeps 6 limbs or more), and every sum, its two
// terms cut below 10^36, stays below 2 x 10^36: a running sum is held as
// hi x 10^18 + lo with lo in 0..10^18 - 1 and hi of either sign, so that a
// signed product adds without comparing magnitudes, and the factors take
// 16 bytes each. The grid of each step comes from sum_grid; where it keeps
// the sum's exponent (nearly always), only the product is cut. With the
// sums of a row of the product side by side, each step independent of the
// one before, a step takes about a third of the time of a prepared
// multiply-add in words.
constexpr int ONE_WORD_PREC_MIN = 24, ONE_WORD_PREC_MAX = 36;

struct OneWord {
    half_t lo, hi; // the factor is hi 10^9 + lo
    std::int32_t esp;
    signed char sign;
    std::int8_t digits; // of hi 10^9 + lo
    bool zero;          // a record with ndgt 0: its product is the zero xinit makes
};

// The one-word form of a record; false when it has none.
bool one_word(const x_num* x, OneWord* f) {
    Prep p;
    prepare(&p, x);
    if (x->ndgt == 0) {
        *f = {0, 0, 0, '+', 0, true};
        return true;
    }
    if (!p.one_word) return false;
    *f = {p.h[0], p.h[1], p.esp, p.sign, static_cast<std::int8_t>(digits_of(x->dgt, x->ndgt)), false};
    return true;
}

// A running sum: the signed value hi 10^18 + lo times 10^esp; a zero keeps
// the exponent its record would have.
struct SignedSum {
    std::int64_t hi;
    u64 lo;
    wide_t esp;
};

// The magnitude of a sum as three words, least significant first, and its
// sign.
void magnitude(const SignedSum& s, u64* m, bool* neg) {
    *neg = s.hi < 0;
    std::int64_t hi = s.hi;
    u64 lo = s.lo;
    if (*neg) { // -(hi 10^18 + lo) = (-hi - 1) 10^18 + (10^18 - lo), or -hi 10^18
        hi = lo != 0 ? -hi - 1 : -hi;
        lo = lo != 0 ? E18 - lo : 0;
    }
    const auto h = static_cast<u64>(hi);
    m[0] = lo;
    m[1] = h >= E18 ? h - E18 : h;
    m[2] = h >= E18;
}

// s = s + (-1)^neg (qh 10^18 + ql), qh, ql below 10^18: lo back into
// 0..10^18 - 1 by its carry or borrow.
// The signs are random in a product's terms: the negation is arithmetic,
// (q xor m) - m with m all ones for a negative term, never a branch.
inline void add_signed(SignedSum& s, u64 qh, u64 ql, bool neg) {
    const std::int64_t m = -static_cast<std::int64_t>(neg);
    std::int64_t l = static_cast<std::int64_t>(s.lo) + ((static_cast<std::int64_t>(ql) ^ m) - m);
    const std::int64_t c = (l >= static_cast<std::int64_t>(E18)) - (l < 0);
    l -= c * static_cast<std::int64_t>(E18);
    s.hi += ((static_cast<std::int64_t>(qh) ^ m) - m) + c;
    s.lo = static_cast<u64>(l);
}

// Decimal digits of |s| for a non-zero sum: from the top word of the
// magnitude, which a negative sum gives as -hi less a borrow from lo.
inline int sum_digits(const SignedSum& s) {
    const std::int64_t mask = s.hi >> 63; // all ones for a negative sum
    const auto top = static_cast<u64>((s.hi ^ mask) - mask - (mask & static_cast<std::int64_t>(s.lo != 0)));
    if (top != 0) [[likely]]
        return WORD_DIGITS + word_digits(top);
    return word_digits(mask != 0 ? E18 - s.lo : s.lo);
}

// The range of the top word of a sum of exactly prec digits, 19 <= prec
// <= 36: 10^(prec - 19) <= top < 10^(prec - 18).
struct TopRange {
    u64 low, high;
};
inline TopRange top_range(int prec) {
    return {POW10_WORD[static_cast<std::size_t>(prec - 19)], POW10_WORD[static_cast<std::size_t>(prec - 18)]};
}

// s = s + a * b, as the record path adds it: the product through a record
// of its own, then the sum.
inline void step(SignedSum& s, const OneWord& a, const OneWord& b, int prec, TopRange full) {
    if (a.zero || b.zero) [[unlikely]] { // a zero product: 0 + 0 is that zero, s + 0 is s
        if (s.hi == 0 && s.lo == 0) s.esp = 0;
        return;
    }
    // the product, exactly: (ah 10^9 + al)(bh 10^9 + bl) in two words
    const u64 al = a.lo, ah = a.hi, bl = b.lo, bh = b.hi;
    const u64 mid = ah * bl + al * bh, mh = mid / E9;
    u64 pl = al * bl + (mid - mh * E9) * E9;
    const u64 over = pl >= E18;
    pl -= over * E18;
    const u64 ph = ah * bh + mh + over;
    const bool pneg = a.sign != b.sign;
    const wide_t ep = static_cast<wide_t>(a.esp) + b.esp;
    if (s.hi == 0 && s.lo == 0) [[unlikely]] { // the zero sum takes the product as it is
        s = {0, 0, ep};
        add_signed(s, ph, pl, pneg);
        return;
    }
    // The grid nearly always stays at the sum's exponent: the product is cut
    // there before the grid is known, so that the cut need not wait for the
    // last step's sum, and the grid is then checked. The cut is mostly by
    // fewer than 18 digits, done by two divisions.
    const wide_t k = ep - s.esp;
    u64 qh, ql;
    if (k <= 0 && k > -WORD_DIGITS) [[likely]] {
        const WordMagic& mg = WORD_MAGIC[static_cast<std::size_t>(-k)];
        qh = div_pow10_word(ph, mg);
        ql = div_pow10_word(pl, mg) + (ph - qh * mg.low) * mg.up;
    } else {
        const Words<2> x2 = aligned_pair(pl, ph, std::min<wide_t>(k, 2 * WORD_DIGITS));
        ql = x2.w[0];
        qh = x2.w[1];
    }
    const auto product_digits = [ph, pl] { return ph != 0 ? WORD_DIGITS + word_digits(ph) : word_digits(pl); };
    // the sum holds exactly prec digits (its magnitude's top word in range)
    const std::int64_t mask = s.hi >> 63; // all ones for a negative sum
    const auto top = static_cast<u64>((s.hi ^ mask) - mask - (mask & static_cast<std::int64_t>(s.lo != 0)));
    if (grid_stays_first(top >= full.low && top < full.high, s.esp, ep, a.digits + b.digits, prec)) [[likely]] {
        assert(sum_grid(s.esp, sum_digits(s), ep, product_digits(), prec) == s.esp);
        add_signed(s, qh, ql, pneg);
        return;
    }
    const wide_t grid = sum_grid(s.esp, sum_digits(s), ep, product_digits(), prec);
    if (grid == s.esp) { // only the product is cut
        add_signed(s, qh, ql, pneg);
        return;
    }
    u64 m[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    bool neg;
    magnitude(s, m + 2, &neg);
    const Words<2> x1 = aligned<2>(m + 2, 3, s.esp - grid);
    const Words<2> y2 = aligned_pair(pl, ph, ep - grid);
    s = {0, 0, grid};
    add_signed(s, x1.w[1], x1.w[0], neg);
    add_signed(s, y2.w[1], y2.w[0], pneg);
}

// The record of a sum: a sum that cancelled is a '+' zero.
void store_sum(const SignedSum& s, x_num* x) {
    u64 m[3];
    bool neg;
    magnitude(s, m, &neg);
    limb_t l[9];
    limbs_of_words(l, m, 3);
    x->ndgt = strip_top(l, 9);
    for (int i = 0; i < x->ndgt; ++i) x->dgt[i] = l[i];
    x->sign = neg ? '-' : '+';
    x->esp = clamp_esp(s.esp);
}

// c = a * b on one-word factors, row by row: the sums of a row side by
// side, k outside j, so that b is read row by row while every element
// still adds its products in the order k = 1, 2, ... False, with nothing
// written, when an entry has no one-word form.
bool product_one_word(x_num** a, int n, int l, x_num** b, int m, x_num** c, int prec) {
    std::vector<OneWord> fb(static_cast<std::size_t>(l) * static_cast<std::size_t>(m)), fa(static_cast<std::size_t>(l));
    for (int k = 1; k <= l; ++k)
        for (int j = 1; j <= m; ++j)
            if (!one_word(&b[k][j], &fb[static_cast<std::size_t>(k - 1) * m + static_cast<std::size_t>(j - 1)]))
                return false;
    for (int i = 1; i <= n; ++i)
        for (int k = 1; k <= l; ++k)
            if (OneWord f; !one_word(&a[i][k], &f)) return false;
    std::vector<SignedSum> sums(static_cast<std::size_t>(m));
    const TopRange full = top_range(prec);
    for (int i = 1; i <= n; ++i) {
        for (int k = 1; k <= l; ++k) one_word(&a[i][k], &fa[static_cast<std::size_t>(k - 1)]);
        for (auto& s : sums) s = {0, 0, 0};
        for (int k = 1; k <= l; ++k) {
            const OneWord& f = fa[static_cast<std::size_t>(k - 1)];
            const OneWord* row = &fb[static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(m)];
            for (int j = 0; j < m; ++j) step(sums[static_cast<std::size_t>(j)], f, row[j], prec, full);
        }
        for (int j = 1; j <= m; ++j) store_sum(sums[static_cast<std::size_t>(j - 1)], &c[i][j]);
    }
    return true;
}

// The leading power of every factor as ord + 1 (x_ord_ + 1), or ZERO for a
// zero, and top as x_matmul_ gives it, in a pass of its own: per term one
// addition and one branch-free max on 32-bit integers, a loop the compiler
// turns into vector instructions, which leaves the product's kernels as
// they are and costs about 1% of the product (callgrind, 128 x 128 at 30
// digits). Orders lie within an int; one whose ord + 1 falls outside
// +-LEAD_MAX is held at that bound, which no decision of the programs can
// tell from the order itself.
constexpr std::int32_t LEAD_MAX = 1 << 28;
// ZERO + ZERO still fits an int32, and ZERO + any lead stays below every
// sum of two leads
constexpr std::int32_t ZERO = -(1 << 30);

std::int32_t lead_of(const x_num* x) {
    const int digits = x->ndgt == 0 ? 0 : Xdigitcount(x);
    if (digits == 0) return ZERO;
    return static_cast<std::int32_t>(
        std::clamp<wide_t>(static_cast<wide_t>(x->esp) + digits, -LEAD_MAX, LEAD_MAX));
}

void leading_powers(x_num** a, int n, int l, x_num** b, int m, int* top) {
    std::vector<std::int32_t> lb(static_cast<std::size_t>(l) * static_cast<std::size_t>(m));
    for (int k = 1; k <= l; ++k)
        for (int j = 1; j <= m; ++j)
            lb[static_cast<std::size_t>(k - 1) * m + static_cast<std::size_t>(j - 1)] =
                lead_of(&b[k][j]);
    std::vector<std::int32_t> t(static_cast<std::size_t>(m));
    for (int i = 1; i <= n; ++i) {
        std::fill(t.begin(), t.end(), 2 * ZERO);
        for (int k = 1; k <= l; ++k) {
            const std::int32_t la = lead_of(&a[i][k]);
            const std::int32_t* row = &lb[static_cast<std::size_t>(k - 1) * m];
            for (std::size_t j = 0; j < t.size(); ++j) t[j] = std::max(t[j], la + row[j]);
        }
        int* out = top + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(m);
        // a term with a zero factor leaves a sum at or below ZERO + LEAD_MAX
        for (std::size_t j = 0; j < t.size(); ++j)
            out[j] = t[j] <= ZERO + LEAD_MAX ? -99999 : t[j] - 1;
    }
}

} // namespace

void x_matmul_(x_num** a, int n, int l, x_num** b, int m, x_num** c, int* top, int digit_max) {
    x_matmul_(a, n, l, b, m, c, digit_max);
    if (top != nullptr) leading_powers(a, n, l, b, m, top);
}

void x_matmul_(x_num** a, int n, int l, x_num** b, int m, x_num** c, int digit_max) {
    const int prec = clamp_prec(digit_max, PREC_ADD_MAX);
    if (prec >= ONE_WORD_PREC_MIN && prec <= ONE_WORD_PREC_MAX && product_one_word(a, n, l, b, m, c, prec))
        return;
    // any entries: every element a dot product on factors prepared once,
    // b's columns laid out contiguously
    std::vector<x_prep> bt(static_cast<std::size_t>(l) * static_cast<std::size_t>(m)),
        row(static_cast<std::size_t>(l));
    for (int k = 1; k <= l; ++k)
        for (int j = 1; j <= m; ++j)
            xprep_(&b[k][j], &bt[static_cast<std::size_t>(j - 1) * l + static_cast<std::size_t>(k - 1)]);
    for (int i = 1; i <= n; ++i) {
        for (int k = 1; k <= l; ++k) xprep_(&a[i][k], &row[static_cast<std::size_t>(k - 1)]);
        for (int j = 1; j <= m; ++j) {
            xinit(&c[i][j], 0);
            x_dot_add_p_(row.data(), &bt[static_cast<std::size_t>(j - 1) * l], l, &c[i][j], digit_max);
        }
    }
}
