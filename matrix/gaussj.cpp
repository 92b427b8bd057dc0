// Gauss-Jordan elimination with full pivoting in double precision.
#include "matrix/matrix.h"

#include <cmath>
#include <utility>

namespace {

// Releases the three work vectors, the last allocated first.
void release(int* indxc, int* indxr, int* ipiv, int n) {
    free_ivector(ipiv, 1, n);
    free_ivector(indxr, 1, n);
    free_ivector(indxc, 1, n);
}

} // namespace

// Each stage takes as pivot the largest magnitude among the rows and columns
// not yet used (of equal ones the last in row-by-row order), moves it to the
// diagonal by a row exchange, scales its row and clears its column in every
// other row. The inverse then stands in a with its columns permuted by the
// row exchanges; the final loop puts them back in order.
int gaussj(double** a, int n, double** b, int m) {
    if (n < 1) return -1;
    int* indxc = ivector(1, n);
    int* indxr = ivector(1, n);
    int* ipiv = ivector(1, n);
    for (int j = 1; j <= n; ++j) ipiv[j] = 0;

    for (int i = 1; i <= n; ++i) {
        // pivot search; a NaN never wins, and when every candidate is one
        // there is no pivot: the matrix counts as singular
        double big = 0.0;
        int irow = 0;
        int icol = 0;
        for (int j = 1; j <= n; ++j) {
            if (ipiv[j] == 1) continue;
            for (int k = 1; k <= n; ++k) {
                if (ipiv[k] == 0 && std::fabs(a[j][k]) >= big) {
                    big = std::fabs(a[j][k]);
                    irow = j;
                    icol = k;
                }
            }
        }
        if (icol == 0) {
            release(indxc, indxr, ipiv, n);
            return 0;
        }
        ++ipiv[icol];

        // bring the pivot to the diagonal
        if (irow != icol) {
            for (int l = 1; l <= n; ++l) std::swap(a[irow][l], a[icol][l]);
            for (int l = 1; l <= m; ++l) std::swap(b[irow][l], b[icol][l]);
        }
        indxr[i] = irow;
        indxc[i] = icol;
        if (std::fabs(a[icol][icol]) < TINY) {
            release(indxc, indxr, ipiv, n);
            return 0;
        }

        // scale the pivot row, then clear the pivot column elsewhere
        const double pivinv = 1.0 / a[icol][icol];
        a[icol][icol] = 1.0;
        for (int l = 1; l <= n; ++l) a[icol][l] *= pivinv;
        for (int l = 1; l <= m; ++l) b[icol][l] *= pivinv;
        for (int ll = 1; ll <= n; ++ll) {
            if (ll == icol) continue;
            const double dum = a[ll][icol];
            a[ll][icol] = 0.0;
            for (int l = 1; l <= n; ++l) a[ll][l] -= a[icol][l] * dum;
            for (int l = 1; l <= m; ++l) b[ll][l] -= b[icol][l] * dum;
        }
    }

    // undo the column permutation of the inverse, last exchange first
    for (int l = n; l >= 1; --l) {
        if (indxr[l] == indxc[l]) continue;
        for (int k = 1; k <= n; ++k) std::swap(a[k][indxr[l]], a[k][indxc[l]]);
    }
    release(indxc, indxr, ipiv, n);
    return -1;
}
