// velmar [OPTION]... file_X file_Y file_C [degree] [Intcpt]: the
// least-squares fit of Y on the columns of X, or on their powers up to a
// degree, written to file_C as the intercept followed by the coefficients.
#include "velmar/messages.h"
#include "velmar/regress.h"

#include "pipeline/check.h"
#include "pipeline/command.h"

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

// The degree argument, checked: a whole number from 1 to DEGREE_MAX.
// Prints the refusal and returns false otherwise.
bool degree_arg(const char* text, int* degree) {
    const std::string shown = escaped(text);
    if (!read_degree(text, degree)) {
        pipeline::say(MSG_DEGREE_NOT_WHOLE, shown.c_str());
        return false;
    }
    if (*degree < 1) {
        pipeline::say(MSG_DEGREE_LOW, shown.c_str());
        return false;
    }
    if (*degree > DEGREE_MAX) {
        pipeline::say(MSG_DEGREE_HIGH, shown.c_str(), DEGREE_MAX);
        return false;
    }
    return true;
}

// The optional operands: a fourth is the degree, a fifth the forced
// intercept (at that degree); a sixth is refused. Prints the refusal of a
// bad one.
std::optional<Request> read_request(const std::vector<const char*>& operands) {
    Request r{operands[0], operands[1], operands[2], 1, std::nullopt};
    if (operands.size() > 5) {
        pipeline::say(MSG_TOO_MANY, escaped(operands[5]).c_str());
        return std::nullopt;
    }
    if (operands.size() >= 4 && !degree_arg(operands[3], &r.degree)) return std::nullopt;
    if (operands.size() == 5) {
        double value = 0;
        if (!read_intercept(operands[4], &value)) {
            pipeline::say(MSG_INTERCEPT, escaped(operands[4]).c_str());
            return std::nullopt;
        }
        r.intercept = value;
    }
    return r;
}

// The fit at N digits (precision(degree, N) above degree 1), from the
// loaded tables to the result column, the determinant and R^2. Prints the
// failure line and returns nothing when the normal matrix is singular or a
// result lies beyond the range of a double.
std::optional<pipeline::Outcome> fit(const Request& req, const pipeline::Table& x,
                                     const pipeline::Table& y, int digits) {
    const int dgt_max = precision(req.degree, digits);
    const pipeline::XMatrix xX = design_matrix(x.values, req.degree, dgt_max, x.exact());
    const pipeline::XMatrix xY = pipeline::to_x(y.values, dgt_max, y.exact());
    const auto sol = solve(xX, xY, req.intercept, dgt_max);
    if (!sol) {
        std::fputs(pipeline::MSG_SINGULAR, pipeline::console());
        return std::nullopt;
    }
    pipeline::Outcome c{pipeline::DMatrix(xX.cols() + 1, 1), "C", {}};
    c.lost = sol->lost;
    c.working = dgt_max;
    if (!result_column(*sol, req.intercept, c.table, dgt_max)) return std::nullopt;
    const x_num r2 = r_squared(xX, xY, *sol, dgt_max);
    c.report = {pipeline::printed_det(sol->det, dgt_max), {"R^2", cvxd(&r2, dgt_max), 0, {}}};
    return c;
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
    static const char* const usage[] = {USAGE, pipeline::MSG_FILES, CREDIT};
    const pipeline::Program program{"velmar", usage, 3, HELP_DIGITS, EXAMPLES};
    pipeline::Command cmd;
    if (const auto status = pipeline::read_command(argc, argv, program, &cmd)) return *status;
    pipeline::console_for(cmd.operands[2]);
    const auto req = read_request(cmd.operands);
    if (!req) return 1;
    const int most = digits_most(req->degree);
    char where[32] = "";
    if (req->degree > 1) std::snprintf(where, sizeof where, MSG_AT_DEGREE, req->degree);
    const char* const inputs[] = {req->file_x, req->file_y};
    if (!pipeline::settle(&cmd, most, inputs, req->file_c, where)) return 1;

    pipeline::Loader loader;
    const auto x = loader.table(req->file_x, cmd.exact);
    if (!x) return 1;
    if (x->rows() < x->cols()) {
        pipeline::say(MSG_ROWS, x->rows(), x->cols());
        return 1;
    }
    const auto y = loader.table(req->file_y, cmd.exact);
    if (!y) return 1;
    if (y->rows() != x->rows() || y->cols() != 1) {
        pipeline::say(MSG_Y_DIMENSION, y->rows(), y->cols());
        return 1;
    }

    const pipeline::Job job = [&](int digits) { return fit(*req, *x, *y, digits); };
    const auto c = job(cmd.digits);
    if (!c || !pipeline::write(req->file_c, c->table)) return 1;
    pipeline::say(MSG_SOLUTION, c->table.rows());
    pipeline::say(pipeline::MSG_DETERMINANT, c->report[0].text.c_str());
    pipeline::say(MSG_R2, c->report[1].value);
    pipeline::print_timing(clock, req->file_c);
    pipeline::check_and_warn(cmd, job, *c);
    return 0;
}

} // namespace velmar
