// The shared pipeline: the determinant line, the load messages, numbers
// read as written, the command line and the digits check.
#include "pipeline/check.h"
#include "pipeline/command.h"
#include "pipeline/pipeline.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

x_num number(const char* text) {
    x_num x;
    cvsx(text, &x, 60);
    return x;
}

} // namespace

TEST(Pipeline, DeterminantLine) {
    static const struct {
        const char* det;
        const char* want;
    } cases[] = {
        {"5", "5.000000000000000E+00"},
        {"-2", "-2.000000000000000E+00"},
        {"0", "0.000000000000000E+00"},
        {"1.5E-300", "1.500000000000000E-300"},
        // beyond a double: rounded to 16 digits from the x_num itself
        {"8.70980981621721667557619549477E-603", "8.709809816217217E-603"},
        {"-1.23456789012345649E400", "-1.234567890123456E+400"},
        {"1.23456789012345650E400", "1.234567890123456E+400"},  // a tie goes to even
        {"1.23456789012345750E400", "1.234567890123458E+400"},
        {"9.99999999999999999E-400", "1.000000000000000E-399"}, // the carry moves the exponent
        {"2.5E-310", "2.500000000000000E-310"},                   // subnormal as a double
        {"1E-999", "1.000000000000000E-999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.det);
        EXPECT_EQ(pipeline::format_det(number(c.det)), c.want);
    }
}

TEST(Pipeline, LoadMessages) {
    char dir[] = "/tmp/pipeline_test_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string base = dir;
    static const struct {
        const char* content; // nullptr: no file
        const char* want;    // the console line, %s being the file name
    } cases[] = {
        {nullptr, "matrix <%s> not found\n"},
        {"", "matrix <%s> holds no number\n"},
        {"\t\n\n", "matrix <%s> holds no number\n"},
        {"1\t2\n3\tx\n", "matrix <%s> row 2 column 2: not a number: \"x\"\n"},
        {"1\t2\n3\n", "matrix <%s> row 2 has 1 column, row 1 has 2\n"},
    };
    pipeline::Loader loader;
    int n = 0;
    for (const auto& c : cases) {
        const std::string name = base + "/t" + std::to_string(n++);
        if (c.content != nullptr) std::ofstream(name) << c.content;
        char want[512];
        std::snprintf(want, sizeof want, c.want, name.c_str());
        testing::internal::CaptureStdout();
        EXPECT_FALSE(loader.load(name.c_str()).has_value());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), want);
        std::remove(name.c_str());
    }
    const std::string good = base + "/good";
    std::ofstream(good) << "1\t2\n3\t4\n";
    const auto m = loader.load(good.c_str());
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->rows(), 2);
    EXPECT_EQ((*m)[2][1], 3.0);
    std::remove(good.c_str());
    rmdir(dir);
}

// Table tokens read as written, where cvsx alone would cut leading zeros
// or miss a five-character exponent.
TEST(Pipeline, ReadExact) {
    static const struct {
        const char* token;
        int digits;
        const char* want; // cvxs at those digits
    } cases[] = {
        {"0.56", 30, "0.56"},
        {"0.0000000000000000000000000000000000001", 30, "1E-37"},
        {"1E+0005", 30, "100000"},
        {"+7E-0005", 10, "0.00007"},
        {"-000123.4500e-2", 30, "-1.2345"},
        {".5", 30, "0.5"},
        {"5.", 30, "5"},
        {"-0.000", 30, "0"},
        // at most `digits` significant digits, cut toward zero
        {"12345678901234567890123", 10, "1.23456789E22"},
        {"0.12345678901234567890123456789012345", 30, "0.12345678901234567890123456789"},
        {"9.99999999999999999999", 10, "9.999999999"},
        // an exponent beyond an int saturates, as the library's do
        {"1e-99999999999999999999", 30, "1E-2147483648"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token);
        x_num x;
        pipeline::read_exact(c.token, &x, c.digits);
        EXPECT_EQ(cvxs(&x, c.digits), c.want);
    }
}

// The options grammar, accepted forms and refusals alike.
TEST(CommandLine, Grammar) {
    static const char* const usage[] = {"usage: PROG file file file\n"};
    const pipeline::Program prog{"prog", usage, 3, "digits", "examples\n"};
    const std::string see = "; prog --help lists the options\n";
    static const struct {
        std::vector<const char*> args;
        int status;         // -1: the run goes on
        std::string out;    // printed; "usage" for the usage screen
        const char* digits; // the --digits text taken
        bool check, exact;
        std::vector<std::string> operands;
    } cases[] = {
        // clang-format off
        {{"A", "B", "C"}, -1, "", nullptr, false, false, {"A", "B", "C"}},
        {{"-d", "60", "A", "B", "C", "D"}, -1, "", "60", false, false, {"A", "B", "C", "D"}},
        {{"-d60", "A", "B", "C"}, -1, "", "60", false, false, {"A", "B", "C"}},
        {{"--digits=60", "A", "B", "C"}, -1, "", "60", false, false, {"A", "B", "C"}},
        {{"--digits", "60", "A", "B", "C"}, -1, "", "60", false, false, {"A", "B", "C"}},
        {{"-ce", "A", "B", "C"}, -1, "", nullptr, true, true, {"A", "B", "C"}},
        {{"-ecd60", "A", "B", "C"}, -1, "", "60", true, true, {"A", "B", "C"}},
        {{"--check", "--exact-input", "A", "B", "C"}, -1, "", nullptr, true, true, {"A", "B", "C"}},
        // the first operand ends the options: a negative number after it stays an operand
        {{"A", "-c", "B", "C", "-5"}, -1, "", nullptr, false, false, {"A", "-c", "B", "C", "-5"}},
        {{"-c", "--", "-A", "B", "C"}, -1, "", nullptr, true, false, {"-A", "B", "C"}},
        {{"-5", "A", "B", "C"}, 1, "unknown option <-5>" + see, nullptr, false, false, {}},
        {{"-cx", "A", "B", "C"}, 1, "unknown option <-x>" + see, nullptr, true, false, {}},
        {{"--bogus=1", "A", "B", "C"}, 1, "unknown option <--bogus>" + see, nullptr, false, false, {}},
        {{"-d"}, 1, "option <-d> needs a value" + see, nullptr, false, false, {}},
        {{"-c", "--digits"}, 1, "option <--digits> needs a value" + see, nullptr, true, false, {}},
        {{"--check=yes", "A", "B", "C"}, 1, "option <--check> takes no value" + see, nullptr, false, false, {}},
        {{"-h", "--bogus"}, 1, "unknown option <--bogus>" + see, nullptr, false, false, {}},
        {{}, 1, "usage", nullptr, false, false, {}},
        {{"-c", "A", "B"}, 1, "usage", nullptr, true, false, {}},
        {{"-h"}, 0, "usage", nullptr, false, false, {}},
        {{"-V"}, 0, "prog (xsuite) ", nullptr, false, false, {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        std::vector<char*> argv = {const_cast<char*>("prog")};
        std::string shown = "prog";
        for (const char* a : c.args) {
            argv.push_back(const_cast<char*>(a));
            shown += std::string(" ") + a;
        }
        SCOPED_TRACE(shown);
        pipeline::Command cmd;
        testing::internal::CaptureStdout();
        const auto status =
            pipeline::read_command(static_cast<int>(argv.size()), argv.data(), prog, &cmd);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(status.value_or(-1), c.status);
        if (c.out == "usage") {
            EXPECT_EQ(out.rfind(std::string(usage[0]) + "options, before the file names:\n", 0),
                      0u);
            EXPECT_NE(out.find("  -d, --digits=N     digits\n"), std::string::npos);
        } else {
            EXPECT_EQ(out.substr(0, c.out.size()), c.out);
        }
        EXPECT_EQ(cmd.digits_text == nullptr, c.digits == nullptr);
        if (cmd.digits_text != nullptr && c.digits != nullptr) {
            EXPECT_STREQ(cmd.digits_text, c.digits);
        }
        EXPECT_EQ(cmd.check, c.check);
        EXPECT_EQ(cmd.exact, c.exact);
        if (!status) {
            EXPECT_EQ(std::vector<std::string>(cmd.operands.begin(), cmd.operands.end()),
                      c.operands);
        }
    }
}

// K for a printed a and the b of the higher precision.
TEST(Check, AgreeingDigits) {
    static const struct {
        double a;
        int scale_a;
        double b;
        int scale_b;
        int k;
    } cases[] = {
        {1.5, 0, 1.5, 0, 16},
        {1, 0, 0, 0, 0},
        {0, 0, 1, 0, 0},
        {-1, 0, 1, 0, 0},
        {1.01, 0, 1, 0, 1},
        {1.0000001, 0, 1, 0, 6}, // the doubles differ by a little more than 1E-7
        {1.0000000000000002, 0, 1, 0, 15},
        // beyond the range of a double: printed digits and a power of ten
        {8.709809816217217, -603, 8.709809816217217, -603, 16},
        {8.709809816217217, -603, 8.709809816217100, -603, 13},
        {9.99, -5, 1, -4, 3},
        {1, -400, 1, -300, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.a) + " against " + std::to_string(c.b));
        EXPECT_EQ(pipeline::agreeing_digits({"", c.a, c.scale_a, {}}, {"", c.b, c.scale_b, {}}),
                  c.k);
    }
}

// check() names the first number with the fewest agreeing digits, the
// table before the report, or the failure of the run at P digits.
TEST(Check, Verdicts) {
    const auto outcome = [](double c12, double c21, double det) {
        pipeline::Outcome o{pipeline::DMatrix(2, 2), "X", {{"determinant", det, 0, {}}}};
        o.table[1][1] = 1;
        o.table[1][2] = c12;
        o.table[2][1] = c21;
        o.table[2][2] = 4;
        return o;
    };
    const pipeline::Outcome first = outcome(2, 3, 5);
    static const struct {
        double c12, c21, det;
        const char* line;
    } cases[] = {
        {2, 3, 5, "check: every result agrees to 16 digits at 60 digits\n"},
        {2.5, 3.5, 5, "check: X[1,2] agrees to 0 digits at 60 digits\n"},
        {2, 3.001, 5.001, "check: X[2,1] agrees to 3 digits at 60 digits\n"},
        {2, 3, 5.1, "check: determinant agrees to 1 digits at 60 digits\n"},
        {0, 0, 0, "check: the run at 60 digits failed: singular matrix\n"}, // 0: the run fails
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const pipeline::Job job = [&c, &outcome](int digits) -> std::optional<pipeline::Outcome> {
            EXPECT_EQ(digits, 60);
            if (c.det == 0) {
                std::fputs("singular matrix\n", pipeline::console());
                return std::nullopt;
            }
            return outcome(c.c12, c.c21, c.det);
        };
        testing::internal::CaptureStdout();
        const pipeline::Verdict v = pipeline::check(job, first, 60);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), ""); // the failure is only caught
        testing::internal::CaptureStdout();
        pipeline::print_verdict(v);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
    }
}
