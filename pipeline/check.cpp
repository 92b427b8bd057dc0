// The digits check: the job again at a higher precision, every printed
// number compared.
#include "pipeline/check.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pipeline {

namespace {

// v as m x 10^e with 1 <= |m| < 10 (v not 0), in long double so that the
// scaling keeps the digits of a double.
void decimal_parts(const Printed& v, long double* m, long long* e) {
    long double x = v.value;
    long long k = static_cast<long long>(std::floor(std::log10(std::fabs(x))));
    x /= std::pow(10.0L, static_cast<long double>(k));
    if (std::fabs(x) >= 10) {
        x /= 10;
        ++k;
    } else if (std::fabs(x) < 1) {
        x *= 10;
        --k;
    }
    *m = x;
    *e = k + v.scale;
}

// K from the relative difference r.
int digits_of(long double r) {
    const long double k = std::floor(-std::log10(r));
    if (!(k > 0)) return 0; // NaN too
    return k > 15 ? 15 : static_cast<int>(k);
}

} // namespace

Printed printed_det(const x_num& det, int dgt_max) {
    const std::string text = format_det(det, dgt_max);
    const double d = cvxd(&det, dgt_max);
    if (std::isnormal(d) || det.ndgt == 0) return {"determinant", d, 0, text};
    // beyond a double: the printed digits, "m.mmmE+xx", as m and xx
    const std::size_t e = text.find('E');
    return {"determinant", std::strtod(text.substr(0, e).c_str(), nullptr),
            std::atoi(text.c_str() + e + 1), text};
}

int agreeing_digits(const Printed& a, const Printed& b) {
    if (a.scale == 0 && b.scale == 0) {
        if (a.value == b.value) return 16;
        if (b.value == 0) return 0;
        return digits_of(std::fabs(a.value - b.value) / std::fabs(b.value));
    }
    // beyond a double: compare the decimal parts
    if (b.value == 0) return a.value == 0 ? 16 : 0;
    if (a.value == 0) return 0;
    long double ma, mb;
    long long ea, eb;
    decimal_parts(a, &ma, &ea);
    decimal_parts(b, &mb, &eb);
    if (ma == mb && ea == eb) return 16;
    if (ea - eb > 1 || eb - ea > 1) return 0;
    ma *= std::pow(10.0L, static_cast<long double>(ea - eb));
    return digits_of(std::fabs(ma - mb) / std::fabs(mb));
}

Verdict check(const Job& job, const Outcome& first, int digits) {
    Verdict v;
    v.digits = digits;
    // the run's console line, should it fail, is caught for the verdict
    char* caught = nullptr;
    std::size_t size = 0;
    std::FILE* const saved = console();
    std::FILE* const memory = ::open_memstream(&caught, &size);
    if (memory != nullptr) set_console(memory);
    const std::optional<Outcome> again = job(digits);
    set_console(saved);
    if (memory != nullptr) std::fclose(memory);
    std::string line = caught != nullptr ? caught : "";
    std::free(caught);
    if (!again) {
        while (!line.empty() && line.back() == '\n') line.pop_back();
        v.failure = line;
        return v;
    }

    const auto compare = [&v](const Printed& a, const Printed& b, const auto& name) {
        const int k = agreeing_digits(a, b);
        if (k < v.agreeing) {
            v.agreeing = k;
            v.name = name();
        }
    };
    const DMatrix& t = first.table;
    for (int i = 1; i <= t.rows(); ++i)
        for (int j = 1; j <= t.cols(); ++j)
            compare({"", t[i][j], 0, {}}, {"", again->table[i][j], 0, {}}, [&] {
                return std::string(first.table_name) + "[" + std::to_string(i) + "," +
                       std::to_string(j) + "]";
            });
    for (std::size_t k = 0; k < first.report.size(); ++k)
        compare(first.report[k], again->report[k], [&] { return first.report[k].name; });
    return v;
}

void print_verdict(const Verdict& v) {
    if (v.failure)
        say(MSG_CHECK_FAILED, v.digits, v.failure->c_str());
    else if (v.agreeing == 16)
        say(MSG_CHECK_AGREE, v.digits);
    else
        say(MSG_CHECK_WORST, v.name.c_str(), v.agreeing, v.digits);
}

// Each operation errs by a unit in the last of the working digits of its
// largest operand, so a result that cancelled `lost` digits (x_lost_) keeps
// about working - lost correct ones; the double written shows 16, and with
// fewer kept some of those may be wrong. Measuring costs one decimal order
// per element or pivot: no second computation.
bool digits_at_risk(const Outcome& first) {
    constexpr int DOUBLE_DIGITS = 16;
    return first.lost > first.working - DOUBLE_DIGITS;
}

void check_and_warn(const Command& c, const Job& job, const Outcome& first) {
    // no precision above N: nothing to check against
    const bool risk = c.check_digits > 0 && digits_at_risk(first);
    if (!c.check && !risk) return;
    const Verdict v = check(job, first, c.check_digits);
    if (c.check) print_verdict(v);
    if (!risk) return;
    constexpr int WARN_BELOW = 15;
    if (v.failure)
        std::fprintf(stderr, MSG_WARNING_FAILED, v.digits, v.failure->c_str());
    else if (v.agreeing < WARN_BELOW)
        std::fprintf(stderr, MSG_WARNING, v.name.c_str(), v.agreeing, c.digits, v.digits);
}

} // namespace pipeline
