// The product at the heart of mobrel.
#ifndef MOBREL_PRODUCT_H
#define MOBREL_PRODUCT_H

#include "pipeline/pipeline.h"

#include <cstdint>
#include <vector>

namespace mobrel {

// Row i of a * b at dgt_max digits into acc[1..b.cols()]: each element the
// sum over k = 1, 2, ... of x_mult_(a[i][k], b[k][j]) added with x_add_ to
// a running sum that starts at zero.
void product_row(const pipeline::XMatrix& a, const pipeline::XMatrix& b, int i, x_num* acc,
                 int dgt_max = pipeline::DGT_MAX);

// The same sums, worked in 64-bit integers. An entry that entered from a
// double holds at most 16 digits, so each product is exact below 10^32
// and each aligned sum below 2 x 10^30: two base-10^16 halves hold every
// value exactly, and each step aligns, cuts and adds as x_add_ does on the
// limbs, giving the same records. Usable when every entry of both matrices
// has at most 16 digits and a moderate exponent; otherwise product_row
// does the work.
class FastProduct {
  public:
    FastProduct() = default; // not usable
    FastProduct(const pipeline::XMatrix& a, const pipeline::XMatrix& b);
    bool usable() const { return usable_; }
    void row(int i, x_num* acc) const;

    // A factor: its digits split at 10^8, its exponent, digit count and sign.
    struct Factor {
        std::uint64_t hi8, lo8;
        std::int32_t esp;
        std::int16_t digits; // of the 16 at most
        bool neg, zero;
    };

  private:
    int n_ = 0, inner_ = 0, m_ = 0;
    bool usable_ = false;
    std::vector<Factor> a_, b_; // row-major, first indices 1 as in the matrices
};

// c = a * b at dgt_max digits, each element turned into a double once.
// Returns false (after printing the element's line) when an element is
// beyond the range of a double.
bool multiply(const pipeline::XMatrix& a, const pipeline::XMatrix& b, const pipeline::DMatrix& c,
              int dgt_max = pipeline::DGT_MAX);

// The whole program: mobrel [OPTION]... file_A file_B file_C. Returns the
// exit status.
int run(int argc, char** argv);

} // namespace mobrel

#endif
