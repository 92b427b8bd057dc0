// Half-word kernels: runs of base-10^9 digits, least significant first,
// two to a word. The product of two of them is below 10^18 and a column of
// up to 18 such products, with its carry, stays within 64 bits, so short
// products are formed here, with about 2.25 times fewer multiplies than on
// limbs. Internal to the library.
#ifndef XARITH_HALVES_H
#define XARITH_HALVES_H

#include "xarith/words.h"

#include <algorithm>
#include <type_traits>
#include <utility>

namespace xarith_detail {

using half_t = std::uint32_t;

inline constexpr u64 E9 = 1000000000;
// The halves the longest record's limbs are read into: two for every three
// limbs (or fewer), the last of them possibly 0.
inline constexpr int RECORD_HALVES = 2 * RECORD_WORDS;
// The most halves a factor of a 64-bit product column may have.
inline constexpr int COLUMN_HALVES = 18;
static_assert(COLUMN_HALVES * (E9 - 1) * (E9 - 1) + E9 * E9 < ~u64{0}, "columns fit 64 bits");

// The halves of the words w[0..nw) into h; returns their count up to the
// top non-zero half.
inline int halves_of_words(half_t* h, const u64* w, int nw) {
    for (int i = 0; i < nw; ++i) {
        h[2 * i] = static_cast<half_t>(w[i] % E9);
        h[2 * i + 1] = static_cast<half_t>(w[i] / E9);
    }
    int nh = 2 * nw;
    while (nh > 0 && h[nh - 1] == 0) --nh;
    return nh;
}

// The halves of the limbs d[0..n) into h; returns their count up to the
// top non-zero half. Three limbs make two halves: the middle limb splits
// at 10^3, 123|456 of limb 1 going to the top of half 0 and the foot of
// half 1.
inline int halves_of_limbs(half_t* h, const limb_t* d, int n) {
    const auto pair = [h](int j, half_t l0, half_t l1, half_t l2) {
        const half_t mid = l1 / 1000;
        h[2 * j] = l0 + (l1 - mid * 1000) * 1000000;
        h[2 * j + 1] = mid + l2 * 1000;
    };
    int j = 0;
    for (; 3 * j + 2 < n; ++j)
        pair(j, static_cast<half_t>(d[3 * j]), static_cast<half_t>(d[3 * j + 1]),
             static_cast<half_t>(d[3 * j + 2]));
    if (n % 3 != 0) {
        pair(j, static_cast<half_t>(d[3 * j]), n % 3 == 2 ? static_cast<half_t>(d[3 * j + 1]) : 0, 0);
        ++j;
    }
    int nh = 2 * j;
    while (nh > 0 && h[nh - 1] == 0) --nh;
    return nh;
}

// The limbs of the halves h[0..nh) into d[0..nl), nl limbs written (the
// value must fit them): two halves make three limbs, the lower half's top
// three digits and the upper half's foot forming the middle limb. h is
// read as zeros from nh on.
inline void limbs_of_halves(limb_t* d, int nl, const half_t* h, int nh) {
    const auto three = [](half_t h0, half_t h1, limb_t* l) {
        const half_t top0 = h0 / 1000000, top1 = h1 / 1000;
        l[0] = static_cast<limb_t>(h0 - top0 * 1000000);
        l[1] = static_cast<limb_t>(top0 + (h1 - top1 * 1000) * 1000);
        l[2] = static_cast<limb_t>(top1);
    };
    int j = 0;
    for (; 3 * j + 3 <= nl && 2 * j + 1 < nh; ++j) three(h[2 * j], h[2 * j + 1], d + 3 * j);
    for (; 3 * j < nl; ++j) {
        limb_t l[3];
        three(2 * j < nh ? h[2 * j] : 0, 2 * j + 1 < nh ? h[2 * j + 1] : 0, l);
        for (int k = 0; k < 3 && 3 * j + k < nl; ++k) d[3 * j + k] = l[k];
    }
}

// The words of column sums col[0..nc) (each below 1.8 x 10^19 with its
// carry) into r[0..(nc + 2) / 2): each column's carry passes up to the next,
// the last one becomes the top half, and the halves pair into words. N is
// an int, or a std::integral_constant when the count is known at compile
// time and the loop can unroll.
template <typename N> [[gnu::always_inline]] inline void carry_halves(u64* r, const u64* col, N nc) {
    u64 carry = 0, even = 0;
    for (int k = 0; k < nc; ++k) {
        const u64 t = col[k] + carry;
        carry = t / E9;
        const u64 half = t - carry * E9;
        if (k % 2 == 0)
            even = half;
        else
            r[k / 2] = even + E9 * half;
    }
    if (static_cast<int>(nc) % 2 == 0)
        r[static_cast<int>(nc) / 2] = carry;
    else
        r[static_cast<int>(nc) / 2] = even + E9 * carry;
}

// The words of the product of a[0..NA) and b[0..NB) into
// r[0..(NA + NB + 1) / 2). The counts are constants, so the loops unroll
// and the columns stay in registers.
template <int NA, int NB> void mul_halves(u64* r, const half_t* a, const half_t* b) {
    static_assert(NA <= COLUMN_HALVES || NB <= COLUMN_HALVES, "columns stay within 64 bits");
    constexpr int NC = NA + NB - 1;
    u64 col[NC] = {};
    for (int i = 0; i < NA; ++i)
        for (int j = 0; j < NB; ++j) col[i + j] += static_cast<u64>(a[i]) * b[j];
    carry_halves(r, col, std::integral_constant<int, NC>{});
}

// The words of the product of a[0..NA) and b[0..NB) from word F up, into
// r[F..(NA + NB + 1) / 2), with the half columns below 2F left out and
// r[0..F) set to 0: the value R of the columns kept, which falls short of
// the product by E, the value of those left out (see top_product).
template <int NA, int NB, int F> void mul_halves_from(u64* r, const half_t* a, const half_t* b) {
    constexpr int NC = NA + NB - 1, C0 = 2 * F;
    static_assert(C0 < NC, "the top column is kept");
    u64 col[NC - C0] = {};
#pragma GCC unroll 8
    for (int i = 0; i < NA; ++i)
#pragma GCC unroll 8
        for (int j = std::max(0, C0 - i); j < NB; ++j)
            col[i + j - C0] += static_cast<u64>(a[i]) * b[j];
    for (int k = 0; k < F; ++k) r[k] = 0;
    carry_halves(r + F, col, std::integral_constant<int, NC - C0>{});
}

// Factors of up to MUL_HALVES_FIXED halves (72 digits) have a kernel of
// their own; longer ones are multiplied in words.
inline constexpr int MUL_HALVES_FIXED = 8;

using mul_halves_kernel = void (*)(u64*, const half_t*, const half_t*);
template <std::size_t... I> constexpr auto mul_halves_table(std::index_sequence<I...>) {
    return std::array<mul_halves_kernel, sizeof...(I)>{
        &mul_halves<static_cast<int>(I / MUL_HALVES_FIXED) + 1,
                    static_cast<int>(I % MUL_HALVES_FIXED) + 1>...};
}
inline constexpr auto MUL_HALVES =
    mul_halves_table(std::make_index_sequence<MUL_HALVES_FIXED * MUL_HALVES_FIXED>{});

// mul_halves_from for F = 1..HALVES_FROM_MOST, indexed by
// ((na - 1) MUL_HALVES_FIXED + nb - 1) HALVES_FROM_MOST + F - 1, with the
// words it leaves out: F, or fewer for a product too short to leave F
// words out and keep two whole words above them (0: the whole product).
inline constexpr int HALVES_FROM_MOST = 3;
// Shorter pairs than this are formed whole: a 4 x 4 product would leave out
// 3 of its 16 multiplies, less than the cut's test costs.
inline constexpr int HALVES_FROM_PAIR = 10;
struct HalvesFrom {
    mul_halves_kernel kernel;
    int from;
};
template <int NA, int NB, int F> constexpr HalvesFrom halves_from_kernel() {
    constexpr int f =
        NA + NB < HALVES_FROM_PAIR ? 0 : std::max(0, std::min(F, (NA + NB + 1) / 2 - 3));
    if constexpr (f == 0)
        return {&mul_halves<NA, NB>, 0};
    else
        return {&mul_halves_from<NA, NB, f>, f};
}
template <std::size_t... I> constexpr auto mul_halves_from_table(std::index_sequence<I...>) {
    constexpr int N = MUL_HALVES_FIXED, F = HALVES_FROM_MOST;
    return std::array<HalvesFrom, sizeof...(I)>{
        halves_from_kernel<static_cast<int>(I / F / N) + 1, static_cast<int>(I / F % N) + 1,
                           static_cast<int>(I % F) + 1>()...};
}
inline constexpr auto MUL_HALVES_FROM = mul_halves_from_table(
    std::make_index_sequence<MUL_HALVES_FIXED * MUL_HALVES_FIXED * HALVES_FROM_MOST>{});

// The words of halves h[0..nh), 0 < nh <= MUL_HALVES_FIXED, into w[0..n),
// n = kernel_words of their word count, zeros above; returns n.
inline int words_of_halves(u64* w, const half_t* h, int nh) {
    assert(nh > 0 && nh <= MUL_HALVES_FIXED);
    const int n = kernel_words((nh + 1) / 2);
    for (int j = 0; j < n; ++j)
        w[j] = (2 * j < nh ? h[2 * j] : 0) + E9 * (2 * j + 1 < nh ? static_cast<u64>(h[2 * j + 1]) : 0);
    return n;
}

} // namespace xarith_detail

#endif
