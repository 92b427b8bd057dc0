// Decimal text to records and back, and doubles through that text.
#include "testsupport/decimal.h"
#include "testsupport/records.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

namespace {

std::string text_of(const x_num& x, int prec) {
    char buf[256];
    std::memset(buf, 'Z', sizeof buf);
    cvxs(buf, &x, prec);
    EXPECT_LT(std::strlen(buf), 256u);
    EXPECT_EQ(cvxs(&x, prec), buf);
    return buf;
}

} // namespace

TEST(Text, Reading) {
    static const struct {
        const char* text;
        int prec;
        Fields want;
    } cases[] = {
        {"1", 30, {'+', {1}, 0}},
        {"-0.5", 30, {'-', {5}, -1}},
        {"1234567.89", 30, {'+', {456789, 123}, -2}},
        {"+12.5e3", 30, {'+', {125}, 2}},
        {"1.000000000000000E-001", 30, {'+', {1}, -1}},
        {"1E-20", 30, {'+', {1}, -20}},
        {"100", 30, {'+', {1}, 2}},
        {"100.", 30, {'+', {1}, 2}},
        {"1.500", 30, {'+', {15}, -1}},
        {"000000000000123", 30, {'+', {123}, 0}},
        {"000000000000123", 10, {'+', {}, 15}},
        {"3.14159265358979323846", 10, {'+', {592653, 3141}, -9}}, // 3.141592653
        {"123456789012345.678", 10, {'+', {678901, 12345}, 4}},
        {"1.5e+308", 30, {'+', {15}, 307}},
        {"-2.500000000000000E+000", 30, {'-', {25}, -1}},
        {"7.000000000000000E-100", 30, {'+', {7}, -100}},
        {"7E-0005", 30, {'?', {}, 0}}, // five characters after the letter
        {"E+000", 30, {'?', {}, 0}},   // the letter is the first character
        {"-E5", 30, {'+', {}, 5}},     // an empty mantissa reads as zero
        // the cut counts characters: 20 characters kept at precision 19
        {"12345678901234567890123", 19, {'+', {456789, 890123, 234567, 1}, 4}},
        {"0.00000000000000000000000000000000001", 30, {'+', {}, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " at " << c.prec);
        x_num x = poisoned();
        cvsx(c.text, &x, c.prec);
        Fields got = fields(x);
        if (c.want.limbs.empty()) got.sign = c.want.sign == '?' ? got.sign : c.want.sign;
        EXPECT_EQ(got, c.want);
    }
}

TEST(Text, ZerosAndUndefined) {
    // every zero text is ndgt 0 and prints as "0"; text outside the form
    // reads as the undefined record
    static const char* zeros[] = {"0", "-0", "0.000", "", ".", "+", "-", "0e5", "-0.0E-3"};
    for (const char* t : zeros) {
        SCOPED_TRACE(t);
        x_num x = poisoned();
        cvsx(t, &x, 30);
        EXPECT_EQ(x.ndgt, 0);
        EXPECT_NE(x.sign, '?');
        EXPECT_EQ(text_of(x, 30), "0");
    }
    static const char* bad[] = {"abc", "1,5", "2.5x",    "1.2.3", " 1",  "1 ",  "1e",
                                "1E+", "--1", "7E-0005", "0x1A",  "inf", "nan", "1e5e3"};
    for (const char* t : bad) {
        SCOPED_TRACE(t);
        x_num x = poisoned();
        cvsx(t, &x, 30);
        EXPECT_EQ(x.sign, '?');
        EXPECT_EQ(x.ndgt, 0);
        EXPECT_EQ(text_of(x, 30), "?");
        EXPECT_EQ(cvxd(&x, 30), 0.0);
    }
}

TEST(Text, LongTextReadsThroughTheCut) {
    std::string t = "0." + std::string(500, '3');
    x_num x;
    cvsx(t, &x, 30);
    EXPECT_EQ(text_of(x, 30), "0." + std::string(29, '3')); // 31 characters kept
    cvsx(t, &x, 1000); // the cut at 239 digits keeps 240 characters
    EXPECT_EQ(x.ndgt, 40);
    EXPECT_EQ(x.esp, -238);
}

TEST(Text, Writing) {
    static const struct {
        Fields x;
        int prec;
        const char* want;
    } cases[] = {
        {{'+', {1}, 0}, 30, "1"},
        {{'-', {5}, -1}, 30, "-0.5"},
        {{'+', {456789, 123}, -2}, 30, "1234567.89"},
        {{'+', {1}, -20}, 30, "0.00000000000000000001"},
        {{'+', {1}, -20}, 15, "1E-20"},
        {{'+', {1}, 20}, 30, "100000000000000000000"},
        {{'+', {1}, 20}, 15, "1E20"},
        {{'+', {1}, 20}, 10, "1E20"},
        {{'+', {1}, 2}, 30, "100"},
        {{'+', {25}, -4}, 30, "0.0025"},
        {{'+', {15}, 307}, 30, "1.5E308"},
        {{'+', {678901, 12345}, 4}, 10, "1.234567890E14"},
        {{'+', {1, 1}, -6}, 30, "1.000001"},
        {{'+', {1, 1}, -6}, 6, "1.00000"},
        {{'+', {666666, 666666, 6666}, -16}, 30, "0.6666666666666666"},
        {{'+', {666666, 666666, 6666}, -16}, 10, "0.6666666666"},
        {{'-', {1}, 300}, 30, "-1E300"},
        {{'+', {0, 500000}, -12}, 30, "0.5"},
        {{'+', {0, 1}, 0}, 30, "1000000"},
        {{'-', {0, 2}, 0}, 30, "-2000000"},
        {{'+', {0}, 7}, 30, "0"},
        {{'+', {0, 0}, 7}, 30, "0"},
        {{'-', {}, 0}, 30, "0"},
        {{'?', {}, 0}, 30, "?"},
        {{'+', {123}, -5}, 30, "0.00123"},
        {{'+', {123}, -3}, 30, "0.123"},
        {{'+', {12345}, 3}, 5, "1.2345E7"},
        {{'+', {999999, 999999, 999999}, -30}, 30, "0.000000000000999999999999999999"},
        {{'+', {1}, -31}, 30, "1E-31"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " at " << c.prec);
        EXPECT_EQ(text_of(make(c.x), c.prec), c.want);
    }
}

TEST(Text, LongestTextsFitTheBuffer) {
    x_num x = poisoned();
    x.sign = '-';
    x.ndgt = SUB_DGT;
    for (int i = 0; i < SUB_DGT; ++i) x.dgt[i] = 123457;
    for (const int esp : {-240, -239, 0, 1, INT32_MIN, INT32_MAX})
        for (const int prec : {30, 200, 240, 1000}) {
            x.esp = esp;
            SCOPED_TRACE(testing::Message() << esp << " at " << prec);
            text_of(x, prec);
        }
}

// Text that cvxs writes reads back to the same value when the reading
// precision covers the text's length.
TEST(Text, RoundTrip) {
    std::mt19937_64 rng(20261208);
    for (int round = 0; round < 3000; ++round) {
        const int prec = std::uniform_int_distribution<int>(1, 200)(rng);
        const int n = std::uniform_int_distribution<int>(1, std::min(40, prec / 6 + 2))(rng);
        const x_num x = random_record(rng, n, -260, 260);
        const std::string t = text_of(x, prec);
        x_num y = poisoned();
        cvsx(t, &y, static_cast<int>(t.size()) + 1);
        SCOPED_TRACE(testing::Message() << fields(x) << " at " << prec << ": " << t);
        // the text is the record truncated to prec significant digits
        ASSERT_EQ(canon(truncate_to(magnitude(value_of(x)), static_cast<std::size_t>(prec))),
                  canon(magnitude(value_of(y))));
        if (t[0] != '?') {
            ASSERT_EQ(y.sign, x.sign);
        }
    }
}

TEST(Text, Doubles) {
    static const struct {
        double v;
        Fields want;
    } cases[] = {
        {0.1, {'+', {1}, -1}},    {-2.0, {'-', {2}, 0}},
        {0.0, {'+', {}, 1}},      {1.0 / 3, {'+', {333333, 333333, 3333}, -16}},
        {1e300, {'+', {1}, 300}}, {5e-324, {'+', {412465, 656458, 4940}, -339}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.v);
        x_num x = poisoned();
        cvdx(&x, c.v, 30);
        Fields got = fields(x);
        if (c.want.limbs.empty()) got.esp = c.want.esp;
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(cvxd(&x, 30), c.v);
    }
    x_num x;
    for (double v :
         {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN()}) {
        cvdx(&x, v, 30);
        EXPECT_EQ(x.sign, '?');
        EXPECT_EQ(x.ndgt, 0);
    }
    // beyond the range of a double, atof's answers: an infinity, or zero
    const x_num big = make('+', {1}, 400), small = make('-', {1}, -400);
    EXPECT_EQ(cvxd(&big, 30), std::numeric_limits<double>::infinity());
    EXPECT_EQ(cvxd(&small, 30), 0.0);
    // a precision below 16 cuts the "%1.15E" text
    cvdx(&x, 3.14159265358979, 5);
    EXPECT_EQ(text_of(x, 30), "3.1415"); // 6 characters kept
}

// cvdx reads its own "%1.15E" text by a shortcut: the records must be
// those cvsx makes of printf's text.
TEST(Text, DoublesEnterThroughTheirText) {
    std::mt19937_64 rng(11);
    char buf[64];
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t bits = rng();
        if (i % 4 == 1) bits &= 0x800FFFFFFFFFFFFFULL; // subnormals and zeros
        if (i % 4 == 2)
            bits = (bits & 0x8000000000000000ULL) |
                   (0x3FF0000000000000ULL + (bits % 1000) * 0x0010000000000000ULL / 1000);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (i % 4 == 3)
            v = std::ldexp(static_cast<double>(static_cast<std::int64_t>(bits % 2000001) - 1000000),
                           static_cast<int>(bits % 7)) /
                8;
        if (i < 2) v = i == 0 ? 0.0 : -0.0;
        if (!std::isfinite(v)) continue;
        std::snprintf(buf, sizeof buf, "%1.15E", v);
        for (const int prec : {16, 30, 50}) {
            x_num fast = poisoned(), slow = poisoned();
            cvdx(&fast, v, prec);
            cvsx(buf, &slow, prec);
            ASSERT_EQ(fields(fast), fields(slow)) << buf << " at " << prec;
        }
    }
}

TEST(Text, DoublesRoundTripThroughSixteenDigits) {
    std::mt19937_64 rng(7);
    char buf[64];
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) continue;
        x_num x;
        cvdx(&x, v, 30);
        std::snprintf(buf, sizeof buf, "%1.15E", v);
        ASSERT_EQ(cvxd(&x, 30), std::atof(buf)) << buf;
    }
}

// cvxd finds the double from the record's digits; it must be the one atof
// reads from the record's text: random numbers of up to 70 digits at
// precisions up to 60, and the exact midpoints of two doubles (ties to
// even), of up to 60 digits, with their neighbours one unit away in the
// last digit.
TEST(Text, DoublesLeaveAsAtofReadsTheirText) {
    std::mt19937_64 rng(3);
    const auto agree = [](const std::string& text, int prec) {
        x_num x;
        cvsx(text.c_str(), &x, 80);
        char buf[256];
        cvxs(buf, &x, prec);
        ASSERT_EQ(cvxd(&x, prec), std::atof(buf)) << text << " at " << prec;
    };
    for (int i = 0; i < 50000; ++i) {
        std::string t = rng() % 2 ? "-" : "";
        const int digits = 1 + static_cast<int>(rng() % 70);
        for (int k = 0; k < digits; ++k) t += static_cast<char>('0' + rng() % 10);
        agree(t + "E" + std::to_string(static_cast<int>(rng() % 760) - 380),
              i % 2 ? 30 : 1 + static_cast<int>(rng() % 60));
        // (2 m + 1) 2^-j = (2 m + 1) 5^j 10^-j, between the doubles m 2^(1-j)
        // and (m + 1) 2^(1-j): its digits by decimal multiplication
        std::string d = std::to_string(2 * ((rng() >> 11) | (1ULL << 52)) + 1);
        const int j = 1 + static_cast<int>(rng() % 44);
        for (int r = 0; r < j; ++r) {
            int carry = 0;
            for (auto c = d.rbegin(); c != d.rend(); ++c) {
                const int v = (*c - '0') * 5 + carry;
                *c = static_cast<char>('0' + v % 10);
                carry = v / 10;
            }
            if (carry != 0) d.insert(d.begin(), static_cast<char>('0' + carry));
        }
        for (const int step : {-1, 0, 1}) {
            std::string n = d;
            n.back() = static_cast<char>(n.back() + step); // the last digit is 5
            agree(n + "E-" + std::to_string(j), 60);
        }
    }
}

TEST(Text, StringHelpers) {
    static const struct {
        const char* in;
        int n;
        const char* want;
    } points[] = {{"5", 1, "5"},     {"123", 1, "1.23"}, {"123", 0, "0.123"},
                  {"123", 3, "123"}, {"123", -1, "123"}, {"123", 2, "12.3"}};
    for (const auto& c : points) {
        char s[256];
        std::strcpy(s, c.in);
        SetDecPoint(s, c.n);
        EXPECT_STREQ(s, c.want) << c.in << " " << c.n;
    }
    char s[260];
    std::strcpy(s, "12");
    EXPECT_EQ(ZeroPrfx(s, 3), 3);
    EXPECT_STREQ(s, "00012");
    EXPECT_EQ(ZeroSfx(s, 2), 2);
    EXPECT_STREQ(s, "0001200");
    // the count is cut so that the text stays within 255 characters, and
    // never more than 250 zeros are added
    std::strcpy(s, "1");
    EXPECT_EQ(ZeroSfx(s, 300), 254);
    EXPECT_EQ(std::strlen(s), 251u);
    std::memset(s, '7', 250);
    s[250] = '\0';
    EXPECT_EQ(ZeroPrfx(s, 10), 5);
    EXPECT_EQ(std::strlen(s), 255u);
    EXPECT_EQ(s[0], '0');
    EXPECT_EQ(s[5], '7');
}
