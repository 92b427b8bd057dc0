// velmar file_X file_Y file_C [degree] [Intcpt]: the least-squares fit of
// Y on the columns of X, or on their powers up to a degree, written to
// file_C as the intercept followed by the coefficients.
#include "velmar/messages.h"
#include "velmar/regress.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace velmar {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// What the command line asks for.
struct Request {
    const char* file_x;
    const char* file_y;
    const char* file_c;
    int degree = 1;
    std::optional<double> intercept;
};

// What the report prints once the matrices are released.
struct Report {
    int rows;
    x_num det;
    x_num r2;
    int dgt_max; // the working precision, for their conversions
};

// The degree argument, checked: a whole number from 1 to DEGREE_MAX.
// Prints the refusal and returns false otherwise.
bool degree_arg(const char* text, int* degree) {
    const std::string shown = escaped(text);
    if (!read_degree(text, degree)) {
        std::printf(MSG_DEGREE_NOT_WHOLE, shown.c_str());
        return false;
    }
    if (*degree < 1) {
        std::printf(MSG_DEGREE_LOW, shown.c_str());
        return false;
    }
    if (*degree > DEGREE_MAX) {
        std::printf(MSG_DEGREE_HIGH, shown.c_str(), DEGREE_MAX);
        return false;
    }
    return true;
}

// The optional arguments go by their count: a fourth alone is the degree;
// with a fifth, the fifth is the intercept and the fourth is not read; six
// or more are not read at all. Prints the refusal of a bad one.
std::optional<Request> read_request(int argc, char** argv) {
    Request r{argv[1], argv[2], argv[3], 1, std::nullopt};
    if (argc == 5 && !degree_arg(argv[4], &r.degree)) return std::nullopt;
    if (argc == 6) {
        double value = 0;
        if (!read_intercept(argv[5], &value)) {
            std::printf(MSG_INTERCEPT, escaped(argv[5]).c_str());
            return std::nullopt;
        }
        r.intercept = value;
    }
    return r;
}

// Loading, checks, fit, result file and R^2, in the order the checks are
// made. Prints the failure line and returns nothing on any failure; every
// matrix is released on return.
std::optional<Report> regress(const Request& req) {
    const int dgt_max = precision(req.degree);
    pipeline::Loader loader;
    const auto mat_x = loader.load(req.file_x);
    if (!mat_x) return std::nullopt;
    if (mat_x->rows() < mat_x->cols()) {
        std::printf(MSG_ROWS, mat_x->rows(), mat_x->cols());
        return std::nullopt;
    }
    const pipeline::XMatrix xX = design_matrix(*mat_x, req.degree, dgt_max);

    const auto mat_y = loader.load(req.file_y);
    if (!mat_y) return std::nullopt;
    if (mat_y->rows() != mat_x->rows() || mat_y->cols() != 1) {
        std::printf(MSG_Y_DIMENSION, mat_y->rows(), mat_y->cols());
        return std::nullopt;
    }
    const pipeline::XMatrix xY = pipeline::to_x(*mat_y, dgt_max);

    const auto sol = solve(xX, xY, req.intercept, dgt_max);
    if (!sol) {
        std::fputs(pipeline::MSG_SINGULAR, stdout);
        return std::nullopt;
    }
    const pipeline::DMatrix mat_a(xX.cols() + 1, 1);
    if (!result_column(*sol, req.intercept, mat_a, dgt_max) || !pipeline::write(req.file_c, mat_a))
        return std::nullopt;
    return Report{mat_a.rows(), sol->det, r_squared(xX, xY, *sol, dgt_max), dgt_max};
}

} // namespace

bool read_degree(std::string_view text, int* degree) {
    std::size_t p = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) p = 1;
    if (p == text.size()) return false;
    long long v = 0;
    for (; p < text.size(); ++p) {
        if (!is_digit(text[p])) return false;
        v = std::min<long long>(v * 10 + (text[p] - '0'), INT_MAX);
    }
    *degree = static_cast<int>(negative ? -v : v);
    return true;
}

bool read_intercept(std::string_view text, double* intercept) {
    std::size_t p = 0;
    const auto digits = [&] {
        const std::size_t start = p;
        while (p < text.size() && is_digit(text[p])) ++p;
        return p - start;
    };
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
    std::size_t mantissa = digits();
    if (p < text.size() && text[p] == '.') {
        ++p;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
        ++p;
        if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
        if (digits() == 0) return false;
    }
    if (p != text.size()) return false;
    // the form is checked, so strtod reads all of it; an underflow gives
    // the nearest double
    const double v = std::strtod(std::string(text).c_str(), nullptr);
    if (!std::isfinite(v)) return false;
    *intercept = v;
    return true;
}

int run(int argc, char** argv) {
    const pipeline::Stopwatch clock;
    if (argc < 4) {
        std::fputs(USAGE, stdout);
        std::fputs(pipeline::MSG_FILES, stdout);
        std::fputs(CREDIT, stdout);
        return 1;
    }
    const auto req = read_request(argc, argv);
    if (!req) return 1;
    const auto report = regress(*req);
    if (!report) return 1;
    std::printf(MSG_SOLUTION, report->rows);
    std::printf(pipeline::MSG_DETERMINANT, pipeline::format_det(report->det, report->dgt_max).c_str());
    std::printf(MSG_R2, cvxd(&report->r2, report->dgt_max));
    pipeline::print_timing(clock, req->file_c);
    return 0;
}

} // namespace velmar
