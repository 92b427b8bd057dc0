// The steps the three programs share: loading and checking input tables,
// converting them to x_num, converting results back to double and writing
// them, timing the run and printing the determinant line.
//
// Every step that fails prints its one console line on console() and
// returns false (or an empty optional); the caller then exits with status 1.
// File names and arguments in those lines are shown through escaped()
// (matrix.h), so that no byte of theirs can break the line.
//
// A file name "-" is standard input when read and standard output when
// written.
#ifndef PIPELINE_PIPELINE_H
#define PIPELINE_PIPELINE_H

#include "matrix/matrix.h"
#include "xarith/xarith.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pipeline {

// Console texts the programs share word for word.
inline constexpr char MSG_NOT_FOUND[] = "matrix <%s> not found\n";
inline constexpr char MSG_WRITE_FAILED[] = "sorry, something wrong";
inline constexpr char MSG_FILES[] = "Files contain matrices in ASCII Tab delimited\n";
inline constexpr char MSG_SINGULAR[] = "singular matrix\n";
inline constexpr char MSG_DETERMINANT[] = "determinant= %s\n";
inline constexpr char MSG_ELAPSED[] = "elapsed time: %f seconds\n";
inline constexpr char MSG_RESULT_FILE[] = "X ==> %s\n";
inline constexpr char MSG_EMPTY[] = "matrix <%s> holds no number\n";
inline constexpr char MSG_BEYOND_DOUBLE[] = "result %s[%d,%d] = %s is beyond the range of a double\n";
inline constexpr char MSG_NEW_FAILED[] = "allocation failure in operator new";

// The command line (pipeline/command.h). The first %s is what was given,
// the last the program's name.
inline constexpr char MSG_UNKNOWN_OPTION[] = "unknown option <%s>; %s --help lists the options\n";
inline constexpr char MSG_NEEDS_VALUE[] =
    "option <%s> needs a value; %s --help lists the options\n";
inline constexpr char MSG_TAKES_NO_VALUE[] =
    "option <%s> takes no value; %s --help lists the options\n";
inline constexpr char MSG_DIGITS[] = "digits <%s> is not a whole number from %d to %d%s\n";
inline constexpr char MSG_CHECK_NO_ROOM[] =
    "--check needs a precision above %d digits, and %d is the most%s\n";
inline constexpr char MSG_TWO_STDIN[] = "only one input can be standard input (-)\n";
inline constexpr char MSG_VERSION[] = "%s (xsuite) %s\n";
inline constexpr char HELP_OPTIONS[] = "options, before the file names:\n";
inline constexpr char HELP_OPTION[] = "  %-18s %s\n"; // the option, its help
inline constexpr char HELP_CHECK[] = "redo the job at 2N digits; tell how many digits agree";
inline constexpr char HELP_EXACT[] = "read table numbers as written, not through doubles";
inline constexpr char HELP_HELP[] = "print this help and exit";
inline constexpr char HELP_VERSION[] = "print the version and exit";
inline constexpr char HELP_DASH[] = "a file name - is standard input, or as the result standard "
                                    "output (the report\nthen goes to standard error)\n";

// The check's line after the report (pipeline/check.h).
inline constexpr char MSG_CHECK_AGREE[] = "check: every result agrees to 16 digits at %d digits\n";
inline constexpr char MSG_CHECK_WORST[] = "check: %s agrees to %d digits at %d digits\n";
inline constexpr char MSG_CHECK_FAILED[] = "check: the run at %d digits failed: %s\n";
// The warning on standard error when a result's digits were at risk and
// the check found them wrong: the name, K, N, and P as --digits takes it.
inline constexpr char MSG_WARNING[] = "warning: %s is right to %d digits only at %d digits; "
                                      "try --digits %d\n";
inline constexpr char MSG_WARNING_FAILED[] = "warning: the run at %d digits failed: %s\n";

// The precision all three programs work at by default (velmar more above
// degree 1), and the fewest digits --digits may ask for.
inline constexpr int DGT_MAX = 30;
inline constexpr int DIGITS_MIN = 10;

// The most digits the library's operations take in full (the Limits of
// xarith/xarith.h): sums and products up to 234, quotients up to 227, and
// the text conversions beyond both. mobrel only multiplies and adds;
// tarsik and velmar divide.
inline constexpr int DIGITS_SUMS_MAX = 234;
inline constexpr int DIGITS_QUOTIENTS_MAX = 227;

// The stream the console lines of a run go to: standard output, or standard
// error when the result table itself goes to standard output.
std::FILE* console();
void set_console(std::FILE* stream);

// Whether the result file `name` is the standard output: "-", a name of
// descriptor 1, or of a descriptor open on the same file or pipe.
bool is_standard_output(const char* name);

// A matrix with rows 1..rows and columns 1..cols from the allocator Alloc,
// released on destruction with Free; movable, not copyable.
template <typename T, T** (*Alloc)(int, int, int, int), void (*Free)(T**, int, int, int, int)>
class Matrix {
  public:
    Matrix() = default;
    Matrix(int rows, int cols) : m_(Alloc(1, rows, 1, cols)), rows_(rows), cols_(cols) {}
    // Takes over m, made by Alloc with first indices 1.
    Matrix(T** m, int rows, int cols) : m_(m), rows_(rows), cols_(cols) {}
    Matrix(Matrix&& o) noexcept { *this = std::move(o); }
    Matrix& operator=(Matrix&& o) noexcept {
        std::swap(m_, o.m_);
        std::swap(rows_, o.rows_);
        std::swap(cols_, o.cols_);
        return *this;
    }
    ~Matrix() {
        if (m_ != nullptr) Free(m_, 1, rows_, 1, cols_);
    }

    T** get() const { return m_; }
    T* operator[](int i) const { return m_[i]; }
    int rows() const { return rows_; }
    int cols() const { return cols_; }

  private:
    T** m_ = nullptr;
    int rows_ = 0, cols_ = 0;
};

using DMatrix = Matrix<double, dmatrix, free_dmatrix>;
using XMatrix = Matrix<x_num, xmatrix, free_xmatrix>;

// The texts of a table's numbers as the file writes them, row by row.
using Texts = std::vector<std::string>;

// A table as read: its values and, when kept, the text of each.
struct Table {
    DMatrix values;
    Texts texts; // empty unless kept
    int rows() const { return values.rows(); }
    int cols() const { return values.cols(); }
    // The texts when kept, else nullptr: what the conversions below take.
    const Texts* exact() const { return texts.empty() ? nullptr : &texts; }
};

// The one value buffer of STACK_MAX doubles that every table of a run is
// read into, one after the other.
class Loader {
  public:
    Loader();
    // Reads the table file `name` ("-": standard input) and copies it out
    // of the buffer, with the text of each number when keep_texts. On a
    // refusal prints the file's one line (its fault, with row and column
    // where it has them) and returns nothing; a table that holds no number
    // is refused too, before any matrix is made.
    std::optional<Table> table(const char* name, bool keep_texts);
    // Its values alone.
    std::optional<DMatrix> load(const char* name);

  private:
    std::unique_ptr<double[]> stack_;
};

// a = the number a table file writes as `token` (a checked table token,
// [+-]digits[.digits][(e|E)[+-]digits]), from its decimal digits as
// written: its significant digits go through cvsx at dgt_max as the text
// d.ddd... (so at most dgt_max of them are kept, cut toward zero, as the
// "%1.15E" text of a double keeps them), and the power of ten of the first
// one is set on the record, saturating at the ends of an int as the
// library's exponents do. Leading zeros and an exponent of any length are
// thus read right, where cvsx would cut "0.000...01" to zero or miss the
// exponent of "1E+0005".
void read_exact(std::string_view token, x_num* a, int dgt_max);

// m converted element by element: through its "%1.15E" text, or with texts
// (m's numbers as written, row by row) through read_exact.
XMatrix to_x(const DMatrix& m, int dgt_max, const Texts* texts = nullptr);
// Element (i, j) of m so converted.
void to_x(const DMatrix& m, const Texts* texts, int i, int j, x_num* out, int dgt_max);

// *out = x as a double, through its text at dgt_max digits. A value beyond
// the range of a double (fits_double, matrix.h) prints its line, naming it
// `name`[i,j], and makes the result false; one that underflows becomes the
// nearest double, one up to the largest double's own text the largest.
bool to_double(const x_num& x, double* out, const char* name, int i, int j, int dgt_max = DGT_MAX);

// to_double for every element of x into out, of the same shape.
bool to_doubles(const XMatrix& x, const DMatrix& out, const char* name, int dgt_max = DGT_MAX);

// Writes m to the table file `name` ("-": standard output); on failure
// prints "sorry, something wrong" without a line end, or the line
// `failure` with the name (escaped) for its %s.
bool write(const char* name, const DMatrix& m, const char* failure = nullptr);

// Processor time since construction.
class Stopwatch {
  public:
    Stopwatch() : t0_(std::clock()) {}
    double seconds() const { return static_cast<double>(std::clock() - t0_) / CLOCKS_PER_SEC; }

  private:
    std::clock_t t0_;
};

// "%1.15E" of the determinant: of its double (through its text at dgt_max
// digits) when that is a normal number (or zero), otherwise rounded to 16
// significant digits from that text itself, so that a determinant beyond
// the range of a double still prints.
std::string format_det(const x_num& det, int dgt_max = DGT_MAX);

// The report lines shared by tarsik and velmar.
void print_timing(const Stopwatch& clock, const char* result_name);

// Makes a failed operator new (a container's, a string's) end the program
// through nrerror, as a failed matrix allocation does, instead of throwing
// std::bad_alloc past the program's end. Called first thing in main.
void end_on_exhaustion();

// A console line: printf to console().
[[gnu::format(printf, 1, 2)]] void say(const char* format, ...);

} // namespace pipeline

#endif
