// Arithmetic on numbers held as decimal text: each operand is read with
// cvsx, the record operation applied, the result written with cvxs.
#include "xarith/xarith.h"

#include <algorithm>
#include <cstring>

namespace {

using record_op = int (*)(const x_num*, const x_num*, x_num*, int);

// Both operands are read before x3 is written, so x3 may hold one of them.
int text_op(record_op op, std::string_view x1, std::string_view x2, char* x3, int digit_max) {
    digit_max = std::min(digit_max, DGT_LIM);
    x_num v1, v2, v3;
    cvsx(x1, &v1, digit_max);
    cvsx(x2, &v2, digit_max);
    op(&v1, &v2, &v3, digit_max);
    cvxs(x3, &v3, digit_max);
    return 1;
}

} // namespace

int x_add(std::string_view x1, std::string_view x2, char* x3, int digit_max) {
    return text_op(x_add_, x1, x2, x3, digit_max);
}

int x_sub(std::string_view x1, std::string_view x2, char* x3, int digit_max) {
    return text_op(x_sub_, x1, x2, x3, digit_max);
}

int x_mult(std::string_view x1, std::string_view x2, char* x3, int digit_max) {
    return text_op(x_mult_, x1, x2, x3, digit_max);
}

int x_div(std::string_view x1, std::string_view x2, char* x3, int digit_max) {
    return text_op(x_div_, x1, x2, x3, digit_max);
}

// The sign of the text difference: "0" is equal, a leading '-' below.
int xcomp(std::string_view x, std::string_view y, int dgt_max) {
    char num[256] = "0";
    x_sub(x, y, num, dgt_max);
    if (std::strcmp(num, "0") == 0) return 0;
    return num[0] == '-' ? -1 : 1;
}
