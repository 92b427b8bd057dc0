// tarsik end to end: the console report, the exit status and the bytes of X.
#include "tests/e2e.h"
#include "testsupport/decimal.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

using e2e::table;
using Table = std::vector<std::vector<double>>;

e2e::Result tarsik(const e2e::TempDir& dir, const std::vector<std::string>& args) {
    return e2e::run(TARSIK_BIN, args, dir.path());
}

// The console output with the elapsed seconds, checked for their form,
// replaced by T.
std::string report(const std::string& out) {
    static const std::regex elapsed("elapsed time: [0-9]+\\.[0-9]{6} seconds\n");
    return std::regex_replace(out, elapsed, "elapsed time: T seconds\n");
}

std::string success(int rows, int cols, const std::string& det) {
    return "Linear system solution X[" + std::to_string(rows) + " " + std::to_string(cols) +
           "] found\ndeterminant= " + det + "\nelapsed time: T seconds\nX ==> X\n";
}

// n band rows (0, d, 0) and n right-hand sides of 1.
void identity_system(const e2e::TempDir& dir, int n, double d) {
    dir.write("A", table(Table(static_cast<std::size_t>(n), {0, d, 0})));
    dir.write("B", table(Table(static_cast<std::size_t>(n), {1})));
}

} // namespace

TEST(Tarsik, Solves) {
    static const struct {
        Table a, b, x;
        std::string det;
    } cases[] = {
        {{{0, 2, 1}, {1, 2, 1}, {1, 2, 0}},
         {{4}, {8}, {8}},
         {{1}, {2}, {3}},
         "4.000000000000000E+00"},
        // rows interchanged; two right-hand sides
        {{{9, 1, 2}, {3, 4, 9}}, {{3, 5}, {7, 11}}, {{1, 1}, {1, 2}}, "-2.000000000000000E+00"},
        {{{7, 4, 9}}, {{2, -1, 0.1}}, {{0.5, -0.25, 0.025}}, "4.000000000000000E+00"},
        {{{0, 3, 0}}, {{1}}, {{1.0 / 3}}, "3.000000000000000E+00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.det);
        e2e::TempDir dir;
        dir.write("A", table(c.a));
        dir.write("B", table(c.b));
        const auto r = tarsik(dir, {"A", "B", "X"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(report(r.out),
                  success(static_cast<int>(c.x.size()), static_cast<int>(c.x[0].size()), c.det));
        EXPECT_EQ(dir.read("X"), table(c.x));
    }
}

// Determinants far outside the range of a double print from the x_num.
// 0.5^2000 is checked against its exact digits rounded to 16 (the tail
// after the 16th digit ends in ...5, so it is never a tie).
TEST(Tarsik, DeterminantBeyondDoubleRange) {
    Digits five = "1"; // 5^2000, and 0.5^2000 = 5^2000 x 10^-2000
    for (int i = 0; i < 2000; ++i) five = mul(five, "5");
    const Digits lead = add(five.substr(0, 16), five[16] >= '5' ? "1" : "");
    const auto power = static_cast<long long>(five.size() + lead.size()) - 16 - 1 - 2000;
    const std::string half =
        lead.substr(0, 1) + "." + lead.substr(1, 15) + "E" + std::to_string(power);
    EXPECT_EQ(half, "8.709809816217217E-603");

    const struct {
        int n;
        double d, x;
        std::string det;
    } cases[] = {
        {2000, 0.5, 2, half},
        {2000, 1000, 0.001, "1.000000000000000E+6000"},
        {333, -10, -0.1, "-1.000000000000000E+333"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.det);
        e2e::TempDir dir;
        identity_system(dir, c.n, c.d);
        const auto r = tarsik(dir, {"A", "B", "X"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(report(r.out), success(c.n, 1, c.det));
        EXPECT_EQ(dir.read("X"), table(Table(static_cast<std::size_t>(c.n), {c.x})));
    }
}

// Every failure: one line, status 1, no X written and an existing X kept.
TEST(Tarsik, Failures) {
    static const std::string usage = "\nTridiagonal Linear System ==>  A X = B\n"
                                     "usage: TARSIK file_A file_B file_X\n"
                                     "Files contain matrices in ASCII Tab delimited\n";
    static const struct {
        const char *a, *b; // nullptr: no such file
        std::vector<std::string> args;
        std::string out; // for the usage screen: its fixed first lines
    } cases[] = {
        {"0\t1\t0\n", "1\n", {}, usage},
        {"0\t1\t0\n", "1\n", {"A", "B"}, usage},
        {nullptr, "1\n", {"A", "B", "X"}, "matrix <A> not found\n"},
        // A's columns are checked before B is read
        {"1\t2\n3\t4\n", nullptr, {"A", "B", "X"}, "Error: incorrect dimension A[2,2]\n"},
        {"0\t1\t2\t3\n", "1\n", {"A", "B", "X"}, "Error: incorrect dimension A[1,4]\n"},
        {"0\t1\t0\n", nullptr, {"A", "B", "X"}, "matrix <B> not found\n"},
        {"0\t1\t1\n1\t2\t0\n",
         "1\n2\n3\n",
         {"A", "B", "X"},
         "Error: incorrect dimension A[2,3] * B[3,1]\n"},
        {"", "1\n", {"A", "B", "X"}, "matrix <A> holds no number\n"},
        {"0\t1\t0\n", "\n", {"A", "B", "X"}, "matrix <B> holds no number\n"},
        {"0\t1,5\t0\n",
         "1\n",
         {"A", "B", "X"},
         "matrix <A> row 1 column 2: not a number: \"1,5\"\n"},
        {"0\t1\t2\n2\t4\t0\n", "1\n1\n", {"A", "B", "X"}, "singular matrix\n"},
        {"0\t3e6\t1e6\n9e6\t3e6\t0\n", "1\n1\n", {"A", "B", "X"}, "singular matrix\n"},
        {"0\t1e-200\t0\n",
         "1e200\n",
         {"A", "B", "X"},
         "result X[1,1] = 1E400 is beyond the range of a double\n"},
        {"0\t1\t0\n", "1\n", {"A", "B", "no/such/folder/X"}, "sorry, something wrong"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        for (const bool existing : {false, true}) {
            e2e::TempDir dir;
            if (c.a) dir.write("A", c.a);
            if (c.b) dir.write("B", c.b);
            if (existing) dir.write("X", "precious\n");
            const auto r = tarsik(dir, c.args);
            EXPECT_EQ(r.status, 1);
            if (c.out == usage)
                EXPECT_EQ(r.out.rfind(usage, 0), 0u) << r.out;
            else
                EXPECT_EQ(r.out, c.out);
            if (existing)
                EXPECT_EQ(dir.read("X"), "precious\n");
            else
                EXPECT_FALSE(dir.exists("X"));
        }
    }
}

TEST(Tarsik, OutputTargets) {
    e2e::TempDir dir;
    identity_system(dir, 2, 4);
    dir.write("X", "precious\n");
    // a folder that takes no new file, and a device that takes nothing
    e2e::expect_write_refused_in_locked_folder(TARSIK_BIN, {"A", "B", "X"}, dir, "X");
    const auto full = tarsik(dir, {"A", "B", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.out, "sorry, something wrong");
    // a good run replaces X; a fourth argument is ignored
    EXPECT_EQ(tarsik(dir, {"A", "B", "X", "extra"}).status, 0);
    EXPECT_EQ(dir.read("X"), table({{0.25}, {0.25}}));
    // names far beyond 79 characters
    const std::string name(200, 'a');
    dir.write(name + ".a", table({{0, 2, 0}}));
    dir.write(name + ".b", table({{1}}));
    const auto long_names = tarsik(dir, {name + ".a", name + ".b", name + ".x"});
    EXPECT_EQ(long_names.status, 0);
    EXPECT_EQ(dir.read(name + ".x"), table({{0.5}}));
}
