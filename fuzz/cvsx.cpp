// Fuzz target: decimal text to record and back.
//
// Input: one byte for the precision (1 to 250), then the text, any bytes
// of any length. cvsx must write a valid record, within its own bytes,
// holding exactly what the text form gives at that precision (worked out
// here from the form on digit strings), or the undefined record for text
// outside the form. cvxs of that record, at the same precision and at 240,
// must give the text the output form prescribes, and reading that text
// back at a precision covering it must give the value written, unless the
// form cannot hold it (a scientific exponent of more than four characters,
// or a mantissa longer than the 240 characters cvsx keeps). When the text
// holds at least 8 bytes, its first 8 also make a double, for which cvdx
// must agree with cvsx of its "%1.15E" text, and cvxd with the text's double.
#include "fuzz/fuzz_support.h"
#include "testsupport/decimal.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

using namespace fuzz;

inline constexpr int PREC_MAX = 250;
inline constexpr int CVSX_PREC_MAX = 239; // cvsx keeps at most 240 mantissa characters
inline constexpr int CVXS_PREC_MAX = 240;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// What a text reads as: undefined, or a value (zero included).
struct Reading {
    bool undefined = false;
    bool neg = false; // the text's sign, which a zero keeps too
    Dec value;
};

// The text form, worked out on the text as a whole: a sign, an exponent
// letter among the last five characters (neither first nor last, the later
// of two), the mantissa cut to its first prec + 1 characters, the dropped
// integer digits added to the exponent and the kept places taken off it.
Reading read_form(std::string_view s, int prec) {
    const std::size_t keep_max = static_cast<std::size_t>(std::clamp(prec, 1, CVSX_PREC_MAX)) + 1;
    Reading r;
    std::size_t pos = 0;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        r.neg = s[0] == '-';
        pos = 1;
    }
    std::optional<std::size_t> letter;
    for (std::size_t i = 1; i + 1 < s.size(); ++i)
        if (i + 5 >= s.size() && (s[i] == 'e' || s[i] == 'E')) letter = i;
    long long exponent = 0;
    std::size_t end = s.size();
    if (letter) {
        std::string_view t = s.substr(*letter + 1);
        bool minus = false;
        if (t[0] == '+' || t[0] == '-') {
            minus = t[0] == '-';
            t.remove_prefix(1);
        }
        if (t.empty() || !std::all_of(t.begin(), t.end(), is_digit)) return {true, false, {}};
        for (const char c : t) exponent = exponent * 10 + (c - '0');
        if (minus) exponent = -exponent;
        end = *letter;
    }
    const std::string_view m = s.substr(pos, end - pos);
    const std::size_t point = m.find('.');
    if (std::count(m.begin(), m.end(), '.') > 1) return {true, false, {}};
    for (const char c : m)
        if (c != '.' && !is_digit(c)) return {true, false, {}};

    const std::string_view kept = m.substr(0, keep_max);
    long long dropped_int = 0;
    if (point == std::string_view::npos)
        dropped_int = static_cast<long long>(m.size() - kept.size());
    else if (point > kept.size())
        dropped_int = static_cast<long long>(point - kept.size());
    const long long places = point != std::string_view::npos && point < kept.size()
                                 ? static_cast<long long>(kept.size() - point - 1)
                                 : 0;
    std::string digits;
    for (const char c : kept)
        if (c != '.') digits += c;
    r.value = canon(Dec{r.neg, trim(digits), exponent + dropped_int - places});
    return r;
}

// The output form of a record at precision prec: its significant digits D
// (cut to prec) and power e, laid out as an integer, a fraction or
// scientific, with a minus sign in front of a negative number.
std::string write_form(const x_num& x, int prec) {
    const std::size_t m = static_cast<std::size_t>(std::clamp(prec, 1, CVXS_PREC_MAX));
    if (x.sign == '?') return "?";
    Dec v = canon(value_of(x));
    if (v.mag.empty()) return "0";
    std::string d = v.mag;
    long long e = v.exp;
    if (d.size() > m) {
        e += static_cast<long long>(d.size() - m);
        d.resize(m);
    }
    const auto len = static_cast<long long>(d.size());
    const auto mm = static_cast<long long>(m);
    std::string s;
    if ((e > 0 && len + e > mm) || (e < 0 && -e > mm)) {
        s = d.substr(0, 1);
        if (len > 1) s += "." + d.substr(1);
        s += "E" + std::to_string(e + len - 1);
    } else if (e >= 0) {
        s = d + std::string(static_cast<std::size_t>(e), '0');
    } else if (len > -e) {
        s = d.substr(0, static_cast<std::size_t>(len + e)) + "." +
            d.substr(static_cast<std::size_t>(len + e));
    } else {
        s = "0." + std::string(static_cast<std::size_t>(-e - len), '0') + d;
    }
    return x.sign == '-' ? "-" + s : s;
}

// A text for a failure report: quoted, bytes outside printable ASCII as
// escapes, cut after 300 bytes.
std::string quoted(std::string_view t) {
    std::string out = "\"";
    for (const char c : t.substr(0, 300)) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '"' && c != '\\') {
            out += c;
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", u);
            out += esc;
        }
    }
    return out + (t.size() > 300 ? "\"... (" + std::to_string(t.size()) + " bytes)" : "\"");
}

// cvsx into a record between canaries, filled with garbage first.
x_num read_guarded(std::string_view text, int prec) {
    Guarded g;
    arm(g);
    poison(g.x, 0x6B6B6B6Bu);
    cvsx(text, &g.x, prec);
    check_canaries(g, "cvsx");
    check_record(g.x, "cvsx", [&] { return "text " + quoted(text); });
    return g.x;
}

// Both forms of cvxs: the buffer one must stay within its 256 characters.
std::string write_guarded(const x_num& x, int prec) {
    struct {
        char text[256];
        std::uint32_t after[GUARD_WORDS];
    } out;
    std::memset(out.text, 'Z', sizeof out.text);
    std::fill(std::begin(out.after), std::end(out.after), CANARY);
    cvxs(out.text, &x, prec);
    check(std::all_of(std::begin(out.after), std::end(out.after),
                      [](std::uint32_t w) { return w == CANARY; }),
          "cvxs wrote past its 256 characters", show(x));
    const void* nul = std::memchr(out.text, '\0', sizeof out.text);
    check(nul != nullptr, "cvxs left no terminator within 256 characters", show(x));
    const std::string s(out.text);
    check(s == cvxs(&x, prec), "the two forms of cvxs differ", show(x));
    return s;
}

// The characters of a text's mantissa (no sign, no exponent), and those
// after its exponent letter (0 without one).
std::size_t mantissa_length(std::string_view t) {
    if (!t.empty() && t[0] == '-') t.remove_prefix(1);
    return std::min(t.find('E'), t.size());
}

std::size_t exponent_length(std::string_view t) {
    const std::size_t e = t.find('E');
    return e == std::string_view::npos ? 0 : t.size() - e - 1;
}

// cvsx of the text against the form, then cvxs of the record and the
// reading back of what it wrote, then cvxd.
void check_text(std::string_view text, int prec) {
    const x_num x = read_guarded(text, prec);
    const Reading want = read_form(text, prec);
    const auto at = [&] {
        return "cvsx(" + quoted(text) + ", " + std::to_string(prec) + ") gave " + show(x) +
               ", the form gives " + (want.undefined ? std::string("'?'") : show(want.value));
    };
    if (want.undefined) {
        check(x.sign == '?' && x.ndgt == 0, "text outside the form reads as '?'", at);
    } else {
        check(x.sign == (want.neg ? '-' : '+'), "the sign of a text", at);
        const Dec got = value_of(x);
        check(got.mag == want.value.mag && (got.mag.empty() || got.exp == want.value.exp),
              "cvsx reads another value than the form gives", at);
    }

    for (const int wprec : {prec, CVXS_PREC_MAX}) {
        const std::string t = write_guarded(x, wprec);
        const std::string form = write_form(x, wprec);
        const auto wat = [&] {
            return "cvxs(" + show(x) + ", " + std::to_string(wprec) + ") gave \"" + t +
                   "\", the form gives \"" + form + "\"";
        };
        check(t == form, "cvxs writes another text than the form gives", wat);
        if (x.sign == '?' || exponent_length(t) > 4 || mantissa_length(t) > CVSX_PREC_MAX + 1)
            continue;
        const x_num back = read_guarded(t, static_cast<int>(t.size()) + 1);
        const Dec written = truncate_to(canon(value_of(x)), static_cast<std::size_t>(wprec));
        check(same_value(value_of(back), written), "a written text reads back to another value",
              [&] { return wat() + ", read back as " + show(back); });
    }

    check(std::bit_cast<std::uint64_t>(cvxd(&x, prec)) ==
              std::bit_cast<std::uint64_t>(std::strtod(cvxs(&x, prec).c_str(), nullptr)),
          "cvxd is not the double of the record's text", at);
}

// cvdx of a double, whose fast path for precisions of 16 and more must give
// the record cvsx makes of the "%1.15E" text.
void check_double(double v, int prec) {
    Guarded g;
    arm(g);
    poison(g.x, 0x3C3C3C3Cu);
    cvdx(&g.x, v, prec);
    check_canaries(g, "cvdx");
    char text[64];
    std::snprintf(text, sizeof text, "%1.15E", v);
    const auto at = [&] {
        return std::string("cvdx(") + text + ", " + std::to_string(prec) + ") gave " + show(g.x);
    };
    check_record(g.x, "cvdx", at);
    if (!std::isfinite(v)) {
        check(g.x.sign == '?' && g.x.ndgt == 0, "cvdx of a non-finite double gives '?'", at);
        return;
    }
    x_num y;
    cvsx(text, &y, prec);
    check(same_fields(g.x, y), "cvdx differs from cvsx of the double's text",
          [&] { return at() + ", cvsx gave " + show(y); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int prec = 1 + data[0] % PREC_MAX;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    check_text(text, prec);
    if (text.size() >= sizeof(double)) {
        double v;
        std::memcpy(&v, text.data(), sizeof v);
        check_double(v, prec);
    }
    return 0;
}
