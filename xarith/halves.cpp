// Half-word kernels that do not unroll: products of long factors (through
// words) and the long division.
#include "xarith/halves.h"

#include <utility>

namespace xarith_detail {

namespace {

// The word kernels for factors beyond the fixed table of halves, each word
// count rounded up to even.
constexpr int ROUNDED_WORDS[] = {2, 4, 6, 8, 10, 12, 14};
static_assert(ROUNDED_WORDS[6] == RECORD_WORDS, "every record's words have a kernel");
constexpr int rounded_index(int words) {
    return (words + 1) / 2 - 1;
}
using mul_words_kernel = void (*)(u64*, const u64*, const u64*);
template <std::size_t... I> constexpr auto word_table(std::index_sequence<I...>) {
    return std::array<mul_words_kernel, sizeof...(I)>{&mul_words<ROUNDED_WORDS[I / 7], ROUNDED_WORDS[I % 7]>...};
}
constexpr auto WORD_KERNELS = word_table(std::make_index_sequence<49>{});

// The words of halves h[0..nh) into w[0..n), n the word count rounded up
// to even, zeros above; returns n.
int words_of_halves(u64* w, const half_t* h, int nh) {
    const int n = ROUNDED_WORDS[rounded_index((nh + 1) / 2)];
    for (int j = 0; j < n; ++j)
        w[j] = (2 * j < nh ? h[2 * j] : 0) + E9 * (2 * j + 1 < nh ? static_cast<u64>(h[2 * j + 1]) : 0);
    return n;
}

} // namespace

int product_halves(u64* r, const half_t* a, int na, const half_t* b, int nb) {
    assert(na > 0 && nb > 0 && na <= RECORD_HALVES && nb <= RECORD_HALVES);
    if (na <= MUL_HALVES_FIXED && nb <= MUL_HALVES_FIXED) {
        MUL_HALVES[static_cast<std::size_t>((na - 1) * MUL_HALVES_FIXED + nb - 1)](r, a, b);
        return (na + nb + 1) / 2;
    }
    u64 x[RECORD_WORDS], y[RECORD_WORDS];
    const int wa = words_of_halves(x, a, na), wb = words_of_halves(y, b, nb);
    WORD_KERNELS[static_cast<std::size_t>(rounded_index(wa) * 7 + rounded_index(wb))](r, x, y);
    return wa + wb;
}

namespace {

// x[0..n) times d, d < 10^9; returns the digit carried out of the top.
half_t scale(half_t* x, int n, u64 d) {
    u64 c = 0;
    for (int i = 0; i < n; ++i) {
        const u64 p = x[i] * d + c;
        c = p / E9;
        x[i] = static_cast<half_t>(p - c * E9);
    }
    return static_cast<half_t>(c);
}

} // namespace

// Knuth's algorithm D in base 10^9. Both operands are first scaled so that
// the divisor's top digit is at least 10^9 / 2; each quotient digit is then
// estimated from the top two digits of the remainder over the divisor's
// top digit (in double, off by a few at most, settled on the exact
// remainder and the divisor's second digit), and the trial subtraction
// adds the divisor back once when the estimate was still one too large.
bool divide_halves(half_t* q, half_t* u, int nu, half_t* v, int nv) {
    assert(nv > 0 && nu >= nv && v[nv - 1] != 0);
    if (nv == 1) {
        u64 r = 0;
        for (int j = nu - 1; j >= 0; --j) {
            const u64 x = r * E9 + u[j];
            q[j] = static_cast<half_t>(x / v[0]);
            r = x % v[0];
        }
        return r == 0;
    }
    const u64 d = E9 / (static_cast<u64>(v[nv - 1]) + 1);
    scale(v, nv, d);
    u[nu] = scale(u, nu, d);
    const u64 vt = v[nv - 1], vs = v[nv - 2];
    const double inv = 1.0 / static_cast<double>(vt);
    for (int j = nu - nv; j >= 0; --j) {
        const u64 num = u[j + nv] * E9 + u[j + nv - 1];
        u64 qhat = static_cast<u64>(static_cast<double>(num) * inv);
        auto rem = static_cast<std::int64_t>(num - qhat * vt);
        while (rem < 0) {
            --qhat;
            rem += static_cast<std::int64_t>(vt);
        }
        while (rem >= static_cast<std::int64_t>(vt)) {
            ++qhat;
            rem -= static_cast<std::int64_t>(vt);
        }
        auto rhat = static_cast<u64>(rem);
        while (qhat >= E9 || qhat * vs > rhat * E9 + u[j + nv - 2]) {
            --qhat;
            rhat += vt;
            if (rhat >= E9) break;
        }
        // u[j..j+nv] -= qhat v. Each product splits into its digits on its
        // own; only small numbers wait on the borrow: u less the low digits,
        // the high digits below and the borrow lies above -2 x 10^9, so
        // 2 x 10^9 added leaves a digit and a borrow of 0..2.
        u64 hi[RECORD_HALVES + 1], lo[RECORD_HALVES + 1];
        for (int i = 0; i < nv; ++i) {
            const u64 p = qhat * v[i];
            hi[i] = p / E9;
            lo[i] = p - hi[i] * E9;
        }
        u64 borrow = 0, high = 0;
        for (int i = 0; i < nv; ++i) {
            const u64 y = u[i + j] + 2 * E9 - lo[i] - high - borrow;
            const u64 k = (y >= E9) + (y >= 2 * E9);
            u[i + j] = static_cast<half_t>(y - k * E9);
            borrow = 2 - k;
            high = hi[i];
        }
        std::int64_t top = static_cast<std::int64_t>(u[j + nv]) - static_cast<std::int64_t>(high) -
                           static_cast<std::int64_t>(borrow);
        if (top < 0) { // qhat was one too large: add v back
            --qhat;
            u64 c = 0;
            for (int i = 0; i < nv; ++i) {
                const u64 x = static_cast<u64>(u[i + j]) + v[i] + c;
                c = x >= E9;
                u[i + j] = static_cast<half_t>(x - c * E9);
            }
            top += static_cast<std::int64_t>(c);
        }
        u[j + nv] = static_cast<half_t>(top);
        q[j] = static_cast<half_t>(qhat);
    }
    for (int i = 0; i < nv; ++i)
        if (u[i] != 0) return false;
    return true;
}

} // namespace xarith_detail
