// Uses the installed xarith library: a sum that double arithmetic gets
// wrong, a quotient at 40 digits, and a 2 x 2 system solved by xgaussj,
// whose work vectors come from the matrix library that xarith brings along.
#include "matrix/matrix.h"
#include "xarith/xarith.h"

#include <cstdio>

int main() {
    constexpr int digits = 30;
    x_num big, one, minus_big, sum;
    cvsx("1E20", &big, digits);
    cvsx("1", &one, digits);
    cvsx("-1E20", &minus_big, digits);
    x_add_(&big, &one, &sum, digits);
    x_add_(&sum, &minus_big, &sum, digits);
    std::printf("1E20 + 1 - 1E20 = %s\n", cvxs(&sum, digits).c_str());

    x_num three, third;
    xinit(&three, 3);
    x_div_(&one, &three, &third, 40);
    std::printf("1 / 3 = %s\n", cvxs(&third, 40).c_str());

    // 2 x + y = 4, x + y = 3
    x_num** a = xmatrix(1, 2, 1, 2);
    x_num** b = xmatrix(1, 2, 1, 1);
    xinit(&a[1][1], 2);
    xinit(&a[1][2], 1);
    xinit(&a[2][1], 1);
    xinit(&a[2][2], 1);
    xinit(&b[1][1], 4);
    xinit(&b[2][1], 3);
    x_num det;
    if (xgaussj(a, 2, b, 1, &det, digits) == 0) {
        std::printf("singular matrix\n");
        return 1;
    }
    std::printf("x = %s, y = %s, determinant = %s\n", cvxs(&b[1][1], digits).c_str(),
                cvxs(&b[2][1], digits).c_str(), cvxs(&det, digits).c_str());
    free_xmatrix(a, 1, 2, 1, 2);
    free_xmatrix(b, 1, 2, 1, 1);
    return 0;
}
