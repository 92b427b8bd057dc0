// The command line's numbers: what reads as a degree or an intercept.
#include "velmar/regress.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>

TEST(ReadDegree, WholeNumbersOnly) {
    static const struct {
        const char* text;
        int degree; // -999: refused
    } cases[] = {
        // clang-format off
        {"1", 1}, {"+3", 3}, {"007", 7}, {"0", 0}, {"-2", -2}, // the range is checked later
        {"99999999999999999999", INT_MAX}, {"-99999999999999999999", -INT_MAX},
        {"", -999}, {"+", -999}, {"2x", -999}, {"2.0", -999}, {"1e1", -999}, {" 2", -999},
        {"2 ", -999}, {"0x3", -999}, {"--2", -999},
        // clang-format on
    };
    for (const auto& c : cases) {
        int degree = -999;
        EXPECT_EQ(velmar::read_degree(c.text, &degree), c.degree != -999) << c.text;
        EXPECT_EQ(degree, c.degree) << c.text; // untouched on refusal
    }
}

TEST(ReadIntercept, FiniteDecimalsOnly) {
    static const struct {
        const char* text;
        bool ok;
        double value;
    } cases[] = {
        {"-0", true, -0.0},     {"1.5", true, 1.5},   {"-.5", true, -0.5},   {"5.", true, 5.0},
        {"+2e3", true, 2000.0}, {"1E-2", true, 0.01}, {"1e-999", true, 0.0}, // the nearest double
        {"1e999", false, 0},    {"", false, 0},       {".", false, 0},       {"-", false, 0},
        {"1,5", false, 0},      {"1.5.2", false, 0},  {"1e", false, 0},      {"1e+", false, 0},
        {"e5", false, 0},       {"inf", false, 0},    {"nan", false, 0},     {"0x10", false, 0},
        {" 1", false, 0},       {"1 ", false, 0},
    };
    for (const auto& c : cases) {
        double v = 42;
        EXPECT_EQ(velmar::read_intercept(c.text, &v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : 42) << c.text;
        EXPECT_EQ(std::signbit(v), std::signbit(c.value)) << c.text;
    }
}
