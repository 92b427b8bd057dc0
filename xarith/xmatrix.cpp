// Index-offset matrices of x_num, their conversion from double matrices,
// and print-outs for inspection.
#include "matrix/matrix.h"
#include "xarith/xarith.h"

#include <cstdio>
#include <cstdlib>

// The layout of dmatrix with x_num elements: a row table and one element
// block, each with NR_END spare slots in front, rows one after another.
// Running out of memory ends the process through nrerror, as every
// allocation of the suite does.
x_num** xmatrix(int nrl, int nrh, int ncl, int nch) {
    if (nrh < nrl || nch < ncl) nrerror("empty index range in xmatrix()");
    const std::size_t nrow = static_cast<std::size_t>(nrh) - static_cast<std::size_t>(nrl) + 1;
    const std::size_t ncol = static_cast<std::size_t>(nch) - static_cast<std::size_t>(ncl) + 1;
    auto** m = static_cast<x_num**>(std::malloc((nrow + NR_END) * sizeof(x_num*)));
    if (m == nullptr) nrerror("allocation failure 1 in xmatrix()");
    m += NR_END;
    m -= nrl;
    m[nrl] = static_cast<x_num*>(matrix_block((nrow * ncol + NR_END) * sizeof(x_num)));
    if (m[nrl] == nullptr) nrerror("allocation failure 2 in xmatrix()");
    m[nrl] += NR_END;
    m[nrl] -= ncl;
    for (int i = nrl + 1; i <= nrh; ++i) m[i] = m[i - 1] + ncol;
    return m;
}

void free_xmatrix(x_num** m, int nrl, int /*nrh*/, int ncl, int /*nch*/) {
    std::free(m[nrl] + ncl - NR_END);
    std::free(m + nrl - NR_END);
}

void xmatrix_load(x_num** xa, double** a, int i_min, int na, int j_min, int ma, int dgt_max) {
    for (int i = i_min; i <= na; ++i)
        for (int j = j_min; j <= ma; ++j) cvdx(&xa[i][j], a[i][j], dgt_max);
}

void dump_xmatrix(x_num** a, int n, int m, int dgt_max) {
    char text[256] = "0";
    for (int i = 1; i <= n; ++i) {
        std::printf("row=%d\n", i);
        for (int j = 1; j <= m; ++j) {
            cvxs(text, &a[i][j], dgt_max);
            std::printf("a[%d][%d]= %s\n", i, j, text);
        }
    }
}

void dump_det(const x_num* det, int dgt_max) {
    char text[256] = "0";
    cvxs(text, det, dgt_max);
    std::printf("det= %s\n", text);
}
