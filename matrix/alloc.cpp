// Index-offset double matrices, int vectors and the fatal-error exit.
//
// A block for indices lo..hi is allocated with NR_END spare slots in front
// and its pointer shifted so that index lo addresses the second slot:
// ivector(5, 7) allocates 4 ints b[0..3] and returns v = b + 1 - 5, so
// v[5] is b[1] and v[7] is b[3]. The release operations undo the shift.
#include "matrix/matrix.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <sys/mman.h>

namespace {

// Number of indices in lo..hi, computed wide so that no int range overflows.
std::ptrdiff_t span(int lo, int hi) {
    return static_cast<std::ptrdiff_t>(hi) - lo + 1;
}

// malloc for count + NR_END objects of `size` bytes, or nullptr when that
// byte count does not fit a size_t (treated like an exhausted heap).
void* alloc_slots(std::ptrdiff_t count, std::size_t size) {
    const auto slots = static_cast<std::size_t>(count) + NR_END;
    if (slots > SIZE_MAX / size) return nullptr;
    return std::malloc(slots * size);
}

} // namespace

// Allocates the row table, then one element block that holds the rows one
// after another: row i + 1 begins (nch - ncl + 1) elements after row i.
double** dmatrix(int nrl, int nrh, int ncl, int nch) {
    if (nrh < nrl || nch < ncl) nrerror("empty index range in dmatrix()");
    const std::ptrdiff_t rows = span(nrl, nrh);
    const std::ptrdiff_t cols = span(ncl, nch);

    auto* table = static_cast<double**>(alloc_slots(rows, sizeof(double*)));
    if (table == nullptr) nrerror("allocation failure 1 in matrix()");
    double** m = table + (NR_END - static_cast<std::ptrdiff_t>(nrl));

    // rows * cols cannot overflow a ptrdiff_t when cols <= PTRDIFF_MAX / rows
    double* block = nullptr;
    if (cols <= (PTRDIFF_MAX - NR_END) / rows)
        block = static_cast<double*>(alloc_slots(rows * cols, sizeof(double)));
    if (block == nullptr) nrerror("allocation failure 2 in matrix()");

    m[nrl] = block + (NR_END - static_cast<std::ptrdiff_t>(ncl));
    for (std::ptrdiff_t r = 1; r < rows; ++r) m[nrl + r] = m[nrl + r - 1] + cols;
    return m;
}

// Releases the element block, then the row table; nrh and nch are not needed.
void free_dmatrix(double** m, int nrl, int /*nrh*/, int ncl, int /*nch*/) {
    if (m == nullptr) return;
    std::free(m[nrl] + (static_cast<std::ptrdiff_t>(ncl) - NR_END));
    std::free(m + (static_cast<std::ptrdiff_t>(nrl) - NR_END));
}

int* ivector(int nl, int nh) {
    if (nh < nl) nrerror("empty index range in ivector()");
    auto* v = static_cast<int*>(alloc_slots(span(nl, nh), sizeof(int)));
    if (v == nullptr) nrerror("allocation failure in ivector()");
    return v + (NR_END - static_cast<std::ptrdiff_t>(nl));
}

void free_ivector(int* v, int nl, int /*nh*/) {
    if (v != nullptr) std::free(v + (static_cast<std::ptrdiff_t>(nl) - NR_END));
}

void free_cvector(char* v, int nl, int /*nh*/) {
    if (v != nullptr) std::free(v + (static_cast<std::ptrdiff_t>(nl) - NR_END));
}

void nrerror(const char* error_text) {
    std::fprintf(stderr, "Run-time error...\n");
    std::fprintf(stderr, "%s\n", error_text != nullptr ? error_text : "");
    std::fprintf(stderr, "...now exiting to system...\n");
    std::exit(1);
}

void* matrix_block(std::size_t bytes) {
    constexpr std::size_t HUGE = std::size_t{2} << 20;
    if (bytes < 2 * HUGE) return std::malloc(bytes);
    if (bytes > SIZE_MAX - HUGE) return nullptr;
    const std::size_t rounded = (bytes + HUGE - 1) / HUGE * HUGE;
    void* p = std::aligned_alloc(HUGE, rounded);
    if (p != nullptr) ::madvise(p, rounded, MADV_HUGEPAGE);
    return p;
}
