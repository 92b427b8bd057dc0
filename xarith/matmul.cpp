// The matrix product: every element a sum of products from zero, each term
// as x_mult_ then x_add_ form it.
#include "xarith/fused.h"

#include <algorithm>
#include <array>
#include <bit>
#include <type_traits>
#include <vector>

using namespace xarith_detail;

namespace {

// Sums of products of one-word factors: every factor holds at most 18
// digits (one word), as every number that entered from a double does, at
// 24 digits and more. A product is then below 10^36 and never loses a limb
// to x_mult_'s cut (it keeps 6 limbs or more), and every sum at prec <= 18 W
// digits, its two terms cut below 10^prec, stays below 2 x 10^(18 W): a
// running sum is held as W words of which the top one takes either sign, so
// that a signed product adds without comparing magnitudes (the signs of
// the terms follow the data: a branch on them would mispredict half the
// time), and the factors take 16 bytes each. The grid of each step comes
// from sum_grid; where it keeps the sum's exponent (nearly always), only
// the product is cut. With the sums of a row of the product side by side,
// each step independent of the one before, a step takes about half the
// instructions of a dot product on prepared factors, and half the time.
// Sums of at most 36 digits are held as one binary integer instead
// (BinarySum below).
constexpr int ONE_WORD_PREC_MIN = 24;

struct OneWord {
    u64 v; // the factor's mantissa, below 10^18
    std::int32_t esp;
    signed char sign;
    std::int8_t digits; // of hi 10^9 + lo
    bool zero;          // a record with ndgt 0: its product is the zero xinit makes
};

// The one-word form of a record; false when it has none. Read straight
// from the limbs: a mantissa of at most three limbs is one word, and its
// halves (nine digits each) decide the form as they decide a prepared
// factor's.
bool one_word(const x_num* x, OneWord* f) {
    if (x->ndgt == 0) {
        *f = {0, 0, '+', 0, true};
        return true;
    }
    const int n = strip_top(x->dgt, used_limbs(x));
    if (n == 0 || n > 3 || !one_word_form((digits_of(x->dgt, n) + 8) / 9, x->esp)) return false;
    u64 w;
    words_of_limbs(&w, x->dgt, n);
    *f = {w, x->esp, x->sign, static_cast<std::int8_t>(digits_of(x->dgt, x->ndgt)), false};
    return true;
}

// floor((hi 10^18 + lo) x 10^k) as W words, hi 10^18 + lo below 10^36,
// when it is below 10^(18 W): the words at v - 1, v and v + 1 (k = 18 v - r,
// 0 <= r < 18) take the pieces of lo and hi that the division by 10^r
// leaves, chosen by selects, not read from memory at a data-dependent
// place. A k that leaves nothing gives zeros.
template <int W> [[gnu::always_inline]] inline Words<W> shifted_product(u64 lo, u64 hi, wide_t k) {
    k = std::clamp<wide_t>(k, -2 * WORD_DIGITS, WORD_DIGITS * W);
    const int v = static_cast<int>((k + 3 * WORD_DIGITS + WORD_DIGITS - 1) / WORD_DIGITS) - 3;
    const int r = static_cast<int>(WORD_DIGITS * v - k);
    const WordMagic& mg = WORD_MAGIC[static_cast<std::size_t>(r)];
    const u64 ql = div_pow10_word(lo, mg), qh = div_pow10_word(hi, mg);
    const u64 t0 = (lo - ql * mg.low) * mg.up, t1 = ql + (hi - qh * mg.low) * mg.up, t2 = qh;
    Words<W> out;
    for (int i = 0; i < W; ++i) out.w[i] = i == v - 1 ? t0 : (i == v ? t1 : (i == v + 1 ? t2 : 0));
    return out;
}

// s = s + a * b, as the record path adds it: the product through a record
// of its own, then the sum. A zero a is the caller's (it serves a whole
// row of sums).
template <int W>
[[gnu::always_inline]] inline void step(SignedSum<W>& s, const OneWord& a, const OneWord& b, int prec,
                                        TopRange full) {
    if (b.zero) [[unlikely]] { // a zero product: 0 + 0 is that zero, s + 0 is s
        if (s.zero()) s.esp = 0;
        return;
    }
    // the product, exactly, in two words
    u64 pl;
    const u64 ph = BY_E18.divide(static_cast<u128>(a.v) * b.v, &pl);
    const bool pneg = a.sign != b.sign;
    const wide_t ep = static_cast<wide_t>(a.esp) + b.esp;
    if (s.zero()) [[unlikely]] { // the zero sum takes the product as it is
        s.clear(ep);
        const u64 p[W] = {pl, ph};
        add_signed(s, p, pneg);
        return;
    }
    // The grid nearly always stays at the sum's exponent: the product is cut
    // there before the grid is known, so that the cut need not wait for the
    // last step's sum, and the grid is then checked.
    const wide_t k = ep - s.esp;
    const Words<W> q = shifted_product<W>(pl, ph, k);
    const auto product_digits = [ph, pl] { return ph != 0 ? WORD_DIGITS + word_digits(ph) : word_digits(pl); };
    // the sum holds exactly prec digits (its magnitude's top word in range)
    const u64 top = top_magnitude(s, low_words(s));
    if (grid_stays_first(top >= full.low && top < full.high, s.esp, ep, a.digits + b.digits, prec)) [[likely]] {
        assert(sum_grid(s.esp, sum_digits(s), ep, product_digits(), prec) == s.esp);
        add_signed(s, q.w, pneg);
        return;
    }
    const wide_t grid = sum_grid(s.esp, sum_digits(s), ep, product_digits(), prec);
    if (grid == s.esp) { // only the product is cut
        add_signed(s, q.w, pneg);
        return;
    }
    u64 m[3 * W + 2] = {};
    bool neg;
    magnitude(s, m + W, &neg);
    const Words<W> x1 = aligned<W>(m + W, W + 1, s.esp - grid);
    const Words<W> y2 = shifted_product<W>(pl, ph, ep - grid);
    s.clear(grid);
    add_signed(s, x1.w, neg);
    add_signed(s, y2.w, pneg);
}

// Sums of up to 36 digits (two words) held as one signed 128-bit integer,
// v x 10^esp, |v| below 2 x 10^36 < 2^121: a step whose grid stays at the
// sum's exponent (nearly every one) then cuts the product by two
// multiplies with reciprocals and adds it by one signed addition, and the
// range of |v| tells whether the sum holds exactly prec digits: about
// 0.7 times the instructions of the sum held as two signed words.
__extension__ typedef __int128 i128;

struct BinarySum {
    i128 v;
    wide_t esp;

    bool zero() const { return v == 0; }
    void clear(wide_t e) {
        v = 0;
        esp = e;
    }
};

// floor(x / 10^d) for x < 2^122 and 0 < d <= 37 as the high 128 bits of x
// m, shifted right by `shift`: m = ceil(2^(128 + shift) / 10^d) with shift
// = max(0, l - 6), l = ceil(log2 10^d), so that m 10^d - 2^(128 + shift) <
// 10^d <= 2^(128 + shift - 122), which makes the quotient exact for every
// such x (Granlund and Montgomery), and m stays below 2^123. d = 37 and
// beyond give 0, as every such x is below 10^37.
struct PowMagic {
    u128 m;
    int shift;
};
constexpr int POW_MAGIC_DIGITS = 37;
constexpr std::array<PowMagic, POW_MAGIC_DIGITS + 1> POW_MAGIC = [] {
    std::array<PowMagic, POW_MAGIC_DIGITS + 1> t{};
    u128 d = 1;
    for (int k = 1; k < POW_MAGIC_DIGITS; ++k) {
        d *= 10;
        int l = 0;
        while ((static_cast<u128>(1) << l) < d) ++l;
        const int shift = std::max(0, l - 6);
        // 2^(128 + shift) / d, bit by bit: the remainder stays below d
        u128 q = 0, r = 0;
        for (int bit = 128 + shift; bit >= 0; --bit) {
            r = 2 * r + (bit == 128 + shift);
            q = 2 * q + (r >= d);
            if (r >= d) r -= d;
        }
        t[static_cast<std::size_t>(k)] = {q + (r != 0), shift};
    }
    return t;
}();

constexpr std::array<u128, 38> POW10_WIDE = [] {
    std::array<u128, 38> t{};
    t[0] = 1;
    for (std::size_t k = 1; k < t.size(); ++k) t[k] = t[k - 1] * 10;
    return t;
}();

// floor(x 10^k), x < 2^122, for results below 2^127.
u128 scaled(u128 x, wide_t k) {
    if (k >= 0) {
        assert(k < static_cast<wide_t>(POW10_WIDE.size()));
        return x * POW10_WIDE[static_cast<std::size_t>(k)];
    }
    const PowMagic& mg = POW_MAGIC[static_cast<std::size_t>(std::min<wide_t>(-k, POW_MAGIC_DIGITS))];
    const auto x0 = static_cast<u64>(x), x1 = static_cast<u64>(x >> 64);
    const auto m0 = static_cast<u64>(mg.m), m1 = static_cast<u64>(mg.m >> 64);
    const u128 a = static_cast<u128>(x1) * m0, b = static_cast<u128>(x0) * m1;
    const u128 mid = ((static_cast<u128>(x0) * m0) >> 64) + static_cast<u64>(a) + static_cast<u64>(b);
    return (static_cast<u128>(x1) * m1 + (a >> 64) + (b >> 64) + (mid >> 64)) >> mg.shift;
}

// Decimal digits of x < 2^122 (0 for 0): with b its bit width, t =
// floor(b log10 2) (1233 / 4096 for log10 2 holds up to b = 127), the
// digits of 2^(b - 1), or one more from 10^t on.
int wide_digits(u128 x) {
    const auto hi = static_cast<u64>(x >> 64);
    const int b = hi != 0 ? 128 - std::countl_zero(hi) : static_cast<int>(std::bit_width(static_cast<u64>(x)));
    const int t = (b * 1233) >> 12;
    return t + (x >= POW10_WIDE[static_cast<std::size_t>(t)]);
}

// A test on the top word alone that |v| holds exactly prec digits, 24 <=
// prec <= 36: with h the top 64 bits of |v|, or one less for a negative v
// (the top word of v flipped bit by bit), h strictly inside the top words
// of 10^(prec - 1) and 10^prec keeps |v| between them. The few sums near
// either end of the range go the long way, which decides them exactly.
struct BinaryRange {
    u64 from, span; // from <= h < from + span
};
BinaryRange binary_range(int prec) {
    const auto low = static_cast<u64>(POW10_WIDE[static_cast<std::size_t>(prec - 1)] >> 64),
               high = static_cast<u64>(POW10_WIDE[static_cast<std::size_t>(prec)] >> 64);
    return {low + 1, high - low - 2};
}

// A factor of the binary sums' loop, 16 bytes: the magnitude with the sign
// in its top bit (a magnitude stays below 10^18 < 2^63), the exponent and
// the leading power esp + digits, which the test for a grid that stays
// needs. A zero factor has magnitude 0.
struct BinFactor {
    u64 sv;
    std::int32_t esp;
    std::int32_t lead;
};
constexpr u64 SIGN_BIT = u64{1} << 63;

BinFactor bin_factor(const OneWord& f) {
    return {f.v | (f.sign == '-' ? SIGN_BIT : 0), f.esp, f.zero ? 0 : f.esp + f.digits};
}

// s = s + a * b for the steps the loop leaves, as step does them: the
// grid from sum_grid, both terms cut to it or raised to it (exactly: the
// grid lies at or below the lower exponent), then added. a is not zero.
[[gnu::noinline, gnu::cold]] void step_anywhere(BinarySum& s, u64 a, u64 b, bool pneg, wide_t ep, int prec) {
    if (b == 0) { // a zero product: 0 + 0 is that zero, s + 0 is s
        if (s.zero()) s.esp = 0;
        return;
    }
    const u128 p = static_cast<u128>(a) * b;
    if (s.zero()) { // the zero sum takes the product as it is
        s.v = pneg ? -static_cast<i128>(p) : static_cast<i128>(p);
        s.esp = ep;
        return;
    }
    const bool neg = s.v < 0;
    const auto mag = static_cast<u128>(neg ? -s.v : s.v);
    const wide_t grid = sum_grid(s.esp, wide_digits(mag), ep, wide_digits(p), prec);
    const auto x = static_cast<i128>(scaled(mag, s.esp - grid)), y = static_cast<i128>(scaled(p, ep - grid));
    s.v = (neg ? -x : x) + (pneg ? -y : y);
    s.esp = grid;
}

// Cutting a product d digits off, 0 <= d < 18, by a multiply with the
// row's factor a folded into a reciprocal: for every b below 10^18,
// floor(a b / 10^d) = floor(b m / 2^k), k = max(64, ceil(log2 10^(18 + d))
// + 1), m = ceil(a r / 2^64), r = ceil(2^(k + 64) / 10^d). m exceeds
// a 2^k / 10^d by e < 1 + a / 2^64 < 1.07, so b e / 2^k < 10^-d, less than
// the distance of a b / 10^d (a multiple of 10^-d) from the next integer
// above it. r < 2^126 and m < 4 x 10^36 < 2^122 hold in 128 bits, but
// for d = 0, where r = 2^128 is taken as 2^128 - 1: m is then a 2^64, e 0.
struct CutRecip {
    u128 r;
    int shift; // k - 64
};
constexpr std::array<CutRecip, WORD_DIGITS> CUT_RECIP = [] {
    std::array<CutRecip, WORD_DIGITS> t{};
    for (int d = 0; d < WORD_DIGITS; ++d) {
        const u128 p = POW10_WIDE[static_cast<std::size_t>(WORD_DIGITS + d)] - 1;
        int bits = 0;
        while (bits < 128 && (p >> bits) != 0) ++bits;
        const int k = std::max(64, bits + 1);
        // 2^(k + 64) / 10^d, bit by bit: the remainder stays below 10^d
        const u128 den = POW10_WIDE[static_cast<std::size_t>(d)];
        u128 q = 0, rem = 0;
        for (int bit = k + 64; d > 0 && bit >= 0; --bit) {
            rem = 2 * rem + (bit == k + 64);
            q = 2 * q + (rem >= den);
            if (rem >= den) rem -= den;
        }
        t[static_cast<std::size_t>(d)] = {d == 0 ? ~u128{0} : q + (rem != 0), k - 64};
    }
    return t;
}();

// The row's factor of a: its magnitude, sign bit, exponent, leading power
// less prec and its cuts m for every d, formed once for the whole row.
struct BinRow {
    u64 v, sign;
    wide_t esp, lead_less_prec;
    std::array<u128, WORD_DIGITS> cut;

    BinRow(const OneWord& f, int prec)
        : v(f.v), sign(f.sign == '-' ? SIGN_BIT : 0), esp(f.esp), lead_less_prec(wide_t{f.esp} + f.digits - prec) {
        for (std::size_t d = 0; d < cut.size(); ++d) {
            const u128 r = CUT_RECIP[d].r;
            const u128 lo = static_cast<u128>(v) * static_cast<u64>(r);
            cut[d] = static_cast<u128>(v) * static_cast<u64>(r >> 64) + (lo >> 64) + (static_cast<u64>(lo) != 0);
        }
    }
};

// s = s + a * b. Where the sum holds exactly prec digits, the grid stays at
// its exponent and the product lies at most 17 digits below it (nearly
// always), the product is cut there by the row's reciprocal, d digits off.
// The grid stays when the product cannot pass the sum's leading power,
// which its factors' leading powers nearly always tell; the other steps go
// the long way. A zero b adds nothing there, as x_add_ leaves a sum alone
// beside a zero.
[[gnu::always_inline]] inline void step(BinarySum& s, const BinRow& a, const BinFactor& b, int prec,
                                        BinaryRange range) {
    const wide_t ep = a.esp + b.esp;
    const wide_t d = s.esp - ep;
    const auto top = static_cast<std::int64_t>(static_cast<u128>(s.v) >> 64);
    const auto h = static_cast<u64>(top ^ (top >> 63));
    const u64 bv = b.sv & ~SIGN_BIT;
    if (static_cast<u64>(d) < static_cast<u64>(WORD_DIGITS) && h - range.from < range.span &&
        a.lead_less_prec + b.lead <= s.esp) [[likely]] {
        assert(sum_grid(s.esp, wide_digits(static_cast<u128>(s.v < 0 ? -s.v : s.v)), ep,
                        wide_digits(static_cast<u128>(a.v) * bv), prec) == s.esp);
        const u128 m = a.cut[static_cast<std::size_t>(d)];
        const u128 t = static_cast<u128>(bv) * static_cast<u64>(m >> 64) +
                       ((static_cast<u128>(bv) * static_cast<u64>(m)) >> 64);
        const auto q = static_cast<i128>(t >> CUT_RECIP[static_cast<std::size_t>(d)].shift);
        assert(static_cast<u128>(q) == scaled(static_cast<u128>(a.v) * bv, -d));
        // the product's sign follows the data: negated by a mask, as a
        // branch on it would mispredict half the time
        const i128 neg = -static_cast<i128>((a.sign ^ b.sv) >> 63);
        s.v += (q ^ neg) - neg;
        return;
    }
    step_anywhere(s, a.v, bv, ((a.sign ^ b.sv) >> 63) != 0, ep, prec);
}

// The record of a binary sum, through the signed words.
void store_sum(const BinarySum& s, x_num* x) {
    SignedSum<2> f{};
    f.esp = s.esp;
    u64 lo;
    const u64 hi = BY_E18.divide(static_cast<u128>(s.v < 0 ? -s.v : s.v), &lo);
    if (s.v >= 0) {
        f.top = static_cast<std::int64_t>(hi);
        f.w[0] = lo;
    } else { // the lower word stays in 0..10^18 - 1: a borrow from the top
        f.top = -static_cast<std::int64_t>(hi) - (lo != 0);
        f.w[0] = lo != 0 ? E18 - lo : 0;
    }
    store_sum(f, x);
}

// c = a * b on one-word factors, row by row: the sums of a row side by
// side, k outside j, so that b is read row by row while every element
// still adds its products in the order k = 1, 2, ... False, with nothing
// written, when an entry has no one-word form.
template <int W> bool product_one_word(x_num** a, int n, int l, x_num** b, int m, x_num** c, int prec) {
    // b's factors in the form the loop reads: OneWord, or BinFactor for the
    // binary sums
    using Factor = std::conditional_t<W == 2, BinFactor, OneWord>;
    std::vector<Factor> fb(static_cast<std::size_t>(l) * static_cast<std::size_t>(m));
    std::vector<OneWord> fa(static_cast<std::size_t>(l));
    for (int k = 1; k <= l; ++k)
        for (int j = 1; j <= m; ++j) {
            OneWord f;
            if (!one_word(&b[k][j], &f)) return false;
            Factor& out = fb[static_cast<std::size_t>(k - 1) * m + static_cast<std::size_t>(j - 1)];
            if constexpr (W == 2)
                out = bin_factor(f);
            else
                out = f;
        }
    for (int i = 1; i <= n; ++i)
        for (int k = 1; k <= l; ++k)
            if (OneWord f; !one_word(&a[i][k], &f)) return false;
    using Sum = std::conditional_t<W == 2, BinarySum, SignedSum<W>>;
    std::vector<Sum> sums(static_cast<std::size_t>(m));
    const TopRange full = top_range<W>(prec);
    [[maybe_unused]] const BinaryRange range = W == 2 ? binary_range(prec) : BinaryRange{};
    for (int i = 1; i <= n; ++i) {
        for (int k = 1; k <= l; ++k) one_word(&a[i][k], &fa[static_cast<std::size_t>(k - 1)]);
        for (auto& s : sums) s.clear(0);
        for (int k = 1; k <= l; ++k) {
            const OneWord& f = fa[static_cast<std::size_t>(k - 1)];
            const Factor* row = &fb[static_cast<std::size_t>(k - 1) * static_cast<std::size_t>(m)];
            if (f.zero) { // zero products: 0 + 0 is that zero, s + 0 is s
                for (auto& s : sums)
                    if (s.zero()) s.esp = 0;
                continue;
            }
            if constexpr (W == 2) {
                const BinRow r(f, prec);
                for (int j = 0; j < m; ++j) step(sums[static_cast<std::size_t>(j)], r, row[j], prec, range);
            } else {
                for (int j = 0; j < m; ++j) step(sums[static_cast<std::size_t>(j)], f, row[j], prec, full);
            }
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
    if (prec >= ONE_WORD_PREC_MIN &&
        with_words(words_for(prec), [&](auto w) { return product_one_word<std::max(decltype(w)::value, 2)>(a, n, l, b, m, c, prec); }))
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
