// The "%1.15E" conversion of table files: the 16 significant digits of a
// double, rounded as printf rounds them, and their text. Shared by
// output_matrix and by the x_num library, which takes its numbers from
// doubles through the same 16 digits. Internal to the suite.
#ifndef MATRIX_FORMAT_E15_H
#define MATRIX_FORMAT_E15_H

#include <cstddef>
#include <cstdint>

namespace matrix_internal {

// Room format_e15 needs: "-1.234567890123456E-308" is 23 bytes.
inline constexpr std::size_t FORMAT_E15_MAX = 32;

// The digits "%1.15E" prints for a finite, non-zero v: |v| rounded half to
// even from its exact binary value is digits x 10^(exp10 - 15), with
// 10^15 <= digits < 10^16.
void decimal16(double v, std::uint64_t* digits, int* exp10);

// Writes v to out[0..] exactly as printf("%1.15E", v) does (no NUL) and
// returns the byte count; out needs FORMAT_E15_MAX bytes.
std::size_t format_e15(double v, char* out);

} // namespace matrix_internal

#endif
