// Index-offset layout of dmatrix and ivector, and the fatal-error exit.
#include "matrix/matrix.h"
#include "testsupport/memory.h"

#include <gtest/gtest.h>

#include <string>


// Under AddressSanitizer a refused allocation returns null, as malloc does,
// so that the death tests see the allocators' own failure path.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

// Every element of each range is usable and [i][j + 1], [i + 1][ncl] follow
// [i][j], [i][nch] directly: [2][1] comes right after [1][4] for 1..3 x 1..4.
TEST(Dmatrix, RowsLieOneAfterAnother) {
    static const int ranges[][4] = {
        {1, 1, 1, 1}, {1, 3, 1, 4}, {0, 2, 1, 3}, {1, 2, 5, 7}, {-3, -1, 0, 0}};
    for (const auto& r : ranges) {
        SCOPED_TRACE(std::to_string(r[0]) + ".." + std::to_string(r[1]) + " x " +
                     std::to_string(r[2]) + ".." + std::to_string(r[3]));
        double** m = dmatrix(r[0], r[1], r[2], r[3]);
        int* v = ivector(r[2], r[3]);
        const double* next = &m[r[0]][r[2]];
        for (int i = r[0]; i <= r[1]; ++i)
            for (int j = r[2]; j <= r[3]; ++j) {
                EXPECT_EQ(&m[i][j], next++);
                m[i][j] = v[j] = j;
            }
        EXPECT_EQ(&v[r[3]] - &v[r[2]], r[3] - r[2]);
        free_ivector(v, r[2], r[3]);
        free_dmatrix(m, r[0], r[1], r[2], r[3]);
    }
}

TEST(NrerrorDeathTest, ThreeLinesAndStatusOne) {
    struct fatal_case {
        void (*run)();
        const char* line; // the middle line, as a regular expression
    };
    static const fatal_case cases[] = {
        {[] { nrerror("bad thing"); }, "bad thing"},
        {[] { dmatrix(1, 1 << 27, 1, 1); }, "allocation failure 1 in matrix\\(\\)"},
        {[] { dmatrix(1, 1, 1, 1 << 28); }, "allocation failure 2 in matrix\\(\\)"},
        {[] { ivector(1, 1 << 29); }, "allocation failure in ivector\\(\\)"},
        {[] { dmatrix(1, 1, 2, 1); }, "empty index range in dmatrix\\(\\)"},
        {[] { ivector(1, 0); }, "empty index range in ivector\\(\\)"},
    };
    for (const fatal_case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string report = std::string("^Run-time error\\.\\.\\.\n") + c.line +
                                   "\n\\.\\.\\.now exiting to system\\.\\.\\.\n$";
        EXPECT_EXIT((limit_memory(), c.run()), ::testing::ExitedWithCode(1), report);
    }
}

} // namespace
