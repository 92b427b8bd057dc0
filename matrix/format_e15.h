// The "%1.15E" conversion of table files, shared by output_matrix and its
// tests. Internal to the matrix library.
#ifndef MATRIX_FORMAT_E15_H
#define MATRIX_FORMAT_E15_H

#include <cstddef>

namespace matrix_internal {

// Room format_e15 needs: "-1.234567890123456E-308" is 23 bytes.
inline constexpr std::size_t FORMAT_E15_MAX = 32;

// Writes v to out[0..] exactly as printf("%1.15E", v) does (no NUL) and
// returns the byte count; out needs FORMAT_E15_MAX bytes.
std::size_t format_e15(double v, char* out);

} // namespace matrix_internal

#endif
