// The determinant line and the load messages of the shared pipeline.
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
