// Shared by the fuzz targets: the failure exit, input decoding, records
// guarded by canary words, and the record check on the invariants of
// testsupport/records.h.
#ifndef FUZZ_FUZZ_SUPPORT_H
#define FUZZ_FUZZ_SUPPORT_H

#include "testsupport/records.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

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

inline void check_record(const x_num& x, std::string_view who) {
    if (const char* f = record_fault(x)) fail(who, f + (" " + show(x)));
}

template <class Detail>
void check_record(const x_num& x, std::string_view who, const Detail& detail) {
    if (const char* f = record_fault(x)) {
        check(false, who, [&] { return f + (" " + show(x)) + "\n" + std::string(detail()); });
    }
}

} // namespace fuzz

#endif
