// The steps the three programs share: loading and checking input tables,
// converting them to x_num, converting results back to double and writing
// them, timing the run and printing the determinant line.
//
// Every step that fails prints its one console line on standard output and
// returns false (or an empty optional); the caller then exits with status 1.
// File names and arguments in those lines are shown through escaped()
// (matrix.h), so that no byte of theirs can break the line.
#ifndef PIPELINE_PIPELINE_H
#define PIPELINE_PIPELINE_H

#include "matrix/matrix.h"
#include "xarith/xarith.h"

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <utility>

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

// The precision all three programs work at (velmar more above degree 1).
inline constexpr int DGT_MAX = 30;

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

// The one value buffer of STACK_MAX doubles that every table of a run is
// read into, one after the other.
class Loader {
  public:
    Loader();
    // Reads the table file `name` and copies it out of the buffer. On a
    // refusal prints the file's one line (its fault, with row and column
    // where it has them) and returns nothing; a table that holds no number
    // is refused too, before any matrix is made.
    std::optional<DMatrix> load(const char* name);

  private:
    std::unique_ptr<double[]> stack_;
};

// m converted element by element through its "%1.15E" text.
XMatrix to_x(const DMatrix& m, int dgt_max);

// *out = x as a double, through its text at dgt_max digits. A value beyond
// the range of a double (fits_double, matrix.h) prints its line, naming it
// `name`[i,j], and makes the result false; one that underflows becomes the
// nearest double, one up to the largest double's own text the largest.
bool to_double(const x_num& x, double* out, const char* name, int i, int j, int dgt_max = DGT_MAX);

// to_double for every element of x into out, of the same shape.
bool to_doubles(const XMatrix& x, const DMatrix& out, const char* name, int dgt_max = DGT_MAX);

// Writes m to the table file `name`; on failure prints "sorry, something
// wrong" without a line end.
bool write(const char* name, const DMatrix& m);

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

} // namespace pipeline

#endif
