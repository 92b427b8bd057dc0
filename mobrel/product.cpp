// The product loop of mobrel.
#include "mobrel/product.h"

#include <algorithm>
#include <vector>

namespace mobrel {

// C is formed a block of rows at a time, so that its records never take
// more room than a block, and converted in row order: the first element
// beyond the range of a double is the one named. The rows of A a block
// uses are converted with it, into records of the block's size too.
bool multiply(const pipeline::Table& a, const pipeline::XMatrix& b, const pipeline::DMatrix& c,
              int dgt_max, int* lost) {
    constexpr int ROWS = 64;
    const int n = a.rows(), l = a.cols(), m = b.cols();
    const pipeline::XMatrix from(std::min(ROWS, n), l), block(std::min(ROWS, n), m);
    // the highest leading power among the terms of each element of the block
    std::vector<int> top(lost != nullptr ? static_cast<std::size_t>(std::min(ROWS, n) * m) : 0);
    if (lost != nullptr) *lost = 0;
    for (int i0 = 1; i0 <= n; i0 += ROWS) {
        const int rows = std::min(ROWS, n - i0 + 1);
        // rows i0 .. i0 + rows - 1 of a, as rows 1 .. rows of a matrix of their own
        for (int r = 1; r <= rows; ++r)
            for (int k = 1; k <= l; ++k)
                pipeline::to_x(a.values, a.exact(), i0 + r - 1, k, &from[r][k], dgt_max);
        x_matmul_(from.get(), rows, l, b.get(), m, block.get(), top.empty() ? nullptr : top.data(),
                  dgt_max);
        for (int r = 1; r <= rows; ++r)
            for (int j = 1; j <= m; ++j) {
                if (!pipeline::to_double(block[r][j], &c[i0 + r - 1][j], "C", i0 + r - 1, j,
                                         dgt_max))
                    return false;
                if (lost == nullptr) continue;
                const int t = top[static_cast<std::size_t>((r - 1) * m + (j - 1))];
                *lost = std::max(*lost, x_lost_(&block[r][j], t));
            }
    }
    return true;
}

} // namespace mobrel
