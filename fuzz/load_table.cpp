// Fuzz target: load_table on arbitrary bytes.
//
// The input is the table file itself. It is read into a buffer of
// STACK_MAX numbers, again into one of 64 numbers so that the capacity
// refusal is in reach, and (one input in eight) behind enough empty lines
// that the reader's 64 KiB block boundary falls inside it. Each time the outcome
// must be what a plain character-by-character reading of the table format
// gives (worked out here): the same values bit for bit and the same shape,
// or the same refusal at the same cell with a one-line description. A table
// that loads is then written with output_matrix, which must give exactly
// the "%1.15E" text of its values, and read back, which must give the
// doubles of that text and the same shape.
#include "fuzz/fuzz_support.h"
#include "matrix/matrix.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using fuzz::check;

inline constexpr int SMALL_CAPACITY = 64;
inline constexpr std::size_t READ_BLOCK = 1 << 16;
inline constexpr std::string_view BOM = "\xEF\xBB\xBF";

// A private folder for the two files of one fuzzing process, in memory when
// /dev/shm is there (output_matrix syncs every file it writes), removed
// when the process ends normally.
class Scratch {
  public:
    Scratch() {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp ? tmp : "/tmp");
        std::string name = base + "/xsuite-fuzz-XXXXXX";
        check(::mkdtemp(name.data()) != nullptr, "cannot make a scratch folder", name);
        dir_ = name;
        input = dir_ + "/in.tsv";
        output = dir_ + "/out.tsv";
    }
    Scratch(const Scratch&) = delete;
    ~Scratch() {
        ::unlink(input.c_str());
        ::unlink(output.c_str());
        ::rmdir(dir_.c_str());
    }

    std::string input, output;

  private:
    std::string dir_;
};

// The scratch files: written and read whole, any failure fatal.
void write_file(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    check(fd >= 0, "cannot write the scratch file", path);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        check(n > 0 || errno == EINTR, "cannot write the scratch file", path);
        if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(fd);
}

std::string read_file(const std::string& path) {
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    check(fd >= 0, "cannot read back the written table", path);
    char buf[1 << 14];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) != 0;) {
        check(n > 0 || errno == EINTR, "cannot read back the written table", path);
        if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// [+-] digits [. digits] [(e|E) [+-] digits], with at least one mantissa
// digit on either side of the point.
bool is_number(std::string_view t) {
    std::size_t i = 0, mantissa = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    for (; i < t.size() && is_digit(t[i]); ++i) ++mantissa;
    if (i < t.size() && t[i] == '.')
        for (++i; i < t.size() && is_digit(t[i]); ++i) ++mantissa;
    if (mantissa == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        const std::size_t from = i;
        while (i < t.size() && is_digit(t[i])) ++i;
        if (i == from) return false;
    }
    return i == t.size();
}

// Whether the number t (of the form above) is at most 1.797693134862316E+308
// in magnitude, the largest double as "%1.15E" writes it: t is the integer
// of its digits times 10^exp, compared with 1797693134862316 x 10^293 by
// the power of its leading digit, then digit by digit.
bool within_written_max(std::string_view t) {
    const std::string_view max_digits = "1797693134862316";
    std::string digits;
    long long exp = 0;
    std::size_t i = t[0] == '+' || t[0] == '-' ? 1 : 0;
    bool fraction = false;
    for (; i < t.size() && t[i] != 'e' && t[i] != 'E'; ++i) {
        if (t[i] == '.') {
            fraction = true;
            continue;
        }
        if (fraction) --exp;
        if (!digits.empty() || t[i] != '0') digits += t[i];
    }
    if (i < t.size())
        exp += std::clamp(std::strtoll(t.data() + i + 1, nullptr, 10), -100000LL, 100000LL);
    if (digits.empty()) return true;
    const long long lead = exp + static_cast<long long>(digits.size()) - 1;
    if (lead != 308) return lead < 308;
    const std::size_t n = std::max(digits.size(), max_digits.size());
    std::string bound(max_digits);
    digits.resize(n, '0');
    bound.resize(n, '0');
    return digits <= bound;
}

// The table format read one character at a time: a tab moves to the next
// cell once the cell holds a number, a line feed ends a row that holds one,
// a space or a carriage return only ends a number; every row as long as
// the first; a file's last line needs no line end. The tabs of a line mark
// its cells, empty or not: a row that marks them otherwise than the first
// row refuses the table at its first empty cell (or, with none, as a row
// of another length). The first fault met, in file order, refuses the
// table.
class Model {
  public:
    explicit Model(int el_max) : el_max_(el_max) {}

    table_error err;
    std::vector<double> values;
    int rows = 0, cols = 0;

    // Reads a file; at_start is false for text behind empty lines, which
    // change nothing but that a byte-order mark is no longer the file's first.
    void read(std::string_view file, bool at_start) {
        if (at_start && file.substr(0, BOM.size()) == BOM) file.remove_prefix(BOM.size());
        for (const char c : file) {
            if (c == '\0') {
                refuse(table_fault::nul_byte);
                return;
            }
            if (c == '\t' || c == '\n' || c == ' ' || c == '\r') {
                if (!end_token()) return;
                if (c == '\t') {
                    marks_ += in_cell_ ? 'n' : 'e';
                    if (in_cell_) ++col_;
                    in_cell_ = false;
                }
                if (c == '\n' && !end_row()) return;
            } else {
                tok_ += c;
                if (tok_.size() > static_cast<std::size_t>(TOKEN_MAX)) {
                    refuse(table_fault::token_too_long, tok_);
                    return;
                }
            }
        }
        if (!end_token() || !end_row()) return;
        if (!values.empty()) {
            rows = row_ - 1;
            cols = width_;
        }
    }

  private:
    int el_max_;
    int row_ = 1, col_ = 1, row_cells_ = 0, width_ = -1;
    bool in_cell_ = false;
    std::string tok_;
    std::string marks_, first_marks_; // 'n' a number, 'e' empty, per cell
    int empty_row_ = 0, empty_col_ = 0;

    bool refuse(table_fault f, std::string_view text = {}) {
        err.fault = f;
        err.row = row_;
        err.col = col_;
        err.text = text;
        return false;
    }

    bool end_token() {
        if (tok_.empty()) return true;
        if (in_cell_) return refuse(table_fault::two_numbers_in_cell);
        if (!is_number(tok_)) return refuse(table_fault::not_a_number, tok_);
        double v = std::strtod(tok_.c_str(), nullptr);
        if (std::isinf(v)) {
            if (!within_written_max(tok_)) return refuse(table_fault::out_of_range, tok_);
            v = std::copysign(std::numeric_limits<double>::max(), v);
        }
        if (static_cast<int>(values.size()) + 1 >= el_max_) {
            err.capacity = el_max_ - 1;
            return refuse(table_fault::too_many_numbers);
        }
        values.push_back(v);
        ++row_cells_;
        in_cell_ = true;
        tok_.clear();
        return true;
    }

    bool end_row() {
        const std::string marks = marks_ + (in_cell_ ? 'n' : 'e');
        marks_.clear();
        if (row_cells_ == 0) return true;
        for (std::size_t k = 0; k < marks.size() && empty_row_ == 0; ++k)
            if (marks[k] == 'e') {
                empty_row_ = row_;
                empty_col_ = 1 + static_cast<int>(k);
            }
        if (width_ >= 0 && marks != first_marks_ && empty_row_ != 0) {
            refuse(table_fault::empty_cell);
            err.row = empty_row_;
            err.col = empty_col_;
            return false;
        }
        if (width_ < 0) first_marks_ = marks;
        if (width_ >= 0 && row_cells_ != width_) {
            col_ = 1 + std::min(row_cells_, width_);
            err.cells = row_cells_;
            err.cells_before = width_;
            return refuse(table_fault::ragged_rows);
        }
        width_ = row_cells_;
        ++row_;
        col_ = 1;
        row_cells_ = 0;
        in_cell_ = false;
        return true;
    }
};

std::uint64_t bits(double v) {
    return std::bit_cast<std::uint64_t>(v);
}

// The fault as its name, and a refusal as one line, for failure reports.
const char* fault_name(table_fault f) {
    switch (f) {
    case table_fault::none:
        return "none";
    case table_fault::cannot_open:
        return "cannot_open";
    case table_fault::read_error:
        return "read_error";
    case table_fault::not_a_number:
        return "not_a_number";
    case table_fault::out_of_range:
        return "out_of_range";
    case table_fault::token_too_long:
        return "token_too_long";
    case table_fault::nul_byte:
        return "nul_byte";
    case table_fault::two_numbers_in_cell:
        return "two_numbers_in_cell";
    case table_fault::ragged_rows:
        return "ragged_rows";
    case table_fault::empty_cell:
        return "empty_cell";
    case table_fault::too_many_numbers:
        return "too_many_numbers";
    }
    return "?";
}

std::string show(const table_error& e) {
    return std::string(fault_name(e.fault)) + " at row " + std::to_string(e.row) + " column " +
           std::to_string(e.col) + " (" + describe(e) + ")";
}

struct Loaded {
    int ret = 0, rows = -7, cols = -7;
    table_error err;
    std::vector<double> values;
};

// load_table into a buffer of exactly el_max doubles (so that the address
// sanitizer sees a write past it), the shape fields filled with garbage first.
Loaded load(const std::string& path, int el_max) {
    Loaded out;
    const auto buf = std::make_unique_for_overwrite<double[]>(static_cast<std::size_t>(el_max));
    const int first = 1;
    out.err.fault = table_fault::read_error; // must be overwritten
    out.ret =
        load_table(path.c_str(), buf.get(), el_max, &first, &out.rows, &first, &out.cols, &out.err);
    if (out.ret != 0 && out.rows > 0) {
        const long long cells = static_cast<long long>(out.rows) * out.cols;
        check(out.cols > 0 && cells < el_max, "a table's shape holds more numbers than loaded");
        out.values.assign(buf.get(), buf.get() + cells);
    }
    return out;
}

// Writes the loaded table with output_matrix, checks the bytes against the
// "%1.15E" text of its values, and reads the file back.
void check_round_trip(const Scratch& scratch, const Loaded& got) {
    const int rows = got.rows, cols = got.cols;
    std::string want;
    std::vector<double> reread;
    double** m = rows > 0 ? dmatrix(1, rows, 1, cols) : nullptr;
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= cols; ++j) {
            const double v = got.values[static_cast<std::size_t>((i - 1) * cols + (j - 1))];
            m[i][j] = v;
            char text[64];
            std::snprintf(text, sizeof text, "%1.15E", v);
            want += text;
            want += j < cols ? '\t' : '\n';
            // the largest double's text reads as the largest double
            const double back = std::strtod(text, nullptr);
            reread.push_back(
                std::isinf(back) ? std::copysign(std::numeric_limits<double>::max(), back) : back);
        }
    }
    const int ret = output_matrix(scratch.output.c_str(), m, 1, rows, 1, cols);
    if (m != nullptr) free_dmatrix(m, 1, rows, 1, cols);
    check(ret == -1, "output_matrix failed on a loaded table");
    check(read_file(scratch.output) == want,
          "output_matrix wrote other bytes than \"%1.15E\" gives");

    const Loaded back = load(scratch.output, STACK_MAX);
    check(back.ret == -1, "a written table fails to load", show(back.err));
    check(back.rows == rows && back.cols == cols, "a written table reads back in another shape");
    for (std::size_t k = 0; k < reread.size(); ++k)
        check(bits(back.values[k]) == bits(reread[k]),
              "a written number reads back to another double than its text gives");
}

// Loads the input file, which holds `file` (behind empty lines when
// `padded`), and checks the outcome against the model.
void check_load(const Scratch& scratch, std::string_view file, bool padded, int el_max,
                bool round_trip) {
    const Loaded got = load(scratch.input, el_max);
    Model want(el_max);
    want.read(file, !padded);

    const auto at = [&] {
        return "load_table gave " + std::to_string(got.ret) + ", " + std::to_string(got.rows) +
               " x " + std::to_string(got.cols) + ", " + show(got.err) + "; expected " +
               show(want.err) + ", " + std::to_string(want.rows) + " x " +
               std::to_string(want.cols) + " (capacity " + std::to_string(el_max) + ")";
    };
    check(got.err.fault == want.err.fault, "load_table accepts or refuses unlike the format", at);
    if (want.err.fault == table_fault::none) {
        check(got.ret == -1, "a loaded table returns -1", at);
        check(got.rows == want.rows && got.cols == want.cols, "a table loads in another shape", at);
        for (std::size_t k = 0; k < want.values.size(); ++k)
            check(bits(got.values[k]) == bits(want.values[k]), "a number loads as another double",
                  [&] { return at() + ", value " + std::to_string(k); });
        if (round_trip) check_round_trip(scratch, got);
        return;
    }

    const table_error& e = got.err;
    check(got.ret == 0, "a refused table returns 0", at);
    check(got.rows == 0 && got.cols == 0, "a refused table reports 0 rows and 0 columns", at);
    check(e.row == want.err.row && e.col == want.err.col, "a refusal names another cell", at);
    switch (e.fault) {
    case table_fault::not_a_number:
    case table_fault::out_of_range:
    case table_fault::token_too_long:
        check(e.text == want.err.text, "a refusal quotes another token", at);
        break;
    case table_fault::ragged_rows:
        check(e.cells == want.err.cells && e.cells_before == want.err.cells_before,
              "a ragged-rows refusal counts other cells", at);
        break;
    case table_fault::too_many_numbers:
        check(e.capacity == el_max - 1, "a capacity refusal names another capacity", at);
        break;
    default:
        break;
    }
    const std::string line = describe(e);
    check(!line.empty() &&
              std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c < 0x7F; }),
          "a refusal is not one printable line", at);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    write_file(scratch.input, file);
    check_load(scratch, file, false, STACK_MAX, true);
    check_load(scratch, file, false, SMALL_CAPACITY, false);

    // for one input in eight, the same bytes split across the reader's block
    // boundary at a point the content picks (the padding costs a 64 KiB
    // read each time)
    std::size_t sum = 0;
    for (const std::uint8_t b : file) sum = sum * 31 + b;
    if (sum % 8 != 0) return 0;
    const std::size_t split = sum / 8 % (size + 1);
    std::string padded(READ_BLOCK - split, '\n');
    padded.append(file);
    write_file(scratch.input, padded);
    check_load(scratch, file, true, STACK_MAX, false);
    return 0;
}
