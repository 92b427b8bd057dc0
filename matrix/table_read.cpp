// Reading table files: load_table, input_matrix and the fault descriptions,
// and the escaping of texts shown in messages.
#include "matrix/matrix.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <limits>
#include <locale.h>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace {

// The file is read in blocks of this size: a table of 65535 numbers (about
// 1.5 MB) takes a couple of dozen reads instead of a call per character.
inline constexpr std::size_t IN_CHUNK = 1 << 16;

// A text shown in a description is cut to SHOWN_KEEP bytes when it is longer
// than SHOWN_MAX.
inline constexpr std::size_t SHOWN_MAX = 40;
inline constexpr std::size_t SHOWN_KEEP = 32;

inline constexpr std::string_view BOM = "\xEF\xBB\xBF";

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The digits of a little-endian word of eight digit bytes less '0', as a
// number: pairs of digits in every other byte, then three multiplies join
// them.
std::uint64_t eight_digits(std::uint64_t w) {
    w = w * 10 + (w >> 8);
    return (((w & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
            (((w >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
           32;
}

// The bytes of w that are not digits, each marked by its top bit, exact up
// to the first of them: a byte is a digit when neither it less '0' nor it
// plus 0x46 ('9' + 0x46 = 0x7F) sets its top bit, and digits below lend
// and carry nothing.
std::uint64_t non_digits(std::uint64_t w) {
    return ((w + 0x4646464646464646) | (w - 0x3030303030303030)) & 0x8080808080808080;
}

constexpr std::uint64_t POW10_8[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// Reads the run of digits from p into m (m = 10 m + digit for each, modulo
// 2^64) and returns where it ends: eight at a time while eight digits
// follow (the bytes as one little-endian word), then the last n < 8 at
// once, shifted to the top of a word so that zeros lead them.
const char* read_digits(const char* p, const char* end, std::uint64_t& m) {
    if constexpr (std::endian::native != std::endian::little) {
        for (; p != end && is_digit(*p); ++p) m = m * 10 + static_cast<std::uint64_t>(*p - '0');
        return p;
    }
    for (;;) {
        std::uint64_t w = 0; // bytes past the end read as 0, not a digit
        if (end - p >= 8)
            std::memcpy(&w, p, 8);
        else
            for (std::ptrdiff_t i = 0; i < end - p; ++i)
                w |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
        const std::uint64_t bad = non_digits(w);
        if (bad == 0) {
            m = m * 100000000 + eight_digits(w - 0x3030303030303030);
            p += 8;
            continue;
        }
        const int n = std::countr_zero(bad) / 8;
        if (n > 0) {
            m = m * POW10_8[n] + eight_digits((w - 0x3030303030303030) << (64 - 8 * n));
            p += n;
        }
        return p;
    }
}

// The bytes that end a token: tab, line feed, space, carriage return, and
// NUL, which is refused.
bool is_separator(char c) {
    return c == '\t' || c == '\n' || c == ' ' || c == '\r' || c == '\0';
}

// The first separator at or after p, or end: eight bytes at a time, each
// word's first byte below 0x21 (every separator is one) found at once: a
// byte less 0x21 borrows into its top bit, which ~w keeps only for bytes
// below 0x80, and bytes above the first such one may borrow too, never
// those below it. A byte below 0x21 that ends no token is passed over.
const char* find_separator(const char* p, const char* end) {
    while (end - p >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        const std::uint64_t low = (w - 0x2121212121212121) & ~w & 0x8080808080808080;
        if (low == 0) {
            p += 8;
            continue;
        }
        if constexpr (std::endian::native != std::endian::little) break;
        p += std::countr_zero(low) / 8;
        if (is_separator(*p)) return p;
        ++p;
    }
    while (p != end && !is_separator(*p)) ++p;
    return p;
}

// strtod in the C locale, whatever locale the program has set.
double strtod_c(const char* text) {
    const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    if (c_locale == locale_t{}) return std::strtod(text, nullptr);
    const double v = ::strtod_l(text, nullptr, c_locale);
    ::freelocale(c_locale);
    return v;
}

// Converts a token of the decimal form to the nearest double; false
// when it is beyond the range of a double (see fits_double).
// from_chars reports an underflow to zero like an overflow, so strtod
// tells the two apart; it also gives the signed zero an underflow reads as.
bool convert(std::string_view t, double& v) {
    const char* first = t.data();
    const char* last = first + t.size();
    if (*first == '+') ++first; // from_chars takes no plus sign
    const auto res = std::from_chars(first, last, v);
    if (res.ec == std::errc{}) return true;
    char text[TOKEN_MAX + 1];
    std::memcpy(text, t.data(), t.size());
    text[t.size()] = '\0';
    v = strtod_c(text);
    if (!std::isinf(v)) return true;
    if (!fits_double(t)) return false;
    v = std::copysign(std::numeric_limits<double>::max(), v);
    return true;
}

// The exact powers of ten of a double.
constexpr double EXACT_POW10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

enum class number_read { ok, not_a_number, out_of_range };

// The number of a token written as "%1.15E" writes it, [-]d.ddd...dE+-dd
// (two or three exponent digits), when its 16 digits form an integer of
// at most 2^53 and its power of ten lies within 10^+-22: the digits in
// three steps, eight and seven of them a word at a time, and the same one
// correctly rounded operation read_number's general way ends in. False,
// with v untouched, for any other token.
bool read_printed(std::string_view t, double& v) {
    if constexpr (std::endian::native != std::endian::little) return false;
    const bool neg = !t.empty() && t[0] == '-';
    const char* p = t.data() + (neg ? 1 : 0);
    const std::size_t n = t.size() - (neg ? 1 : 0);
    if ((n != 21 && n != 22) || !is_digit(p[0]) || p[1] != '.' || (p[17] != 'E' && p[17] != 'e') ||
        (p[18] != '+' && p[18] != '-'))
        return false;
    std::uint64_t w1, w2; // digits 2..9 and 10..16 of the text, then 'E'
    std::memcpy(&w1, p + 2, 8);
    std::memcpy(&w2, p + 10, 8);
    w2 &= 0x00FFFFFFFFFFFFFF;
    w2 |= std::uint64_t{'0'} << 56; // the 'E' read as a leading zero digit
    if ((non_digits(w1) | non_digits(w2)) != 0) return false;
    int e = 0;
    for (std::size_t i = 19; i < n; ++i) {
        if (!is_digit(p[i])) return false;
        e = 10 * e + (p[i] - '0');
    }
    const std::uint64_t m = static_cast<std::uint64_t>(p[0] - '0') * 1000000000000000 +
                            eight_digits(w1 - 0x3030303030303030) * 10000000 +
                            eight_digits((w2 - 0x3030303030303030) << 8);
    const int exp10 = (p[18] == '-' ? -e : e) - 15;
    if (m > (std::uint64_t{1} << 53) || exp10 < -22 || exp10 > 22) return false;
    const double d = static_cast<double>(m);
    v = exp10 < 0 ? d / EXACT_POW10[-exp10] : d * EXACT_POW10[exp10];
    if (neg) v = -v;
    return true;
}

// Reads a token wholly as a decimal number in one pass: the form is
// checked while the digits gather. When the digits form an integer of at
// most 2^53 and the power of ten lies within 10^+-22, both are doubles and
// one correctly rounded multiplication or division gives the nearest double
// to the exact value; the tables the programs write ("%1.15E", moderate
// exponents) nearly all qualify. Any other number goes to convert.
number_read read_number(std::string_view t, double& v) {
    if (read_printed(t, v)) return number_read::ok;
    const char* p = t.data();
    const char* const end = p + t.size();
    const bool neg = p != end && *p == '-';
    if (p != end && (*p == '+' || *p == '-')) ++p;
    // every mantissa digit goes into m; with more than 19 of them m wraps
    // and only the form is of use
    std::uint64_t m = 0;
    const char* const int_start = p;
    p = read_digits(p, end, m);
    long long digits = p - int_start, places = 0;
    if (p != end && *p == '.') {
        const char* const frac_start = ++p;
        p = read_digits(p, end, m);
        places = p - frac_start;
        digits += places;
    }
    if (digits == 0) return number_read::not_a_number;
    long long exp10 = -places;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool eneg = p != end && *p == '-';
        if (p != end && (*p == '+' || *p == '-')) ++p;
        if (p == end || !is_digit(*p)) return number_read::not_a_number;
        long long e = 0;
        for (; p != end && is_digit(*p); ++p) e = std::min(e * 10 + (*p - '0'), 100000LL);
        exp10 += eneg ? -e : e;
    }
    if (p != end) return number_read::not_a_number;
    if (digits <= 19) {
        if (m == 0) {
            v = neg ? -0.0 : 0.0;
            return number_read::ok;
        }
        if (m <= (std::uint64_t{1} << 53) && exp10 >= -22 && exp10 <= 22) {
            const double d = static_cast<double>(m);
            v = exp10 < 0 ? d / EXACT_POW10[-exp10] : d * EXACT_POW10[exp10];
            if (neg) v = -v;
            return number_read::ok;
        }
    }
    return convert(t, v) ? number_read::ok : number_read::out_of_range;
}

// The state of one load: where the next number goes, what the current row
// holds, and the token being collected.
struct reader {
    double* elem;
    int el_max;
    int col_min;
    table_error& err;

    int count = 0;             // numbers stored
    int row;                   // index of the row being read
    int col;                   // index of the cell being read
    int row_cells = 0;         // numbers stored in this row
    int width = -1;            // cells of every earlier row; -1 before the first
    bool in_cell = false;      // the current cell holds a number already
    bool cr_after = false;     // ... and a carriage return has followed it
    char tok[TOKEN_MAX + 1]{}; // one byte more than a token may hold
    std::size_t len = 0;
    char last[TOKEN_MAX + 1]{}; // a number a blank ended, still in its cell
    std::size_t last_len = 0;

    // Missing values. The cells the tabs of a line mark, '1' holding a
    // number and '0' empty: a run of tabs counts as one separator only
    // where every row has the same run in the same place (an empty column,
    // a trailing tab on every line), never shifting a value into another
    // column. Lines without a number count for nothing.
    std::string cells;       // of the current line
    std::string first_cells; // of the first row
    int empty_row = 0;       // the first empty cell of a row, 0: none yet
    int empty_col = 0;

    std::vector<std::string>* texts; // each stored number's token, when wanted

    reader(double* e, int cap, int r0, int c0, table_error& er, std::vector<std::string>* tx)
        : elem(e), el_max(cap), col_min(c0), err(er), row(r0), col(c0), texts(tx) {}

    bool fail(table_fault f, std::string_view text = {}) {
        err.fault = f;
        err.row = row;
        err.col = col;
        err.text.assign(text);
        return false;
    }

    // Ends the token being collected, if any: checks it, stores its value.
    bool end_token() {
        if (len == 0) return true;
        const std::string_view t(tok, len);
        if (in_cell) {
            std::string both(last, last_len);
            both.append(cr_after ? "\r" : " ").append(t);
            return fail(table_fault::two_numbers_in_cell, both);
        }
        double v = 0;
        const number_read r = read_number(t, v);
        if (r == number_read::not_a_number) return fail(table_fault::not_a_number, t);
        if (r == number_read::out_of_range) return fail(table_fault::out_of_range, t);
        if (count + 1 >= el_max) {
            err.capacity = el_max > 0 ? el_max - 1 : 0;
            return fail(table_fault::too_many_numbers);
        }
        elem[count++] = v;
        if (texts != nullptr) texts->emplace_back(t);
        ++row_cells;
        in_cell = true;
        cr_after = false;
        len = 0;
        return true;
    }

    // Ends the cell the tabs mark, empty or holding a number.
    void end_cell() { cells += in_cell ? '1' : '0'; }

    // Ends the current row when it holds a number; every row must mark its
    // cells as the first does. Where they differ, the first empty cell of
    // the table is refused; with none, the row is as long as the first.
    bool end_row() {
        if (row_cells == 0) {
            cells.clear();
            return true;
        }
        end_cell();
        const std::size_t empty = cells.find('0');
        if (empty_row == 0 && empty != std::string::npos) {
            empty_row = row;
            empty_col = col_min + static_cast<int>(empty);
        }
        if (width >= 0 && cells != first_cells) {
            if (empty_row != 0) {
                fail(table_fault::empty_cell);
                err.row = empty_row;
                err.col = empty_col;
                return false;
            }
            col = col_min + (row_cells < width ? row_cells : width);
            err.cells = row_cells;
            err.cells_before = width;
            return fail(table_fault::ragged_rows);
        }
        if (width < 0) first_cells = cells;
        cells.clear();
        width = row_cells;
        ++row;
        col = col_min;
        row_cells = 0;
        in_cell = false;
        return true;
    }

    // Takes one block of the file. Token characters are taken a run at a
    // time: the run is found first and copied whole, which is several times
    // faster than a step of the separator logic per character.
    bool feed(std::string_view block) {
        const char* p = block.data();
        const char* const end = p + block.size();
        while (p != end) {
            const char* run = find_separator(p, end);
            if (run != p) {
                const auto n = static_cast<std::size_t>(run - p);
                if (len + n > TOKEN_MAX) {
                    const std::size_t keep = TOKEN_MAX + 1 - len;
                    std::memcpy(tok + len, p, keep);
                    return fail(table_fault::token_too_long, {tok, TOKEN_MAX + 1});
                }
                std::memcpy(tok + len, p, n);
                len += n;
                p = run;
                continue;
            }
            switch (*p++) {
            case '\t':
                if (!end_token()) return false;
                end_cell();
                if (in_cell) {
                    ++col;
                    in_cell = false;
                }
                break;
            case '\n':
                if (!end_token() || !end_row()) return false;
                break;
            case '\0':
                return fail(table_fault::nul_byte);
            default: { // a space or a carriage return
                // the number stays in its cell; keep its text in case a
                // second one follows in the same cell
                const std::size_t ended = len;
                if (!end_token()) return false;
                if (ended > 0) std::memcpy(last, tok, last_len = ended);
                if (p[-1] == '\r' && in_cell) cr_after = true;
            }
            }
        }
        return true;
    }
};

// The length of the UTF-8 character that begins t (t not empty, its first
// byte above 0x7F), or 0 when none does: a stray continuation byte, an
// overlong form, a surrogate, a code beyond U+10FFFF, a cut-off sequence,
// or a C1 control (U+0080..U+009F, 0xC2 0x80..0x9F), which some terminals
// obey.
std::size_t utf8_length(std::string_view t) {
    const auto at = [t](std::size_t i) { return static_cast<unsigned char>(t[i]); };
    const unsigned char c = at(0);
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF; // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        if (c == 0xC2) lo = 0xA0;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (t.size() < n || at(1) < lo || at(1) > hi) return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (at(i) < 0x80 || at(i) > 0xBF) return 0;
    return n;
}

} // namespace

namespace {

// Reads the open stream `in` to its end as a table: load_table's work once
// the file is open. *row_max and *col_max stay 0 unless the whole table was
// read and accepted; e says why it was not.
int read_table(std::FILE* in, double* elem, int el_max, const int* row_min, int* row_max,
               const int* col_min, int* col_max, table_error& e, std::vector<std::string>* texts) {
    *row_max = 0;
    *col_max = 0;
    if (texts != nullptr) texts->clear();
    reader rd(elem, el_max, *row_min, *col_min, e, texts);
    const auto buf = std::make_unique<char[]>(IN_CHUNK);
    bool ok = true;
    bool first = true;
    for (;;) {
        const std::size_t got = std::fread(buf.get(), 1, IN_CHUNK, in);
        std::string_view block(buf.get(), got);
        if (first && block.substr(0, BOM.size()) == BOM) block.remove_prefix(BOM.size());
        first = false;
        if (!rd.feed(block)) {
            ok = false;
            break;
        }
        if (got < IN_CHUNK) {
            if (std::ferror(in)) {
                e.fault = table_fault::read_error;
                e.text = std::strerror(errno);
                ok = false;
            }
            break;
        }
    }
    // a last line without its line end still ends its row
    ok = ok && rd.end_token() && rd.end_row();
    if (!ok) {
        if (texts != nullptr) texts->clear();
        return 0;
    }
    if (rd.count > 0) {
        *row_max = rd.row - 1;
        *col_max = *col_min + rd.width - 1;
    }
    return -1;
}

} // namespace

int load_table(const char* filesource, double* elem, int el_max, const int* row_min, int* row_max,
               const int* col_min, int* col_max, table_error* err,
               std::vector<std::string>* texts) {
    table_error local;
    table_error& e = err != nullptr ? *err : local;
    e = table_error{};

    std::FILE* file = filesource != nullptr ? std::fopen(filesource, "rb") : nullptr;
    if (file == nullptr) {
        e.fault = table_fault::cannot_open;
        e.text = std::strerror(filesource != nullptr ? errno : EINVAL);
        if (texts != nullptr) texts->clear();
        return 0;
    }
    // the blocks are large already; a second buffer inside the stream would
    // only copy them
    std::setvbuf(file, nullptr, _IONBF, 0);
    const int result = read_table(file, elem, el_max, row_min, row_max, col_min, col_max, e, texts);
    std::fclose(file);
    return result;
}

int load_table(const char* filesource, double* elem, int el_max, const int* row_min, int* row_max,
               const int* col_min, int* col_max, table_error* err) {
    return load_table(filesource, elem, el_max, row_min, row_max, col_min, col_max, err, nullptr);
}

int load_table(const char* filesource, double* elem, int el_max, const int* row_min, int* row_max,
               const int* col_min, int* col_max) {
    return load_table(filesource, elem, el_max, row_min, row_max, col_min, col_max, nullptr);
}

int load_table_stream(std::FILE* in, double* elem, int el_max, const int* row_min, int* row_max,
                      const int* col_min, int* col_max, table_error* err,
                      std::vector<std::string>* texts) {
    table_error local;
    table_error& e = err != nullptr ? *err : local;
    e = table_error{};
    return read_table(in, elem, el_max, row_min, row_max, col_min, col_max, e, texts);
}

double** input_matrix(const double* stack, int i_min, int na, int j_min, int ma) {
    double** m = dmatrix(i_min, na, j_min, ma);
    for (long long i = i_min; i <= na; ++i)
        for (long long j = j_min; j <= ma; ++j) m[i][j] = *stack++;
    return m;
}

// Exact, on the digits: with leading and trailing zeros dropped, t is
// 0.D x 10^p, and the bound is D = 1797693134862316, p = 309.
bool fits_double(std::string_view t) {
    constexpr std::string_view MAX_DIGITS = "1797693134862316";
    constexpr long long MAX_POWER = 309;
    std::size_t p = !t.empty() && (t[0] == '+' || t[0] == '-') ? 1 : 0;
    std::string digits;
    long long power = 0; // of the point, once the leading zeros are gone
    bool after_point = false;
    for (; p < t.size() && t[p] != 'e' && t[p] != 'E'; ++p) {
        if (t[p] == '.') {
            after_point = true;
        } else if (!digits.empty() || t[p] != '0') {
            digits += t[p];
            if (!after_point) ++power;
        } else if (after_point) {
            --power;
        }
    }
    if (p + 1 < t.size()) {
        long long e = 0;
        const bool neg = t[++p] == '-';
        if (t[p] == '+' || t[p] == '-') ++p;
        for (; p < t.size(); ++p) e = std::min(e * 10 + (t[p] - '0'), 100000LL);
        power += neg ? -e : e;
    }
    digits.erase(digits.find_last_not_of('0') + 1);
    if (digits.empty()) return true; // zero
    if (power != MAX_POWER) return power < MAX_POWER;
    return std::string_view(digits) <= MAX_DIGITS;
}

std::string describe(const table_error& err) {
    const std::string at =
        "row " + std::to_string(err.row) + " column " + std::to_string(err.col) + ": ";
    std::string out;
    switch (err.fault) {
    case table_fault::none:
        return "no error";
    case table_fault::cannot_open:
        return "cannot open: " + err.text;
    case table_fault::read_error:
        return "read error: " + err.text;
    case table_fault::not_a_number:
        out = at + "not a number: ";
        break;
    case table_fault::out_of_range:
        out = at + "number beyond the range of a double: ";
        break;
    case table_fault::token_too_long:
        out = at + "more than " + std::to_string(TOKEN_MAX) + " characters: ";
        break;
    case table_fault::nul_byte:
        return at + "NUL byte";
    case table_fault::two_numbers_in_cell:
        out = at + (err.text.find('\r') != std::string::npos
                        ? "two numbers in one cell (a carriage return without line feed "
                          "between them): "
                        : "two numbers in one cell: ");
        break;
    case table_fault::empty_cell:
        return at + "empty cell";
    case table_fault::ragged_rows:
        return "row " + std::to_string(err.row) + " has " + std::to_string(err.cells) +
               (err.cells == 1 ? " column, row " : " columns, row ") + std::to_string(err.row - 1) +
               " has " + std::to_string(err.cells_before);
    case table_fault::too_many_numbers:
        return "more than " + std::to_string(err.capacity) + " numbers";
    }
    const bool cut = err.text.size() > SHOWN_MAX;
    out += escaped(cut ? std::string_view(err.text).substr(0, SHOWN_KEEP) : err.text, true);
    if (cut) out += "...";
    return out;
}

std::string escaped(std::string_view text, bool quoted) {
    std::string out;
    if (quoted) out += '"';
    while (!text.empty()) {
        const char c = text[0];
        const auto u = static_cast<unsigned char>(c);
        std::size_t kept = u >= 0x20 && u < 0x7F ? 1 : 0;
        if (u > 0x7F && !quoted) kept = utf8_length(text);
        if (quoted && (c == '"' || c == '\\')) {
            out.append(1, '\\').append(1, c);
        } else if (kept > 0) {
            out.append(text.substr(0, kept));
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            constexpr std::string_view hex = "0123456789ABCDEF";
            out.append("\\x").append(1, hex[u >> 4]).append(1, hex[u & 0xF]);
        }
        text.remove_prefix(kept > 0 ? kept : 1);
    }
    if (quoted) out += '"';
    return out;
}
