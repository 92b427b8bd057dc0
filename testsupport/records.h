// Records for the tests and the fuzz targets: built from limb lists,
// compared by their fields, filled with garbage, drawn at random, and
// checked for the invariants every record an operation writes must meet.
#ifndef TESTSUPPORT_RECORDS_H
#define TESTSUPPORT_RECORDS_H

#include "xarith/xarith.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <ostream>
#include <random>
#include <vector>

// The value-carrying fields of a record: sign, exponent and the limbs in
// use, least significant first. fields(x) == fields(y) compares all three,
// a zero's sign and exponent included; same_fields below does not.
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

inline Fields fields(const x_num& x) {
    Fields f;
    f.sign = static_cast<char>(x.sign);
    f.esp = x.esp;
    f.limbs.assign(x.dgt, x.dgt + std::clamp<int>(x.ndgt, 0, SUB_DGT));
    return f;
}

// The fields that carry a result: the sign and ndgt always, the exponent
// and the limbs in use only when it is not zero.
inline bool same_fields(const x_num& x, const x_num& y) {
    if (x.sign != y.sign || x.ndgt != y.ndgt) return false;
    if (x.ndgt == 0) return true;
    return x.esp == y.esp && std::equal(x.dgt, x.dgt + x.ndgt, y.dgt);
}

// Garbage that a result must never depend on.
inline constexpr std::int32_t POISON = 0x5A5A5A5A;

// Fills a record with garbage from a pattern: every byte, then every limb,
// the exponent and ndgt (-20..76).
inline void poison(x_num& x, std::uint32_t pattern) {
    std::memset(&x, static_cast<int>(pattern & 0xFF), sizeof x);
    for (auto& d : x.dgt) d = static_cast<std::int32_t>(pattern);
    x.esp = static_cast<std::int32_t>(pattern ^ 0x55555555u);
    x.ndgt = static_cast<std::int32_t>(pattern % 97) - 20;
}

// A record to receive a result: every limb and the exponent POISON, sign
// 'Z', 17 limbs in use.
inline x_num poisoned() {
    x_num x;
    poison(x, POISON);
    x.esp = POISON;
    x.ndgt = 17;
    return x;
}

// A record holding exactly these fields, every other limb poisoned.
inline x_num make(const Fields& f) {
    x_num x = poisoned();
    x.sign = static_cast<signed char>(f.sign);
    x.ndgt = static_cast<std::int32_t>(f.limbs.size());
    x.esp = f.esp;
    std::copy(f.limbs.begin(), f.limbs.end(), x.dgt);
    return x;
}

inline x_num make(char sign, std::initializer_list<int> limbs, int esp) {
    return make(Fields{sign, limbs, esp});
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

#endif
