// The limb product: schoolbook multiplication of base-10^6 limb runs.
#include "xarith/limbs.h"

#include <type_traits>
#include <utility>

namespace xarith_detail {

namespace {

// Limbs of the widest raw product: two 40-limb operands and the spare top.
constexpr int PROD_ROOM = 2 * SUB_DGT + 1;

// The limbs of column sums col[0..nc) (each below 4 x 10^13) into
// r[0..nc], the carry passed up one column at a time and stored as the top
// limb. Unsigned division by the constant 10^6 is a multiply and a shift.
// N is an int, or a std::integral_constant when the count is known at
// compile time and the loop can unroll.
template <typename N> inline void carry_columns(limb_t* r, const wide_t* col, N nc) {
    std::uint64_t carry = 0;
    for (int k = 0; k < nc; ++k) {
        const std::uint64_t s = static_cast<std::uint64_t>(col[k]) + carry;
        carry = s / DM;
        r[k] = static_cast<limb_t>(s - carry * DM);
    }
    r[static_cast<int>(nc)] = static_cast<limb_t>(carry);
}

// Any limb counts.
void mul_n(limb_t* r, const limb_t* a, int na, const limb_t* b, int nb) {
    const int nc = na + nb - 1;
    wide_t col[PROD_ROOM];
    for (int j = 0; j < na; ++j) col[j] = static_cast<wide_t>(a[j]) * b[0];
    for (int k = na; k < nc; ++k) col[k] = 0;
    for (int i = 1; i < nb; ++i) {
        const wide_t bi = b[i];
        for (int j = 0; j < na; ++j) col[i + j] += bi * a[j];
    }
    carry_columns(r, col, nc);
}

// Counts fixed at compile time: the loops unroll and the column sums stay
// in registers (operands of up to 60 digits have at most MUL_FIXED limbs).
template <int NA, int NB> void mul_fixed(limb_t* r, const limb_t* a, const limb_t* b) {
    constexpr int NC = NA + NB - 1;
    wide_t col[NC] = {};
    for (int i = 0; i < NB; ++i)
        for (int j = 0; j < NA; ++j) col[i + j] += static_cast<wide_t>(b[i]) * a[j];
    carry_columns(r, col, std::integral_constant<int, NC>{});
}

using mul_kernel = void (*)(limb_t*, const limb_t*, const limb_t*);

template <std::size_t... I> constexpr auto mul_table(std::index_sequence<I...>) {
    return std::array<mul_kernel, sizeof...(I)>{
        &mul_fixed<static_cast<int>(I / MUL_FIXED) + 1, static_cast<int>(I % MUL_FIXED) + 1>...};
}
constexpr auto MUL_KERNELS = mul_table(std::make_index_sequence<MUL_FIXED * MUL_FIXED>{});

} // namespace

void mul_limbs(limb_t* r, const limb_t* a, int na, const limb_t* b, int nb) {
    assert(na > 0 && nb > 0 && na <= SUB_DGT && nb <= SUB_DGT);
    if (na <= MUL_FIXED && nb <= MUL_FIXED)
        MUL_KERNELS[static_cast<std::size_t>((na - 1) * MUL_FIXED + nb - 1)](r, a, b);
    else
        mul_n(r, a, na, b, nb);
}

} // namespace xarith_detail
