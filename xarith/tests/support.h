// Test support: building records from limb lists, comparing them by their
// fields, and a slow decimal reference built on digit strings.
#ifndef XARITH_TESTS_SUPPORT_H
#define XARITH_TESTS_SUPPORT_H

#include "xarith/xarith.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <random>
#include <string>
#include <vector>

// The value-carrying fields of a record: sign, exponent and the limbs in
// use, least significant first.
struct Fields {
    char sign = '+';
    std::vector<int> limbs;
    int esp = 0;

    bool operator==(const Fields&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Fields& f) {
    os << "{'" << f.sign << "', [";
    for (std::size_t i = 0; i < f.limbs.size(); ++i) os << (i ? ", " : "") << f.limbs[i];
    return os << "], esp " << f.esp << "}";
}

// Garbage that a result must never depend on.
inline constexpr std::int32_t POISON = 0x5A5A5A5A;

// A record holding exactly these fields, every other limb poisoned.
inline x_num make(char sign, std::initializer_list<int> limbs, int esp) {
    x_num x;
    std::fill(std::begin(x.dgt), std::end(x.dgt), POISON);
    x.sign = static_cast<signed char>(sign);
    x.ndgt = static_cast<std::int32_t>(limbs.size());
    x.esp = esp;
    int i = 0;
    for (int v : limbs) x.dgt[i++] = v;
    return x;
}

inline x_num make(const Fields& f) {
    x_num x;
    std::fill(std::begin(x.dgt), std::end(x.dgt), POISON);
    x.sign = static_cast<signed char>(f.sign);
    x.ndgt = static_cast<std::int32_t>(f.limbs.size());
    x.esp = f.esp;
    for (std::size_t i = 0; i < f.limbs.size(); ++i) x.dgt[i] = f.limbs[i];
    return x;
}

inline Fields fields(const x_num& x) {
    Fields f;
    f.sign = static_cast<char>(x.sign);
    f.esp = x.esp;
    f.limbs.assign(x.dgt, x.dgt + std::clamp<int>(x.ndgt, 0, SUB_DGT));
    return f;
}

// A record filled with garbage, to receive a result.
inline x_num poisoned() {
    x_num x;
    std::fill(std::begin(x.dgt), std::end(x.dgt), POISON);
    x.sign = 'Z';
    x.esp = POISON;
    x.ndgt = 17;
    return x;
}

// ---------------------------------------------------------------------------
// Decimal reference: a non-negative integer as its digit string, most
// significant first, without leading zeros ("" is zero).
using Digits = std::string;

inline Digits trim(Digits d) {
    const auto nz = d.find_first_not_of('0');
    return nz == Digits::npos ? Digits() : d.substr(nz);
}

// The magnitude of a record as digits (the limbs in use, no exponent).
inline Digits digits_of(const x_num& x) {
    Digits d;
    for (int i = std::clamp<int>(x.ndgt, 0, SUB_DGT) - 1; i >= 0; --i) {
        std::string limb = std::to_string(x.dgt[i]);
        d += std::string(6 - limb.size(), '0') + limb;
    }
    return trim(d);
}

// The canonical limbs of an integer: groups of six from the right.
inline std::vector<int> limbs_of(const Digits& d) {
    std::vector<int> out;
    for (std::ptrdiff_t end = static_cast<std::ptrdiff_t>(d.size()); end > 0; end -= 6) {
        const std::ptrdiff_t start = std::max<std::ptrdiff_t>(0, end - 6);
        out.push_back(std::stoi(d.substr(static_cast<std::size_t>(start),
                                         static_cast<std::size_t>(end - start))));
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
    return trim(r);
}

// a - b for a >= b.
inline Digits sub(const Digits& a, const Digits& b) {
    Digits r;
    int borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        int s = (a[a.size() - 1 - i] - '0') - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
        borrow = s < 0;
        if (borrow) s += 10;
        r.push_back(static_cast<char>('0' + s));
    }
    std::reverse(r.begin(), r.end());
    return trim(r);
}

inline Digits mul(const Digits& a, const Digits& b) {
    if (a.empty() || b.empty()) return {};
    std::vector<int> acc(a.size() + b.size(), 0);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j)
            acc[i + j + 1] += (a[i] - '0') * (b[j] - '0');
    for (std::size_t k = acc.size() - 1; k > 0; --k) {
        acc[k - 1] += acc[k] / 10;
        acc[k] %= 10;
    }
    Digits r;
    for (int v : acc) r.push_back(static_cast<char>('0' + v));
    return trim(r);
}

// d times 10^k (k >= 0), or d divided by 10^-k and truncated (k < 0).
inline Digits scale10(const Digits& d, long long k) {
    if (d.empty()) return d;
    if (k >= 0) return d + std::string(static_cast<std::size_t>(k), '0');
    if (static_cast<long long>(d.size()) <= -k) return {};
    return d.substr(0, d.size() - static_cast<std::size_t>(-k));
}

// An exact signed decimal: (neg ? -1 : 1) * mag * 10^exp.
struct Dec {
    bool neg = false;
    Digits mag;
    long long exp = 0;
};

inline Dec dec(const x_num& x) {
    const Digits d = digits_of(x);
    return {x.sign == '-' && !d.empty(), d, x.esp};
}

inline Dec operator+(const Dec& a, const Dec& b) {
    if (a.mag.empty()) return b;
    if (b.mag.empty()) return a;
    const long long e = std::min(a.exp, b.exp);
    const Digits x = scale10(a.mag, a.exp - e), y = scale10(b.mag, b.exp - e);
    if (a.neg == b.neg) return {a.neg, add(x, y), e};
    if (cmp(x, y) >= 0) return {a.neg, sub(x, y), e};
    return {b.neg, sub(y, x), e};
}

inline Dec operator-(Dec a) {
    a.neg = !a.neg && !a.mag.empty();
    return a;
}

inline Dec operator-(const Dec& a, const Dec& b) { return a + -b; }

inline Dec operator*(const Dec& a, const Dec& b) {
    Digits m = mul(a.mag, b.mag);
    return {a.neg != b.neg && !m.empty(), m, a.exp + b.exp};
}

// Power of ten of the leading digit; very low for zero.
inline long long order(const Dec& d) {
    return d.mag.empty() ? -1000000 : static_cast<long long>(d.mag.size()) - 1 + d.exp;
}

// A random valid record: n limbs (top one non-zero), limbs often at the
// boundaries 0 and 999999, exponent in [emin, emax].
inline x_num random_record(std::mt19937_64& rng, int n, int emin, int emax) {
    x_num x = poisoned();
    std::uniform_int_distribution<int> limb(0, DM - 1), pick(0, 9);
    for (int i = 0; i < n; ++i) {
        const int k = pick(rng);
        x.dgt[i] = k == 0 ? 0 : (k == 1 ? DM - 1 : limb(rng));
    }
    if (n > 0 && x.dgt[n - 1] == 0) x.dgt[n - 1] = 1 + limb(rng) % (DM - 1);
    x.ndgt = n;
    x.esp = std::uniform_int_distribution<int>(emin, emax)(rng);
    x.sign = pick(rng) < 5 ? '+' : '-';
    return x;
}

#endif
