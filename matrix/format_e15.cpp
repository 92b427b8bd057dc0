// The 16 significant digits of a double as printf("%1.15E") prints them.
#include "matrix/matrix.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

__extension__ typedef unsigned __int128 u128;

constexpr std::uint64_t E15 = 1000000000000000ULL, E16 = 10 * E15;

constexpr std::array<u128, 33> POW5 = [] {
    std::array<u128, 33> p{};
    p[0] = 1;
    for (std::size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 5;
    return p;
}();

// |v| = m x 2^e2 exactly, m < 2^53.
void binary(double v, std::uint64_t* m, int* e2) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    const std::uint64_t frac = bits & ((std::uint64_t{1} << 52) - 1);
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    *m = biased == 0 ? frac : frac | (std::uint64_t{1} << 52);
    *e2 = (biased == 0 ? 1 : biased) - 1075;
}

// The digits for 10^-17 <= |v| < 10^16, with integers alone: with
// q = ord - 15 <= 0, |v| / 10^q = m 5^-q 2^(e2 - q), an integer P = m 5^-q
// below 2^128 shifted right, the bits shifted out deciding the rounding
// exactly. False when v lies outside that range or the shift does not fit.
bool decimal16_exact(double v, std::uint64_t* digits, int* exp10) {
    std::uint64_t m;
    int e2;
    binary(v, &m, &e2);
    // the leading power of ten, from the binary exponent (log10 2 is about
    // 78913 / 2^18); the loop below corrects it by one either way
    const int bits = e2 + static_cast<int>(std::bit_width(m)) - 1; // 2^bits <= |v|
    int ord = (bits * 78913) >> 18;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int q = ord - 15;
        if (q > 0 || q < -32) return false;
        const u128 p = static_cast<u128>(m) * POW5[static_cast<std::size_t>(-q)];
        const int s = e2 - q; // |v| / 10^q = p x 2^s
        u128 c = 0, rest = 0, half = 0;
        if (s >= 0) {
            if (s > 60) return false;
            c = p << s;
        } else {
            if (s <= -128) return false;
            c = p >> -s;
            rest = p - (c << -s);
            half = static_cast<u128>(1) << (-s - 1);
        }
        if (c >= E16) { // the estimate of the leading power was low
            ++ord;
            continue;
        }
        if (c < E15) {
            --ord;
            continue;
        }
        if (s < 0 && (rest > half || (rest == half && (c & 1) != 0))) ++c;
        if (c == E16) { // 9.999...95 rounds up to the next power
            c = E15;
            ++ord;
        }
        *digits = static_cast<std::uint64_t>(c);
        *exp10 = ord;
        return true;
    }
    return false;
}

// Digit pairs "00" to "99".
constexpr std::array<char, 200> PAIRS = [] {
    std::array<char, 200> t{};
    for (int i = 0; i < 100; ++i) {
        t[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        t[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return t;
}();

// The 16 digits of d (10^15 <= d < 10^16) into out[0..16).
void sixteen_digits(std::uint64_t d, char* out) {
    const std::uint64_t hi = d / 100000000, lo = d % 100000000;
    for (const auto& [part, at] : {std::pair{hi, 0}, std::pair{lo, 8}}) {
        auto x = static_cast<std::uint32_t>(part);
        for (int k = 3; k >= 0; --k) {
            std::memcpy(out + at + 2 * k, &PAIRS[2 * (x % 100)], 2);
            x /= 100;
        }
    }
}

// The general way, for the values beyond decimal16_exact's range:
// to_chars rounds exactly as printf does.
void decimal16_general(double v, std::uint64_t* digits, int* exp10) {
    char buf[FORMAT_E15_MAX];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, 15);
    std::uint64_t d = static_cast<std::uint64_t>(buf[0] - '0');
    for (int i = 2; i < 17; ++i) d = d * 10 + static_cast<std::uint64_t>(buf[i] - '0');
    *digits = d;
    std::from_chars(buf[18] == '+' ? buf + 19 : buf + 18, res.ptr, *exp10);
}

} // namespace

void decimal16(double v, std::uint64_t* digits, int* exp10) {
    if (!decimal16_exact(v, digits, exp10)) decimal16_general(v, digits, exp10);
}

std::size_t format_e15(double v, char* out) {
    if (!std::isfinite(v)) { // printf's INF and NAN
        const char* text = std::isnan(v) ? (std::signbit(v) ? "-NAN" : "NAN") : (v < 0 ? "-INF" : "INF");
        const std::size_t n = std::strlen(text);
        std::memcpy(out, text, n);
        return n;
    }
    char* p = out;
    if (std::signbit(v)) *p++ = '-';
    std::uint64_t d = 0;
    int e = 0;
    if (v != 0) decimal16(v, &d, &e);
    char digits[16];
    if (d == 0)
        std::memset(digits, '0', sizeof digits);
    else
        sixteen_digits(d, digits);
    *p++ = digits[0];
    *p++ = '.';
    std::memcpy(p, digits + 1, 15);
    p += 15;
    *p++ = 'E';
    *p++ = e < 0 ? '-' : '+';
    const int a = e < 0 ? -e : e;
    if (a >= 100) *p++ = static_cast<char>('0' + a / 100);
    std::memcpy(p, &PAIRS[static_cast<std::size_t>(2 * (a % 100))], 2);
    return static_cast<std::size_t>(p + 2 - out);
}

