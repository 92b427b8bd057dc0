// The product at the heart of mobrel.
#ifndef MOBREL_PRODUCT_H
#define MOBREL_PRODUCT_H

#include "pipeline/pipeline.h"

namespace mobrel {

// c = a * b at dgt_max digits: each element the sum over k = 1, 2, ... of
// x_mult_(a[i][k], b[k][j]) added with x_add_ to a running sum that starts
// at zero, turned into a double once. Returns false (after printing the
// element's line) when an element is beyond the range of a double. When
// lost is not null, *lost is the most digits an element lost to
// cancellation: how far its sum fell below its largest term (x_lost_).
// A enters as read (its texts when kept), converted a block of rows at a
// time.
bool multiply(const pipeline::Table& a, const pipeline::XMatrix& b, const pipeline::DMatrix& c,
              int dgt_max = pipeline::DGT_MAX, int* lost = nullptr);

// The whole program: mobrel file_A file_B file_C. Returns the exit status.
int run(int argc, char** argv);

} // namespace mobrel

#endif
