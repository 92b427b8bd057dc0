// Gaussian elimination of a tridiagonal band with pivoting between
// neighbouring rows, then back-substitution, all in x_num.
//
// The band works as a sliding window. When step i begins, row i holds
// columns i-1, i, i+1 of the working matrix in positions 1, 2, 3, and so
// does row i+1 for columns i, i+1, i+2. The step shifts row i one place
// left, so that both rows hold columns i, i+1, i+2; position 3 of row i
// starts at 0 and receives the fill-in when the rows are interchanged.
// Once reduced, row i holds U(i,i), U(i,i+1), U(i,i+2).
#include "tarsik/xtarsik.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace {

// The order of equation i as given: the decimal order of its largest band
// entry, the outside slots a[1][1] and a[n][3] excepted (x_ord_'s -99999
// when all are zero). Every zero test judges an entry against 10^(2 -
// dgt_max + e) of the equation it belongs to (xcomp_tiny_), so that
// scaling an equation by a power of ten changes no decision.
int equation_order(x_num** a, int n, int i) {
    int e = -99999;
    const int first = i == 1 ? 2 : 1, last = i == n ? 2 : 3;
    for (int l = first; l <= last; ++l) e = std::max(e, x_ord_(&a[i][l]));
    return e;
}

// |x| x 10^-ex < |y| x 10^-ey: magnitudes compared relative to their own
// equations, an exact shift of the exponents. The pivot candidate of an
// equation must be large within that equation, not merely large: an
// equation scaled by 1e200 would otherwise win every interchange with a
// pivot that is tiny against its own entries, and the solution would keep
// no correct digit. Equations of one order compare their magnitudes as
// they are.
bool relatively_below(const x_num& x, int ex, const x_num& y, int ey, int dgt_max) {
    x_num p = xabs_(&x), q = xabs_(&y);
    if (ex != ey) {
        const auto shifted = [](std::int32_t esp, int e) {
            const long long v = static_cast<long long>(esp) - e;
            return static_cast<std::int32_t>(std::clamp<long long>(v, INT_MIN, INT_MAX));
        };
        p.esp = shifted(p.esp, ex);
        q.esp = shifted(q.esp, ey);
    }
    return xcomp_(&p, &q, dgt_max) < 0;
}

// Moves the row one place left: positions 2 and 3 into 1 and 2, 0 into 3.
void shift_left(x_num* row) {
    row[1] = row[2];
    row[2] = row[3];
    xinit(&row[3], 0);
}

// x = x - y * f, the product and the difference each cut to dgt_max
// digits. When y or f is zero the product is zero and the difference
// would be x itself, so x is left alone.
void sub_product(x_num* x, const x_num* y, const x_num* f, int dgt_max) {
    if (y->ndgt == 0 || f->ndgt == 0) return;
    x_mult_sub_(y, f, x, dgt_max);
}

// x = x / p (p not zero, prepared), in place; a zero dividend would come
// back as it is, so it is left alone.
void divide(x_num* x, const x_divisor* p, int dgt_max) {
    if (x->ndgt == 0) return;
    x_div_p_(x, p, x, dgt_max);
}

// Divides the reduced row (its entries right of the pivot) and its
// right-hand sides by the pivot, which stays undivided in place.
void normalise(x_num* row, x_num* rhs, int m, const x_divisor& pivot, int dgt_max) {
    divide(&row[2], &pivot, dgt_max);
    divide(&row[3], &pivot, dgt_max);
    for (int j = 1; j <= m; ++j) divide(&rhs[j], &pivot, dgt_max);
}

// Interchanges rows i and i+1 of the band and of the right-hand sides.
void interchange(x_num** a, x_num** b, int i, int m) {
    for (int l = 1; l <= 3; ++l) std::swap(a[i][l], a[i + 1][l]);
    for (int j = 1; j <= m; ++j) std::swap(b[i][j], b[i + 1][j]);
}

} // namespace

int xtarsik(x_num** a, int n, x_num** b, int m, x_num* det, int dgt_max) {
    return xtarsik(a, n, b, m, det, nullptr, dgt_max);
}

int xtarsik(x_num** a, int n, x_num** b, int m, x_num* det, int* lost, int dgt_max) {
    xinit(det, 1);
    if (lost != nullptr) *lost = 0;
    if (n < 1) return -1;
    // whether |x| is above the zero threshold of an equation of order e
    const auto above = [dgt_max](const x_num& x, int e) { return xcomp_tiny_(&x, e, dgt_max) > 0; };
    const auto singular = [det] {
        xinit(det, 0);
        return 0;
    };
    // a pivot's digits lost against its equation
    const auto judge = [lost](const x_num& pivot, int e) {
        if (lost != nullptr) *lost = std::max(*lost, x_lost_(&pivot, e));
    };
    // e: the order of the equation at position i, which it keeps through
    // the interchanges; row i + 1 is as given when step i begins
    int e = equation_order(a, n, 1);
    xinit(&a[1][1], 0);

    // elimination: det collects the pivots, negated once per interchange.
    // Row i is final once step i has used it on row i + 1 (later steps
    // touch rows i + 1 and below), so it is normalised there, by the pivot
    // prepared for the factor, while it is still in the cache.
    x_num dum;
    for (int i = 1; i < n; ++i) {
        x_num* row = a[i];
        x_num* next = a[i + 1];
        int e_next = equation_order(a, n, i + 1);
        // row[1] is 0 here (cleared by the step before), so this asks
        // whether row i has anything left in columns i and i+1
        if (!above(row[2], e) && !above(row[3], e) && !above(row[1], e)) return singular();
        shift_left(row);

        const bool eliminate = above(next[1], e_next);
        if (!eliminate && !above(row[1], e)) return singular(); // nothing below, and a zero pivot
        // the larger candidate within its equation becomes the pivot; equal
        // ones stay put. A pivot at least as large as the entry below,
        // relative to their equations, is itself above its equation's
        // threshold.
        if (eliminate && relatively_below(row[1], e, next[1], e_next, dgt_max)) {
            interchange(a, b, i, m);
            x_not_(det);
            std::swap(e, e_next);
        }
        x_divisor pivot;
        xdivisor_(&row[1], &pivot);
        if (eliminate) {
            x_div_p_(&next[1], &pivot, &dum, dgt_max); // the factor
            sub_product(&next[2], &row[2], &dum, dgt_max);
            sub_product(&next[3], &row[3], &dum, dgt_max);
            for (int j = 1; j <= m; ++j) sub_product(&b[i + 1][j], &b[i][j], &dum, dgt_max);
        }
        normalise(row, b[i], m, pivot, dgt_max);
        judge(row[1], e);
        x_mult_(&row[1], det, det, dgt_max);
        // the eliminated entry is exactly 0 (next[1] - row[1] * factor
        // would only leave a truncation residue, so it is not computed),
        // and one not above the threshold is dropped as 0
        xinit(&next[1], 0);
        e = e_next;
    }
    shift_left(a[n]);
    if (!above(a[n][1], e)) return singular();
    judge(a[n][1], e);
    x_mult_(&a[n][1], det, det, dgt_max);
    x_divisor pivot;
    xdivisor_(&a[n][1], &pivot);
    normalise(a[n], b[n], m, pivot, dgt_max);

    // back-substitution; row n is already solved
    for (int i = n - 1; i >= 1; --i)
        for (int j = 1; j <= m; ++j) {
            sub_product(&b[i][j], &a[i][2], &b[i + 1][j], dgt_max);
            if (i < n - 1) sub_product(&b[i][j], &a[i][3], &b[i + 2][j], dgt_max);
        }
    return -1;
}
