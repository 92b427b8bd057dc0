// The multiply-adds on records and prepared factors, for the library's own
// loops (the elimination). Internal to the library.
#ifndef XARITH_FUSED_H
#define XARITH_FUSED_H

#include "xarith/acc.h"

namespace xarith_detail {

// The prepared factor inside an x_prep.
const Prep& prep_of(const x_prep* p);

// acc = acc + (a * b), the product's sign turned when `turn`, through the
// records, as x_mult_ followed by x_add_ (x_sub_) gives it.
void add_product_records(const x_num* a, const x_num* b, x_num* acc, bool turn, int digit_max);

// row[l] = row[l] - p[l] * f for l = 0..n-1, each as x_mult_sub_p_ gives it.
void sub_row_p(const x_prep* p, const x_prep* f, int n, x_num* row, int digit_max);

} // namespace xarith_detail

#endif
