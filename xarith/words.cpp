// Word kernels that do not unroll: products of long factors and the long
// division.
#include "xarith/words.h"

#include <utility>

namespace xarith_detail {

namespace {

constexpr std::size_t KERNELS = KERNEL_WORDS.size();
using mul_words_kernel = void (*)(u64*, const u64*, const u64*, int);
template <std::size_t... I> constexpr auto kernel_table(std::index_sequence<I...>) {
    return std::array<mul_words_kernel, sizeof...(I)>{
        &mul_words<KERNEL_WORDS[I / KERNELS], KERNEL_WORDS[I % KERNELS]>...};
}
constexpr auto WORD_KERNELS = kernel_table(std::make_index_sequence<KERNELS * KERNELS>{});

} // namespace

void mul_kernel_words(u64* r, const u64* a, int na, const u64* b, int nb, int from) {
    assert(na > 0 && nb > 0 && na <= RECORD_WORDS && nb <= RECORD_WORDS && kernel_words(na) == na &&
           kernel_words(nb) == nb);
    const auto ia = static_cast<std::size_t>(KERNEL_INDEX[static_cast<std::size_t>(na)]);
    const auto ib = static_cast<std::size_t>(KERNEL_INDEX[static_cast<std::size_t>(nb)]);
    WORD_KERNELS[ia * KERNELS + ib](r, a, b, from);
}

namespace {

// x[0..n) times d, d < 10^18; returns the word carried out of the top.
u64 scale(u64* x, int n, u64 d) {
    u64 c = 0;
    for (int i = 0; i < n; ++i) c = BY_E18.divide(static_cast<u128>(x[i]) * d + c, &x[i]);
    return c;
}

} // namespace

void prepare_divisor(WordsDivisor* p, const u64* v, int nv) {
    assert(nv > 0 && nv <= RECORD_WORDS && v[nv - 1] != 0);
    p->nv = nv;
    for (int i = 0; i < nv; ++i) p->v[i] = v[i];
    if (nv == 1) { // divided word by word, unscaled
        p->scale = 1;
        p->top = WordDivisor(v[0]);
        return;
    }
    p->scale = E18 / (v[nv - 1] + 1);
    scale(p->v, nv, p->scale);
    p->top = WordDivisor(p->v[nv - 1]);
    for (int i = 0; i < nv; ++i) p->factors[i] = WordFactor(p->v[i]);
}

namespace {

// The long division's steps for a divisor of NV >= 2 words, the word loops
// unrolled: the multiply-subtract of each step is a chain through what each
// word owes the next, which unrolled keeps its operands in registers.
template <int NV> bool divide_words_n(u64* q, u64* u, int nu, const WordsDivisor& d) {
    const u64* v = d.v;
    // a dividend padded with zero words (a quotient carried past the
    // dividend's digits) scales from its lowest non-zero word: below it the
    // scaled words stay 0
    int low = 0;
    while (low < nu && u[low] == 0) ++low;
    u[nu] = scale(u + low, nu - low, d.scale);
    const u64 vt = v[NV - 1], vs = v[NV - 2];
    for (int j = nu - NV; j >= 0; --j) {
        // the remainder's top word is at most vt, so the quotient of its top
        // two words is below 10^18 + 2
        u64 rhat;
        u64 qhat = d.top.divide(static_cast<u128>(u[j + NV]) * E18 + u[j + NV - 1], &rhat);
        while (qhat >= E18 ||
               static_cast<u128>(qhat) * vs > static_cast<u128>(rhat) * E18 + u[j + NV - 2]) {
            --qhat;
            rhat += vt;
            if (rhat >= E18) break;
        }
        // u[j..j+nv] -= qhat v, word by word: qhat v[i] = hi 10^18 + lo, and
        // what the word lower down owes (its product's high word and a
        // borrow of 0..2) comes off the next one. u[i + j] - lo - owed lies
        // above -2 x 10^18, so 0, 1 or 2 times 10^18 brings it back.
        u64* uj = u + j;
        u64 owed = 0;
        unrolled<NV>([&](auto i) {
            u64 lo;
            const u64 hi = d.factors[i].split(qhat, &lo);
            const auto y = static_cast<std::int64_t>(uj[i]) - static_cast<std::int64_t>(lo) -
                           static_cast<std::int64_t>(owed);
            const u64 k =
                static_cast<u64>(y < 0) + static_cast<u64>(y < -static_cast<std::int64_t>(E18));
            uj[i] = static_cast<u64>(y + static_cast<std::int64_t>(k * E18));
            owed = hi + k;
        });
        const u64 need = owed;
        if (uj[NV] < need) [[unlikely]] { // qhat was one too large: add v back
            --qhat;
            u64 c = 0;
            for (int i = 0; i < NV; ++i) {
                const u64 x = uj[i] + v[i] + c;
                c = x >= E18;
                uj[i] = x - c * E18;
            }
            uj[NV] = uj[NV] + c - need;
        } else {
            uj[NV] -= need;
        }
        q[j] = qhat;
    }
    for (int i = 0; i < NV; ++i)
        if (u[i] != 0) return false;
    return true;
}

} // namespace

// Knuth's algorithm D in base 10^18: both operands are scaled so that the
// divisor's top word is at least 10^18 / 2; each quotient word is the top
// two words of the remainder over the divisor's top word, settled on the
// divisor's second word, and the trial subtraction adds the divisor back
// once when it was still one too large.
bool divide_words(u64* q, u64* u, int nu, const WordsDivisor& d) {
    const int nv = d.nv;
    assert(nu >= nv);
    if (nv == 1) {
        u64 r = 0;
        for (int j = nu - 1; j >= 0; --j)
            q[j] = d.top.divide(static_cast<u128>(r) * E18 + u[j], &r);
        return r == 0;
    }
    return with_constant<2, RECORD_WORDS>(
        nv, [&](auto n) { return divide_words_n<decltype(n)::value>(q, u, nu, d); });
}

bool divide_words(u64* q, u64* u, int nu, u64* v, int nv) {
    WordsDivisor d{};
    prepare_divisor(&d, v, nv);
    for (int i = 0; i < nv; ++i) v[i] = d.v[i];
    return divide_words(q, u, nu, d);
}

} // namespace xarith_detail
