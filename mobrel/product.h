// The product at the heart of mobrel.
#ifndef MOBREL_PRODUCT_H
#define MOBREL_PRODUCT_H

#include "pipeline/pipeline.h"

namespace mobrel {

// c = a * b at 30 digits, each element turned into a double once. Returns
// false (after printing the element's line) when an element is beyond the
// range of a double.
bool multiply(const pipeline::XMatrix& a, const pipeline::XMatrix& b, const pipeline::DMatrix& c);

// The whole program: mobrel file_A file_B file_C. Returns the exit status.
int run(int argc, char** argv);

} // namespace mobrel

#endif
