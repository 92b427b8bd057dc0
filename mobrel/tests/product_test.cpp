// The product of mobrel: the elements of C, the first one beyond the range
// of a double named in row order.
#include "mobrel/product.h"

#include <gtest/gtest.h>

// Entries of more than 16 digits (kept texts) multiply all the same.
TEST(Product, LongEntries) {
    pipeline::Table a{pipeline::DMatrix(1, 1), {"1.23456789012345678"}};
    a.values[1][1] = 1.23456789012345678;
    pipeline::XMatrix b(1, 1);
    cvsx("2", &b[1][1], 30);
    pipeline::DMatrix c(1, 1);
    ASSERT_TRUE(mobrel::multiply(a, b, c));
    EXPECT_EQ(c[1][1], 2.46913578024691356);
}

// Rows beyond a block of four, and C[5,2] the first element too large.
TEST(Product, ElementsInRowOrder) {
    pipeline::Table a{pipeline::DMatrix(6, 1), {}};
    pipeline::XMatrix b(1, 3);
    for (int i = 1; i <= 6; ++i) a.values[i][1] = i == 5 ? 1e300 : i;
    for (int j = 1; j <= 3; ++j) cvdx(&b[1][j], j == 1 ? 1 : 1e300, 30);
    b[1][3].esp -= 290;
    pipeline::DMatrix c(6, 3);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(mobrel::multiply(a, b, c));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "result C[5,2] = 1E600 is beyond the range of a double\n");
    EXPECT_EQ(c[4][3], 4e10);
}

// A's rows are converted a block at a time: rows past the first blocks,
// from their doubles and from their kept texts, land in their own rows of C.
TEST(Product, RowsOfEveryBlock) {
    constexpr int N = 200;
    for (const bool texts : {false, true}) {
        pipeline::Table a{pipeline::DMatrix(N, 1), {}};
        for (int i = 1; i <= N; ++i) {
            a.values[i][1] = i;
            if (texts) a.texts.push_back(std::to_string(i));
        }
        pipeline::XMatrix b(1, 1);
        cvdx(&b[1][1], 2, 30);
        pipeline::DMatrix c(N, 1);
        ASSERT_TRUE(mobrel::multiply(a, b, c));
        for (int i = 1; i <= N; ++i)
            ASSERT_EQ(c[i][1], 2.0 * i) << "row " << i << (texts ? " (texts)" : "");
    }
}
