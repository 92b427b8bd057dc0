// velmar end to end: the report, the exit status and the bytes of the
// result file, for every argument form and every way a run can fail.
#include "tests/e2e.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <regex>

namespace {

using e2e::table;
using Rows = std::vector<std::vector<double>>;

e2e::Result velmar(const e2e::TempDir& dir, const std::vector<std::string>& args) {
    return e2e::run(VELMAR_BIN, args, dir.path());
}

Rows col(const std::vector<double>& v) {
    Rows rows;
    for (double x : v) rows.push_back({x});
    return rows;
}

std::string e15(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%1.15E", v);
    return buf;
}

// The five report lines, the elapsed time matched by its layout only.
void expect_report(const std::string& out, int rows, const std::string& det,
                   const std::string& r2) {
    const std::string head = "Linear Regression solution X[" + std::to_string(rows) + "] found\n";
    EXPECT_EQ(out.substr(0, head.size()), head);
    std::smatch m;
    static const std::regex report("Linear Regression solution X\\[\\d+\\] found\n"
                                   "determinant= (\\S+)\n"
                                   "R\\^2 coefficent= (\\S+)\n"
                                   "elapsed time: \\d+\\.\\d{6} seconds\n"
                                   "X ==> C\n");
    ASSERT_TRUE(std::regex_match(out, m, report)) << out;
    if (!det.empty()) {
        EXPECT_EQ(m[1], det);
    }
    EXPECT_EQ(m[2], r2);
}

const std::vector<double> line_x = {1, 2, 3}, line_y = {3, 5, 7};
const std::string ONE = "1.000000000000000E+00", TWO = "2.000000000000000E+00";

} // namespace

TEST(Velmar, ArgumentFormsAndWorkedFits) {
    static const struct {
        const char* name;
        Rows x;
        std::vector<double> y;
        std::vector<std::string> extra; // after X Y C
        std::vector<double> result;
        std::string det; // empty: not checked
        std::string r2;
    } cases[] = {
        // clang-format off
        {"line", col(line_x), line_y, {}, {1, 2}, TWO, ONE},
        {"degree 1", col(line_x), line_y, {"1"}, {1, 2}, TWO, ONE},
        // five: the degree, then the intercept (six are refused: the catalogue)
        {"line through the origin", col(line_x), line_y, {"1", "0"}, {0, 17.0 / 7}, e15(14),
         e15(578.0 / 581)},
        {"cubic through the origin", col(line_x), line_y, {"3", "0"}, {0, 23.0 / 6, -1, 1.0 / 6},
         e15(144), ONE},
        {"intercept 0.1", col(line_x), {1.1, 2.1, 3.1}, {"1", "0.1"}, {0.1, 1}, e15(14), ONE},
        {"quarter", col(line_x), {1, 3, 2}, {}, {1, 0.5}, TWO, e15(0.25)},
        {"constant y", col(line_x), {4, 4, 4}, {}, {4, 0}, TWO, ONE},
        // design columns x1, x2, x1^2, x2^2: y = 1 + 2 x1 + 3 x2 + 4 x1^2 + 5 x2^2
        {"two columns, degree 2", {{0, 1}, {1, 0}, {2, -1}, {3, 2}, {-1, 3}, {-2, 1}, {1, -2}},
         {9, 7, 23, 69, 57, 21, 21}, {"2"}, {1, 2, 3, 4, 5}, "", ONE},
        // y = 1 - x + 0.5 x^2 + 2 x^3
        {"cubic", col({-2, -1, 0, 1, 2, 3}), {-11, 0.5, 1, 2.5, 17, 56.5}, {"3"}, {1, -1, 0.5, 2},
         "", ONE},
        // the determinant 2E-340 is below the range of a double
        {"tiny scale", col({1e-170, 2e-170, 3e-170}), {3e-170, 5e-170, 7e-170}, {}, {1e-170, 2},
         "2.000000000000000E-340", ONE},
        {"large offset", col({1000000.001, 1000000.002, 1000000.004, 999999.999}),
         {2000003.002, 2000003.004, 2000003.008, 2000002.998}, {}, {3, 2}, "", ONE},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        e2e::TempDir dir;
        dir.write("X", table(c.x));
        dir.write("Y", table(col(c.y)));
        std::vector<std::string> args = {"X", "Y", "C"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const auto r = velmar(dir, args);
        EXPECT_EQ(r.status, 0);
        expect_report(r.out, static_cast<int>(c.result.size()), c.det, c.r2);
        EXPECT_EQ(dir.read("C"), table(col(c.result)));
        EXPECT_EQ(r.err, "");
    }
}

// y exactly a polynomial of degree d in x, fitted at 2 d + 30 digits:
// every coefficient comes back exact and R^2 prints as 1.
TEST(Velmar, RecoversPolynomials) {
    for (int d : {2, 5, 10}) {
        SCOPED_TRACE(d);
        std::vector<double> xs, ys, coef;
        for (int k = 0; k <= d; ++k)
            coef.push_back((k % 2 == 0 ? 1 : -1) * (k + 1) * (k % 3 == 0 ? 0.5 : 1));
        for (int v = -8; v <= 8; ++v) {
            double y = 0, p = 1;
            for (double c : coef) {
                y += c * p; // exact: multiples of 1/2 below 2^52
                p *= v;
            }
            xs.push_back(v);
            ys.push_back(y);
        }
        e2e::TempDir dir;
        dir.write("X", table(col(xs)));
        dir.write("Y", table(col(ys)));
        const auto r = velmar(dir, {"X", "Y", "C", std::to_string(d)});
        EXPECT_EQ(r.status, 0);
        expect_report(r.out, d + 1, "", "1.000000000000000E+00");
        EXPECT_EQ(dir.read("C"), table(col(coef)));
    }
}

TEST(Velmar, UsageScreen) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"X"}, {"X", "Y"}}) {
        e2e::TempDir dir;
        const auto r = velmar(dir, args);
        EXPECT_EQ(r.status, 1);
        const std::string fixed = "\nLinear Regression v.1.0   X, Y -> Coefficents\n"
                                  "usage: VELMAR file_X file_Y file_C [degree] [Intcpt]\n"
                                  "degree (default=1) sets the regression polynomial degree\n"
                                  "Intcpt, after the degree, forces the regression intercept; "
                                  "nothing may follow it\n"
                                  "Files contain matrices in ASCII Tab delimited\n";
        ASSERT_EQ(r.out.substr(0, fixed.size()), fixed);
        // one more line, then the options
        const std::string credit = r.out.substr(fixed.size());
        EXPECT_GT(credit.find('\n'), 1u);
        EXPECT_EQ(credit.find("options, before the file names:\n"), credit.find('\n') + 1);
    }
}

// Every failure prints its one line and exits with 1; no result file is
// made, and an existing one is left as it was.
TEST(Velmar, Failures) {
    const std::string x3 = table(col(line_x)), y3 = table(col(line_y)),
                      y4 = table(col({1, 2, 3, 5}));
    const std::string wide = table({{1, 2, 3}, {4, 5, 6}}), SINGULAR = "singular matrix\n";
    static const std::string none = "\x01"; // no such file
    const struct {
        const char* name;
        std::string x, y;
        std::vector<std::string> extra;
        std::string out;
    } cases[] = {
        // clang-format off
        {"degree not whole", x3, y3, {"2x"}, "degree <2x> is not a whole number\n"},
        {"degree a word", x3, y3, {"abc"}, "degree <abc> is not a whole number\n"},
        {"degree a fraction", x3, y3, {"2.0"}, "degree <2.0> is not a whole number\n"},
        {"degree empty", x3, y3, {""}, "degree <> is not a whole number\n"},
        {"degree 0", x3, y3, {"0"}, "degree <0> is below 1\n"},
        {"degree negative", x3, y3, {"-1"}, "degree <-1> is below 1\n"},
        {"degree 39", x3, y3, {"39"},
         "degree <39> is above 38, the highest the working precision allows\n"},
        {"degree huge", x3, y3, {"99999999999"},
         "degree <99999999999> is above 38, the highest the working precision allows\n"},
        {"intercept a word", x3, y3, {"1", "abc"},
         "intercept <abc> is not a finite decimal number\n"},
        {"intercept infinite", x3, y3, {"1", "1e999"},
         "intercept <1e999> is not a finite decimal number\n"},
        {"intercept inf", x3, y3, {"1", "inf"}, "intercept <inf> is not a finite decimal number\n"},
        {"intercept empty", x3, y3, {"1", ""}, "intercept <> is not a finite decimal number\n"},
        // the arguments are checked before any file is read
        {"degree before X", none, y3, {"0"}, "degree <0> is below 1\n"},
        {"X missing", none, y3, {}, "matrix <X> not found\n"},
        {"X empty", "", y3, {}, "matrix <X> holds no number\n"},
        {"X not a number", "1,5\n", y3, {},
         "matrix <X> row 1 column 1: not a number: \"1,5\"\n"},
        {"X ragged", "1\t2\n3\n", y3, {}, "matrix <X> row 2 has 1 column, row 1 has 2\n"},
        {"X wide", wide, y3, {}, "Error in matrix A: rows less than columns: A[2,3]\n"},
        // the input's own column count, before the powers are added
        {"X wide at degree 2", wide, none, {"2"},
         "Error in matrix A: rows less than columns: A[2,3]\n"},
        {"Y missing", x3, none, {}, "matrix <Y> not found\n"},
        {"Y empty", x3, "\n\n", {}, "matrix <Y> holds no number\n"},
        {"Y two columns", x3, table({{1, 2}, {3, 4}, {5, 6}}), {},
         "Incorrect dimension in matrix: Y[3,2]\n"},
        {"Y short", x3, table(col({1, 2})), {}, "Incorrect dimension in matrix: Y[2,1]\n"},
        {"identical columns", table({{1, 1}, {2, 2}, {4, 4}, {3, 3}}), y4, {}, SINGULAR},
        {"identical around 1000",
         table({{1000.5, 1000.5}, {1001.25, 1001.25}, {999.75, 999.75}, {1000.125, 1000.125}}),
         y4, {}, SINGULAR},
        {"identical around 1e-6",
         table({{1.5e-6, 1.5e-6}, {2.25e-6, 2.25e-6}, {0.75e-6, 0.75e-6}}), y3, {}, SINGULAR},
        {"identical around 1e12",
         table({{1.5e12, 1.5e12}, {2.25e12, 2.25e12}, {0.75e12, 0.75e12}}), y3, {}, SINGULAR},
        {"proportional through the origin", table({{1, 3}, {2, 6}, {4, 12}}), y3, {"1", "0"},
         SINGULAR},
        {"constant column", table(col({5, 5, 5})), y3, {}, SINGULAR},
        {"zero column through the origin", table(col({0, 0, 0})), y3, {"1", "0"}, SINGULAR},
        // x, x^2, x^3 on three rows: more design columns than centred rows span
        {"degree beyond the rows", x3, y3, {"3"}, SINGULAR},
        // as many rows as columns passes the shape check
        {"square X", table({{1, 2, 3}, {4, 5, 7}, {2, 9, 1}}), y3, {}, SINGULAR},
        {"beyond double, slope", table(col({1e-200, 2e-200, 3e-200})),
         table(col({1e200, 2e200, 3e200})), {},
         "result C[2,1] = 1E400 is beyond the range of a double\n"},
        {"beyond double, intercept", table(col({-1e10 - 1, -1e10, -1e10 + 1})),
         table(col({0, 1e300, 2e300})), {},
         "result C[1,1] = 1.0000000001E310 is beyond the range of a double\n"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool existing : {false, true}) {
            e2e::TempDir dir;
            if (c.x != none) dir.write("X", c.x);
            if (c.y != none) dir.write("Y", c.y);
            if (existing) dir.write("C", "precious\n");
            std::vector<std::string> args = {"X", "Y", "C"};
            args.insert(args.end(), c.extra.begin(), c.extra.end());
            const auto r = velmar(dir, args);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, c.out);
            if (existing) {
                EXPECT_EQ(dir.read("C"), "precious\n");
            } else {
                EXPECT_FALSE(dir.exists("C"));
            }
        }
    }
}

TEST(Velmar, FailedWrites) {
    e2e::TempDir dir;
    dir.write("X", table(col(line_x)));
    dir.write("Y", table(col(line_y)));
    const auto missing = velmar(dir, {"X", "Y", "no/such/folder/C"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "sorry, something wrong");

    const auto full = velmar(dir, {"X", "Y", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.out, "sorry, something wrong");

    // a folder that takes no new file: the old result stays
    dir.write("C", "precious\n");
    e2e::expect_write_refused_in_locked_folder(VELMAR_BIN, {"X", "Y", "C"}, dir, "C");
    // and a good run replaces it
    EXPECT_EQ(velmar(dir, {"X", "Y", "C"}).status, 0);
    EXPECT_EQ(dir.read("C"), table(col({1, 2})));
}

TEST(Velmar, LongFileNames) {
    e2e::TempDir dir;
    const std::string x(120, 'x'), y(150, 'y'), c(200, 'c');
    dir.write(x, table(col(line_x)));
    dir.write(y, table(col(line_y)));
    const auto r = velmar(dir, {x, y, c});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(r.out.size() - c.size() - 7), "X ==> " + c + "\n");
    EXPECT_EQ(dir.read(c), table(col({1, 2})));
}

// The summary comes before the check's line, which stays last; the
// residuals go to standard output; a place the result takes is refused,
// and a failed write of the residuals writes no result either. (The
// manual page's example shows a whole summary and a residual file.)
TEST(Velmar, SummaryAndResiduals) {
    e2e::TempDir dir;
    dir.write("X", table(col(line_x)));
    dir.write("Y", table(col({1, 3, 2})));
    const std::string last = "residual SS= 1.500000000000000E+00\n"
                             "check: every result agrees to 16 digits at 60 digits\n";
    const auto r = velmar(dir, {"-sc", "X", "Y", "C"});
    EXPECT_EQ(r.out.substr(r.out.size() - last.size()), last);
    EXPECT_EQ(velmar(dir, {"--residuals=-", "X", "Y", "C"}).out,
              table({{1.5, -0.5}, {2, 1}, {2.5, -0.5}}));
    for (const auto& [residuals, line] :
         {std::pair{"C2", "residuals <C2> would go where the result goes\n"},
          {"no/such/R", "residuals <no/such/R> cannot be written\n"}}) {
        const auto f = velmar(dir, {"-r", residuals, "X", "Y", "C2"});
        EXPECT_EQ(f.status, 1);
        EXPECT_EQ(f.out, line);
        EXPECT_FALSE(dir.exists("C2"));
    }
}
