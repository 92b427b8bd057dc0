// The product loop of mobrel: the sums of x_mult_ products added with
// x_add_ at the working precision, on records, or at 30 digits in integers
// with the same results.
#include "mobrel/product.h"

#include <algorithm>
#include <array>
#include <bit>

namespace mobrel {

using pipeline::DGT_MAX;

void product_row(const pipeline::XMatrix& a, const pipeline::XMatrix& b, int i, x_num* acc,
                 int dgt_max) {
    const int inner = a.cols(), m = b.cols();
    for (int j = 1; j <= m; ++j) xinit(&acc[j], 0);
    for (int k = 1; k <= inner; ++k) {
        const x_num* aik = &a[i][k];
        const x_num* bk = b[k];
        for (int j = 1; j <= m; ++j) x_mult_add_(aik, &bk[j], &acc[j], dgt_max);
    }
}

namespace {

__extension__ typedef unsigned __int128 u128;
using u64 = std::uint64_t;

constexpr u64 E8 = 100000000ULL;
constexpr u64 E16 = E8 * E8;
constexpr u64 E13 = 10000000000000ULL;

constexpr std::array<u64, 17> P10 = [] {
    std::array<u64, 17> p{};
    p[0] = 1;
    for (std::size_t r = 1; r < p.size(); ++r) p[r] = p[r - 1] * 10;
    return p;
}();

// x / 10^r for x < 2^54 and 0 <= r <= 16, by a multiply and a shift:
// with l = ceil(log2 10^r) and m = ceil(2^(54 + l) / 10^r), m 10^r exceeds
// 2^(54 + l) by less than 2^l, which makes floor(x m / 2^(54 + l)) exact for
// every x below 2^54 (and 10^16 < 2^54). Taking x << 10 puts the division
// by 2^64 at the high half of the product, m fits 64 bits for every r, and
// no branch depends on r.
struct Magic {
    u64 m;
    int shift;
};
constexpr int DIVIDEND_BITS = 54;
constexpr std::array<Magic, 17> MAGIC = [] {
    std::array<Magic, 17> t{};
    for (std::size_t r = 0; r < t.size(); ++r) {
        int l = 0;
        while ((u64{1} << l) < P10[r]) ++l;
        const u128 pow = u128{1} << (DIVIDEND_BITS + l);
        t[r] = {static_cast<u64>((pow + P10[r] - 1) / P10[r]), l};
    }
    return t;
}();
static_assert(E16 < (u64{1} << DIVIDEND_BITS));

inline u64 div_p10(u64 x, int r) {
    const u64 high = static_cast<u64>((static_cast<u128>(x << (64 - DIVIDEND_BITS)) * MAGIC[r].m) >> 64);
    return high >> MAGIC[r].shift;
}

// Decimal digits of x (0 for 0).
inline int digits64(u64 x) {
    const int guess = (64 - std::countl_zero(x)) * 1233 >> 12; // about log10(2^bits)
    return guess + (x >= P10[guess]);
}

inline int digits(u64 hi, u64 lo) { return hi != 0 ? 16 + digits64(hi) : digits64(lo); }

// (hi, lo) < 10^32 times 10^k: multiplied for k > 0 (the result then stays
// below 10^30), divided and truncated for k < 0. With k = 16 w - r,
// 0 <= r < 16, the halves first move up w places (w = -2 .. 2, places below
// the value reading as 0), then every half is divided by 10^r, taking the
// digits it loses from the half above. Straight-line code: the shift
// amounts of a product loop follow the data and would defeat a branch
// predictor.
inline void shift(u64& hi, u64& lo, std::int64_t k) {
    k = std::max<std::int64_t>(k, -32); // 10^32 and beyond leave nothing
    const int w = static_cast<int>((k + 47) / 16) - 2; // ceil(k / 16), k + 47 > 0
    const int r = static_cast<int>(16 * w - k);
    const u64 window[7] = {0, 0, lo, hi, 0, 0, 0};
    const u64* x = window + 2 - w;
    const u64 q0 = div_p10(x[0], r), q1 = div_p10(x[1], r), q2 = div_p10(x[2], r);
    const u64 up = P10[16 - r];
    lo = q0 + (x[1] - q1 * P10[r]) * up;
    hi = q1 + (x[2] - q2 * P10[r]) * up;
}

// (hi, lo) < 10^32 divided by 10^r, 0 < r < 32, truncating.
inline void shift_down(u64& hi, u64& lo, int r) {
    if (r < 16) {
        const u64 q = div_p10(hi, r);
        lo = div_p10(lo, r) + (hi - q * P10[r]) * P10[16 - r];
        hi = q;
    } else {
        lo = div_p10(hi, r - 16);
        hi = 0;
    }
}

// A running sum: the signed value hi * 10^16 + lo times 10^esp, with
// 0 <= lo < 10^16 and hi of either sign (the value's floor halves), so
// that adding a signed product needs no comparison of magnitudes. Every
// value is below 10^31 in magnitude.
struct Sum {
    std::int64_t hi;
    u64 lo;
    std::int64_t esp;
};

constexpr std::int64_t SE16 = static_cast<std::int64_t>(E16);

inline bool is_zero(const Sum& s) { return s.hi == 0 && s.lo == 0; }

// The magnitude's halves of a sum: -(hi 10^16 + lo) for a negative one.
inline void magnitude(const Sum& s, u64& hi, u64& lo) {
    const std::int64_t mask = s.hi >> 63; // all ones for a negative sum
    const std::int64_t borrow = mask & static_cast<std::int64_t>(s.lo != 0);
    hi = static_cast<u64>((s.hi ^ mask) - mask - borrow);
    lo = s.lo + static_cast<u64>(borrow) * (E16 - 2 * s.lo);
}

// s = s + (-1)^neg (hi 10^16 + lo), the halves brought back to
// 0 <= lo < 10^16.
inline void add_signed(Sum& s, u64 hi, u64 lo, bool neg) {
    const std::int64_t sign = 1 - 2 * static_cast<std::int64_t>(neg);
    std::int64_t l = static_cast<std::int64_t>(s.lo) + sign * static_cast<std::int64_t>(lo);
    const std::int64_t c = (l >= SE16) - (l < 0);
    l -= c * SE16;
    s.hi += sign * static_cast<std::int64_t>(hi) + c;
    s.lo = static_cast<u64>(l);
}

// acc = acc + a * b, step for step as x_mult_ then x_add_ at 30 digits: the
// product is exact; a zero running sum takes the product as it is; else
// both are aligned to the lower exponent, cut to 30 digits from the higher
// leading digit, and added with their signs (a sum that cancels is zero).
inline void multiply_add(Sum& acc, const FastProduct::Factor& a, const FastProduct::Factor& b) {
    if (a.zero || b.zero) return; // adding a zero product changes nothing
    // the exact product, a 32-digit number at most
    const u64 t2 = a.hi8 * b.hi8, t1 = a.hi8 * b.lo8 + a.lo8 * b.hi8, t0 = a.lo8 * b.lo8;
    const u64 t1h = t1 / E8;
    u64 plo = t0 + (t1 - t1h * E8) * E8;
    const u64 over = plo >= E16;
    plo -= over * E16;
    u64 phi = t2 + t1h + over;
    const std::int64_t pesp = static_cast<std::int64_t>(a.esp) + b.esp;
    const bool pneg = a.neg != b.neg;
    if (is_zero(acc)) {
        acc = {0, 0, pesp};
        add_signed(acc, phi, plo, pneg);
        return;
    }
    // The common step: acc holds exactly 30 digits and the product's
    // leading digit is not above acc's. The sum then keeps acc's exponent
    // and limbs as they are and cuts the product to acc's last digit. The
    // test needs only the high half of acc's magnitude.
    const std::int64_t mask = acc.hi >> 63; // all ones for a negative sum
    const u64 mhi = static_cast<u64>((acc.hi ^ mask) - mask - (mask & static_cast<std::int64_t>(acc.lo != 0)));
    const std::int64_t k = pesp - acc.esp;
    // the product has the digits of its factors together, or one fewer
    const int most = a.digits + b.digits;
    const bool below = k + most <= DGT_MAX || (k + most == DGT_MAX + 1 && digits(phi, plo) < most);
    if (mhi >= E13 && mhi < E13 * 10 && below) {
        if (k <= -32) return; // wholly below acc's last digit
        if (k < 0)
            shift_down(phi, plo, static_cast<int>(-k));
        else if (k > 0)
            shift(phi, plo, k);
        add_signed(acc, phi, plo, pneg);
        return;
    }

    // align to the lower exponent, cut to 30 digits
    u64 ahi, alo;
    magnitude(acc, ahi, alo);
    const std::int64_t emin = std::min(acc.esp, pesp);
    const std::int64_t e1 = acc.esp - emin, e2 = pesp - emin;
    const std::int64_t p = std::max(e1 + digits(ahi, alo), e2 + digits(phi, plo)) - DGT_MAX;
    const std::int64_t cut = std::max<std::int64_t>(p, 0);
    const bool aneg = acc.hi < 0;
    shift(ahi, alo, e1 - cut);
    shift(phi, plo, e2 - cut);
    acc = {0, 0, emin + cut};
    add_signed(acc, ahi, alo, aneg);
    add_signed(acc, phi, plo, pneg);
}

// The record of a running sum: its base-10^6 limbs, least significant first.
void to_record(const Sum& s, x_num* x) {
    if (is_zero(s)) {
        xinit(x, 0);
        return;
    }
    std::uint64_t hi, lo;
    magnitude(s, hi, lo);
    const std::int32_t limbs[6] = {
        static_cast<std::int32_t>(lo % 1000000),
        static_cast<std::int32_t>(lo / 1000000 % 1000000),
        static_cast<std::int32_t>(lo / 1000000000000ULL + hi % 100 * 10000),
        static_cast<std::int32_t>(hi / 100 % 1000000),
        static_cast<std::int32_t>(hi / 100000000 % 1000000),
        static_cast<std::int32_t>(hi / 100000000000000ULL),
    };
    int n = 6;
    while (n > 0 && limbs[n - 1] == 0) --n;
    x->sign = s.hi < 0 ? '-' : '+';
    x->ndgt = n;
    x->esp = static_cast<std::int32_t>(s.esp);
    for (int i = 0; i < n; ++i) x->dgt[i] = limbs[i];
}

// Exponents of the entries stay within this bound, so that no sum of them
// comes near the limits of a record's exponent.
constexpr std::int32_t ESP_BOUND = 100000000;

// The factor of a record with at most 16 digits; false otherwise.
bool to_factor(const x_num& x, FastProduct::Factor* f) {
    if (x.ndgt == 0) {
        *f = {0, 0, 0, 0, false, true};
        return true;
    }
    if (x.ndgt > 3 || x.esp > ESP_BOUND || x.esp < -ESP_BOUND) return false;
    u64 mant = 0;
    for (int i = x.ndgt - 1; i >= 0; --i) mant = mant * 1000000 + static_cast<u64>(x.dgt[i]);
    if (mant >= E16 || mant == 0) return false;
    *f = {mant / E8, mant % E8, x.esp, static_cast<std::int16_t>(digits64(mant)), x.sign == '-', false};
    return true;
}

} // namespace

FastProduct::FastProduct(const pipeline::XMatrix& a, const pipeline::XMatrix& b)
    : n_(a.rows()), inner_(a.cols()), m_(b.cols()), usable_(true) {
    a_.resize(static_cast<std::size_t>(n_ + 1) * (inner_ + 1));
    b_.resize(static_cast<std::size_t>(inner_ + 1) * (m_ + 1));
    for (int i = 1; i <= n_ && usable_; ++i)
        for (int k = 1; k <= inner_ && usable_; ++k)
            usable_ = to_factor(a[i][k], &a_[static_cast<std::size_t>(i) * (inner_ + 1) + k]);
    for (int k = 1; k <= inner_ && usable_; ++k)
        for (int j = 1; j <= m_ && usable_; ++j)
            usable_ = to_factor(b[k][j], &b_[static_cast<std::size_t>(k) * (m_ + 1) + j]);
}

void FastProduct::row(int i, x_num* acc) const {
    std::vector<Sum> sums(static_cast<std::size_t>(m_) + 1, Sum{0, 0, 0});
    const Factor* arow = &a_[static_cast<std::size_t>(i) * (inner_ + 1)];
    for (int k = 1; k <= inner_; ++k) {
        const Factor& aik = arow[k];
        const Factor* bk = &b_[static_cast<std::size_t>(k) * (m_ + 1)];
        for (int j = 1; j <= m_; ++j) multiply_add(sums[j], aik, bk[j]);
    }
    for (int j = 1; j <= m_; ++j) to_record(sums[j], &acc[j]);
}

// C = A * B into doubles, row by row: one accumulator per column and k
// outside j, so that B is read row by row while every element still adds
// its products in the order k = 1, 2, ... The integer path works at 30
// digits only.
bool multiply(const pipeline::XMatrix& a, const pipeline::XMatrix& b, const pipeline::DMatrix& c,
              int dgt_max) {
    const FastProduct fast = dgt_max == DGT_MAX ? FastProduct(a, b) : FastProduct();
    std::vector<x_num> acc(static_cast<std::size_t>(b.cols()) + 1);
    for (int i = 1; i <= a.rows(); ++i) {
        if (fast.usable())
            fast.row(i, acc.data());
        else
            product_row(a, b, i, acc.data(), dgt_max);
        for (int j = 1; j <= b.cols(); ++j)
            if (!pipeline::to_double(acc[j], &c[i][j], "C", i, j, dgt_max)) return false;
    }
    return true;
}

} // namespace mobrel
