#include "pipeline/pipeline.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <new>
#include <string_view>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace pipeline {

namespace {

std::FILE* console_stream = nullptr; // nullptr: standard output

bool is_dash(const char* name) {
    return name[0] == '-' && name[1] == '\0';
}

} // namespace

std::FILE* console() {
    return console_stream != nullptr ? console_stream : stdout;
}

void set_console(std::FILE* stream) {
    console_stream = stream;
}

void say(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vfprintf(console(), format, args);
    va_end(args);
}

bool is_standard_output(const char* name) {
    if (is_dash(name)) return true;
    const int fd = table_descriptor(name);
    if (fd == STDOUT_FILENO) return true;
    // another descriptor on the same pipe, terminal or file
    struct stat out {};
    struct stat other {};
    return fd >= 0 && ::fstat(fd, &other) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 &&
           other.st_dev == out.st_dev && other.st_ino == out.st_ino;
}

Loader::Loader() : stack_(new double[STACK_MAX]) {}

std::optional<Table> Loader::table(const char* name, bool keep_texts) {
    const int first = 1;
    int rows = 0, cols = 0;
    table_error err;
    Texts texts;
    Texts* const kept = keep_texts ? &texts : nullptr;
    const int loaded = is_dash(name) ? load_table_stream(stdin, stack_.get(), STACK_MAX, &first,
                                                         &rows, &first, &cols, &err, kept)
                                     : load_table(name, stack_.get(), STACK_MAX, &first, &rows,
                                                  &first, &cols, &err, kept);
    if (loaded == 0) {
        const std::string shown = escaped(name);
        if (err.fault == table_fault::cannot_open)
            say(MSG_NOT_FOUND, shown.c_str());
        else if (err.row > 0)
            say("matrix <%s> %s\n", shown.c_str(), describe(err).c_str());
        else
            say("matrix <%s>: %s\n", shown.c_str(), describe(err).c_str());
        return std::nullopt;
    }
    if (rows < 1 || cols < 1) {
        say(MSG_EMPTY, escaped(name).c_str());
        return std::nullopt;
    }
    return Table{DMatrix(input_matrix(stack_.get(), first, rows, first, cols), rows, cols),
                 std::move(texts)};
}

std::optional<DMatrix> Loader::load(const char* name) {
    auto t = table(name, false);
    if (!t) return std::nullopt;
    return std::move(t->values);
}

void read_exact(std::string_view token, x_num* a, int dgt_max) {
    std::string text;
    if (!token.empty() && (token[0] == '+' || token[0] == '-')) {
        text += token[0];
        token.remove_prefix(1);
    }
    // the digits of the mantissa, and how many stand before the point
    std::string digits;
    std::size_t whole = std::string::npos;
    std::size_t p = 0;
    for (; p < token.size() && token[p] != 'e' && token[p] != 'E'; ++p) {
        if (token[p] == '.')
            whole = digits.size();
        else
            digits += token[p];
    }
    if (whole == std::string::npos) whole = digits.size();
    // the exponent, held far beyond any that matters
    long long exp10 = 0;
    if (p < token.size()) {
        std::size_t q = p + 1;
        const bool negative = q < token.size() && token[q] == '-';
        if (q < token.size() && (token[q] == '+' || token[q] == '-')) ++q;
        for (; q < token.size(); ++q) exp10 = std::min(exp10 * 10 + (token[q] - '0'), 1LL << 40);
        if (negative) exp10 = -exp10;
    }
    const std::size_t lead = digits.find_first_not_of('0');
    if (lead == std::string::npos) {
        cvsx(text + "0", a, dgt_max);
        return;
    }
    // d.ddd...: cvsx keeps dgt_max + 1 characters, the point and dgt_max digits
    text.append(1, digits[lead]).append(".").append(digits, lead + 1);
    cvsx(text, a, dgt_max);
    // the power of ten of the first significant digit
    const long long first =
        exp10 + static_cast<long long>(whole) - 1 - static_cast<long long>(lead);
    a->esp = static_cast<std::int32_t>(std::clamp<long long>(a->esp + first, INT_MIN, INT_MAX));
}

XMatrix to_x(const DMatrix& m, int dgt_max, const Texts* texts) {
    XMatrix x(m.rows(), m.cols());
    if (texts == nullptr) {
        xmatrix_load(x.get(), m.get(), 1, m.rows(), 1, m.cols(), dgt_max);
        return x;
    }
    for (int i = 1; i <= m.rows(); ++i)
        for (int j = 1; j <= m.cols(); ++j) to_x(m, texts, i, j, &x[i][j], dgt_max);
    return x;
}

void to_x(const DMatrix& m, const Texts* texts, int i, int j, x_num* out, int dgt_max) {
    if (texts == nullptr) {
        cvdx(out, m[i][j], dgt_max);
        return;
    }
    const auto k = static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(m.cols()) +
                   static_cast<std::size_t>(j - 1);
    read_exact((*texts)[k], out, dgt_max);
}

bool to_double(const x_num& x, double* out, const char* name, int i, int j, int dgt_max) {
    *out = cvxd(&x, dgt_max);
    if (!std::isinf(*out)) return true;
    // up to the largest double's "%1.15E" text, as a table file reads it
    if (fits_double(cvxs(&x, dgt_max))) {
        *out = std::copysign(std::numeric_limits<double>::max(), *out);
        return true;
    }
    // the value shown with at most the default's 30 digits
    say(MSG_BEYOND_DOUBLE, name, i, j, cvxs(&x, std::min(dgt_max, DGT_MAX)).c_str());
    return false;
}

bool to_doubles(const XMatrix& x, const DMatrix& out, const char* name, int dgt_max) {
    for (int i = 1; i <= x.rows(); ++i)
        for (int j = 1; j <= x.cols(); ++j)
            if (!to_double(x[i][j], &out[i][j], name, i, j, dgt_max)) return false;
    return true;
}

bool write(const char* name, const DMatrix& m, const char* failure) {
    const char* const given = name;
    if (is_dash(name)) name = "/dev/stdout";
    if (output_matrix(name, m.get(), 1, m.rows(), 1, m.cols()) != 0) return true;
    if (failure != nullptr)
        say(failure, escaped(given).c_str());
    else
        std::fputs(MSG_WRITE_FAILED, console());
    return false;
}

namespace {

// The 30-digit text of a non-zero x_num rounded half to even to 16
// significant digits, laid out as "%1.15E" lays out a double.
std::string e15_of_text(std::string_view t) {
    std::string out;
    if (!t.empty() && t[0] == '-') {
        out = "-";
        t.remove_prefix(1);
    }
    long long exp10 = 0;
    if (const auto e = t.find('E'); e != std::string_view::npos) {
        exp10 = std::stoll(std::string(t.substr(e + 1)));
        t = t.substr(0, e);
    }
    const auto point = t.find('.');
    const long long int_digits =
        static_cast<long long>(point == std::string_view::npos ? t.size() : point);
    std::string digits;
    for (char c : t)
        if (c != '.') digits += c;
    const auto lead = digits.find_first_not_of('0');
    digits.erase(0, lead);
    long long power = exp10 + int_digits - 1 - static_cast<long long>(lead);

    digits.resize(std::max<std::size_t>(digits.size(), 17), '0');
    const std::string rest = digits.substr(16);
    digits.resize(16);
    const bool above_half = rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
    const bool tie = rest[0] == '5' && !above_half;
    if (above_half || (tie && (digits[15] - '0') % 2 == 1)) {
        int i = 15;
        while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9') digits[static_cast<std::size_t>(i--)] = '0';
        if (i < 0) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++power;
        } else {
            ++digits[static_cast<std::size_t>(i)];
        }
    }
    char exp_text[32];
    std::snprintf(exp_text, sizeof exp_text, "E%c%02lld", power < 0 ? '-' : '+', power < 0 ? -power : power);
    return out + digits.substr(0, 1) + "." + digits.substr(1) + exp_text;
}

} // namespace

std::string format_det(const x_num& det, int dgt_max) {
    const double d = cvxd(&det, dgt_max);
    if (std::isnormal(d) || det.ndgt == 0) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%1.15E", d);
        return buf;
    }
    return e15_of_text(cvxs(&det, dgt_max));
}

void print_timing(const Stopwatch& clock, const char* result_name) {
    say(MSG_ELAPSED, clock.seconds());
    say(MSG_RESULT_FILE, escaped(result_name).c_str());
}

void end_on_exhaustion() {
    std::set_new_handler([] { nrerror(MSG_NEW_FAILED); });
}

} // namespace pipeline
