// An exact decimal reference for the tests and the fuzz targets: natural
// numbers as digit strings, signed decimals built on them, and the values
// of records. Slow and plain, independent of the limb arithmetic under test.
#ifndef TESTSUPPORT_DECIMAL_H
#define TESTSUPPORT_DECIMAL_H

#include "xarith/xarith.h"

#include <algorithm>
#include <cstddef>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------
// A natural number as its digit string, most significant first, without
// leading zeros ("" is zero).
using Digits = std::string;

inline Digits trim(Digits d) {
    d.erase(0, std::min(d.find_first_not_of('0'), d.size()));
    return d;
}

// Appends v, 0 <= v < 10^6, as six digits.
inline void append_limb(Digits& d, long long v) {
    char six[6];
    for (int i = 5; i >= 0; --i, v /= 10) six[i] = static_cast<char>('0' + v % 10);
    d.append(six, 6);
}

// The magnitude of a record as digits: the limbs in use, no exponent. A
// limb out of 0..999999 has no digits and throws.
inline Digits digits_of(const x_num& x) {
    Digits d;
    for (int i = std::clamp<int>(x.ndgt, 0, SUB_DGT) - 1; i >= 0; --i) {
        if (x.dgt[i] < 0 || x.dgt[i] >= DM) throw std::out_of_range("limb out of 0..999999");
        append_limb(d, x.dgt[i]);
    }
    return trim(std::move(d));
}

// The canonical limbs of a natural number: groups of six digits from the
// right, least significant first.
inline std::vector<int> limbs_of(const Digits& d) {
    std::vector<int> out;
    for (std::size_t end = d.size(); end > 0;) {
        const std::size_t start = end >= 6 ? end - 6 : 0;
        int v = 0;
        for (std::size_t i = start; i < end; ++i) v = v * 10 + (d[i] - '0');
        out.push_back(v);
        end = start;
    }
    return out;
}

inline int cmp(const Digits& a, const Digits& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a < b ? -1 : (a > b ? 1 : 0);
}

inline Digits add(const Digits& a, const Digits& b) {
    Digits r;
    int carry = 0;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
        int s = carry;
        if (i < a.size()) s += a[a.size() - 1 - i] - '0';
        if (i < b.size()) s += b[b.size() - 1 - i] - '0';
        r.push_back(static_cast<char>('0' + s % 10));
        carry = s / 10;
    }
    std::reverse(r.begin(), r.end());
    return trim(std::move(r));
}

// a - b for a >= b.
inline Digits sub(const Digits& a, const Digits& b) {
    Digits r;
    int borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        int s =
            (a[a.size() - 1 - i] - '0') - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
        borrow = s < 0;
        if (borrow) s += 10;
        r.push_back(static_cast<char>('0' + s));
    }
    std::reverse(r.begin(), r.end());
    return trim(std::move(r));
}

// a * b: the schoolbook product of base-10^6 limbs, each column below 10^12
// times the limb count, far from the range of long long.
inline Digits mul(const Digits& a, const Digits& b) {
    if (a.empty() || b.empty()) return {};
    const std::vector<int> x = limbs_of(a), y = limbs_of(b);
    std::vector<long long> col(x.size() + y.size(), 0);
    for (std::size_t i = 0; i < x.size(); ++i)
        for (std::size_t j = 0; j < y.size(); ++j)
            col[i + j] += static_cast<long long>(x[i]) * y[j];
    for (std::size_t k = 0; k + 1 < col.size(); ++k) {
        col[k + 1] += col[k] / DM;
        col[k] %= DM;
    }
    Digits r;
    for (std::size_t k = col.size(); k-- > 0;) append_limb(r, col[k]);
    return trim(std::move(r));
}

// floor(sqrt(n)): the root's digits from the top, each the largest that
// keeps the root so far (zeros below it) squared within n.
inline Digits isqrt(const Digits& n) {
    Digits r((n.size() + 1) / 2, '0');
    for (char& digit : r)
        for (digit = '9'; digit > '0'; --digit)
            if (cmp(mul(trim(r), trim(r)), n) <= 0) break;
    return trim(std::move(r));
}

// d times 10^k (k >= 0), or d divided by 10^-k and truncated (k < 0).
inline Digits scale10(const Digits& d, long long k) {
    if (d.empty()) return d;
    if (k >= 0) return d + std::string(static_cast<std::size_t>(k), '0');
    if (static_cast<long long>(d.size()) <= -k) return {};
    return d.substr(0, d.size() - static_cast<std::size_t>(-k));
}

// ---------------------------------------------------------------------------
// An exact signed decimal: (neg ? -1 : 1) * mag * 10^exp. Zero is Dec{}, no
// sign and exponent 0, as every operation here returns it; trailing zeros
// stay in mag until canon moves them into the exponent.
struct Dec {
    bool neg = false;
    Digits mag;
    long long exp = 0;

    bool operator==(const Dec&) const = default;
};

inline std::string show(const Dec& d) {
    if (d.mag.empty()) return "0";
    return (d.neg ? "-" : "") + d.mag + "e" + std::to_string(d.exp);
}

inline std::ostream& operator<<(std::ostream& os, const Dec& d) {
    return os << show(d);
}

// The value of a record, its trailing zeros kept in the digits; a record
// without digits is Dec{}, whatever its sign and exponent.
inline Dec value_of(const x_num& x) {
    Digits d = digits_of(x);
    if (d.empty()) return {};
    return {x.sign == '-', std::move(d), x.esp};
}

inline Dec from_int(long long v) {
    return {v < 0, trim(std::to_string(v < 0 ? -v : v)), 0};
}

inline Dec ten_to(long long e) {
    return {false, "1", e};
}

// The one form of a value: trailing zeros moved into the exponent.
inline Dec canon(Dec d) {
    if (d.mag.empty()) return {};
    while (d.mag.back() == '0') {
        d.mag.pop_back();
        ++d.exp;
    }
    return d;
}

inline bool same_value(const Dec& a, const Dec& b) {
    return canon(a) == canon(b);
}

inline Dec magnitude(Dec d) {
    d.neg = false;
    return d;
}

inline Dec operator-(Dec a) {
    a.neg = !a.neg && !a.mag.empty();
    return a;
}

// a + b, exactly. The digits are aligned at the lower exponent, so the cost
// grows with the distance between the exponents: callers keep it small.
inline Dec operator+(const Dec& a, const Dec& b) {
    if (a.mag.empty()) return b;
    if (b.mag.empty()) return a;
    const long long e = std::min(a.exp, b.exp);
    const Digits x = scale10(a.mag, a.exp - e), y = scale10(b.mag, b.exp - e);
    if (a.neg == b.neg) return {a.neg, add(x, y), e};
    const int c = cmp(x, y);
    if (c == 0) return {};
    return c > 0 ? Dec{a.neg, sub(x, y), e} : Dec{b.neg, sub(y, x), e};
}

inline Dec operator-(const Dec& a, const Dec& b) {
    return a + -b;
}

inline Dec operator*(const Dec& a, const Dec& b) {
    if (a.mag.empty() || b.mag.empty()) return {};
    return {a.neg != b.neg, mul(a.mag, b.mag), a.exp + b.exp};
}

// Compares |a| and |b|: by the power of ten of the leading digit, then digit
// by digit, without aligning the digits.
inline int cmp_mag(const Dec& a, const Dec& b) {
    if (a.mag.empty() || b.mag.empty()) return a.mag.empty() ? (b.mag.empty() ? 0 : -1) : 1;
    const long long oa = a.exp + static_cast<long long>(a.mag.size());
    const long long ob = b.exp + static_cast<long long>(b.mag.size());
    if (oa != ob) return oa < ob ? -1 : 1;
    const std::size_t n = std::max(a.mag.size(), b.mag.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = i < a.mag.size() ? a.mag[i] : '0';
        const char y = i < b.mag.size() ? b.mag[i] : '0';
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

// d cut toward zero to its n leading digit positions.
inline Dec truncate_to(Dec d, std::size_t n) {
    if (n == 0) return {};
    if (d.mag.size() > n) {
        d.exp += static_cast<long long>(d.mag.size() - n);
        d.mag.resize(n);
    }
    return d;
}

// Power of ten of the leading digit; very low for zero.
inline long long order(const Dec& d) {
    return d.mag.empty() ? -1000000 : static_cast<long long>(d.mag.size()) - 1 + d.exp;
}

#endif
