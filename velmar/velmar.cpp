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
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// What --summary and --residuals ask for, and what the run that is written
// makes for them: the summary's lines and the residual table. The check's
// run at more digits makes neither.
struct Extras {
    bool summary = false;
    const char* residuals = nullptr; // the file; nullptr: not asked
    std::string summary_text;
    pipeline::DMatrix fits;
};

[[gnu::format(printf, 2, 3)]] void appendf(std::string* out, const char* format, ...) {
    char line[256];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    *out += line;
}

// A statistic as the summary prints it: a number as the determinant is
// printed (its double in "%1.15E", or its own digits beyond a double's
// range), or the word that stands in its place.
std::string shown(const Stat& s, int dgt_max) {
    switch (s.kind) {
    case Stat::number:
        return pipeline::format_det(s.value, dgt_max);
    case Stat::inf:
        return WORD_INF;
    case Stat::minus_inf:
        return WORD_MINUS_INF;
    case Stat::forced:
        return WORD_FORCED;
    case Stat::undefined:
        break;
    }
    return WORD_UNDEFINED;
}

// The coefficient table and the fit statistics. Design column j + k x mx0
// is named xj for k = 0 and xj^(k+1) above.
std::string summary_text(const Summary& sm, const Solution& sol, std::optional<double> intercept,
                         int mx0, int dgt_max) {
    std::string out;
    appendf(&out, SUMMARY_ROW, TERM, ESTIMATE, STD_ERROR, T_VALUE);
    char forced[40];
    if (intercept) std::snprintf(forced, sizeof forced, "%1.15E", *intercept);
    appendf(&out, SUMMARY_ROW, TERM_INTERCEPT,
            intercept ? forced : pipeline::format_det(sol.a0, dgt_max).c_str(),
            shown(sm.se[0], dgt_max).c_str(), shown(sm.t[0], dgt_max).c_str());
    for (int i = 1; i <= sol.b.rows(); ++i) {
        char name[32];
        const int j = (i - 1) % mx0 + 1, power = (i - 1) / mx0 + 1;
        if (power == 1)
            std::snprintf(name, sizeof name, TERM_COLUMN, j);
        else
            std::snprintf(name, sizeof name, TERM_POWER, j, power);
        const auto k = static_cast<std::size_t>(i);
        appendf(&out, SUMMARY_ROW, name, pipeline::format_det(sol.b[i][1], dgt_max).c_str(),
                shown(sm.se[k], dgt_max).c_str(), shown(sm.t[k], dgt_max).c_str());
    }
    appendf(&out, SUMMARY_SD, shown(sm.s, dgt_max).c_str(), sm.df);
    appendf(&out, SUMMARY_ADJUSTED_R2, shown(sm.adjusted_r2, dgt_max).c_str());
    appendf(&out, SUMMARY_F, shown(sm.f, dgt_max).c_str(), sol.b.rows(), sm.df);
    appendf(&out, SUMMARY_REGRESSION_SS, pipeline::format_det(sm.regression_ss, dgt_max).c_str());
    appendf(&out, SUMMARY_RESIDUAL_SS, pipeline::format_det(sm.residual_ss, dgt_max).c_str());
    return out;
}

// The fit at N digits (precision(degree, N) above degree 1), from the
// loaded tables to the result column, the determinant and R^2, and with
// extras what they ask for. Prints the failure line and returns nothing
// when the normal matrix is singular or a result lies beyond the range of
// a double.
std::optional<pipeline::Outcome> fit(const Request& req, const pipeline::Table& x,
                                     const pipeline::Table& y, int digits,
                                     Extras* extras = nullptr) {
    const int dgt_max = precision(req.degree, digits);
    const Design xX = design_matrix(x.values, req.degree, dgt_max, x.exact(), !req.intercept);
    const pipeline::XMatrix xY = pipeline::to_x(y.values, dgt_max, y.exact());
    const auto sol = solve(xX, xY, req.intercept, dgt_max, extras != nullptr && extras->summary);
    if (!sol) {
        std::fputs(pipeline::MSG_SINGULAR, pipeline::console());
        return std::nullopt;
    }
    pipeline::Outcome c{pipeline::DMatrix(xX.cols() + 1, 1), "C", {}};
    c.lost = sol->lost;
    c.working = dgt_max;
    if (!result_column(*sol, req.intercept, c.table, dgt_max)) return std::nullopt;
    const bool residuals = extras != nullptr && extras->residuals != nullptr;
    const pipeline::XMatrix fits =
        residuals ? pipeline::XMatrix(xX.rows(), 2) : pipeline::XMatrix();
    const Squares sq = r_squared(xX, xY, *sol, dgt_max, residuals ? &fits : nullptr);
    c.report = {pipeline::printed_det(sol->det, dgt_max), {"R^2", cvxd(&sq.r2, dgt_max), 0, {}}};
    if (residuals) {
        extras->fits = pipeline::DMatrix(xX.rows(), 2);
        if (!pipeline::to_doubles(fits, extras->fits, "R", dgt_max)) return std::nullopt;
    }
    if (extras != nullptr && extras->summary)
        extras->summary_text =
            summary_text(summarise(*sol, sq, xX.rows(), req.intercept.has_value(), dgt_max), *sol,
                         req.intercept, x.cols(), dgt_max);
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
    Extras extras;
    const pipeline::Option options[] = {
        {'s', "summary", nullptr, HELP_SUMMARY,
         [&extras](const char*) {
             extras.summary = true;
             return true;
         }},
        {'r', "residuals", "FILE", HELP_RESIDUALS,
         [&extras](const char* file) {
             extras.residuals = file;
             return true;
         }},
    };
    if (const auto status = pipeline::read_command(argc, argv, program, &cmd, options))
        return *status;
    pipeline::console_for(cmd.operands[2]);
    if (extras.residuals != nullptr) pipeline::console_for(extras.residuals);
    const auto req = read_request(cmd.operands);
    if (!req) return 1;
    // two tables in one place would leave only the one written last
    if (extras.residuals != nullptr && (std::strcmp(extras.residuals, req->file_c) == 0 ||
                                        (pipeline::is_standard_output(extras.residuals) &&
                                         pipeline::is_standard_output(req->file_c)))) {
        pipeline::say(MSG_RESIDUALS_PLACE, escaped(extras.residuals).c_str());
        return 1;
    }
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
    const auto c = fit(*req, *x, *y, cmd.digits, &extras);
    if (!c) return 1;
    // the residuals first, so that status 0 still means file_C was written
    if (extras.residuals != nullptr &&
        !pipeline::write(extras.residuals, extras.fits, MSG_RESIDUALS_FAILED))
        return 1;
    if (!pipeline::write(req->file_c, c->table)) return 1;
    pipeline::say(MSG_SOLUTION, c->table.rows());
    pipeline::say(pipeline::MSG_DETERMINANT, c->report[0].text.c_str());
    pipeline::say(MSG_R2, c->report[1].value);
    pipeline::print_timing(clock, req->file_c);
    std::fputs(extras.summary_text.c_str(), pipeline::console());
    pipeline::check_and_warn(cmd, job, *c);
    return 0;
}

} // namespace velmar
