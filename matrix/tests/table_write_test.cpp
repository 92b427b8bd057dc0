// output_matrix: the exact text, the round trip through load_table, failed
// writes that leave the target alone, file modes; the formatter against
// printf.
#include "matrix/matrix.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string printf_e15(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%1.15E", v);
    return buf;
}

// Random doubles of every kind: any bit pattern (NaNs and infinities too),
// subnormals, the largest values, few-bit mantissas at any exponent, and
// ties at the 16th digit such as 1234567890123456.5.
double random_double(std::mt19937_64& gen) {
    static const std::uint64_t masks[][2] = {{~0ULL, 0},
                                             {0x800FFFFFFFFFFFFFULL, 0},
                                             {0x800FFFFFFFFFFFFFULL, 0x7FE0000000000000ULL},
                                             {0xFFFFFFF000000000ULL, 0}};
    const std::uint64_t r = gen(), kind = gen() % 7;
    if (kind == 4) return static_cast<double>(1000000000000000ULL + r % 3500000000000000ULL) + 0.5;
    if (kind == 5) // exact binary fractions, whose expansions end in 5
        return std::ldexp(static_cast<double>((r | 1) & ((1ULL << 53) - 1)), -static_cast<int>(gen() % 64));
    if (kind == 6) { // 16-digit decimals across the range the programs meet most
        const std::string t = std::to_string(1000000000000000ULL + r % 9000000000000000ULL) + "e" +
                              std::to_string(static_cast<int>(gen() % 50) - 35);
        return std::strtod(t.c_str(), nullptr);
    }
    const std::uint64_t bits = (r & masks[kind][0]) | masks[kind][1];
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

TEST(FormatE15, MatchesPrintf) {
    const std::uint64_t seed = 4242;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937_64 gen(seed);
    std::vector<double> values = {0.0, -0.0, DBL_MAX, DBL_TRUE_MIN, 9.9999999999999995, -HUGE_VAL};
    for (int i = 0; i < 3000000; ++i) values.push_back(random_double(gen));
    char buf[FORMAT_E15_MAX];
    int differ = 0;
    for (const double v : values) {
        const std::string got(buf, format_e15(v, buf));
        if (got != printf_e15(v) && ++differ <= 5) ADD_FAILURE() << got << " != " << printf_e15(v);
    }
    EXPECT_EQ(differ, 0);
}

// Random matrices written, read back and written again: the same bytes.
TEST(OutputMatrix, RoundTrip) {
    const std::uint64_t seed = 99;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937_64 gen(seed);
    const scratch s;
    const std::string first = s.path("c.tsv"), second = s.path("again.tsv");
    static const int shapes[][2] = {{1, 1}, {3, 4}, {1, 200}, {21845, 3}};
    for (const auto& shape : shapes) {
        const int rows = shape[0], cols = shape[1];
        SCOPED_TRACE(std::to_string(rows) + " x " + std::to_string(cols));
        double** m = dmatrix(1, rows, 1, cols);
        for (int i = 1; i <= rows; ++i)
            for (int j = 1; j <= cols; ++j) do
                    m[i][j] = random_double(gen);
                while (!std::isfinite(m[i][j]));
        ASSERT_EQ(output_matrix(first.c_str(), m, 1, rows, 1, cols), -1);
        std::vector<double> buf(STACK_MAX);
        const int one = 1;
        int r = 0, c = 0;
        ASSERT_EQ(load_table(first.c_str(), buf.data(), STACK_MAX, &one, &r, &one, &c), -1);
        ASSERT_TRUE(r == rows && c == cols);
        double** back = input_matrix(buf.data(), 1, rows, 1, cols);
        ASSERT_EQ(output_matrix(second.c_str(), back, 1, rows, 1, cols), -1);
        EXPECT_EQ(scratch::read(second), scratch::read(first));
        free_dmatrix(back, 1, rows, 1, cols);
        free_dmatrix(m, 1, rows, 1, cols);
    }
}

// Each failed write returns 0, leaves the existing target as it was and no
// temporary file behind; the last one fills the disk halfway (a file size
// limit in a child process).
TEST(OutputMatrix, FailedWritesLeaveTheTargetAlone) {
    const scratch s;
    double** m = dmatrix(1, 2000, 1, 3);
    std::fill(&m[1][1], &m[1][1] + 6000, 0.1);
    const std::string target = s.write("c.tsv", "old\n"), folder = s.path("folder");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    EXPECT_EQ(output_matrix("/dev/full", m, 1, 2000, 1, 3), 0);
    EXPECT_EQ(output_matrix(s.path("missing/c.tsv").c_str(), m, 1, 1, 1, 1), 0);
    EXPECT_EQ(output_matrix(folder.c_str(), m, 1, 1, 1, 1), 0);
    EXPECT_EQ(output_matrix(target.c_str(), m, 1, 1, 3, 2), 0) << "no columns";
    EXPECT_EQ(output_matrix("/dev/null", m, 1, 2000, 1, 3), -1) << "a device is written directly";
    const auto fill_up = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{10000, 10000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::_Exit(output_matrix(target.c_str(), m, 1, 2000, 1, 3) == 0 ? 3 : 4);
    };
    EXPECT_EXIT(fill_up(), ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(scratch::read(target), "old\n");
    EXPECT_EQ(s.entries(), 2) << "a temporary file was left behind";
    free_dmatrix(m, 1, 2000, 1, 3);
}

mode_t mode_of(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// The exact text; a new file gets 0666 less the umask, a replaced one keeps
// its mode, a link keeps leading to the file it replaced; no rows give an
// empty file.
TEST(OutputMatrix, TextModesAndReplacement) {
    const scratch s;
    double** m = dmatrix(1, 2, 0, 1);
    std::copy_n(std::begin({1.5, 2.0, -300.0, 0.25}), 4, &m[1][0]);
    const std::string text = "1.500000000000000E+00\t2.000000000000000E+00\n"
                             "-3.000000000000000E+02\t2.500000000000000E-01\n";
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        const mode_t saved = ::umask(mask);
        EXPECT_EQ(output_matrix(s.path("new.tsv").c_str(), m, 1, 2, 0, 1), -1);
        ::umask(saved);
        EXPECT_EQ(scratch::read(s.path("new.tsv")), text);
        EXPECT_EQ(mode_of(s.path("new.tsv")), S_IFREG | (0666 & ~mask));
        std::remove(s.path("new.tsv").c_str());
    }
    const std::string old = s.write("old.tsv", "1\t2\n");
    ASSERT_EQ(::chmod(old.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("old.tsv", s.path("link.tsv").c_str()), 0);
    EXPECT_EQ(output_matrix(s.path("link.tsv").c_str(), m, 2, 2, 1, 1), -1);
    EXPECT_EQ(scratch::read(old), "2.500000000000000E-01\n");
    EXPECT_EQ(mode_of(old), S_IFREG | 0640);
    EXPECT_TRUE(S_ISLNK(mode_of(s.path("link.tsv"))));
    EXPECT_EQ(output_matrix(old.c_str(), m, 1, 0, 0, 1), -1);
    EXPECT_EQ(scratch::read(old), "");
    EXPECT_EQ(s.entries(), 2);
    free_dmatrix(m, 1, 2, 0, 1);
}

// A name of an open descriptor is written through it, after what it has
// taken, and never replaced by a new file: the caller's descriptor would
// no longer reach it.
TEST(OutputMatrix, DescriptorNamesWriteThrough) {
    const scratch s;
    const std::string file = s.write("log", "head\n");
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    struct stat before {};
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    double** m = dmatrix(1, 1, 1, 1);
    m[1][1] = 2;
    for (const std::string dir : {"/dev/fd/", "/proc/self/fd/"})
        EXPECT_EQ(output_matrix((dir + std::to_string(fd)).c_str(), m, 1, 1, 1, 1), -1) << dir;
    ::close(fd);
    EXPECT_EQ(output_matrix(("/dev/fd/" + std::to_string(fd)).c_str(), m, 1, 1, 1, 1), 0); // closed
    free_dmatrix(m, 1, 1, 1, 1);
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(scratch::read(file), "head\n2.000000000000000E+00\n2.000000000000000E+00\n");
    EXPECT_EQ(s.entries(), 1);
}

} // namespace
