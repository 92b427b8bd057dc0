// load_table on the file texts of load_cases.txt, on capacity and on files
// that cannot be read.
#include "matrix/matrix.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

namespace {

// Loads text as a file with first indices 1; the buffer is poisoned first.
int load(const scratch& s, const std::string& text, std::vector<double>& buf, int& rows, int& cols,
         table_error& err) {
    const std::string file = s.write("t.tsv", text);
    buf.assign(STACK_MAX, -99.0);
    const int one = 1;
    return load_table(file.c_str(), buf.data(), STACK_MAX, &one, &rows, &one, &cols, &err);
}

// The bytes a case text stands for: \t \n \r \0 \\ and \xHH decoded.
std::string decode(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i] == '\\' && i + 1 < s.size() ? s[++i] : '\0';
        if (c == 'x') {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            static constexpr std::string_view from = "tnr0", to{"\t\n\r\0", 4};
            const std::size_t k = from.find(c);
            out += c == '\0' ? s[i] : k == std::string_view::npos ? c : to[k];
        }
    }
    return out;
}

TEST(LoadTable, FileTexts) {
    std::ifstream cases(MATRIX_TEST_DATA "/load_cases.txt");
    ASSERT_TRUE(cases.is_open());
    const scratch s;
    int count = 0;
    for (std::string line; std::getline(cases, line);) {
        const std::size_t arrow = line.find(" => ");
        if (line.starts_with('#') || arrow == std::string::npos) continue;
        SCOPED_TRACE(line);
        ++count;
        const std::string expect = line.substr(arrow + 4);
        std::vector<double> buf;
        int rows = -7, cols = -7, want_rows = 0, want_cols = 0, used = 0;
        table_error err;
        const int result = load(s, decode(line.substr(0, arrow)), buf, rows, cols, err);
        if (std::sscanf(expect.c_str(), "%d x %d:%n", &want_rows, &want_cols, &used) < 2) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(describe(err), expect);
            EXPECT_EQ(rows + cols, 0);
            continue;
        }
        EXPECT_EQ(result, -1) << describe(err);
        EXPECT_EQ(rows, want_rows);
        EXPECT_EQ(cols, want_cols);
        std::istringstream values(expect.substr(static_cast<std::size_t>(used)));
        std::size_t k = 0;
        for (std::string v; values >> v; ++k) {
            EXPECT_EQ(buf[k], std::strtod(v.c_str(), nullptr)) << "value " << k;
            EXPECT_EQ(std::signbit(buf[k]), v[0] == '-') << "value " << k;
        }
        EXPECT_EQ(buf[k], -99.0) << "stored past the table";
    }
    EXPECT_GT(count, 30) << "cases read";
}

// Each number's text as the file writes it, in the order of the values;
// none after a refusal.
TEST(LoadTable, Texts) {
    const scratch s;
    const std::string good = s.write("good.tsv", "\xEF\xBB\xBF"
                                                 "0.56\t\t1E+0005 \r\n\n-.25\t\t7.\n");
    const std::string bad = s.write("bad.tsv", "1\t2\n3\tx\n");
    const std::vector<std::string> want = {"0.56", "1E+0005", "-.25", "7."};
    std::vector<double> buf(STACK_MAX);
    std::vector<std::string> texts = {"stale"};
    const int one = 1;
    int rows = 0, cols = 0;
    EXPECT_EQ(
        load_table(good.c_str(), buf.data(), STACK_MAX, &one, &rows, &one, &cols, nullptr, &texts),
        -1);
    EXPECT_EQ(texts, want);
    EXPECT_EQ(rows * 10 + cols, 22);
    EXPECT_EQ(
        load_table(bad.c_str(), buf.data(), STACK_MAX, &one, &rows, &one, &cols, nullptr, &texts),
        0);
    EXPECT_TRUE(texts.empty());
}

// The programs' buffer holds 65535 numbers (21845 x 3); the 65536th is
// refused as soon as it is read.
TEST(LoadTable, Capacity) {
    const scratch s;
    std::string text;
    for (int i = 0; i < 21845; ++i) text += "1.5\t-2\t3e-7\n";
    std::vector<double> buf;
    int rows = 0, cols = 0;
    table_error err;
    ASSERT_EQ(load(s, text, buf, rows, cols, err), -1);
    EXPECT_EQ(rows, 21845);
    EXPECT_EQ(cols, 3);
    EXPECT_EQ(buf[65534], 3e-7);
    EXPECT_EQ(load(s, text + "4\n", buf, rows, cols, err), 0);
    EXPECT_EQ(describe(err), "more than 65535 numbers");
}

TEST(LoadTable, FilesThatCannotBeRead) {
    const scratch s;
    double buf[4];
    const int one = 1;
    int rows = -7, cols = -7;
    table_error err;
    EXPECT_EQ(load_table(s.path("missing").c_str(), buf, 4, &one, &rows, &one, &cols, &err), 0);
    EXPECT_EQ(describe(err), "cannot open: No such file or directory");
    EXPECT_EQ(rows, -7) << "left untouched";
    EXPECT_EQ(load_table(s.dir().c_str(), buf, 4, &one, &rows, &one, &cols, &err), 0);
    EXPECT_EQ(describe(err), "read error: Is a directory");
    const std::string read_only = s.write("ro.tsv", "1\t2\n");
    ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
    EXPECT_EQ(load_table(read_only.c_str(), buf, 4, &one, &rows, &one, &cols, &err), -1);
}

} // namespace

// Every number reads as the double strtod gives it: decimals of every
// length, with and without points, leading and trailing zeros, exponents
// small and large, near the limits of the exact fast way and beyond it.
TEST(LoadTable, NumbersReadAsStrtodReadsThem) {
    scratch s;
    std::mt19937_64 rng(99);
    for (int file = 0; file < 3; ++file) {
        std::string text;
        std::vector<std::string> tokens;
        for (int i = 0; i < 40000; ++i) {
            std::string t = rng() % 2 ? "-" : (rng() % 5 ? "" : "+");
            const int lead = static_cast<int>(rng() % 4), digits = 1 + static_cast<int>(rng() % 24);
            const int point = rng() % 3 ? static_cast<int>(rng() % (lead + digits + 1)) : -1;
            for (int d = 0; d < lead + digits; ++d) {
                if (d == point) t += '.';
                t += d < lead ? '0' : static_cast<char>('0' + rng() % 10);
            }
            if (point == lead + digits) t += '.';
            if (rng() % 2) {
                t += rng() % 2 ? 'e' : 'E';
                t += std::to_string(static_cast<int>(rng() % 80) - 40);
            }
            tokens.push_back(t);
            text += t + "\n";
        }
        // tables as the programs write them ("%1.15E"), of any magnitude
        for (int i = 0; i < 20000; ++i) {
            const double x = i % 2 ? std::bit_cast<double>(rng())
                                   : std::ldexp(static_cast<double>(rng() >> 11),
                                                static_cast<int>(rng() % 200) - 150);
            char t[32];
            std::snprintf(t, sizeof t, i % 3 ? "%1.15E" : "%1.15e", std::isfinite(x) ? x : -0.0);
            tokens.emplace_back(t);
            text += std::string(t) + "\n";
        }
        // halfway between two doubles, and next to it, in at most 19 digits
        for (const char* t : {"4503599627370497.5", "4503599627370496.5", "4503599627370497.50000001",
                              "1152921504606847104", "1152921504606847105", "1152921504606847103",
                              "1152921504606846976e1", "9007199254740993", "9007199254740995",
                              "-9007199254740993e-3", "18014398509481985e-2", "2.2250738585072014E-308",
                              "2.2250738585072011E-308", "1.7976931348623157E+308"}) {
            tokens.emplace_back(t);
            text += std::string(t) + "\n";
        }
        std::vector<double> buf;
        int rows = 0, cols = 0;
        table_error err;
        ASSERT_EQ(load(s, text, buf, rows, cols, err), -1) << describe(err);
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            const double want = std::strtod(tokens[i].c_str(), nullptr);
            ASSERT_EQ(std::memcmp(&buf[i], &want, sizeof want), 0) << tokens[i];
        }
    }
}
