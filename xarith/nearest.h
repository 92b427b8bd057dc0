// The double nearest a decimal number d x 10^e, without its text: what a
// correctly rounding decimal-to-double conversion of that number gives.
// Internal to the library.
#ifndef XARITH_NEAREST_H
#define XARITH_NEAREST_H

#include "xarith/words.h"

namespace xarith_detail {

// The double nearest (-1)^neg x, ties to even, into *out, for x = d x 10^e
// or, when `above`, any x strictly between d x 10^e and (d + 1) x 10^e
// (d < 2^127): the double every such x rounds to. Returns false, with *out
// untouched, where this quick path cannot decide: d = 0, a result outside
// the normal doubles, or a number so near the midpoint of two doubles that
// the 128 bits of 10^e it works with cannot tell (about one number in
// 2^70, and every exact midpoint). The caller then converts the text.
bool nearest_double(u128 d, wide_t e, bool above, bool neg, double* out);

} // namespace xarith_detail

#endif
