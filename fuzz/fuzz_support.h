// Shared by the fuzz targets: the failure exit, records guarded by canary
// words, the record invariants, and exact decimal values of records for
// checking results against.
#ifndef FUZZ_FUZZ_SUPPORT_H
#define FUZZ_FUZZ_SUPPORT_H

#include "xarith/xarith.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace fuzz {

// Reports a broken invariant on standard error and stops with a trap, which
// libFuzzer reports as a crash and saves the input that caused it.
[[noreturn]] inline void fail(std::string_view what, std::string_view detail = {}) {
    std::fprintf(stderr, "\n*** invariant broken: %.*s\n", static_cast<int>(what.size()),
                 what.data());
    if (!detail.empty())
        std::fprintf(stderr, "%.*s\n", static_cast<int>(detail.size()), detail.data());
    std::fflush(stderr);
    __builtin_trap();
}

// The detail of a failure is text, or a callable that makes it: the text of
// the case is then built only when the check fails.
inline void check(bool ok, std::string_view what) {
    if (!ok) fail(what);
}

template <class Detail> void check(bool ok, std::string_view what, const Detail& detail) {
    if (ok) return;
    if constexpr (std::is_invocable_v<const Detail&>)
        fail(what, std::string(detail()));
    else
        fail(what, std::string_view(detail));
}

// The fields of a record as one line, for failure reports.
inline std::string show(const x_num& x) {
    std::string s = "{sign ";
    if (x.sign >= 0x20 && x.sign < 0x7F)
        s += static_cast<char>(x.sign);
    else
        s += "0x" + std::to_string(static_cast<unsigned char>(x.sign));
    s += ", esp " + std::to_string(x.esp) + ", ndgt " + std::to_string(x.ndgt) + ", limbs [";
    const int n = std::clamp<int>(x.ndgt, 0, SUB_DGT);
    for (int i = 0; i < n; ++i) s += (i ? " " : "") + std::to_string(x.dgt[i]);
    return s + "]}";
}

// Consumes a fuzz input front to back; once it is used up every byte reads
// as 0, so any input decodes to something.
class Bytes {
  public:
    Bytes(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
    std::uint8_t take() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    std::uint32_t take_u16() { return take() | static_cast<std::uint32_t>(take()) << 8; }
    std::uint32_t take_u24() { return take_u16() | static_cast<std::uint32_t>(take()) << 16; }

  private:
    const std::uint8_t* p_;
    std::size_t n_;
};

// ---------------------------------------------------------------------------
// Records between canary words: an operation that writes past a record, or
// in front of it, changes a canary even where the address sanitizer sees
// nothing (the neighbouring words belong to the same object).

inline constexpr std::uint32_t CANARY = 0xC0DEFACEu;
inline constexpr int GUARD_WORDS = 8;

struct Guarded {
    std::uint32_t before[GUARD_WORDS];
    x_num x;
    std::uint32_t after[GUARD_WORDS];
};
static_assert(sizeof(Guarded) == sizeof(x_num) + 2 * GUARD_WORDS * sizeof(std::uint32_t),
              "no padding between the canaries and the record");

inline void arm(Guarded& g) {
    std::fill(std::begin(g.before), std::end(g.before), CANARY);
    std::fill(std::begin(g.after), std::end(g.after), CANARY);
}

inline void check_canaries(const Guarded& g, std::string_view who) {
    const auto intact = [](const std::uint32_t* w) {
        return std::all_of(w, w + GUARD_WORDS, [](std::uint32_t v) { return v == CANARY; });
    };
    check(intact(g.before) && intact(g.after), who,
          "a canary word beside a record was overwritten");
}

// Fills a record with garbage: a result must not depend on what it held.
inline void poison(x_num& x, std::uint32_t pattern) {
    std::memset(&x, static_cast<int>(pattern & 0xFF), sizeof x);
    for (auto& d : x.dgt) d = static_cast<std::int32_t>(pattern);
    x.esp = static_cast<std::int32_t>(pattern ^ 0x55555555u);
    x.ndgt = static_cast<std::int32_t>(pattern % 97) - 20;
}

// The invariants every record an operation writes must meet: sign '+', '-'
// or '?' ('?' only on zero), 0..40 limbs in use, each in 0..999999, and no
// leading zero limb. Returns the broken one, or nullptr.
inline const char* record_fault(const x_num& x) {
    if (x.sign != '+' && x.sign != '-' && x.sign != '?') return "bad sign";
    if (x.ndgt < 0 || x.ndgt > SUB_DGT) return "ndgt out of 0..40";
    if (x.sign == '?' && x.ndgt != 0) return "undefined record with limbs";
    for (int i = 0; i < x.ndgt; ++i)
        if (x.dgt[i] < 0 || x.dgt[i] >= DM) return "limb out of 0..999999";
    if (x.ndgt != 0 && x.dgt[x.ndgt - 1] == 0) return "leading zero limb";
    return nullptr;
}

inline void check_record(const x_num& x, std::string_view who) {
    if (const char* f = record_fault(x)) fail(who, f + (" " + show(x)));
}

template <class Detail>
void check_record(const x_num& x, std::string_view who, const Detail& detail) {
    if (const char* f = record_fault(x)) {
        check(false, who, [&] { return f + (" " + show(x)) + "\n" + std::string(detail()); });
    }
}

// The fields that carry a result: the sign always, the exponent and the
// limbs in use only when it is not zero.
inline bool same_fields(const x_num& x, const x_num& y) {
    if (x.sign != y.sign || x.ndgt != y.ndgt) return false;
    if (x.ndgt == 0) return true;
    return x.esp == y.esp && std::equal(x.dgt, x.dgt + x.ndgt, y.dgt);
}

// ---------------------------------------------------------------------------
// Exact decimal values: sign * mag * 10^exp, mag a digit string, most
// significant first, without leading zeros ("" is zero). Slow and plain,
// independent of the limb arithmetic under test.

struct Dec {
    bool neg = false;
    std::string mag;
    long long exp = 0;
};

inline std::string show(const Dec& d) {
    if (d.mag.empty()) return "0";
    return (d.neg ? "-" : "") + d.mag + "e" + std::to_string(d.exp);
}

inline std::string trim_leading(std::string s) {
    const auto nz = s.find_first_not_of('0');
    return nz == std::string::npos ? std::string() : s.substr(nz);
}

// The value of a record, its trailing zeros kept in the digits.
inline Dec value_of(const x_num& x) {
    Dec d;
    std::string s;
    for (int i = std::clamp<int>(x.ndgt, 0, SUB_DGT) - 1; i >= 0; --i) {
        char limb[16];
        std::snprintf(limb, sizeof limb, "%06d", static_cast<int>(x.dgt[i]));
        s += limb;
    }
    d.mag = trim_leading(s);
    d.neg = x.sign == '-' && !d.mag.empty();
    d.exp = d.mag.empty() ? 0 : x.esp;
    return d;
}

// The one form of a value: trailing zeros moved into the exponent.
inline Dec canon(Dec d) {
    if (d.mag.empty()) return Dec{};
    while (d.mag.back() == '0') {
        d.mag.pop_back();
        ++d.exp;
    }
    return d;
}

inline bool same_value(const Dec& a, const Dec& b) {
    const Dec x = canon(a), y = canon(b);
    return x.neg == y.neg && x.mag == y.mag && x.exp == y.exp;
}

inline Dec magnitude(Dec d) {
    d.neg = false;
    return d;
}

inline Dec negate(Dec d) {
    if (!d.mag.empty()) d.neg = !d.neg;
    return d;
}

inline Dec pow10(long long e) {
    return Dec{false, "1", e};
}

// Compares |a| and |b|: by the power of ten of the leading digit, then digit
// by digit.
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

// The digits of d written with exponent e <= d.exp.
inline std::string digits_at(const Dec& d, long long e) {
    return d.mag + std::string(static_cast<std::size_t>(d.exp - e), '0');
}

// a + b, exactly. The digits are aligned at the lower exponent, so the cost
// grows with the distance between the exponents: callers keep it small.
inline Dec add(const Dec& a, const Dec& b) {
    if (a.mag.empty()) return b;
    if (b.mag.empty()) return a;
    const long long e = std::min(a.exp, b.exp);
    const std::string x = digits_at(a, e), y = digits_at(b, e);
    const auto digit = [](const std::string& s, std::size_t i) {
        return i < s.size() ? s[s.size() - 1 - i] - '0' : 0;
    };
    std::string r;
    bool neg = a.neg;
    if (a.neg == b.neg) {
        int carry = 0;
        for (std::size_t i = 0; i < std::max(x.size(), y.size()) || carry; ++i) {
            const int s = digit(x, i) + digit(y, i) + carry;
            r += static_cast<char>('0' + s % 10);
            carry = s / 10;
        }
    } else {
        const int c = cmp_mag(a, b);
        if (c == 0) return Dec{};
        const std::string& big = c > 0 ? x : y;
        const std::string& small = c > 0 ? y : x;
        neg = c > 0 ? a.neg : b.neg;
        int borrow = 0;
        for (std::size_t i = 0; i < big.size(); ++i) {
            int s = digit(big, i) - digit(small, i) - borrow;
            borrow = s < 0;
            if (borrow) s += 10;
            r += static_cast<char>('0' + s);
        }
    }
    std::reverse(r.begin(), r.end());
    Dec out{neg, trim_leading(r), e};
    if (out.mag.empty()) return Dec{};
    return out;
}

// The digits of d as base-10^6 chunks, least significant first.
inline std::vector<long long> chunks(const std::string& mag) {
    std::vector<long long> out;
    for (std::size_t end = mag.size(); end > 0; end = end >= 6 ? end - 6 : 0) {
        const std::size_t start = end >= 6 ? end - 6 : 0;
        long long v = 0;
        for (std::size_t i = start; i < end; ++i) v = v * 10 + (mag[i] - '0');
        out.push_back(v);
    }
    return out;
}

// a * b, exactly: the schoolbook product of base-10^6 chunks, each column
// below 10^12 times the chunk count, far from the range of long long.
inline Dec mul(const Dec& a, const Dec& b) {
    if (a.mag.empty() || b.mag.empty()) return Dec{};
    const std::vector<long long> x = chunks(a.mag), y = chunks(b.mag);
    std::vector<long long> col(x.size() + y.size() + 1, 0);
    for (std::size_t i = 0; i < x.size(); ++i)
        for (std::size_t j = 0; j < y.size(); ++j) col[i + j] += x[i] * y[j];
    for (std::size_t k = 0; k + 1 < col.size(); ++k) {
        col[k + 1] += col[k] / 1000000;
        col[k] %= 1000000;
    }
    std::string digits;
    for (std::size_t k = col.size(); k-- > 0;) {
        char six[8];
        std::snprintf(six, sizeof six, "%06lld", col[k]);
        digits += six;
    }
    return Dec{a.neg != b.neg, trim_leading(digits), a.exp + b.exp};
}

// d cut toward zero to its n leading digit positions.
inline Dec truncate(Dec d, std::size_t n) {
    if (n == 0) return Dec{};
    if (d.mag.size() > n) {
        d.exp += static_cast<long long>(d.mag.size() - n);
        d.mag.resize(n);
    }
    return d;
}

} // namespace fuzz

#endif
