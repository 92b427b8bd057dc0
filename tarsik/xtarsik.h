// Tridiagonal systems A X = B in x_num, by Gaussian elimination with
// pivoting between neighbouring rows.
#ifndef TARSIK_XTARSIK_H
#define TARSIK_XTARSIK_H

#include "xarith/xarith.h"

// Solves a X = b in place for m right-hand sides and sets *det to the
// determinant of a.
//
// a has rows 1..n and columns 1..3, holding A in band form: a[i][1] is
// A(i,i-1), a[i][2] the diagonal A(i,i), a[i][3] is A(i,i+1). a[1][1] and
// a[n][3] lie outside A and never change the result. b has rows 1..n and
// columns 1..m; on success column j holds the solution for the j-th
// right-hand side. a is overwritten by the triangular factor and carries
// no meaning afterwards.
//
// Zero is judged relative to each equation: with e the decimal order of
// an equation's largest band entry as given (the two outside slots
// excepted), a magnitude in it counts as zero when it is not above t =
// 10^(2 - dgt_max + e) (xcomp_tiny_, the threshold xgaussj also judges its
// pivots by). Each equation keeps its order through the interchanges, and
// the interchange between rows i and i+1 compares their candidates
// relative to their own orders, so that scaling an equation by a power of
// ten changes no digit of X and only the exponent of the determinant. A is
// singular when a row runs out of entries above its t or a pivot is not
// above its t; the size of the determinant itself is never judged.
//
// Returns -1 when solved, 0 when singular (then *det is 0 and b carries no
// meaning). Allocates nothing. n < 1 is the empty system: *det is 1 and
// the result -1.
int xtarsik(x_num** a, int n, x_num** b, int m, x_num* det, int dgt_max);

// The same, and, when lost is not null, *lost set to the most digits a
// pivot lost against its equation (x_lost_), 0 for none; meaningless when
// A is singular.
int xtarsik(x_num** a, int n, x_num** b, int m, x_num* det, int* lost, int dgt_max);

#endif
