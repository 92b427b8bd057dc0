// xarith: extended-precision decimal numbers.
//
// An x_num holds a sign, up to SUB_DGT limbs of BASE decimal digits each
// (least significant first) and a decimal exponent:
//
//     value = sign * (dgt[0] + dgt[1] * 10^6 + ... + dgt[ndgt-1] * 10^(6 (ndgt-1))) * 10^esp
//
// Zero is ndgt == 0, whatever the other fields hold. The sign '?' with
// ndgt == 0 marks the undefined result of a division by zero; arithmetic
// treats it as zero and the text form prints it as "?". Limbs at index ndgt
// and above are not part of the value. Records are plain values, copied by
// assignment, and every operation takes them by address.
//
// Precision: every operation that can make more digits than it was given
// takes dgt_max, a count of decimal digits, and cuts its result toward zero
// (never rounding). Products and quotients keep dgt_max / 6 + 2 limbs; sums
// cut their aligned operands to dgt_max digits; text keeps dgt_max
// significant digits.
//
// Limits. No operation reads or writes outside a record or a buffer,
// whatever its arguments:
//   - a precision below 1 acts as 1;
//   - the sum takes at most 234 digits (an aligned operand plus its carry
//     limb must fit 40 limbs), the quotient at most 227 (its limbs plus the
//     one it cuts), cvsx at most 239, cvxs at most 240; larger precisions
//     act as these;
//   - x_mult_ forms its product in working storage of 80 limbs, so operands
//     of any limb counts multiply; the result keeps at most 40 limbs;
//   - a left Xshift whose result would need more than 40 limbs keeps the 40
//     most significant ones and raises esp by 6 for each limb dropped;
//   - exponents that would leave the range of an int saturate at its ends.
#ifndef XARITH_XARITH_H
#define XARITH_XARITH_H

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

inline constexpr int DM = 1000000;  // radix of one limb
inline constexpr int BASE = 6;      // decimal digits per limb
inline constexpr int SUB_DGT = 40;  // limbs per record
inline constexpr int DGT_LIM = 200; // largest precision of the text-operand operations

struct x_num {
    signed char sign;          // '+', '-', or '?' (undefined)
    std::int32_t dgt[SUB_DGT]; // limbs, least significant first, each 0..999999
    std::int32_t esp;          // decimal exponent of dgt[0]'s lowest digit
    std::int32_t ndgt;         // limbs in use, 0..40; 0 is zero
};

static_assert(std::is_trivially_copyable_v<x_num>);
static_assert(std::is_standard_layout_v<x_num>);

// ---------------------------------------------------------------------------
// The record and its normalisation.

// a = x. Sign minus for x < 0; every limb cleared, then |x| split into limbs.
void xinit(x_num* a, int x);
// 0 for zero, -1 for a negative number, +1 otherwise.
int xzero_(const x_num* x);
// A copy of x with sign plus.
x_num xabs_(const x_num* x);
// Negation in place: '-' becomes '+', any other sign becomes '-'.
void x_not_(x_num* a);
// Power of ten of the leading digit; -99999 for zero.
int x_ord_(const x_num* a);
// Decimal digits of the magnitude, trailing zeros included; 0 for zero.
int Xdigitcount(const x_num* x);
// Decimal digits of |x|; 0 for 0.
int IntDgtCount(int x);
// Strips leading zero limbs, then keeps at most dgt_max / 6 + 2 limbs,
// dropping the lowest and raising esp by 6 for each.
void Xscaling(x_num* x, int dgt_max);
// Multiplies the magnitude by 10^n (divides by 10^-n for n < 0, dropping
// the digits shifted out) and lowers esp by n. A right shift keeps ndgt
// unless whole limbs leave, so its top limb may become 0.
void Xshift(x_num* x, int n);
// Prints ndgt, sign, esp and the limbs in use (least significant first).
void dumpx(x_num a);

// ---------------------------------------------------------------------------
// Decimal text and double conversion.
//
// Accepted text: an optional sign, a mantissa of digits with at most one
// point (possibly empty, which reads as zero), and an optional exponent: E
// or e followed by one to four characters forming a decimal integer with an
// optional sign. The letter counts only among the last five characters,
// not last and not first; with two candidates the later one counts. The
// mantissa keeps its first dgt_max + 1 characters (leading zeros and the
// point included); dropped integer digits raise the exponent. Text of any
// length is read. Text outside this form reads as the undefined record.

void cvsx(std::string_view str, x_num* a, int dgt_max);
// Writes a as decimal text (at most dgt_max significant digits, truncated)
// into s, which has room for at least 256 characters. Forms: "?", "0", an
// integer, a fraction, or scientific "d.dddEn".
void cvxs(char* s, const x_num* a, int dgt_max);
std::string cvxs(const x_num* a, int dgt_max);
// The double nearest to the text of a at dgt_max digits; "?" gives 0.0.
double cvxd(const x_num* a, int dgt_max);
// a = x through its "%1.15E" text; an infinity or NaN gives the undefined record.
void cvdx(x_num* a, double x, int dgt_max);
// Inserts a point after the first n characters (0 < n < length), or puts
// "0." in front (n == 0); otherwise leaves s unchanged.
void SetDecPoint(char* s, int n);
// Put n zeros in front of / after str, fewer when the text would reach 256
// characters (and never more than 250). Return n after that reduction.
int ZeroPrfx(char* str, int n);
int ZeroSfx(char* str, int n);

// ---------------------------------------------------------------------------
// Record arithmetic. c may be the same record as an operand.

// c = a + b; returns 1.
int x_add_(const x_num* a, const x_num* b, x_num* c, int digit_max);
// c = a - b; returns 1. b is only read.
int x_sub_(const x_num* a, const x_num* b, x_num* c, int digit_max);
// A running sum: the records x_add_ gives when terms are added one at a
// time, s = s + a, held in the library's own form between the terms (a
// column's sum, a sum of squares). xsum_ starts it at `start` and fixes
// the precision of every term; x_sum_add_ adds a term and returns 1;
// xsum_get_ writes the record the sum stands for. Copy it like a record.
struct x_sum {
    alignas(8) unsigned char opaque[320];
};
void xsum_(x_sum* s, const x_num* start, int digit_max);
int x_sum_add_(x_sum* s, const x_num* a);
void xsum_get_(const x_sum* s, x_num* out);
// -1, 0 or 1 as x is below, equal to or above y at dgt_max digits.
int xcomp_(const x_num* x, const x_num* y, int dgt_max);
// The zero threshold of the eliminations: -1, 0 or 1 as |x| is below,
// equal to or above 10^(2 - dgt_max + e) at dgt_max digits, e the decimal
// order of the equation x belongs to (its largest entry as given, or the
// diagonal entry of a normal matrix). Truncated elimination leaves about
// (their size) x 10^(1 - dgt_max) where exact arithmetic gives 0, so a
// smaller x carries no digit of its own. Judged against its own equation,
// not the largest entry of the matrix, the test does not depend on the
// scale of an equation: multiplying one by 10^k moves x and the threshold
// together, and diag(1e-100, 1e100) is as regular as the identity.
int xcomp_tiny_(const x_num* x, int e, int dgt_max);
// The digits x has lost against the numbers it was formed from, e the
// decimal order of the largest of them (x_ord_'s -99999 when all were
// zero): e less the order of x, 0 when x is not below e, and 1000000 for a
// zero x formed from numbers not all zero. Each operation cuts at dgt_max
// digits of its operands, so x keeps about dgt_max - x_lost_ correct
// digits: a sum far below its largest term, or a pivot far below its
// equation, leaves few. The measure every result is judged by when the
// programs decide whether its printed digits need a check.
int x_lost_(const x_num* x, int e);
// c = a * b; returns 1.
int x_mult_(const x_num* a, const x_num* b, x_num* c, int digit_max);
// acc = acc + a * b and acc = acc - a * b: the product cut as x_mult_
// cuts it, the sum as x_add_ and x_sub_ cut it, so the digits are those of
// the two operations through a record of their own; return 1. acc may be
// a or b.
int x_mult_add_(const x_num* a, const x_num* b, x_num* acc, int digit_max);
int x_mult_sub_(const x_num* a, const x_num* b, x_num* acc, int digit_max);
// A factor prepared once for many products: the digits of a record read
// into the library's own form, which the multiply-adds below take without
// reading the record again. It holds a copy of the value, so the record
// may change once the factor is made; copy it like a record. The results
// are the records the record forms give: x_mult_add_p_ and x_mult_sub_p_
// those of x_mult_add_ and x_mult_sub_ on the records the factors were
// prepared from, at any precision.
struct x_prep {
    alignas(8) unsigned char opaque[128];
};
void xprep_(const x_num* a, x_prep* p);
// p = the factor xprep_ makes of the difference x_sub_(a, b, c, digit_max)
// gives, without writing the difference's record.
void xprep_sub_(const x_num* a, const x_num* b, x_prep* p, int digit_max);
int x_mult_add_p_(const x_prep* a, const x_prep* b, x_num* acc, int digit_max);
int x_mult_sub_p_(const x_prep* a, const x_prep* b, x_num* acc, int digit_max);
// acc = acc + a[0] * b[0] + ... + a[n-1] * b[n-1], the terms added in that
// order, each as x_mult_add_p_ adds it, the sum held in the library's own
// form from term to term; returns 1. A dot product of many terms.
int x_dot_add_p_(const x_prep* a, const x_prep* b, int n, x_num* acc, int digit_max);
// c = a * b for a of rows 1..n and columns 1..l, b of rows 1..l and columns
// 1..m, c of rows 1..n and columns 1..m (none of them the same matrix):
// c[i][j] is the sum over k = 1, 2, ..., l of a[i][k] * b[k][j], each term
// as x_mult_ forms it added with x_add_ to a sum that starts at zero. The
// factors are read once into the library's own forms.
void x_matmul_(x_num** a, int n, int l, x_num** b, int m, x_num** c, int digit_max);
// The same product, and in top[(i - 1) m + (j - 1)] (n x m ints, row by
// row) the highest leading power among the terms of c[i][j]: the largest
// x_ord_(a[i][k]) + x_ord_(b[k][j]) + 1 over the non-zero terms (an order
// beyond +-2^28 taken as that bound), -99999 when every term is zero.
// x_lost_(&c[i][j], top) then tells how far the sum fell below its
// largest term.
void x_matmul_(x_num** a, int n, int l, x_num** b, int m, x_num** c, int* top, int digit_max);
// v3 = v1 / v2; returns 1, or 0 for a zero divisor (v3 then undefined).
int x_div_(const x_num* v1, const x_num* v2, x_num* v3, int digit_max);
// A divisor prepared once for several quotients by it: its words, scale
// and reciprocals formed once. It holds a copy of the value, so the record
// may change once the divisor is made; copy it like a record. x_div_p_
// gives the record and status x_div_ gives for the divisor it was prepared
// from, at any precision.
struct x_divisor {
    alignas(8) unsigned char opaque[640];
};
void xdivisor_(const x_num* v2, x_divisor* d);
int x_div_p_(const x_num* v1, const x_divisor* d, x_num* v3, int digit_max);
// b = 1 / a; returns 1.
int x_inv_(const x_num* a, x_num* b, int digit_max);
// b = the square root of a, cut toward zero to the limbs a quotient keeps,
// dgt_max / 6 + 2, every one full: the root's first 6 (dgt_max / 6 + 2)
// digits (dgt_max above 227 acts as 227). Returns 1; a zero gives zero; a
// negative a gives the undefined record and returns 0. b may be a.
int x_sqrt_(const x_num* a, x_num* b, int dgt_max);
// b = a^n by n - 1 multiplications; n <= 1 copies a.
void x_pow_(const x_num* a, x_num* b, int n, int dgt_max);

// ---------------------------------------------------------------------------
// The same arithmetic on decimal text. x3 has room for at least 256
// characters and may be an operand's buffer. Precisions above DGT_LIM act
// as DGT_LIM. Each returns 1.

int x_add(std::string_view x1, std::string_view x2, char* x3, int digit_max);
int x_sub(std::string_view x1, std::string_view x2, char* x3, int digit_max);
int x_mult(std::string_view x1, std::string_view x2, char* x3, int digit_max);
int x_div(std::string_view x1, std::string_view x2, char* x3, int digit_max);
int xcomp(std::string_view x, std::string_view y, int dgt_max);

// ---------------------------------------------------------------------------
// Matrices of x_num, index-offset like dmatrix: element [i][j] for
// nrl <= i <= nrh, ncl <= j <= nch, rows contiguous one after another.

// A new matrix; running out of memory (or an empty range) ends the
// process through nrerror, with its report and status 1.
x_num** xmatrix(int nrl, int nrh, int ncl, int nch);
void free_xmatrix(x_num** m, int nrl, int nrh, int ncl, int nch);
// xa[i][j] = a[i][j] through the "%1.15E" text of each double.
void xmatrix_load(x_num** xa, double** a, int i_min, int na, int j_min, int ma, int dgt_max);
// Print-outs for inspection: "row=%d", "a[%d][%d]= %s" lines; "det= %s".
void dump_xmatrix(x_num** a, int n, int m, int dgt_max);
void dump_det(const x_num* det, int dgt_max);

// Gauss-Jordan elimination with full pivoting: solves a X = b for m
// right-hand sides in place (a becomes its inverse, b the solutions) and
// sets det. A pivot is zero when below 10^(2 - dgt_max + e), e the decimal
// order of the largest entry of its row as given (xcomp_tiny_); the row
// keeps its order through the row swaps. Returns -1, or 0 when a is
// singular. The entries are held in the library's own form during the
// elimination (in words: 24 + 8 x (3 W + 2) bytes an entry, W = dgt_max / 18
// rounded up), a working copy freed before return.
int xgaussj(x_num** a, int n, x_num** b, int m, x_num* det, int dgt_max);

// What xgaussj_scaled judges a pivot against: the largest entry of its row
// as given (as xgaussj does), or the row's diagonal entry as given. The
// diagonal suits a symmetric positive semi-definite a, such as a normal
// matrix: full pivoting takes its pivots from the diagonal, and a pivot
// below its diagonal entry by 10^k says that its column is, to k digits, a
// combination of the columns eliminated before it, whatever the units of
// the columns.
enum class x_scale { row, diagonal };

// xgaussj with the pivots judged by `scale`, and, when lost is not null,
// *lost set to the most digits a pivot lost against its row's order
// (x_lost_), 0 for none; meaningless when a is singular.
int xgaussj_scaled(x_num** a, int n, x_num** b, int m, x_num* det, x_scale scale, int* lost,
                   int dgt_max);
// xgaussj_scaled for the solutions alone: b, det, *lost and the return
// value are those xgaussj_scaled gives, and a is not turned into its
// inverse (its entries are left in an unspecified state). The columns of a
// already pivoted, which only the inverse reads, are left out of each
// stage: about half the work for one right-hand side.
int xgaussj_solve(x_num** a, int n, x_num** b, int m, x_num* det, x_scale scale, int* lost,
                  int dgt_max);

#endif
