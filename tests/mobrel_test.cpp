// mobrel end to end: console line, exit status and the bytes of C.
#include "tests/e2e.h"
#include "testsupport/decimal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace {

using e2e::table;

e2e::Result mobrel(const e2e::TempDir& dir, const std::vector<std::string>& args) {
    return e2e::run(MOBREL_BIN, args, dir.path());
}

} // namespace

TEST(Mobrel, WorkedProducts) {
    static const struct {
        std::vector<std::vector<double>> a, b, c;
    } cases[] = {
        // the products of the decimal forms add to exactly 0.05
        {{{0.1, 0.2}}, {{0.1}, {0.2}}, {{0.05}}},
        // 1E20 + 1 keeps its 21 digits before -1E20 comes
        {{{1, 1, 1}}, {{1e20}, {1}, {-1e20}}, {{1}}},
        {{{1, 2, 3}, {4, 5, 6}}, {{1, 2}, {3, 4}, {5, 6}}, {{22, 28}, {49, 64}}},
        {{{-2.5}}, {{4}}, {{-10}}},
        {{{1e-300}}, {{1e-300}}, {{0}}}, // an underflow is written as the nearest double
    };
    for (const auto& c : cases) {
        e2e::TempDir dir;
        dir.write("A", table(c.a));
        dir.write("B", table(c.b));
        const auto r = mobrel(dir, {"A", "B", "C"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "A * B ==> C\n");
        EXPECT_EQ(dir.read("C"), table(c.c));
    }
}

TEST(Mobrel, Failures) {
    static const struct {
        const char *a, *b; // nullptr: no such file
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {"1\n", "1\n", {"A", "B"}, ""}, // the usage screen, checked below
        {nullptr, "1\n", {"A", "B", "C"}, "matrix <A> not found\n"},
        {"1\n", nullptr, {"A", "B", "C"}, "matrix <B> not found\n"},
        {nullptr, nullptr, {"A", "B", "C"}, "matrix <A> not found\n"},
        {"1\t2\t3\n4\t5\t6\n", "1\t2\n3\t4\n", {"A", "B", "C"},
         "Error: incorrect dimension A[2,3] * B[2,2]\n"},
        {"", "1\n", {"A", "B", "C"}, "matrix <A> holds no number\n"},
        {"1\n", "\t\t\n", {"A", "B", "C"}, "matrix <B> holds no number\n"},
        {"1\t2\n3\n", "1\n", {"A", "B", "C"}, "matrix <A> row 2 has 1 column, row 1 has 2\n"},
        {"1\n", "1,5\n", {"A", "B", "C"}, "matrix <B> row 1 column 1: not a number: \"1,5\"\n"},
        {"1e200\n", "1e200\n", {"A", "B", "C"},
         "result C[1,1] = 1E400 is beyond the range of a double\n"},
        {"1\n", "2\n", {"A", "B", "no/such/folder/C"}, "sorry, something wrong"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        e2e::TempDir dir;
        if (c.a) dir.write("A", c.a);
        if (c.b) dir.write("B", c.b);
        const auto r = mobrel(dir, c.args);
        EXPECT_EQ(r.status, 1);
        if (c.args.size() < 3)
            EXPECT_EQ(r.out.rfind("Matrix Multiplication ==>  A * B = C\n"
                                  "usage: MOBREL file_A file_B file_C\n"
                                  "Files contain matrices in ASCII Tab delimited\n",
                                  0),
                      0u);
        else
            EXPECT_EQ(r.out, c.out);
        EXPECT_FALSE(dir.exists("C"));
    }
}

TEST(Mobrel, FailedRunLeavesExistingResultAlone) {
    e2e::TempDir dir;
    dir.write("A", "1\t2\n");
    dir.write("B", "1\t2\n");
    dir.write("C", "precious\n");
    EXPECT_EQ(mobrel(dir, {"A", "B", "C"}).status, 1); // 1x2 by 1x2
    EXPECT_EQ(dir.read("C"), "precious\n");
    // an unwritable target
    dir.write("B", "3\n4\n");
    e2e::expect_write_refused_in_locked_folder(MOBREL_BIN, {"A", "B", "C"}, dir, "C");
    // /dev/full takes nothing
    const auto full = e2e::run(MOBREL_BIN, {"A", "B", "/dev/full"}, dir.path());
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.out, "sorry, something wrong");
    // and a good run replaces it; extra arguments are ignored
    EXPECT_EQ(mobrel(dir, {"A", "B", "C", "extra"}).status, 0);
    EXPECT_EQ(dir.read("C"), table({{11}}));
}

TEST(Mobrel, LongFileNames) {
    e2e::TempDir dir;
    const std::string name(200, 'a');
    dir.write(name, "2\n");
    const auto r = mobrel(dir, {name, name, name + ".out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read(name + ".out"), table({{4}}));
}

namespace {

Dec from_text(const std::string& t) {
    x_num x;
    cvsx(t, &x, 100);
    return value_of(x);
}

double nearest(const Dec& d) {
    const std::string t = (d.neg ? "-" : "") + (d.mag.empty() ? "0" : d.mag) + "e" + std::to_string(d.exp);
    return std::strtod(t.c_str(), nullptr);
}


} // namespace

// Against the exact product of the inputs' decimal forms: each step of a
// 30-digit sum is cut by less than 2 x 10^(ord - 29), ord the leading
// power of the larger addend; where the exact sum and that bound round to
// one double, the program must print it.
TEST(Mobrel, MatchesTheExactProduct) {
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> expo(-8, 8), coin(0, 1);
    int checked = 0;
    for (int round = 0; round < 6; ++round) {
        const int n = 3 + round, inner = 2 + 3 * round, m = 4;
        std::vector<std::vector<double>> a(n, std::vector<double>(inner)), b(inner, std::vector<double>(m));
        for (auto* mat : {&a, &b})
            for (auto& row : *mat)
                for (double& v : row) v = (coin(rng) < 0.5 ? -1 : 1) * std::pow(10.0, expo(rng));
        e2e::TempDir dir;
        dir.write("A", table(a));
        dir.write("B", table(b));
        ASSERT_EQ(mobrel(dir, {"A", "B", "C"}).status, 0);
        const std::string out = dir.read("C");
        const char* p = out.c_str();
        char buf[40];
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < m; ++j) {
                Dec sum, bound;
                for (int k = 0; k < inner; ++k) {
                    std::snprintf(buf, sizeof buf, "%1.15E", a[i][k]);
                    const Dec x = from_text(buf);
                    std::snprintf(buf, sizeof buf, "%1.15E", b[k][j]);
                    const Dec prod = x * from_text(buf);
                    const long long ord = std::max(order(sum), order(prod)) + 1; // + 1: sum is exact, not cut
                    bound = bound + Dec{false, "2", ord - 29};
                    sum = sum + prod;
                }
                // the file holds 16 digits of each element: compare those
                const std::size_t len = std::strcspn(p, "\t\n");
                const std::string got(p, len);
                p += len + 1;
                std::snprintf(buf, sizeof buf, "%1.15E", nearest(sum));
                const std::string want = buf;
                Dec lo = bound, hi = sum;
                lo.neg = !lo.neg;
                if (nearest(sum + lo) != nearest(hi + bound)) continue; // too close to call
                ++checked;
                ASSERT_EQ(got, want) << "C[" << i + 1 << "," << j + 1 << "] round " << round;
            }
    }
    EXPECT_GT(checked, 100);
}

// A result sent to /dev/stdout while standard output goes to a file lands
// in that file after what was written before, and nothing is lost; the
// report line goes to standard error, leaving the table clean.
TEST(Mobrel, ResultToRedirectedStandardOutput) {
    e2e::TempDir dir;
    dir.write("A", "2\n");
    dir.write("B", "3\n");
    for (const char* redirect : {">", ">>"}) {
        SCOPED_TRACE(redirect);
        dir.write("log", "");
        const std::string script = std::string("{ echo header; '") + MOBREL_BIN +
                                   "' A B /dev/stdout; echo after; } " + redirect + " log";
        const auto r = e2e::run("/bin/sh", {"-c", script}, dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "A * B ==> /dev/stdout\n");
        EXPECT_EQ(dir.read("log"), "header\n" + table({{6}}) + "after\n");
    }
}
