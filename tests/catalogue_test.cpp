// The bad-input catalogue and the output faults, end to end: every way a
// command line, an input file or an output target can be wrong, run against
// mobrel, tarsik and velmar alike. A refusal is one console line, status 1,
// nothing on standard error, no result file and no stray file; an existing
// result is left byte for byte as it was.
#include "tests/e2e.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <regex>
#include <set>
#include <signal.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using e2e::table;
using Rows = std::vector<std::vector<double>>;
using Args = std::vector<std::string>;

inline constexpr char PRECIOUS[] = "precious\n";
inline constexpr char WRITE_FAILED[] = "sorry, something wrong";
inline constexpr uid_t NOBODY = 65534;
inline constexpr int CAPACITY = 65535; // the most numbers a table may hold

// Whether the programs are built with the address sanitizer (as this test is).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool UNDER_ASAN = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool UNDER_ASAN = true;
#else
inline constexpr bool UNDER_ASAN = false;
#endif
#else
inline constexpr bool UNDER_ASAN = false;
#endif

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// text with every "$1", "$2", "$3" replaced by names[0..2] and "@" by at.
std::string expand(std::string_view text, const Args& names, std::string_view at = "") {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '@')
            out += at;
        else if (text[i] == '$' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '3')
            out += names.at(static_cast<std::size_t>(text[++i] - '1'));
        else
            out += text[i];
    }
    return out;
}

// The console output with the elapsed seconds, checked for their form, as T.
std::string report(const std::string& out) {
    static const std::regex elapsed("elapsed time: [0-9]+\\.[0-9]{6} seconds\n");
    return std::regex_replace(out, elapsed, "elapsed time: T seconds\n");
}

// A program, a good pair of inputs with its result and report, and a pair
// of inputs of 65535 numbers each (as many as the shapes allow) with theirs.
struct Program {
    const char* bin;
    Args in; // names of the two inputs
    std::string good[2], result, done;
    std::string big[2], big_result, big_done;
    std::string usage; // the first line of the usage screen
};

// clang-format off
const std::vector<Program>& programs() {
    static const std::vector<Program> all = [] {
        std::string ramp, line; // x = 1..65535 and y = 2 x + 1
        for (int v = 1; v <= CAPACITY; ++v) {
            ramp += std::to_string(v) + "\n";
            line += std::to_string(2 * v + 1) + "\n";
        }
        const std::string fit = "Linear Regression solution X[2] found\ndeterminant= ",
                          fit_end = "\nR^2 coefficent= 1.000000000000000E+00\n"
                                    "elapsed time: T seconds\nX ==> $3\n";
        return std::vector<Program>{
            {MOBREL_BIN, {"A", "B"}, {"1\t2\n3\t4\n", "5\t6\n7\t8\n"}, table({{19, 22}, {43, 50}}),
             "$1 * $2 ==> $3\n",
             // one row times one column, both at capacity
             {repeat("1\t", CAPACITY - 1) + "1\n", repeat("1\n", CAPACITY)}, table({{CAPACITY}}),
             "$1 * $2 ==> $3\n", "Matrix Multiplication ==>  A * B = C\n"},
            {TARSIK_BIN, {"A", "B"}, {"0\t2\t1\n1\t2\t1\n1\t2\t0\n", "4\t1\n8\t0\n8\t0\n"},
             table({{1, 0.75}, {2, -0.5}, {3, 0.25}}),
             "Linear system solution X[3 2] found\ndeterminant= 4.000000000000000E+00\n"
             "elapsed time: T seconds\nX ==> $3\n",
             // the identity of order 21845 and three right-hand sides of ones
             {repeat("0\t1\t0\n", CAPACITY / 3), repeat("1\t1\t1\n", CAPACITY / 3)},
             table(Rows(CAPACITY / 3, {1, 1, 1})),
             "Linear system solution X[21845 3] found\ndeterminant= 1.000000000000000E+00\n"
             "elapsed time: T seconds\nX ==> $3\n",
             "\nTridiagonal Linear System ==>  A X = B\n"},
            // the determinant is n (n^2 - 1) / 12 for x = 1..n
            {VELMAR_BIN, {"X", "Y"}, {"1\n2\n3\n", "3\n5\n7\n"}, table({{1}, {2}}),
             fit + "2.000000000000000E+00" + fit_end, {ramp, line}, table({{1}, {2}}),
             fit + "2.345517432832000E+13" + fit_end,
             "\nLinear Regression v.1.0   X, Y -> Coefficents\n"},
        };
    }();
    return all;
}
// clang-format on

enum class Kind { text, missing, folder, unreadable };

struct Input {
    Kind kind;
    std::string text;
};

Input text(std::string t) {
    return {Kind::text, std::move(t)};
}
Input no_text(Kind k) {
    return {k, {}};
}

void place(const e2e::TempDir& dir, const std::string& name, const Input& in) {
    if (in.kind == Kind::folder) fs::create_directory(dir.file(name));
    if (in.kind == Kind::text || in.kind == Kind::unreadable) dir.write(name, in.text);
    if (in.kind == Kind::unreadable) chmod(dir.file(name).c_str(), 0);
}

// Every name under root, folders included, relative to root.
std::set<std::string> listing(const std::string& root) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root))
        names.insert(e.path().lexically_relative(root).string());
    return names;
}

// What runs a program without the power to override file permissions:
// nothing in front for an ordinary user; for root, setpriv to nobody, once
// it has shown that it works. No value when root has no such way.
std::optional<Args> unprivileged() {
    if (geteuid() != 0) return Args{};
    static const Args setpriv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                 "--clear-groups"};
    static const bool works = [] {
        if (access(setpriv[0].c_str(), X_OK) != 0) return false;
        e2e::TempDir dir;
        Args args(setpriv.begin() + 1, setpriv.end());
        args.insert(args.end(), {"/usr/bin/id", "-u"});
        return e2e::run(setpriv[0], args, dir.path()).out == "65534\n";
    }();
    if (!works) return std::nullopt;
    return setpriv;
}

// Runs bin with args in dir, behind `prefix` (see unprivileged) when given;
// for root the folder then passes to nobody.
e2e::Result launch(const std::string& bin, const Args& args, const e2e::TempDir& dir,
                   const Args& prefix = {}, const std::function<void(pid_t)>& meanwhile = {}) {
    if (prefix.empty()) return e2e::run(bin, args, dir.path(), meanwhile);
    if (geteuid() == 0 && chown(dir.path().c_str(), NOBODY, NOBODY) != 0) ADD_FAILURE();
    Args all(prefix.begin() + 1, prefix.end());
    all.push_back(bin);
    all.insert(all.end(), args.begin(), args.end());
    return e2e::run(prefix[0], all, dir.path(), meanwhile);
}

using Files = std::vector<std::pair<std::string, Input>>;

// Runs a refused command twice, without and with an existing C: its one
// line `out` (for the usage screen, its first line), status 1, an empty
// standard error, C absent or unchanged and no other file made.
void expect_refusal(const std::string& bin, const Args& args, const Files& files,
                    const std::string& out, bool usage = false, const Args& prefix = {}) {
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "with an existing C" : "without C");
        e2e::TempDir dir;
        for (const auto& [name, in] : files) place(dir, name, in);
        if (existing) dir.write("C", PRECIOUS);
        const auto before = listing(dir.path());
        const auto r = launch(bin, args, dir, prefix);
        EXPECT_EQ(r.status, 1);
        if (usage) {
            EXPECT_EQ(r.out.rfind(out, 0), 0u) << r.out;
        } else {
            EXPECT_EQ(r.out, out);
        }
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(listing(dir.path()), before);
        if (existing) {
            EXPECT_EQ(dir.read("C"), PRECIOUS);
        }
    }
}

// Runs an accepted command twice, without and with an existing C: the
// report, status 0, nothing on standard error, C holding `result` and no
// file but C made.
void expect_success(const Program& p, const std::string& first, const std::string& second,
                    const std::string& result, const std::string& done, const Args& options = {}) {
    const Args files = {p.in[0], p.in[1], "C"};
    Args args = options;
    args.insert(args.end(), files.begin(), files.end());
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "with an existing C" : "without C");
        e2e::TempDir dir;
        dir.write(p.in[0], first);
        dir.write(p.in[1], second);
        if (existing) dir.write("C", PRECIOUS);
        auto names = listing(dir.path());
        names.insert("C");
        const auto r = launch(p.bin, args, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(report(r.out), expand(done, files));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(dir.read("C"), result);
        EXPECT_EQ(listing(dir.path()), names);
    }
}

// Runs every program with `bad` as its first input and then as its second
// (with a good first), expecting `out` with "@" for the bad file's name.
void expect_refused_input(const Input& bad, const std::string& out, const Args& prefix = {}) {
    for (const Program& p : programs())
        for (std::size_t slot : {0u, 1u}) {
            SCOPED_TRACE(std::string(p.bin) + " input " + p.in[slot]);
            const Files files = {{p.in[slot], bad}, {p.in[1 - slot], text(p.good[1 - slot])}};
            expect_refusal(p.bin, {p.in[0], p.in[1], "C"}, files, expand(out, {}, p.in[slot]),
                           false, prefix);
        }
}

} // namespace

TEST(Catalogue, RefusedInputs) {
    static const struct {
        const char* what;
        Input in;
        std::string out;
    } cases[] = {
        // clang-format off
        {"missing", no_text(Kind::missing), "matrix <@> not found\n"},
        {"a folder", no_text(Kind::folder), "matrix <@>: read error: Is a directory\n"},
        {"empty", text(""), "matrix <@> holds no number\n"},
        {"only separators", text("\t \t\n\n  \r\n\t\n"), "matrix <@> holds no number\n"},
        {"a header line", text("x\ty\n1\t2\n"),
         "matrix <@> row 1 column 1: not a number: \"x\"\n"},
        {"letters", text("1\tabc\n"), "matrix <@> row 1 column 2: not a number: \"abc\"\n"},
        {"a decimal comma", text("1\n1,5\n"),
         "matrix <@> row 2 column 1: not a number: \"1,5\"\n"},
        {"inf", text("inf\n"), "matrix <@> row 1 column 1: not a number: \"inf\"\n"},
        {"nan", text("1\tnan\n"), "matrix <@> row 1 column 2: not a number: \"nan\"\n"},
        {"1e999", text("1e999\n"),
         "matrix <@> row 1 column 1: number beyond the range of a double: \"1e999\"\n"},
        {"a short row", text("1\t2\n3\n"), "matrix <@> row 2 has 1 column, row 1 has 2\n"},
        {"a long row", text("1\n2\t3\n"), "matrix <@> row 2 has 2 columns, row 1 has 1\n"},
        {"missing values", text("1\t\t3\n\t5\t6\n7\t8\t\n"), "matrix <@> row 1 column 2: empty cell\n"},
        {"two numbers in one cell", text("1 2\n"),
         "matrix <@> row 1 column 1: two numbers in one cell: \"1 2\"\n"},
        {"a token of 100 characters", text(std::string(100, '1') + "\n"),
         "matrix <@> row 1 column 1: more than 79 characters: \"" + std::string(32, '1') +
         "\"...\n"},
        {"a NUL byte", text(std::string("1\t\0" "2\n", 5)),
         "matrix <@> row 1 column 2: NUL byte\n"},
        {"CR-only line ends", text("1\r2\r"),
         "matrix <@> row 1 column 1: two numbers in one cell (a carriage return without line "
         "feed between them): \"1\\r2\"\n"},
        {"65536 numbers", text(repeat("1\n", CAPACITY + 1)),
         "matrix <@> more than 65535 numbers\n"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expect_refused_input(c.in, c.out);
    }
}

TEST(Catalogue, UnreadableInput) {
    const auto prefix = unprivileged();
    if (!prefix)
        GTEST_SKIP() << "running as root without a working /usr/bin/setpriv: "
                        "no way to make a file unreadable";
    expect_refused_input({Kind::unreadable, "1\n"}, "matrix <@> not found\n", *prefix);
}

// The wrong shapes, degrees, intercepts and argument counts of each program.
TEST(Catalogue, RefusedCommands) {
    enum { MOBREL, TARSIK, VELMAR };
    static const struct {
        int prog;
        const char *first, *second; // nullptr: the program's good input
        Args args;
        std::string out; // empty: the usage screen
    } cases[] = {
        // clang-format off
        {MOBREL, nullptr, nullptr, {}, ""},
        {MOBREL, nullptr, nullptr, {"A", "B"}, ""},
        {MOBREL, "1\t2\n3\t4\n", "1\n2\n3\n", {"A", "B", "C"},
         "Error: incorrect dimension A[2,2] * B[3,1]\n"},
        {TARSIK, nullptr, nullptr, {}, ""},
        {TARSIK, nullptr, nullptr, {"A", "B"}, ""},
        {TARSIK, "0\t1\n", nullptr, {"A", "B", "C"}, "Error: incorrect dimension A[1,2]\n"},
        {TARSIK, nullptr, "1\n2\n", {"A", "B", "C"},
         "Error: incorrect dimension A[3,3] * B[2,1]\n"},
        {VELMAR, nullptr, nullptr, {}, ""},
        {VELMAR, nullptr, nullptr, {"X", "Y"}, ""},
        {VELMAR, "1\t2\n", nullptr, {"X", "Y", "C"},
         "Error in matrix A: rows less than columns: A[1,2]\n"},
        {VELMAR, nullptr, "1\t2\n3\t4\n5\t6\n", {"X", "Y", "C"},
         "Incorrect dimension in matrix: Y[3,2]\n"},
        {VELMAR, nullptr, "1\n2\n3\n4\n", {"X", "Y", "C"},
         "Incorrect dimension in matrix: Y[4,1]\n"},
        {VELMAR, nullptr, nullptr, {"X", "Y", "C", "0"}, "degree <0> is below 1\n"},
        {VELMAR, nullptr, nullptr, {"X", "Y", "C", "-1"}, "degree <-1> is below 1\n"},
        {VELMAR, nullptr, nullptr, {"X", "Y", "C", "2.5"}, "degree <2.5> is not a whole number\n"},
        {VELMAR, nullptr, nullptr, {"X", "Y", "C", "39"},
         "degree <39> is above 38, the highest the working precision allows\n"},
        {VELMAR, nullptr, nullptr, {"X", "Y", "C", "abc"}, "degree <abc> is not a whole number\n"},
        {VELMAR, nullptr, nullptr, {"X", "Y", "C", "1", "abc"},
         "intercept <abc> is not a finite decimal number\n"},
        {VELMAR, nullptr, nullptr, {"X", "Y", "C", "abc", "0"}, "degree <abc> is not a whole number\n"},
        {VELMAR, nullptr, nullptr, {"X", "Y", "C", "2", "0", "x"},
         "argument <x> is one too many: velmar takes file_X file_Y file_C [degree] [Intcpt]\n"},
        // a line end in a name or an argument is shown escaped, on one line
        {MOBREL, nullptr, nullptr, {"nl\nA", "B", "C"}, "matrix <nl\\nA> not found\n"},
        {VELMAR, nullptr, nullptr, {"X", "Y", "C", "3\n"}, "degree <3\\n> is not a whole number\n"},
        // the options (their grammar is pipeline_test's); ranges follow the operations used
        {MOBREL, nullptr, nullptr, {"-5", "A", "B", "C"},
         "unknown option <-5>; mobrel --help lists the options\n"},
        {TARSIK, nullptr, nullptr, {"-d"}, "option <-d> needs a value; tarsik --help lists the options\n"},
        {MOBREL, nullptr, nullptr, {"-d", "9", "A", "B", "C"},
         "digits <9> is not a whole number from 10 to 234\n"},
        {MOBREL, nullptr, nullptr, {"--digits=235", "A", "B", "C"},
         "digits <235> is not a whole number from 10 to 234\n"},
        {TARSIK, nullptr, nullptr, {"--digits", "228", "A", "B", "C"},
         "digits <228> is not a whole number from 10 to 227\n"},
        {TARSIK, nullptr, nullptr, {"-d", "6O", "A", "B", "C"},
         "digits <6O> is not a whole number from 10 to 227\n"},
        {VELMAR, nullptr, nullptr, {"-d", "228", "X", "Y", "C", "1", "0"},
         "digits <228> is not a whole number from 10 to 227\n"},
        {VELMAR, nullptr, nullptr, {"-d", "218", "X", "Y", "C", "5"},
         "digits <218> is not a whole number from 10 to 217 at degree 5\n"},
        {VELMAR, nullptr, nullptr, {"-d", "10", "X", "Y", "C", "39"},
         "degree <39> is above 38, the highest the working precision allows\n"},
        {MOBREL, nullptr, nullptr, {"-c", "-d", "234", "A", "B", "C"},
         "--check needs a precision above 234 digits, and 234 is the most\n"},
        {VELMAR, nullptr, nullptr, {"-cd217", "X", "Y", "C", "5"},
         "--check needs a precision above 217 digits, and 217 is the most at degree 5\n"},
        {TARSIK, nullptr, nullptr, {"-", "-", "C"}, "only one input can be standard input (-)\n"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const Program& p = programs()[static_cast<std::size_t>(c.prog)];
        SCOPED_TRACE(std::string(p.bin) + " " + (c.out.empty() ? "usage" : c.out));
        const Files files = {{p.in[0], text(c.first ? c.first : p.good[0])},
                             {p.in[1], text(c.second ? c.second : p.good[1])}};
        expect_refusal(p.bin, c.args, files, c.out.empty() ? p.usage : c.out, c.out.empty());
    }
}

// A byte-order mark, CR LF line ends and 65535 numbers are read as any
// other table.
TEST(Catalogue, AcceptedForms) {
    const auto crlf = [](const std::string& s) {
        return std::regex_replace(s, std::regex("\n"), "\r\n");
    };
    for (const Program& p : programs()) {
        SCOPED_TRACE(p.bin);
        for (std::size_t slot : {0u, 1u}) {
            SCOPED_TRACE("input " + p.in[slot]);
            std::string in[2] = {p.good[0], p.good[1]};
            in[slot] = "\xEF\xBB\xBF" + p.good[slot];
            expect_success(p, in[0], in[1], p.result, p.done);
            in[slot] = crlf(p.good[slot]);
            expect_success(p, in[0], in[1], p.result, p.done);
        }
        expect_success(p, p.big[0], p.big[1], p.big_result, p.big_done);
        // the default is --digits 30, byte for byte, and the inputs' integers
        // read the same as written
        expect_success(p, p.big[0], p.big[1], p.big_result, p.big_done, {"--digits", "30"});
        expect_success(p, p.good[0], p.good[1], p.result, p.done, {"-d30", "-e"});
    }
    // the largest double as "%1.15E" writes it, rounded up past the point
    // where reading rounds to infinity, reads back as written
    const Program& mobrel = programs()[0];
    const std::string largest = "1.797693134862316E+308\n";
    expect_success(mobrel, largest, "1\n", largest, mobrel.done);
}

// One run of each option: the status, the lines on standard output and
// standard error, and the result file.
TEST(Catalogue, Options) {
    enum { MOBREL, VELMAR = 2 };
    const std::string cancel[2] = {"1E40\t1\t-1E40\n", "1\n1\n1\n"}; // 0 at 30 digits, 1 at 60
    const std::string WARN_CANCEL =
        "warning: C[1,1] is right to 0 digits only at 30 digits; try --digits 60\n";
    // y = 1 + x + x^2 + x^3 at x = 20000..20020: the raw powers' normal
    // equations lose most of their 36 digits
    std::string cubic[2];
    for (long long x = 20000; x <= 20020; ++x) {
        cubic[0] += std::to_string(x) + "\n";
        cubic[1] += std::to_string(1 + x + x * x + x * x * x) + "\n";
    }
    const struct {
        int prog;
        std::string first, second; // empty: the program's good input
        Args args;
        std::string out, err;
        std::optional<std::string> result; // C; nothing: no file C
    } cases[] = {
        // clang-format off
        {MOBREL, cancel[0], cancel[1], {"--digits", "60", "A", "B", "C"}, "A * B ==> C\n", "",
         table({{1}})},
        {MOBREL, cancel[0], cancel[1], {"--check", "A", "B", "C"},
         "A * B ==> C\ncheck: C[1,1] agrees to 0 digits at 60 digits\n", WARN_CANCEL, table({{0}})},
        // digits at risk: the check runs unasked, and warns only when it disagrees
        {MOBREL, cancel[0], cancel[1], {"A", "B", "C"}, "A * B ==> C\n", WARN_CANCEL, table({{0}})},
        {MOBREL, "1E20\t1\t-1E20\n", cancel[1], {"A", "B", "C"}, "A * B ==> C\n", "", table({{1}})},
        {VELMAR, cubic[0], cubic[1], {"X", "Y", "C", "3"},
         "Linear Regression solution X[4] found\ndeterminant= 1.076095343030400E+13\n"
         "R^2 coefficent= 1.000000000000000E+00\nelapsed time: T seconds\nX ==> C\n",
         "warning: C[1,1] is right to 6 digits only at 30 digits; try --digits 60\n",
         table({{1.000000114915303}, {0.9999999999827713}, {1.000000000000001}, {1}})},
        // 2 x degree + 60 digits, and the square's coefficient is truncation's alone
        {VELMAR, "", "", {"-c", "X", "Y", "C", "2"},
         "Linear Regression solution X[3] found\ndeterminant= 1.333333333333333E+00\n"
         "R^2 coefficent= 1.000000000000000E+00\nelapsed time: T seconds\nX ==> C\n"
         "check: C[3,1] agrees to 0 digits at 60 digits\n", "", table({{1}, {2}, {6e-33}})},
        {MOBREL, "0.56\n", "100\n", {"-e", "A", "B", "C"}, "A * B ==> C\n", "", table({{56}})},
        // a result on standard output (or another descriptor's) leaves the report to standard error
        {MOBREL, "", "", {"A", "B", "-"}, programs()[MOBREL].result, "A * B ==> -\n", std::nullopt},
        {MOBREL, "", "", {"A", "B", "/dev/stderr"}, "A * B ==> /dev/stderr\n",
         programs()[MOBREL].result, std::nullopt},
        // a negative intercept after the files is an operand
        {VELMAR, "", "", {"X", "Y", "C", "1", "-5"},
         "Linear Regression solution X[2] found\ndeterminant= 1.400000000000000E+01\n"
         "R^2 coefficent= 9.499072356215214E-01\nelapsed time: T seconds\nX ==> C\n", "",
         table({{-5}, {4.571428571428571}})},
        {VELMAR, "", "", {"-V"}, "velmar (xsuite) 1.0.0\n", "", std::nullopt},
        // clang-format on
    };
    for (const auto& c : cases) {
        const Program& p = programs()[static_cast<std::size_t>(c.prog)];
        e2e::TempDir dir;
        SCOPED_TRACE(std::string(p.bin) + " " + c.args[0]);
        dir.write(p.in[0], c.first.empty() ? p.good[0] : c.first);
        dir.write(p.in[1], c.second.empty() ? p.good[1] : c.second);
        const auto r = launch(p.bin, c.args, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(report(r.out), c.out);
        EXPECT_EQ(report(r.err), c.err);
        EXPECT_EQ(dir.exists("C"), c.result.has_value());
        if (c.result) {
            EXPECT_EQ(dir.read("C"), *c.result);
        }
    }
}

// "-" as an input is standard input: one program's result piped into the
// next, each report on standard error.
TEST(Catalogue, Pipe) {
    e2e::TempDir dir;
    dir.write("A", programs()[0].good[0]);
    dir.write("B", programs()[0].good[1]);
    const std::string script =
        std::string("'") + MOBREL_BIN + "' A B - | '" + MOBREL_BIN + "' - B C 2>&1";
    const auto r = e2e::run("/bin/sh", {"-c", script}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "- * B ==> C\n");
    EXPECT_EQ(r.err, "A * B ==> -\n");
    EXPECT_EQ(dir.read("C"),
              table({{19 * 5 + 22 * 7, 19 * 6 + 22 * 8}, {43 * 5 + 50 * 7, 43 * 6 + 50 * 8}}));
}

namespace {

// Lowers the file size limit of the programs started while it lives and
// (unless `signal`) ignores SIGXFSZ, so that a write past the limit fails
// with EFBIG instead of killing the program: a disk that fills up midway
// through a regular file, which /dev/full (written directly, never renamed)
// does not reach. With `signal`, SIGXFSZ keeps its default action: the
// program must ignore it itself.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes, bool signal) {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit low = old_;
        low.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &low);
        struct sigaction act {};
        act.sa_handler = signal ? SIG_DFL : SIG_IGN;
        sigaction(SIGXFSZ, &act, &old_action_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        sigaction(SIGXFSZ, &old_action_, nullptr);
    }

  private:
    rlimit old_{};
    struct sigaction old_action_ {};
};

struct Fault {
    const char* what;
    std::string target;
    const char* folder;            // made before the run, or nullptr
    bool may_exist;                // the target can be an existing file
    rlim_t fsize;                  // a file size limit, or 0
    bool sigxfsz = false;          // SIGXFSZ at its default action past the limit
    const char* link_to = nullptr; // the target a link to this missing name
};

// Runs every program on its good inputs with a target that cannot be
// written, without and (where it can be) with an existing target: the
// failure line without line end, status 1, an empty standard error, the
// scratch folder as it was and an existing target unchanged.
void expect_failed_write(const Fault& f, const Args& prefix = {}, mode_t folder_mode = 0755) {
    for (const Program& p : programs()) {
        for (const bool existing : {false, true}) {
            if (existing && !f.may_exist) continue;
            SCOPED_TRACE(std::string(p.bin) + (existing ? ", existing target" : ", no target"));
            e2e::TempDir dir;
            dir.write(p.in[0], p.good[0]);
            dir.write(p.in[1], p.good[1]);
            if (f.folder) fs::create_directory(dir.file(f.folder));
            if (f.link_to) fs::create_symlink(f.link_to, dir.file(f.target));
            if (existing) {
                dir.write(f.target, PRECIOUS);
                chmod(dir.file(f.target).c_str(), 0666); // only the folder may stop the write
            }
            if (f.folder) chmod(dir.file(f.folder).c_str(), folder_mode);
            const auto before = listing(dir.path());
            e2e::Result r;
            {
                std::optional<FileSizeLimit> limit;
                if (f.fsize > 0) limit.emplace(f.fsize, f.sigxfsz);
                r = launch(p.bin, {p.in[0], p.in[1], f.target}, dir, prefix);
            }
            if (f.folder) chmod(dir.file(f.folder).c_str(), 0755);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, WRITE_FAILED);
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(listing(dir.path()), before);
            if (existing) {
                EXPECT_EQ(dir.read(f.target), PRECIOUS);
            }
        }
    }
}

} // namespace

TEST(OutputFaults, FailedWrites) {
    static const Fault faults[] = {
        {"a full device", "/dev/full", nullptr, false, 0},
        {"a folder that does not exist", "no/such/C", nullptr, false, 0},
        {"a folder as the target", "sub", "sub", false, 0},
        {"a folder as the target, with a slash", "sub/", "sub", false, 0},
        // every result is longer than 32 bytes, "sorry, something wrong" is not
        {"a file size limit of 32 bytes", "C", nullptr, true, 32},
        {"a file size limit of 32 bytes, SIGXFSZ not ignored", "C", nullptr, true, 32, true},
        {"a link to a missing file, a file size limit of 32 bytes", "C", nullptr, false, 32, false,
         "D"},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.what);
        expect_failed_write(f);
    }
}

TEST(OutputFaults, FolderWithoutWritePermission) {
    const auto prefix = unprivileged();
    if (!prefix)
        GTEST_SKIP() << "running as root without a working /usr/bin/setpriv: "
                        "no way to deny writing to a folder";
    expect_failed_write({"a read-only folder", "locked/C", "locked", true, 0}, *prefix, 0555);
}

// The inputs are read in full before the result is written, so a result
// may replace one of them.
TEST(OutputFaults, OutputIsAnInput) {
    static const struct {
        std::size_t prog;
        Args args;
    } cases[] = {
        {0, {"A", "B", "A"}}, {0, {"A", "B", "B"}}, {1, {"A", "B", "A"}},
        {1, {"A", "B", "B"}}, {2, {"X", "Y", "X"}}, {2, {"X", "Y", "Y"}},
    };
    for (const auto& c : cases) {
        const Program& p = programs()[c.prog];
        SCOPED_TRACE(p.bin + (" " + c.args[2]));
        e2e::TempDir dir;
        dir.write(p.in[0], p.good[0]);
        dir.write(p.in[1], p.good[1]);
        const auto before = listing(dir.path());
        const auto r = launch(p.bin, c.args, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(report(r.out), expand(p.done, c.args));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(dir.read(c.args[2]), p.result);
        EXPECT_EQ(listing(dir.path()), before);
    }
    // A times itself, written over A
    e2e::TempDir dir;
    dir.write("A", "1\t2\n3\t4\n");
    const auto r = launch(MOBREL_BIN, {"A", "A", "A"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "A * A ==> A\n");
    EXPECT_EQ(dir.read("A"), table({{7, 10}, {15, 22}}));
    EXPECT_EQ(listing(dir.path()), std::set<std::string>{"A"});
}

namespace {

bool temp_beside_c(const std::string& dir) {
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(".C.", 0) == 0) return true;
    return false;
}

// Stops the program pid once its temporary file beside C appears in dir
// (within a minute), sends it sig if the file is still there, and lets it
// go on. False when the write was over before the program stopped.
bool signal_during_write(const std::string& dir, pid_t pid, int sig) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!temp_beside_c(dir))
        if (std::chrono::steady_clock::now() > deadline) return false;
    int st = 0;
    kill(pid, SIGSTOP);
    if (waitpid(pid, &st, WUNTRACED) != pid || !WIFSTOPPED(st)) return false;
    const bool during = temp_beside_c(dir);
    if (during) kill(pid, sig);
    kill(pid, SIGCONT);
    return during;
}

} // namespace

// tarsik writing its result of 65535 numbers (about 1.5 MB) over an
// existing C, disturbed meanwhile. A signal removes the temporary file and
// ends the program as the signal does; a FIFO as C whose reader goes away
// fails the write. Either way no file is left or harmed.
TEST(OutputFaults, InterruptedWrites) {
    static const struct {
        const char* what;
        int sig; // 0: C is a FIFO whose reader goes away
    } cases[] = {
        // clang-format off
        {"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}, {"SIGPIPE", SIGPIPE},
        {"a FIFO whose reader goes away", 0},
        // clang-format on
    };
    const Program& p = programs()[1];
    // the program meets each at its default action, whatever the test runner
    // was started with (a shell starts background jobs with SIGINT ignored)
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(sig, SIG_DFL);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool hit = false;
        for (int attempt = 0; attempt < 20 && !hit; ++attempt) {
            e2e::TempDir dir;
            dir.write(p.in[0], p.big[0]);
            dir.write(p.in[1], p.big[1]);
            int reader = -1;
            if (c.sig == 0) {
                mkfifo(dir.file("C").c_str(), 0600);
                reader = open(dir.file("C").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            } else {
                dir.write("C", PRECIOUS);
            }
            const auto before = listing(dir.path());
            const auto r = launch(p.bin, {p.in[0], p.in[1], "C"}, dir, {}, [&](pid_t pid) {
                if (c.sig != 0) {
                    hit = signal_during_write(dir.path(), pid, c.sig);
                    return;
                }
                pollfd wait_data{reader, POLLIN, 0};
                hit = poll(&wait_data, 1, 20000) == 1; // the program writes
                close(reader);
            });
            if (!hit) continue;
            EXPECT_EQ(r.status, c.sig != 0 ? 128 + c.sig : 1);
            EXPECT_EQ(r.out, c.sig != 0 ? "" : WRITE_FAILED);
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(listing(dir.path()), before);
            if (c.sig != 0) {
                EXPECT_EQ(dir.read("C"), PRECIOUS);
            }
        }
        EXPECT_TRUE(hit) << "never caught the program while it wrote";
    }
}

// A link that leads to no file yet makes that file; a file of another
// user that root replaces keeps its owner, group and mode, less the setuid
// bit.
TEST(OutputFaults, ReplacedTargets) {
    static const struct {
        const char* what;
        const char* link_to; // C a link to this missing name; otherwise
        uid_t owner;         // C a file of this owner and group
        mode_t mode, kept;   // and mode, and the mode it keeps
    } cases[] = {
        {"a link to a missing file", "D", 0, 0, 0},
        {"another user's file with a setuid bit", nullptr, NOBODY, 04754, 0754},
    };
    const Program& p = programs()[0];
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.link_to && geteuid() != 0) continue; // only root may give a file away
        e2e::TempDir dir;
        dir.write(p.in[0], p.good[0]);
        dir.write(p.in[1], p.good[1]);
        if (c.link_to) {
            fs::create_symlink(c.link_to, dir.file("C"));
        } else {
            dir.write("C", PRECIOUS);
            ASSERT_EQ(chown(dir.file("C").c_str(), c.owner, c.owner), 0);
            ASSERT_EQ(chmod(dir.file("C").c_str(), c.mode), 0);
        }
        const auto r = launch(p.bin, {p.in[0], p.in[1], "C"}, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, expand(p.done, {p.in[0], p.in[1], "C"}));
        EXPECT_EQ(dir.read(c.link_to ? c.link_to : "C"), p.result);
        struct stat st {};
        ASSERT_EQ(lstat(dir.file("C").c_str(), &st), 0);
        if (c.link_to) {
            EXPECT_TRUE(S_ISLNK(st.st_mode));
        } else {
            EXPECT_EQ(st.st_uid, c.owner);
            EXPECT_EQ(st.st_gid, c.owner);
            EXPECT_EQ(st.st_mode & 07777, c.kept);
        }
    }
}

// Memory limits (ulimit -v in a subshell) from where the program cannot
// even load up to where it succeeds: in between, every run that fails ends
// through the fatal-error report, status 1, never an abort.
TEST(Catalogue, OutOfMemory) {
    if (UNDER_ASAN) GTEST_SKIP() << "the address sanitizer does not run under a memory limit";
    static const std::regex report(
        "Run-time error\\.\\.\\.\n[^\n]+\n\\.\\.\\.now exiting to system\\.\\.\\.\n");
    for (const Program& p : programs()) {
        SCOPED_TRACE(p.bin);
        // the lowest limit at which the loader starts the program at all
        // (below it the loader may fail in any way, before the program runs)
        const auto limited = [&](int kb, Args args, const e2e::TempDir& dir) {
            args.insert(args.begin(),
                        {"-c", "ulimit -v $0 && exec \"$@\"", std::to_string(kb), p.bin});
            return launch("/bin/sh", args, dir);
        };
        int start = 2048;
        for (e2e::TempDir dir; start < 65536 && limited(start, {"--version"}, dir).status != 0;)
            start += 128;
        int reports = 0, status = 1;
        for (int kb = start; kb < 65536 && status != 0; kb += 128) {
            SCOPED_TRACE(std::to_string(kb) + " KB");
            e2e::TempDir dir;
            dir.write(p.in[0], p.good[0]);
            dir.write(p.in[1], p.good[1]);
            const auto r = limited(kb, {p.in[0], p.in[1], "C"}, dir);
            status = r.status;
            if (status == 127) continue; // too little for the loader to start the program
            if (status == 0) break;
            EXPECT_EQ(status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_TRUE(std::regex_match(r.err, report)) << r.err;
            EXPECT_FALSE(dir.exists("C"));
            ++reports;
        }
        EXPECT_EQ(status, 0);
        EXPECT_GT(reports, 0);
    }
}
