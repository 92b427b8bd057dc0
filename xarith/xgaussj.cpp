// Gauss-Jordan elimination with full pivoting on x_num matrices.
#include "matrix/matrix.h"
#include "xarith/fused.h"

#include <algorithm>
#include <utility>
#include <vector>

using namespace xarith_detail;

namespace {

// The order each row's pivot is judged by (xcomp_tiny_), rows 1..n: the
// decimal order of the row's largest entry as given, or of its diagonal
// entry; x_ord_'s -99999 for a zero. A row keeps its order through the row
// swaps, so that an equation's pivot is judged against its own numbers,
// whatever the scale of the others.
std::vector<int> row_orders(x_num** a, int n, x_scale scale) {
    std::vector<int> e(static_cast<std::size_t>(n) + 1, -99999);
    for (int i = 1; i <= n; ++i) {
        int& ei = e[static_cast<std::size_t>(i)];
        if (scale == x_scale::diagonal)
            ei = x_ord_(&a[i][i]);
        else
            for (int j = 1; j <= n; ++j) ei = std::max(ei, x_ord_(&a[i][j]));
    }
    return e;
}

// Whether |x| >= |big| as xcomp_ of the magnitudes judges it at dgt_max
// digits (big null: zero). The records are compared in place, no copies.
bool not_below(const x_num* x, const x_num* big, int dgt_max) {
    if (big == nullptr || big->ndgt == 0) return true;
    if (x->ndgt == 0) return false;
    if (!normal(x) || !normal(big)) {
        const x_num mx = xabs_(x), mb = xabs_(big);
        return xcomp_(&mx, &mb, dgt_max) >= 0;
    }
    return compare_cut(term_of(x, '+'), term_of(big, '+'), clamp_prec(dgt_max, PREC_ADD_MAX)) >= 0;
}

// Columns of the pivot row prepared at a time for the elimination: each
// prepared factor then serves every other row (about 3.5 KB of stack).
constexpr int CHUNK = 64;

// The entries held as the records themselves. Each cell policy offers the
// steps of the elimination on a's and b's entries; the stages below are
// written once for both.
struct RecordCells {
    x_num** a;
    x_num** b;
    int n, m, dgt_max;

    // |a[j][k]| >= |a[bj][bk]|; bj = 0 stands for zero
    bool not_below(int j, int k, int bj, int bk) const {
        return ::not_below(&a[j][k], bj == 0 ? nullptr : &a[bj][bk], dgt_max);
    }
    bool zero(int j, int k) const { return xzero_(&a[j][k]) == 0; }
    void swap_rows(int r1, int r2) {
        for (int l = 1; l <= n; ++l) std::swap(a[r1][l], a[r2][l]);
        for (int l = 1; l <= m; ++l) std::swap(b[r1][l], b[r2][l]);
    }
    x_num get(int j, int k) const { return a[j][k]; }

    // a[icol][icol] = 1, then row icol of a and b times pivinv (every
    // column: the records are left as the inverse whatever `pivoted` says)
    void scale_row(int icol, const x_num& pivinv, const int* /*pivoted*/) {
        xinit(&a[icol][icol], 1);
        for (int l = 1; l <= n; ++l) x_mult_(&a[icol][l], &pivinv, &a[icol][l], dgt_max);
        for (int l = 1; l <= m; ++l) x_mult_(&b[icol][l], &pivinv, &b[icol][l], dgt_max);
    }

    // Clears column icol from every row but icol: row[l] -= pivot_row[l] x
    // dum for l = 1..n of a and 1..m of b, dum the row's entry in column
    // icol before it is set to 0, each product and difference cut to the
    // precision. Every entry takes one product and one difference,
    // independent of the others, so the entries are visited in chunks of
    // the pivot row, each prepared once for all rows; the chunk holding
    // column icol comes last, so that the other chunks still read the
    // row's factor in place.
    void eliminate(int icol, const int* /*pivoted*/) {
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
                sub_row_p(pivot, &dum, to - from + 1, &mat[ll][from], dgt_max);
            }
        };
        for (int from = 1; from <= m; from += CHUNK)
            sweep(b, from, std::min(m, from + CHUNK - 1), false);
        const int icol_from = (icol - 1) / CHUNK * CHUNK + 1;
        for (int from = 1; from <= n; from += CHUNK)
            if (from != icol_from) sweep(a, from, std::min(n, from + CHUNK - 1), false);
        sweep(a, icol_from, std::min(n, icol_from + CHUNK - 1), true);
    }

    void finish() {}
};

// The entries held as words for the whole elimination: each
// multiply-subtract then reads and writes words instead of converting limbs
// both ways. The records are written at the end (or when the matrix proves
// singular), holding what the record path would leave in them.
template <int W> struct WordCells {
    using Cell = Acc<W>;
    using CellPrep = PrepOf<2 * W + 2>; // a cell holds at most W + 1 words
    x_num** a;
    x_num** b;
    int n, m, prec;
    std::vector<Cell> cells; // row i: a's n entries, then b's m
    std::vector<CellPrep> pivot;

    // Whether every entry can be held: zero, or loadable.
    static bool fits(x_num** a, x_num** b, int n, int m) {
        const auto ok = [](const x_num& x) { return x.ndgt == 0 || loadable<W>(&x); };
        for (int i = 1; i <= n; ++i) {
            for (int l = 1; l <= n; ++l)
                if (!ok(a[i][l])) return false;
            for (int l = 1; l <= m; ++l)
                if (!ok(b[i][l])) return false;
        }
        return true;
    }

    WordCells(x_num** a_, x_num** b_, int n_, int m_, int prec_)
        : a(a_), b(b_), n(n_), m(m_), prec(prec_),
          cells(static_cast<std::size_t>(n_) * static_cast<std::size_t>(n_ + m_)),
          pivot(static_cast<std::size_t>(n_ + m_)) {
        for (int i = 1; i <= n; ++i) {
            for (int l = 1; l <= n; ++l) load(cell(i, l), &a[i][l]);
            for (int l = 1; l <= m; ++l) load(cell(i, n + l), &b[i][l]);
        }
    }

    // column l of the joined row: a's columns 1..n, then b's as n + 1..n + m
    Cell& cell(int i, int l) {
        return cells[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n + m) +
                     static_cast<std::size_t>(l - 1)];
    }
    const Cell& cell(int i, int l) const { return const_cast<WordCells*>(this)->cell(i, l); }

    static void load(Cell& c, const x_num* x) {
        if (x->ndgt != 0)
            c.load(x);
        else
            c.load_zero(x->sign, x->esp);
    }
    static x_num record(const Cell& c) {
        x_num x;
        c.store(&x);
        return x;
    }
    // The prepared factor of a non-zero cell.
    static void prepare_cell(CellPrep* p, const Cell& c) {
        p->esp = c.esp;
        p->sign = c.sign;
        p->zero_record = c.nw == 0;
        p->one_word = false;
        p->nh = 0;
        p->nw = 0;
        if (c.nw != 0) set_mantissa(p, c.c(), c.nw, c.digits);
    }

    // |x| >= |big| at prec digits: the leading powers, then the magnitudes
    // cut where a sum of the two would cut them
    bool not_below(int j, int k, int bj, int bk) const {
        if (bj == 0) return true;
        const Cell& x = cell(j, k);
        const Cell& y = cell(bj, bk);
        if (x.nw == 0) return false;
        const wide_t ox = static_cast<wide_t>(x.esp) + x.digits;
        const wide_t oy = static_cast<wide_t>(y.esp) + y.digits;
        if (ox != oy) return ox > oy;
        const wide_t grid = sum_grid(x.esp, x.digits, y.esp, y.digits, prec);
        const auto cx = aligned<W>(x.c(), x.nw, x.esp - grid);
        const auto cy = aligned<W>(y.c(), y.nw, y.esp - grid);
        for (int i = W - 1; i >= 0; --i)
            if (cx.w[i] != cy.w[i]) return cx.w[i] > cy.w[i];
        return true;
    }
    bool zero(int j, int k) const { return cell(j, k).nw == 0; }
    void swap_rows(int r1, int r2) {
        for (int l = 1; l <= n + m; ++l) std::swap(cell(r1, l), cell(r2, l));
    }
    x_num get(int j, int k) const { return record(cell(j, k)); }

    // Whether column l is left out: a column of a already pivoted (icol
    // too, once its stage begins) holds only the inverse, which nothing
    // else reads, so a solve without it leaves it alone.
    bool left_out(int l, const int* pivoted) const {
        return pivoted != nullptr && l <= n && pivoted[l] != 0;
    }

    void scale_row(int icol, const x_num& pivinv, const int* pivoted) {
        x_num one;
        xinit(&one, 1);
        load(cell(icol, icol), &one);
        for (int l = 1; l <= n + m; ++l) {
            if (left_out(l, pivoted)) continue;
            x_num x = record(cell(icol, l));
            x_mult_(&x, &pivinv, &x, prec);
            load(cell(icol, l), &x);
        }
    }

    // As RecordCells::eliminate, in one pass per row: the pivot row is
    // prepared whole and the row's factor taken before its entry is
    // cleared.
    void eliminate(int icol, const int* pivoted) {
        for (int l = 1; l <= n + m; ++l)
            if (!left_out(l, pivoted))
                prepare_cell(&pivot[static_cast<std::size_t>(l - 1)], cell(icol, l));
        Cell zero_plus;
        zero_plus.load_zero('+', 0);
        for (int ll = 1; ll <= n; ++ll) {
            if (ll == icol) continue;
            const Cell f = cell(ll, icol);
            cell(ll, icol) = zero_plus;
            // a zero factor leaves the row as it is
            if (f.nw == 0) continue;
            CellPrep dum;
            prepare_cell(&dum, f);
            for (int l = 1; l <= n + m; ++l) {
                if (left_out(l, pivoted)) continue;
                const CellPrep& p = pivot[static_cast<std::size_t>(l - 1)];
                Cell& s = cell(ll, l);
                if (p.nh == 0) { // a zero product: the difference is s, or -0 from 0
                    if (s.nw == 0) s.load_zero('-', 0);
                } else if (s.nw == 0) {
                    // 0 - p x dum is the product uncut, as the record path makes it
                    const x_num pr = record(cell(icol, l)), fr = record(f);
                    x_num acc = record(s);
                    add_product_records(&pr, &fr, &acc, true, prec);
                    load(s, &acc);
                } else if constexpr (W < TOP_WORDS_MIN) {
                    // the product cut ahead at the cell's exponent
                    step<W, true>(s, p, dum, turned_sign(product_sign(p.sign, dum.sign)), prec,
                                  s.esp);
                } else {
                    subtract_product(s, p, dum);
                }
            }
        }
    }

    // s = s - p x f, non-zero, as step cuts it ahead at s's exponent; of a
    // product of words (factors beyond 72 digits, at TOP_WORDS_MIN words
    // and more) only the words that cut needs are formed (most cells keep
    // their grid), the whole one where the grid moves.
    static constexpr int TOP_WORDS_MIN = 5;
    void subtract_product(Cell& s, const CellPrep& p, const CellPrep& f) const {
        u64 pbuf[PRODUCT_ROOM<W>];
        u64* pw = pbuf + W;
        for (int i = 0; i < W; ++i) pbuf[i] = 0;
        const wide_t ep = static_cast<wide_t>(p.esp) + f.esp;
        bool whole = true;
        int np = ep > -SAFE_ESP && ep < SAFE_ESP ? top_product(pw, p, f, s.esp - ep, &whole)
                                                 : product_words(pw, p, f);
        if (!whole && sum_grid(s.esp, s.digits, ep, run_digits(pw, np), prec) != s.esp)
            np = product_words(pw, p, f);
        for (int i = 0; i <= W; ++i) pw[np + i] = 0;
        add_product_words<W, true>(s, pw, np, ep, turned_sign(product_sign(p.sign, f.sign)), prec,
                                   s.esp);
    }

    void finish() {
        for (int i = 1; i <= n; ++i) {
            for (int l = 1; l <= n; ++l) cell(i, l).store(&a[i][l]);
            for (int l = 1; l <= m; ++l) cell(i, n + l).store(&b[i][l]);
        }
    }
};

// The stages of the elimination on either kind of cells.
template <class Cells>
int gauss_jordan(Cells& c, x_num** a, int n, x_num* det, std::vector<int> orders, int* lost,
                 bool inverse, int dgt_max) {
    int* indxc = ivector(1, n);
    int* indxr = ivector(1, n);
    int* ipiv = ivector(1, n);
    for (int j = 1; j <= n; ++j) ipiv[j] = 0;
    const auto release = [&] {
        free_ivector(ipiv, 1, n);
        free_ivector(indxr, 1, n);
        free_ivector(indxc, 1, n);
    };

    x_num temp, pivinv;
    for (int i = 1; i <= n; ++i) {
        // the largest magnitude among unused rows and columns; on equal
        // magnitudes the last one in the scan wins
        int irow = 1, icol = 1;
        int bj = 0, bk = 0; // the largest so far; zero until a non-zero candidate comes
        for (int j = 1; j <= n; ++j) {
            if (ipiv[j] == 1) continue;
            for (int k = 1; k <= n; ++k) {
                if (ipiv[k] != 0) continue;
                if (c.not_below(j, k, bj, bk)) {
                    if (!c.zero(j, k)) {
                        bj = j;
                        bk = k;
                    }
                    irow = j;
                    icol = k;
                }
            }
        }
        ++ipiv[icol];

        // bring the pivot onto the diagonal
        if (irow != icol) {
            x_not_(det);
            c.swap_rows(irow, icol);
            std::swap(orders[static_cast<std::size_t>(irow)],
                      orders[static_cast<std::size_t>(icol)]);
        }
        indxr[i] = irow;
        indxc[i] = icol;

        const x_num pivot = c.get(icol, icol);
        x_mult_(&pivot, det, &temp, dgt_max);
        *det = temp;
        const int order = orders[static_cast<std::size_t>(icol)];
        if (xcomp_tiny_(&pivot, order, dgt_max) < 0) {
            c.finish();
            release();
            return 0;
        }
        if (lost != nullptr) *lost = std::max(*lost, x_lost_(&pivot, order));

        // scale the pivot row; the pivot's own place takes 1 / pivot
        x_inv_(&pivot, &pivinv, dgt_max);
        c.scale_row(icol, pivinv, inverse ? nullptr : ipiv);
        c.eliminate(icol, inverse ? nullptr : ipiv);
    }
    c.finish();

    // undo the column order of the inverse
    for (int l = n; l >= 1; --l) {
        if (indxr[l] == indxc[l]) continue;
        for (int k = 1; k <= n; ++k) std::swap(a[k][indxr[l]], a[k][indxc[l]]);
    }
    release();
    return -1;
}

// xgaussj_scaled, and xgaussj_solve where inverse is false.
int eliminate(x_num** a, int n, x_num** b, int m, x_num* det, x_scale scale, int* lost,
              bool inverse, int dgt_max) {
    const std::vector<int> orders = row_orders(a, n, scale);
    xinit(det, 1);
    if (lost != nullptr) *lost = 0;
    if (n < 1) return -1;
    const int prec = clamp_prec(dgt_max, PREC_ADD_MAX);
    if (prec == dgt_max) {
        const int r = with_words(words_for(prec), [&](auto w) {
            constexpr int W = decltype(w)::value;
            if (!WordCells<W>::fits(a, b, n, m)) return 1;
            WordCells<W> c(a, b, n, m, prec);
            return gauss_jordan(c, a, n, det, orders, lost, inverse, prec);
        });
        if (r != 1) return r;
    }
    RecordCells c{a, b, n, m, dgt_max};
    return gauss_jordan(c, a, n, det, orders, lost, inverse, dgt_max);
}

} // namespace

int xgaussj_scaled(x_num** a, int n, x_num** b, int m, x_num* det, x_scale scale, int* lost,
                   int dgt_max) {
    return eliminate(a, n, b, m, det, scale, lost, true, dgt_max);
}

int xgaussj_solve(x_num** a, int n, x_num** b, int m, x_num* det, x_scale scale, int* lost,
                  int dgt_max) {
    return eliminate(a, n, b, m, det, scale, lost, false, dgt_max);
}

int xgaussj(x_num** a, int n, x_num** b, int m, x_num* det, int dgt_max) {
    return xgaussj_scaled(a, n, b, m, det, x_scale::row, nullptr, dgt_max);
}
