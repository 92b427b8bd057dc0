// Table files, index-offset double matrices and int vectors, the fatal-error
// exit, and a double-precision Gauss-Jordan solver.
//
// A table file is plain text: one row per line, numbers separated by tabs,
// every number written as "%1.15E". See load_table for what the reader
// accepts and refuses.
#ifndef MATRIX_MATRIX_H
#define MATRIX_MATRIX_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Spare slots kept in front of every block, so that the lowest index of a
// range addresses the block's second slot.
inline constexpr int NR_END = 1;

// Capacity of the value buffer the programs read tables into; a table may
// hold at most STACK_MAX - 1 numbers.
inline constexpr int STACK_MAX = 65536;

// Pivots of gaussj below this magnitude make the matrix singular.
inline constexpr double TINY = 1e-15;

// Longest token (one number's text) a table file may hold.
inline constexpr int TOKEN_MAX = 79;

// ---------------------------------------------------------------------------
// Why a table failed to load.
enum class table_fault {
    none,
    cannot_open,         // the file cannot be opened for reading
    read_error,          // reading failed (a folder, an I/O error)
    not_a_number,        // a token that is not wholly a decimal number
    out_of_range,        // a number beyond the range of a double
    token_too_long,      // a token of more than TOKEN_MAX characters
    nul_byte,            // a NUL byte in the file
    two_numbers_in_cell, // two numbers separated only by blanks
    ragged_rows,         // rows with different numbers of cells
    empty_cell,          // an empty cell where the rows differ in their empty cells
    too_many_numbers,    // more numbers than the buffer holds
};

// The reason, and where: row and column are the table indices of the cell
// (0 where the fault belongs to no cell), text the offending token (for
// cannot_open and read_error the system's message). For ragged_rows, row is
// the first row whose length differs, col the first cell where it departs
// from the rows before it, and the counts below say how; for empty_cell,
// row and col locate the first empty cell of the table, col counting every
// cell the tabs of its line mark, empty or not; for too_many_numbers, row
// and col locate the first number beyond capacity.
struct table_error {
    table_fault fault = table_fault::none;
    int row = 0;
    int col = 0;
    std::string text;
    int cells = 0;        // ragged_rows: cells in row `row`
    int cells_before = 0; // ragged_rows: cells in each row before it
    int capacity = 0;     // too_many_numbers: the most numbers a table may hold
};

// One line describing the fault, without the file name and without a line
// end, e.g. `row 3 column 2: not a number: "1,5"` or
// `row 2 has 3 columns, row 1 has 2`. Long texts are shortened and shown
// as escaped(text, true) shows them.
std::string describe(const table_error& err);

// text made fit for a one-line message, so that nothing it holds can break
// the line or steer a terminal: a tab, carriage return or line feed shows
// as \t, \r or \n, any other control byte (below 0x20, 0x7F, and the two
// bytes of a C1 control U+0080..U+009F) and any byte that is not part of
// valid UTF-8 as \xHH; the rest as it is. File names and command-line
// arguments are shown so. With `quoted`, the form of a table cell's text:
// between double quotes, " and \ preceded by a backslash, and every byte
// outside printable ASCII escaped (a no-break space or a look-alike minus
// sign in a number shows for what it is).
std::string escaped(std::string_view text, bool quoted = false);

// ---------------------------------------------------------------------------
// Table files.

// Whether the decimal number `text` ([+-]digits[.digits][(e|E)[+-]digits])
// lies within the range of a double as table files count it: its magnitude
// at most 1.797693134862316E+308. That is the largest double,
// 1.7976931348623157E+308, as "%1.15E" writes it, rounded up past the
// point where reading rounds to infinity; so that every table the suite
// writes reads back, such a number reads as a double, the largest at
// worst. Anything larger (1.7976931348623161E+308, 1.8e308) is beyond.
bool fits_double(std::string_view text);

// Reads the table file `filesource` (opened read-only) into elem[0..], in
// file order, and sets *row_max and *col_max to the indices of the last row
// and the last column (counting from *row_min and *col_min); both are 0 when
// the file holds no number. Returns -1 when the whole file was read and
// every check passed, 0 otherwise (the file cannot be opened or read, its
// contents are refused, or it holds el_max numbers or more, so at most
// el_max - 1 load); on 0, *row_max and *col_max are 0 (untouched when the
// file cannot be opened) and *err (when given) says why.
//
// Numbers are separated by tabs (a run of tabs counts as one, tabs at a
// line start count for nothing); a line feed ends a row that holds a number,
// so empty lines are skipped; a space or a carriage return ends a number
// without moving to the next cell. Every row must have the same number of
// cells, and every token must be wholly a decimal number within the range
// of a double (see fits_double): [+-]digits[.digits][(e|E)[+-]digits], at
// most 79 characters.
int load_table(const char* filesource, double* elem, int el_max, const int* row_min, int* row_max,
               const int* col_min, int* col_max, table_error* err);
int load_table(const char* filesource, double* elem, int el_max, const int* row_min, int* row_max,
               const int* col_min, int* col_max);

// load_table that also hands back each number's text as the file writes it
// ("0.56", "1E+0005"): (*texts)[k] is the token that gave elem[k]. texts is
// emptied first, and again when the table is refused; nullptr keeps none.
int load_table(const char* filesource, double* elem, int el_max, const int* row_min, int* row_max,
               const int* col_min, int* col_max, table_error* err, std::vector<std::string>* texts);

// load_table reading the open stream `in` (standard input, say) to its end
// in place of a named file; the stream is left open. A stream that cannot
// be read is a read_error; cannot_open never arises.
int load_table_stream(std::FILE* in, double* elem, int el_max, const int* row_min, int* row_max,
                      const int* col_min, int* col_max, table_error* err,
                      std::vector<std::string>* texts);

// A new matrix for rows i_min..na and columns j_min..ma, filled row by row
// from stack[0..]. The caller releases it with free_dmatrix.
double** input_matrix(const double* stack, int i_min, int na, int j_min, int ma);

// Writes rows row_min..row_max, columns col_min..col_max of mat as a table
// file, each number as "%1.15E" followed by a tab, the last of a row by a
// line feed; an empty row range writes an empty file. Returns -1 when every
// byte reached the file, 0 otherwise; a failed write never leaves a partial
// file and never harms an existing one. A regular file, or the file a
// symbolic link leads to (there or not yet), is replaced atomically
// through a temporary file beside it, keeping the owner, group and
// permission bits of the file it replaces (never a setuid or setgid bit);
// a device or FIFO is written directly; a folder or a write-protected file
// is refused. A name that stands for an open descriptor (see
// table_descriptor) is written through that descriptor. While it writes,
// a file size limit or a FIFO whose reader has gone fails the write
// instead of ending the program, and SIGINT, SIGTERM, SIGHUP or SIGPIPE
// remove the temporary file before they end it.
int output_matrix(const char* filedest, double** mat, int row_min, int row_max, int col_min,
                  int col_max);

// The open descriptor a name stands for: 0, 1 and 2 for /dev/stdin,
// /dev/stdout and /dev/stderr, N for /dev/fd/N and /proc/self/fd/N; -1 for
// any other name. output_matrix writes such a target through the
// descriptor, after what it has taken already, and never replaces or
// reopens it.
int table_descriptor(const char* name);

// The "%1.15E" form of a double, in which table files hold their numbers
// and in which a double enters the x_num library: its 16 significant
// digits rounded half to even from the double's exact binary value.

// Room format_e15 needs: "-1.234567890123456E-308" is 23 bytes.
inline constexpr std::size_t FORMAT_E15_MAX = 32;

// The digits "%1.15E" prints for a finite, non-zero v: |v| is
// *digits x 10^(*exp10 - 15), with 10^15 <= *digits < 10^16.
void decimal16(double v, std::uint64_t* digits, int* exp10);

// Writes v to out[0..] exactly as printf("%1.15E", v) does (no NUL) and
// returns the byte count; out needs FORMAT_E15_MAX bytes.
std::size_t format_e15(double v, char* out);

// ---------------------------------------------------------------------------
// Index-offset matrices and vectors. Allocation failure ends the process
// through nrerror, and so does an empty range: callers check first.

double** dmatrix(int nrl, int nrh, int ncl, int nch);
void free_dmatrix(double** m, int nrl, int nrh, int ncl, int nch);
int* ivector(int nl, int nh);
void free_ivector(int* v, int nl, int nh);
void free_cvector(char* v, int nl, int nh);

// A block of `bytes` for a large matrix, released with std::free; nullptr
// when the heap is exhausted. One of several megabytes is aligned to and
// asks for huge pages, which take its first touches with far fewer page
// faults (the programs write every element soon after allocating it).
void* matrix_block(std::size_t bytes);

// Prints the three-line fatal-error report on standard error and exits
// with status 1.
[[noreturn]] void nrerror(const char* error_text);

// ---------------------------------------------------------------------------
// Gauss-Jordan elimination with full pivoting in double precision: solves
// a X = b for m right-hand sides, a (1..n x 1..n) replaced by its inverse
// and b (1..n x 1..m) by the solutions. Returns -1, or 0 when a pivot is
// below TINY (or no pivot is a number). n < 1 does nothing and returns -1.
int gaussj(double** a, int n, double** b, int m);

#endif
