// Word kernels: runs of base-10^18 words, least significant first, each
// word three limbs of a record. A sum of two terms cut to a precision of
// 18 W digits fits W words, which a compiler keeps in registers when W is a
// constant: the library's sums and multiply-adds are formed here (about
// three times fewer instructions than on limbs at 30 digits). Like the limb
// kernels they know nothing of signs, exponents or precision. Internal to
// the library.
#ifndef XARITH_WORDS_H
#define XARITH_WORDS_H

#include "xarith/limbs.h"

#include <algorithm>
#include <utility>

namespace xarith_detail {

using u64 = std::uint64_t;
__extension__ typedef unsigned __int128 u128;

inline constexpr u64 E6 = 1000000, E12 = E6 * E6, E18 = E12 * E6;
inline constexpr int WORD_DIGITS = 18;
// The words of the longest record.
inline constexpr int RECORD_WORDS = (SUB_DGT + 2) / 3;

inline constexpr std::array<u64, 20> POW10_WORD = [] {
    std::array<u64, 20> t{};
    u64 p = 1;
    for (auto& v : t) {
        v = p;
        p *= 10;
    }
    return t;
}();

// floor(x / 10^r) for x < 2^60 and 0 <= r < 18, by a multiply and a
// shift: with l = ceil(log2 10^r) and m = ceil(2^(60 + l) / 10^r),
// floor(x m / 2^(60 + l)) is exact for every x below 2^60 (and a word is
// below 10^18 < 2^60). Taking x << 4 puts the division by 2^64 at the high
// half of the product: floor(16 x m / 2^64) / 2^l. m stays below 2^61, and
// r = 0 (m = 2^60, l = 0) takes the same path, so no branch depends on r.
struct WordMagic {
    u64 m;
    int shift;
    u64 low; // 10^r
    u64 up;  // 10^(18 - r)
};
inline constexpr std::array<WordMagic, WORD_DIGITS> WORD_MAGIC = [] {
    std::array<WordMagic, WORD_DIGITS> t{};
    for (int r = 0; r < WORD_DIGITS; ++r) {
        const u64 d = POW10_WORD[static_cast<std::size_t>(r)];
        int l = 0;
        while ((u64{1} << l) < d) ++l;
        const u128 pow = static_cast<u128>(1) << (60 + l);
        t[static_cast<std::size_t>(r)] = {static_cast<u64>((pow + d - 1) / d), l, d,
                                          POW10_WORD[static_cast<std::size_t>(WORD_DIGITS - r)]};
    }
    return t;
}();
static_assert(E18 < (u64{1} << 60), "a word fits the dividends of WORD_MAGIC");

inline u64 div_pow10_word(u64 x, const WordMagic& mg) {
    return static_cast<u64>((static_cast<u128>(x << 4) * mg.m) >> 64) >> mg.shift;
}

// Decimal digits of a word (0 for 0): a word of bit width b has the digits
// of 2^(b-1), or one more from the power of ten after them on.
struct DigitStep {
    int digits;
    u64 next; // 10^digits
};
inline constexpr std::array<DigitStep, 65> WORD_DIGIT_STEPS = [] {
    std::array<DigitStep, 65> t{};
    t[0] = {0, 1};
    for (int b = 1; b <= 64; ++b) {
        const u64 least = u64{1} << (b - 1);
        int d = 0;
        while (d < 19 && POW10_WORD[static_cast<std::size_t>(d)] <= least) ++d;
        t[static_cast<std::size_t>(b)] = {d, d < 20 ? POW10_WORD[static_cast<std::size_t>(d)] : ~u64{0}};
    }
    return t;
}();

inline int word_digits(u64 x) {
    const DigitStep& s = WORD_DIGIT_STEPS[static_cast<std::size_t>(std::bit_width(x))];
    return s.digits + (x >= s.next);
}

// Decimal digits of the words w[0..n), n > 0, w[n-1] != 0.
inline int run_digits(const u64* w, int n) {
    assert(n > 0 && w[n - 1] != 0);
    return WORD_DIGITS * (n - 1) + word_digits(w[n - 1]);
}

// The words of the limbs d[0..n) into w; returns their count, (n + 2) / 3.
// Only the limbs in use are read. Counts up to WORDS_FIXED_LIMBS (records
// of up to 66 digits) have code of their own.
template <int N> inline int words_of_limbs_n(u64* w, const limb_t* d) {
    for (int j = 0; j < N / 3; ++j)
        w[j] = static_cast<u64>(d[3 * j]) + E6 * static_cast<u64>(d[3 * j + 1]) +
               E12 * static_cast<u64>(d[3 * j + 2]);
    if constexpr (N % 3 == 1) w[N / 3] = static_cast<u64>(d[N - 1]);
    if constexpr (N % 3 == 2) w[N / 3] = static_cast<u64>(d[N - 2]) + E6 * static_cast<u64>(d[N - 1]);
    return (N + 2) / 3;
}

inline constexpr int WORDS_FIXED_LIMBS = 12;

[[gnu::always_inline]] inline int words_of_limbs(u64* w, const limb_t* d, int n) {
    assert(n >= 0 && n <= 6 * RECORD_WORDS);
    switch (n) {
    case 0:
        return 0;
    case 1:
        return words_of_limbs_n<1>(w, d);
    case 2:
        return words_of_limbs_n<2>(w, d);
    case 3:
        return words_of_limbs_n<3>(w, d);
    case 4:
        return words_of_limbs_n<4>(w, d);
    case 5:
        return words_of_limbs_n<5>(w, d);
    case 6:
        return words_of_limbs_n<6>(w, d);
    case 7:
        return words_of_limbs_n<7>(w, d);
    case 8:
        return words_of_limbs_n<8>(w, d);
    case 9:
        return words_of_limbs_n<9>(w, d);
    case 10:
        return words_of_limbs_n<10>(w, d);
    case 11:
        return words_of_limbs_n<11>(w, d);
    case 12:
        return words_of_limbs_n<12>(w, d);
    default:
        break;
    }
    int j = 0;
    for (; 3 * j + 2 < n; ++j)
        w[j] = static_cast<u64>(d[3 * j]) + E6 * static_cast<u64>(d[3 * j + 1]) +
               E12 * static_cast<u64>(d[3 * j + 2]);
    if (n % 3 == 1) w[j++] = static_cast<u64>(d[n - 1]);
    if (n % 3 == 2) w[j++] = static_cast<u64>(d[n - 2]) + E6 * static_cast<u64>(d[n - 1]);
    return j;
}

// The limbs of the words w[0..nw) into d[0..3 nw).
inline void limbs_of_words(limb_t* d, const u64* w, int nw) {
    for (int i = 0; i < nw; ++i) {
        const u64 x = w[i], hi = x / E6, top = hi / E6;
        d[3 * i] = static_cast<limb_t>(x - hi * E6);
        d[3 * i + 1] = static_cast<limb_t>(hi - top * E6);
        d[3 * i + 2] = static_cast<limb_t>(top);
    }
}

template <int W> struct Words {
    u64 w[W];
};

// floor(src x 10^k) as W words; src is a run of n > 0 words readable (as
// zeros) W words below it and up to index n + W above. The caller knows
// the result is below 10^(18 W), which bounds k by 18 W. With
// k = 18v - r (0 <= r < 18) it is floor(L / 10^r) for L[i] = src[i - v]:
// word i takes L[i] / 10^r and the r digits that L[i+1] passes down,
// L[i+1] mod 10^r times 10^(18 - r). No branch depends on k, which follows
// the data: a k that leaves nothing reads only the zeros above src.
template <int W> [[gnu::always_inline]] inline Words<W> aligned(const u64* src, int n, wide_t k) {
    assert(k <= WORD_DIGITS * W);
    // src is below 10^(18 n): from k = -18 n on, nothing is left
    k = std::max(k, -static_cast<wide_t>(WORD_DIGITS) * n);
    // -18 n <= k <= 18 W: a bias makes the division by 18 unsigned
    constexpr int BIAS = 2 * RECORD_WORDS + W;
    const auto kb = static_cast<unsigned>(k + WORD_DIGITS * BIAS);
    const int v = static_cast<int>((kb + WORD_DIGITS - 1) / WORD_DIGITS) - BIAS;
    const int r = static_cast<int>(WORD_DIGITS * v - k);
    const WordMagic mg = WORD_MAGIC[static_cast<std::size_t>(r)];
    const u64 low = mg.low, up = mg.up;
    const u64* l = src - v;
    Words<W> out;
    u64 q = div_pow10_word(l[0], mg);
    for (int i = 0; i < W; ++i) {
        const u64 next = l[i + 1], qn = div_pow10_word(next, mg);
        out.w[i] = q + (next - qn * low) * up;
        q = qn;
    }
    return out;
}

// Division of a two-word number by a word d fixed for many divisions, by a
// multiply with its reciprocal (the 2-by-1 division of Moller and
// Granlund): d is shifted until its top bit is set, and
// v = floor((2^128 - 1) / d) - 2^64 is formed once. About ten instructions
// where a division of 128 bits by 64 takes a library call.
class WordDivisor {
  public:
    constexpr explicit WordDivisor(u64 d)
        : shift_(std::countl_zero(d)), d_(d << shift_), v_(static_cast<u64>(~u128{0} / d_)) {}

    // floor(x / d) and *r = x mod d, for x < d 2^64.
    [[gnu::always_inline]] u64 divide(u128 x, u64* r) const {
        const u128 xs = x << shift_;
        const auto u1 = static_cast<u64>(xs >> 64), u0 = static_cast<u64>(xs);
        const u128 p = static_cast<u128>(v_) * u1 + xs;
        auto q = static_cast<u64>(p >> 64) + 1;
        u64 rem = u0 - q * d_;
        // the first correction falls either way about as often: by a mask,
        // as a branch on it would mispredict
        const u64 over = 0 - static_cast<u64>(rem > static_cast<u64>(p));
        q += over;
        rem += over & d_;
        if (rem >= d_) [[unlikely]] {
            ++q;
            rem -= d_;
        }
        *r = rem >> shift_;
        return q;
    }

  private:
    int shift_;
    u64 d_, v_;
};

inline constexpr WordDivisor BY_E18{E18};

// f(std::integral_constant<int, I>{}) for I = 0, 1, ..., N - 1, unrolled.
template <int N, class F> [[gnu::always_inline]] inline void unrolled(F&& f) {
    [&]<int... I>(std::integer_sequence<int, I...>) {
        (f(std::integral_constant<int, I>{}), ...);
    }(std::make_integer_sequence<int, N>{});
}

// The words of the product of a[0..NA) and b[0..NB) into r[0..NA + NB),
// column by column from the lowest: each column of up to 14 products of
// words (each below 10^36) and the carry from the column below stays below
// 10^18 2^64, so its division by 10^18 (a multiply with the reciprocal)
// leaves the word and the next carry. A column is summed in two registers
// and folded at once, so no column is kept in memory: at 7 words this takes
// about a fifth less time than summing every column first, at 10 and 14
// words half. From 5 words on it takes half the time of the same product
// in halves; below 4 words the halves are faster. Columns below `from`
// are left out, their words 0 (see top_product).
template <int NA, int NB> void mul_words(u64* r, const u64* a, const u64* b, int from = 0) {
    static_assert(NA <= RECORD_WORDS && NB <= RECORD_WORDS, "columns stay below 10^18 2^64");
    static_assert(static_cast<u128>(RECORD_WORDS) * (E18 - 1) * (E18 - 1) + ~u64{0} < static_cast<u128>(E18) << 64);
    constexpr int NC = NA + NB - 1;
    u64 carry = 0;
#if defined(__clang__)
    // the same columns in loops, which clang unrolls as it sees fit: forced
    // out, the 81 kernels took two minutes to compile with the sanitizers
    for (int k = 0; k < NC; ++k) {
        if (k < from) {
            r[k] = 0;
            continue;
        }
        u128 col = carry;
        for (int i = std::max(0, k - (NB - 1)); i <= std::min(k, NA - 1); ++i)
            col += static_cast<u128>(a[i]) * b[k - i];
        carry = BY_E18.divide(col, &r[k]);
    }
#else
    unrolled<NC>([&](auto k) {
        if (k < from) {
            r[k] = 0;
            return;
        }
        constexpr int lo = std::max(0, k - (NB - 1)), hi = std::min(k(), NA - 1);
        u128 col = carry;
        unrolled<hi - lo + 1>([&](auto i) { col += static_cast<u128>(a[lo + i]) * b[k - lo - i]; });
        carry = BY_E18.divide(col, &r[k]);
    });
#endif
    r[NC] = carry;
}

// The word counts the products of long factors have kernels for (a
// kernel each for every pair): a run of n words is read as
// kernel_words(n), the least of them not below n, with zero words on top.
// Every count up to 8 but 1 and 3, which short factors alone have.
inline constexpr std::array<int, 9> KERNEL_WORDS = {2, 4, 5, 6, 7, 8, 10, 12, 14};
static_assert(KERNEL_WORDS.back() == RECORD_WORDS, "every record's words have a kernel");
inline constexpr std::array<int, RECORD_WORDS + 1> KERNEL_INDEX = [] {
    std::array<int, RECORD_WORDS + 1> t{};
    int k = 0;
    for (int n = 0; n <= RECORD_WORDS; ++n) {
        while (KERNEL_WORDS[static_cast<std::size_t>(k)] < n) ++k;
        t[static_cast<std::size_t>(n)] = k;
    }
    return t;
}();
constexpr int kernel_words(int n) {
    return KERNEL_WORDS[static_cast<std::size_t>(KERNEL_INDEX[static_cast<std::size_t>(n)])];
}

// The words of a[0..na) * b[0..nb) into r[0..na + nb), both counts among
// KERNEL_WORDS: mul_words for those counts, the columns below `from` left
// out.
void mul_kernel_words(u64* r, const u64* a, int na, const u64* b, int nb, int from = 0);

// A word w < 10^18 that many words q < 2^64 multiply, each product split
// into its words: with w' = floor(w 2^64 / 10^18) formed once, the high
// half of q w' is the high word of q w or one less (Shoup's method), so a
// multiply and one test replace a division.
class WordFactor {
  public:
    WordFactor() = default;
    explicit WordFactor(u64 w) : w_(w) {
        u64 r;
        w_by_ = BY_E18.divide(static_cast<u128>(w) << 64, &r);
    }

    // floor(q w / 10^18), and *lo = q w mod 10^18.
    [[gnu::always_inline]] u64 split(u64 q, u64* lo) const {
        u64 hi = static_cast<u64>((static_cast<u128>(q) * w_by_) >> 64);
        u64 r = q * w_ - hi * E18; // below 2 x 10^18: exact modulo 2^64
        const bool over = r >= E18;
        hi += over;
        r -= over ? E18 : 0;
        *lo = r;
        return hi;
    }

  private:
    u64 w_, w_by_; // the default constructor leaves them unset: arrays are filled as far as used
};

// A divisor of nv words prepared for the long division: scaled so that its
// top word is at least 10^18 / 2 (one word is left as it is), with the
// scale, its top word's reciprocal and each word's factor formed once, so
// that several quotients by it share them.
struct WordsDivisor {
    int nv;
    u64 scale;
    u64 v[RECORD_WORDS];
    WordFactor factors[RECORD_WORDS];
    WordDivisor top{1};
};
void prepare_divisor(WordsDivisor* p, const u64* v, int nv);

// Long division of u[0..nu) by a prepared divisor, nu >= its words, in
// base 10^18: the nu - nv + 1 quotient words into q. u needs room for
// nu + 1 words and is left scaled, holding the scaled remainder. Returns
// true when the remainder is zero.
bool divide_words(u64* q, u64* u, int nu, const WordsDivisor& d);
// The same by v[0..nv), v[nv - 1] != 0, which is left scaled.
bool divide_words(u64* q, u64* u, int nu, u64* v, int nv);

// s[0..W) = x + y; returns the carry out of the top (0 or 1).
template <int W>
[[gnu::always_inline]] inline u64 add_words(u64* s, const Words<W>& x, const Words<W>& y) {
    u64 carry = 0;
    for (int i = 0; i < W; ++i) {
        const u64 t = x.w[i] + y.w[i] + carry;
        carry = t >= E18;
        s[i] = t - ((0 - carry) & E18);
    }
    return carry;
}

// s[0..W) = x - y modulo 10^(18 W); returns the borrow out of the top (0
// or 1).
template <int W>
[[gnu::always_inline]] inline u64 sub_words(u64* s, const Words<W>& x, const Words<W>& y) {
    u64 borrow = 0;
    for (int i = 0; i < W; ++i) {
        const u64 t = x.w[i] - y.w[i] - borrow;
        borrow = x.w[i] < y.w[i] + borrow;
        s[i] = t + ((0 - borrow) & E18);
    }
    return borrow;
}

// s[0..W) = 10^(18 W) - s, the magnitude of a difference that borrowed.
template <int W> [[gnu::always_inline]] inline void negate_words(u64* s) {
    u64 borrow = 0;
    for (int i = 0; i < W; ++i) {
        const u64 t = 0 - s[i] - borrow;
        borrow = s[i] + borrow != 0;
        s[i] = t + ((0 - borrow) & E18);
    }
}

} // namespace xarith_detail

#endif
