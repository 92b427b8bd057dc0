// Half-word kernels that do not unroll: products of long factors (through
// words).
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

} // namespace xarith_detail
