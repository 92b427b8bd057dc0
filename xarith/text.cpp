// Decimal text to x_num and back, and doubles through that text.
#include "matrix/matrix.h"
#include "xarith/nearest.h"
#include "xarith/record.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

using namespace xarith_detail;

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

void set_undefined(x_num* a) {
    a->sign = '?';
    a->ndgt = 0;
    a->esp = 0;
}

// The exponent letter of a number's text: E or e among its last five
// characters, neither the last nor the first, the later of two counting.
// Returns its index, or npos.
std::size_t exponent_letter(std::string_view s) {
    if (s.size() < 3) return std::string_view::npos;
    const std::size_t lowest = s.size() >= 6 ? s.size() - 5 : 1;
    for (std::size_t i = s.size() - 2;; --i) {
        if (s[i] == 'E' || s[i] == 'e') return i;
        if (i == lowest) break;
    }
    return std::string_view::npos;
}

// The one to four characters after the letter: an optional sign, then
// digits only. Returns false when they are not such an integer.
bool parse_exponent(std::string_view s, wide_t* value) {
    std::size_t i = 0;
    bool neg = false;
    if (s[0] == '+' || s[0] == '-') {
        neg = s[0] == '-';
        i = 1;
    }
    if (i == s.size()) return false;
    wide_t v = 0;
    for (; i < s.size(); ++i) {
        if (!is_digit(s[i])) return false;
        v = v * 10 + (s[i] - '0');
    }
    *value = neg ? -v : v;
    return true;
}

// The significant digits of a record, as text: the top non-zero limb
// without leading zeros, every lower limb as six digits. Returns the length
// (0 when every limb in use is 0). out has room for 40 * 10 characters.
int limb_text(char* out, const x_num* a) {
    const int n = strip_top(a->dgt, used_limbs(a));
    if (n == 0) return 0;
    // a limb outside 0..999999 cannot occur in a valid record; the unsigned
    // view keeps the text within its room whatever the limbs hold
    char* p = std::to_chars(out, out + 10, static_cast<std::uint32_t>(a->dgt[n - 1])).ptr;
    for (int i = n - 2; i >= 0; --i) {
        std::uint32_t v = static_cast<std::uint32_t>(a->dgt[i]) % DM;
        for (int k = BASE - 1; k >= 0; --k) {
            p[k] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
        p += BASE;
    }
    return static_cast<int>(p - out);
}

} // namespace

// Reads the mantissa in the steps the text form fixes: the precision cut by
// characters, the trailing zeros moved into the exponent, the point's
// places taken off the exponent, the digits grouped by six from the right.
// 123456789012345.678 at precision 10 keeps "12345678901", whose four
// dropped integer digits raise the exponent: limbs 678901, 12345, esp 4.
void cvsx(std::string_view str, x_num* a, int dgt_max) {
    const int prec = clamp_prec(dgt_max, PREC_CVSX_MAX);
    std::size_t pos = 0;
    signed char sign = '+';
    if (!str.empty() && (str[0] == '-' || str[0] == '+')) {
        sign = str[0] == '-' ? '-' : '+';
        pos = 1;
    }

    // the exponent
    wide_t esp = 0;
    std::size_t end = str.size();
    const std::size_t letter = exponent_letter(str);
    if (letter != std::string_view::npos) {
        if (!parse_exponent(str.substr(letter + 1), &esp)) return set_undefined(a);
        end = letter;
    }

    // the mantissa: digits with at most one point
    const std::string_view mant = str.substr(pos, end - pos);
    std::size_t point = std::string_view::npos;
    for (std::size_t i = 0; i < mant.size(); ++i) {
        if (mant[i] == '.') {
            if (point != std::string_view::npos) return set_undefined(a);
            point = i;
        } else if (!is_digit(mant[i])) {
            return set_undefined(a);
        }
    }

    // the precision cut: dropped digits before the point raise the exponent
    const std::size_t keep_n = std::min(mant.size(), static_cast<std::size_t>(prec) + 1);
    if (keep_n < mant.size()) {
        if (point == std::string_view::npos)
            esp += static_cast<wide_t>(mant.size() - keep_n);
        else if (point > keep_n)
            esp += static_cast<wide_t>(point - keep_n);
    }
    const std::string_view kept = mant.substr(0, keep_n);
    const bool kept_point = point != std::string_view::npos && point < keep_n;

    // trailing zeros, read from the end past the point, go into the exponent
    std::size_t last = kept.size(); // digits at [0, last) remain
    while (last > 0 && (kept[last - 1] == '0' || kept[last - 1] == '.')) {
        if (kept[last - 1] == '0') ++esp;
        --last;
    }
    if (kept_point) esp -= static_cast<wide_t>(kept.size() - point - 1);

    // the digits, grouped by six from the right
    int n = 0;
    limb_t limb = 0, scale = 1;
    int in_limb = 0;
    for (std::size_t i = last; i-- > 0;) {
        if (kept[i] == '.') continue;
        limb += (kept[i] - '0') * scale;
        scale *= 10;
        if (++in_limb == BASE) {
            a->dgt[n++] = limb;
            limb = 0;
            scale = 1;
            in_limb = 0;
        }
    }
    if (in_limb != 0) a->dgt[n++] = limb;
    a->sign = sign;
    a->ndgt = strip_top(a->dgt, n);
    a->esp = clamp_esp(esp);
}

namespace {

// The text of a record; returns its length (at most 255).
int write_text(char* s, const x_num* a, int dgt_max) {
    const int prec = clamp_prec(dgt_max, PREC_CVXS_MAX);
    if (a->ndgt == 0 && a->sign != '?') return s[0] = '0', 1;
    if (a->sign == '?') return s[0] = '?', 1;
    if (a->ndgt == 1 && a->dgt[0] == 0) return s[0] = '0', 1;

    char d[SUB_DGT * 10];
    int len = limb_text(d, a);
    if (len == 0) return s[0] = '0', 1;
    wide_t e = a->esp;
    while (d[len - 1] == '0') --len, ++e;
    if (len > prec) {
        e += len - prec;
        len = prec;
    }

    char* p = s;
    if (a->sign == '-') *p++ = '-';
    const auto put = [&p](const char* from, wide_t count) {
        std::memcpy(p, from, static_cast<std::size_t>(count));
        p += count;
    };
    const auto zeros = [&p](wide_t count) {
        std::memset(p, '0', static_cast<std::size_t>(count));
        p += count;
    };
    const bool scientific = e > 0 ? len + e > prec : -e > prec;
    if (scientific) {
        *p++ = d[0];
        if (len > 1) {
            *p++ = '.';
            put(d + 1, len - 1);
        }
        *p++ = 'E';
        p = std::to_chars(p, p + 24, e + len - 1).ptr;
    } else if (e >= 0) {
        put(d, len);
        zeros(e);
    } else if (len > -e) {
        put(d, len + e);
        *p++ = '.';
        put(d + len + e, -e);
    } else {
        *p++ = '0';
        *p++ = '.';
        zeros(-e - len);
        put(d, len);
    }
    return static_cast<int>(p - s);
}

} // namespace

void cvxs(char* s, const x_num* a, int dgt_max) {
    s[write_text(s, a, dgt_max)] = '\0';
}

std::string cvxs(const x_num* a, int dgt_max) {
    char buf[256];
    return std::string(buf, static_cast<std::size_t>(write_text(buf, a, dgt_max)));
}

namespace {

// cvxd's number, the record's first prec digits (those its text at prec
// keeps), read from its limbs: its first 38 of them (10^38 < 2^128) as
// d x 10^e, and *more when a digit after those is not 0, the number then
// lying between d and d + 1 times 10^e. False where the text is not such a
// number: zero, undefined, limbs outside a record's range.
bool text_number(const x_num* a, int prec, u128* d, wide_t* e, bool* more) {
    constexpr int KEEP = 38;
    if (a->sign != '+' && a->sign != '-') return false;
    const int n = strip_top(a->dgt, used_limbs(a));
    if (n == 0) return false;
    const auto pow10 = [](int k) { return POW10_WORD[static_cast<std::size_t>(k)]; };
    const int keep = std::min(prec, KEEP);
    u128 v = 0;
    int seen = 0, i = n - 1;
    *more = false;
    for (; i >= 0 && seen < keep; --i) {
        const limb_t l = a->dgt[i];
        if (l < 0 || l >= DM) return false;
        const int digits = i == n - 1 ? limb_digits(l) : BASE;
        const int take = std::min(digits, keep - seen);
        seen += take;
        *e = static_cast<wide_t>(a->esp) + BASE * i + (digits - take);
        if (take < digits) { // d ends inside this limb
            v = v * pow10(take) + static_cast<u64>(l) / pow10(digits - take);
            // the limb's digits after d that the text keeps
            const int use = std::min(digits - take, prec - seen);
            *more = use > 0 &&
                    static_cast<u64>(l) % pow10(digits - take) / pow10(digits - take - use) != 0;
            seen += use;
            --i;
            break;
        }
        v = v * pow10(take) + static_cast<u64>(l);
    }
    *d = v;
    // the limbs after d, as far as the text keeps them
    for (; i >= 0 && seen < prec && !*more; --i, seen += BASE) {
        const limb_t l = a->dgt[i];
        if (l < 0 || l >= DM) return false;
        *more = static_cast<u64>(l) / pow10(BASE - std::min(BASE, prec - seen)) != 0;
    }
    return true;
}

} // namespace

// The text's double, correctly rounded as atof gives it: from the record's
// digits where nearest_double can tell it, else from the text, whose
// conversion also decides what an out-of-range number becomes (an
// infinity, or 0 or a subnormal).
double cvxd(const x_num* a, int dgt_max) {
    u128 d = 0;
    wide_t e = 0;
    bool more = false;
    double v = 0.0;
    if (text_number(a, clamp_prec(dgt_max, PREC_CVXS_MAX), &d, &e, &more)) {
        if (nearest_double(d, e, more, a->sign == '-', &v)) return v;
    }
    char buf[256];
    const int len = write_text(buf, a, dgt_max);
    buf[len] = '\0';
    const auto r = std::from_chars(buf, buf + len, v);
    if (r.ec == std::errc::result_out_of_range) return std::atof(buf);
    return r.ec == std::errc() ? v : 0.0;
}

// A double enters through its "%1.15E" text. At a precision of 16 or more
// cvsx keeps all of that text's 16 digits, so the record is made from the
// digits straight away: their trailing zeros go into the exponent (which
// the text's 15 places lower by 15), the rest is grouped by six. Zero is the
// record the text 0.000000000000000E+00 reads as: no limbs, esp 1.
void cvdx(x_num* a, double x, int dgt_max) {
    if (!std::isfinite(x)) return set_undefined(a);
    if (dgt_max < 16) {
        char buf[FORMAT_E15_MAX];
        const std::size_t len = format_e15(x, buf);
        return cvsx(std::string_view(buf, len), a, dgt_max);
    }
    a->sign = std::signbit(x) ? '-' : '+';
    if (x == 0) {
        a->ndgt = 0;
        a->esp = 1;
        return;
    }
    std::uint64_t m = 0;
    int exp10 = 0;
    decimal16(x, &m, &exp10);
    int zeros = 0;
    while (m % 10 == 0) {
        m /= 10;
        ++zeros;
    }
    a->esp = exp10 - 15 + zeros;
    a->dgt[0] = static_cast<limb_t>(m % DM);
    a->dgt[1] = static_cast<limb_t>(m / DM % DM);
    a->dgt[2] = static_cast<limb_t>(m / (static_cast<std::uint64_t>(DM) * DM));
    a->ndgt = a->dgt[2] != 0 ? 3 : (a->dgt[1] != 0 ? 2 : 1);
}

// The three string helpers keep a text within 255 characters, so that it
// always fits the 256-character buffers the callers provide.
void SetDecPoint(char* s, int n) {
    const std::size_t len = std::strlen(s);
    if (n > 0 && static_cast<std::size_t>(n) < len && len < 255) {
        std::memmove(s + n + 1, s + n, len - static_cast<std::size_t>(n) + 1);
        s[n] = '.';
    } else if (n == 0 && len < 254) {
        std::memmove(s + 2, s, len + 1);
        s[0] = '0';
        s[1] = '.';
    }
}

namespace {

// The count ZeroPrfx and ZeroSfx report, and the zeros they really add.
int zero_count(const char* str, int n, int* add) {
    const int len = static_cast<int>(std::strlen(str));
    if (len + n >= 256) n = 255 - len;
    *add = std::clamp(n, 0, 250);
    return n;
}

} // namespace

int ZeroPrfx(char* str, int n) {
    int add = 0;
    n = zero_count(str, n, &add);
    const std::size_t len = std::strlen(str);
    std::memmove(str + add, str, len + 1);
    std::memset(str, '0', static_cast<std::size_t>(add));
    return n;
}

int ZeroSfx(char* str, int n) {
    int add = 0;
    n = zero_count(str, n, &add);
    const std::size_t len = std::strlen(str);
    std::memset(str + len, '0', static_cast<std::size_t>(add));
    str[len + static_cast<std::size_t>(add)] = '\0';
    return n;
}
