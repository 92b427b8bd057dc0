// The record: creation, inspection, renormalisation and rescaling.
#include "testsupport/records.h"

#include <climits>
#include <gtest/gtest.h>

TEST(Record, XinitSplitsAnyIntIntoLimbs) {
    static const struct {
        int x;
        Fields want;
    } cases[] = {
        {0, {'+', {}, 0}},
        {-7, {'-', {7}, 0}},
        {999999, {'+', {999999}, 0}},
        {1000000, {'+', {0, 1}, 0}},
        {INT_MAX, {'+', {483647, 2147}, 0}},
        {INT_MIN, {'-', {483648, 2147}, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        x_num a = poisoned();
        xinit(&a, c.x);
        EXPECT_EQ(fields(a), c.want);
        for (int i = a.ndgt; i < SUB_DGT; ++i) ASSERT_EQ(a.dgt[i], 0) << i;
    }
}

TEST(Record, Inspection) {
    static const struct {
        Fields x;
        int zero, digits, ord;
    } cases[] = {
        {{'+', {456789, 123}, -2}, 1, 9, 6}, // 1234567.89
        {{'+', {1}, 0}, 1, 1, 0},
        {{'+', {100}, 0}, 1, 3, 2},
        {{'+', {1}, -3}, 1, 1, -3},
        {{'-', {7}, 0}, -1, 1, 0},
        {{'-', {}, 5}, 0, 0, -99999}, // a zero with a sign and an exponent
        {{'?', {}, 0}, 0, 0, -99999},
        {{'+', {0, 999999}, 0}, 1, 12, 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x);
        const x_num x = make(c.x);
        EXPECT_EQ(xzero_(&x), c.zero);
        EXPECT_EQ(Xdigitcount(&x), c.digits);
        EXPECT_EQ(x_ord_(&x), c.ord);
    }
}

TEST(Record, IntDgtCount) {
    static const int cases[][2] = {{0, 0}, {9, 1}, {10, 2}, {-999999, 6}, {INT_MIN, 10}};
    for (const auto& c : cases) EXPECT_EQ(IntDgtCount(c[0]), c[1]) << c[0];
}

TEST(Record, NegationAndMagnitude) {
    x_num a = make('-', {7}, 0);
    x_num m = xabs_(&a);
    EXPECT_EQ(fields(m), (Fields{'+', {7}, 0}));
    EXPECT_EQ(a.sign, '-');
    x_not_(&a);
    EXPECT_EQ(a.sign, '+');
    x_not_(&a);
    EXPECT_EQ(a.sign, '-');
    x_num u = make('?', {}, 0);
    x_not_(&u);
    EXPECT_EQ(u.sign, '-');
    EXPECT_EQ(xzero_(&u), 0);
}

TEST(Record, Xscaling) {
    static const struct {
        Fields in;
        int prec;
        Fields want;
    } cases[] = {
        // 9 limbs at 30 digits keep the 7 most significant, truncated
        {{'+', {999999, 999999, 1, 2, 3, 4, 5, 6, 7}, 0}, 30, {'+', {1, 2, 3, 4, 5, 6, 7}, 12}},
        {{'-', {1, 2, 3}, 5}, 5, {'-', {2, 3}, 11}},
        // leading zero limbs go first, then one more limb at 30 digits
        {{'+', {1, 2, 3, 4, 5, 6, 7, 8, 0, 0}, 0}, 30, {'+', {2, 3, 4, 5, 6, 7, 8}, 6}},
        {{'+', {0, 0, 0}, 4}, 30, {'+', {}, 4}},
        {{'+', {5, 0, 7}, -3}, 200, {'+', {5, 0, 7}, -3}},
        {{'+', {1, 2, 3}, 0}, -50, {'+', {2, 3}, 6}}, // a precision below 1 acts as 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in << " at " << c.prec);
        x_num x = make(c.in);
        Xscaling(&x, c.prec);
        EXPECT_EQ(fields(x), c.want);
    }
}

TEST(Record, Xshift) {
    static const struct {
        Fields in;
        int n;
        Fields want;
    } cases[] = {
        {{'+', {999999}, 0}, 3, {'+', {999000, 999}, -3}},
        {{'+', {5}, 0}, 6, {'+', {0, 5}, -6}},
        {{'+', {5}, 0}, 0, {'+', {5}, 0}},
        {{'-', {123456, 7}, 0}, 8, {'-', {0, 345600, 712}, -8}},
        // right shifts truncate and may leave a zero top limb
        {{'+', {123456, 7}, 0}, -2, {'+', {71234, 0}, 2}},
        {{'+', {123456, 654321, 9}, 1}, -7, {'+', {965432, 0}, 8}},
        {{'+', {42}, 0}, -12, {'+', {}, 12}},
        {{'+', {1, 2}, 0}, -6, {'+', {2}, 6}},
        {{'+', {1, 2}, 0}, INT_MIN, {'+', {}, INT_MAX}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in << " by " << c.n);
        x_num x = make(c.in);
        Xshift(&x, c.n);
        EXPECT_EQ(fields(x), c.want);
    }
}

TEST(Record, XshiftBeyondFortyLimbsKeepsTheTopLimbs) {
    // limbs 1..39 shifted left 13 digits (1 digit, 2 limbs) need 41 limbs:
    // the lowest, a zero limb, goes and esp rises by 6
    x_num x = poisoned();
    x.sign = '+';
    x.ndgt = 39;
    x.esp = 0;
    for (int i = 0; i < 39; ++i) x.dgt[i] = i + 1;
    Xshift(&x, 13);
    ASSERT_EQ(x.ndgt, SUB_DGT);
    EXPECT_EQ(x.esp, -13 + 6);
    EXPECT_EQ(x.dgt[0], 0);
    for (int i = 1; i < SUB_DGT; ++i) ASSERT_EQ(x.dgt[i], 10 * i) << i;

    // 40 limbs of 999999 shifted 7 digits need 42 limbs: the zero limb and
    // the lowest shifted limb go
    for (int i = 0; i < SUB_DGT; ++i) x.dgt[i] = DM - 1;
    x.ndgt = SUB_DGT;
    x.esp = 0;
    Xshift(&x, 7);
    ASSERT_EQ(x.ndgt, SUB_DGT);
    EXPECT_EQ(x.esp, -7 + 12);
    EXPECT_EQ(x.dgt[SUB_DGT - 1], 9);
    for (int i = 0; i < SUB_DGT - 1; ++i) ASSERT_EQ(x.dgt[i], DM - 1) << i;
}

TEST(Record, Dumpx) {
    testing::internal::CaptureStdout();
    dumpx(make('+', {456789, 123}, -2));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ndgt= 2\nsign= +\nesp= -2\n456789\n123\n");
}
