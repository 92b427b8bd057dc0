// Gauss-Jordan elimination with full pivoting on x_num matrices.
#include "matrix/matrix.h"
#include "xarith/limbs.h"

#include <algorithm>
#include <utility>

namespace {

// The zero threshold for a's pivots: 10^(2 - dgt_max + e), e the decimal
// order of the largest entry (0 when all are zero). Truncated elimination
// of a singular matrix leaves about (largest entry) x 10^(1 - dgt_max) in
// place of a zero pivot, so the threshold must scale with the entries.
x_num pivot_threshold(x_num** a, int n, int dgt_max) {
    int e = -99999;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) e = std::max(e, x_ord_(&a[i][j]));
    if (e == -99999) e = 0;
    x_num t;
    xinit(&t, 1);
    t.esp = 2 - dgt_max + e;
    return t;
}

// Whether |x| >= |big| as xcomp_ of the magnitudes judges it at dgt_max
// digits (big null: zero). The records are compared in place, no copies.
bool not_below(const x_num* x, const x_num* big, int dgt_max) {
    using namespace xarith_detail;
    const int nb = big == nullptr ? 0 : strip_top(big->dgt, used_limbs(big));
    if (nb == 0) return true;
    const int nx = x->ndgt == 0 ? 0 : strip_top(x->dgt, used_limbs(x));
    if (nx == 0) return false;
    return compare_cut({x->dgt, nx, x->esp, '+'}, {big->dgt, nb, big->esp, '+'},
                       clamp_prec(dgt_max, PREC_ADD_MAX)) >= 0;
}

// Columns of the pivot row prepared at a time for the elimination: each
// prepared factor then serves every other row (about 3.5 KB of stack).
constexpr int CHUNK = 64;

// Clears column icol from every row but icol: row[l] -= pivot_row[l] x dum
// for l = 1..n of a and 1..m of b, dum the row's entry in column icol
// before it is set to 0, each product and difference cut to the precision.
// Every entry takes one product and one difference, independent of the
// others, so the entries are visited in chunks of the pivot row, each
// prepared once for all rows; the chunk holding column icol comes last, so
// that the other chunks still read the row's factor in place.
void eliminate(x_num** a, x_num** b, int n, int m, int icol, int dgt_max) {
    x_prep pivot[CHUNK], dum;
    x_num factor;
    const auto sweep = [&](x_num** mat, int from, int to, bool last) {
        for (int l = from; l <= to; ++l) xprep_(&mat[icol][l], &pivot[l - from]);
        for (int ll = 1; ll <= n; ++ll) {
            if (ll == icol) continue;
            factor = a[ll][icol];
            if (last) xinit(&a[ll][icol], 0);
            // a zero factor leaves the row as it is, which is what
            // subtracting the zero products would give
            if (factor.ndgt == 0) continue;
            xprep_(&factor, &dum);
            xarith_detail::sub_row_p(pivot, &dum, to - from + 1, &mat[ll][from], dgt_max);
        }
    };
    for (int from = 1; from <= m; from += CHUNK)
        sweep(b, from, std::min(m, from + CHUNK - 1), false);
    const int icol_from = (icol - 1) / CHUNK * CHUNK + 1;
    for (int from = 1; from <= n; from += CHUNK)
        if (from != icol_from) sweep(a, from, std::min(n, from + CHUNK - 1), false);
    sweep(a, icol_from, std::min(n, icol_from + CHUNK - 1), true);
}

} // namespace

int xgaussj(x_num** a, int n, x_num** b, int m, x_num* det, int dgt_max) {
    const x_num tiny = pivot_threshold(a, n, dgt_max);
    xinit(det, 1);
    if (n < 1) return -1;
    int* indxc = ivector(1, n);
    int* indxr = ivector(1, n);
    int* ipiv = ivector(1, n);
    for (int j = 1; j <= n; ++j) ipiv[j] = 0;
    const auto release = [&] {
        free_ivector(ipiv, 1, n);
        free_ivector(indxr, 1, n);
        free_ivector(indxc, 1, n);
    };

    x_num mag, temp, pivinv;
    for (int i = 1; i <= n; ++i) {
        // the largest magnitude among unused rows and columns; on equal
        // magnitudes the last one in the scan wins
        int irow = 1, icol = 1;
        const x_num* big = nullptr; // zero until a non-zero candidate comes
        for (int j = 1; j <= n; ++j) {
            if (ipiv[j] == 1) continue;
            for (int k = 1; k <= n; ++k) {
                if (ipiv[k] != 0) continue;
                if (not_below(&a[j][k], big, dgt_max)) {
                    if (xzero_(&a[j][k]) != 0) big = &a[j][k];
                    irow = j;
                    icol = k;
                }
            }
        }
        ++ipiv[icol];

        // bring the pivot onto the diagonal
        if (irow != icol) {
            x_not_(det);
            for (int l = 1; l <= n; ++l) std::swap(a[irow][l], a[icol][l]);
            for (int l = 1; l <= m; ++l) std::swap(b[irow][l], b[icol][l]);
        }
        indxr[i] = irow;
        indxc[i] = icol;

        x_mult_(&a[icol][icol], det, &temp, dgt_max);
        *det = temp;
        mag = xabs_(&a[icol][icol]);
        if (xcomp_(&mag, &tiny, dgt_max) < 0) {
            release();
            return 0;
        }

        // scale the pivot row; the pivot's own place takes 1 / pivot
        x_inv_(&a[icol][icol], &pivinv, dgt_max);
        xinit(&a[icol][icol], 1);
        for (int l = 1; l <= n; ++l) x_mult_(&a[icol][l], &pivinv, &a[icol][l], dgt_max);
        for (int l = 1; l <= m; ++l) x_mult_(&b[icol][l], &pivinv, &b[icol][l], dgt_max);

        eliminate(a, b, n, m, icol, dgt_max);
    }

    // undo the column order of the inverse
    for (int l = n; l >= 1; --l) {
        if (indxr[l] == indxc[l]) continue;
        for (int k = 1; k <= n; ++k) std::swap(a[k][indxr[l]], a[k][indxc[l]]);
    }
    release();
    return -1;
}
