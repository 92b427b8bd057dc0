#include "pipeline/pipeline.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <string_view>
#include <utility>

namespace pipeline {

Loader::Loader() : stack_(new double[STACK_MAX]) {}

std::optional<DMatrix> Loader::load(const char* name) {
    const int first = 1;
    int rows = 0, cols = 0;
    table_error err;
    if (load_table(name, stack_.get(), STACK_MAX, &first, &rows, &first, &cols, &err) == 0) {
        const std::string shown = escaped(name);
        if (err.fault == table_fault::cannot_open)
            std::printf(MSG_NOT_FOUND, shown.c_str());
        else if (err.row > 0)
            std::printf("matrix <%s> %s\n", shown.c_str(), describe(err).c_str());
        else
            std::printf("matrix <%s>: %s\n", shown.c_str(), describe(err).c_str());
        return std::nullopt;
    }
    if (rows < 1 || cols < 1) {
        std::printf(MSG_EMPTY, escaped(name).c_str());
        return std::nullopt;
    }
    return DMatrix(input_matrix(stack_.get(), first, rows, first, cols), rows, cols);
}

XMatrix to_x(const DMatrix& m, int dgt_max) {
    XMatrix x(m.rows(), m.cols());
    xmatrix_load(x.get(), m.get(), 1, m.rows(), 1, m.cols(), dgt_max);
    return x;
}

bool to_double(const x_num& x, double* out, const char* name, int i, int j, int dgt_max) {
    *out = cvxd(&x, dgt_max);
    if (!std::isinf(*out)) return true;
    // up to the largest double's "%1.15E" text, as a table file reads it
    if (fits_double(cvxs(&x, dgt_max))) {
        *out = std::copysign(std::numeric_limits<double>::max(), *out);
        return true;
    }
    std::printf(MSG_BEYOND_DOUBLE, name, i, j, cvxs(&x, DGT_MAX).c_str());
    return false;
}

bool to_doubles(const XMatrix& x, const DMatrix& out, const char* name, int dgt_max) {
    for (int i = 1; i <= x.rows(); ++i)
        for (int j = 1; j <= x.cols(); ++j)
            if (!to_double(x[i][j], &out[i][j], name, i, j, dgt_max)) return false;
    return true;
}

bool write(const char* name, const DMatrix& m) {
    if (output_matrix(name, m.get(), 1, m.rows(), 1, m.cols()) != 0) return true;
    std::fputs(MSG_WRITE_FAILED, stdout);
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
    std::printf(MSG_ELAPSED, clock.seconds());
    std::printf(MSG_RESULT_FILE, escaped(result_name).c_str());
}

void end_on_exhaustion() {
    std::set_new_handler([] { nrerror(MSG_NEW_FAILED); });
}

} // namespace pipeline
