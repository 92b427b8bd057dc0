// Square root of a record.
//
// The root keeps the limbs a quotient keeps, q = prec / 6 + 2, every one of
// them full: its first 6q digits, cut toward zero. With a = M x 10^E (M the
// limbs read as an integer) and the leading digit of a at 10^p, the root's
// leads at 10^h, h = floor(p / 2), so the root is R x 10^e with
// e = h - 6q + 1 and R = floor(sqrt(N)), N = floor(M x 10^(E - 2e)) an
// integer of 12q - 1 or 12q digits. Cutting M to N first changes nothing,
// as floor(sqrt(floor(x))) = floor(sqrt(x)). sqrt(2) at 6 digits: q = 3,
// e = -17, N = 2 x 10^34, R = 141421356237309504.
#include "xarith/record.h"

#include <cmath>

using namespace xarith_detail;

namespace {

wide_t floor_half(wide_t x) {
    return x >= 0 ? x / 2 : -((1 - x) / 2);
}

// The run d[0..n) over 10^(6 unit), unit >= n - 4, from its top four
// limbs: a double estimate, the lower limbs dropped.
double scaled(const limb_t* d, int n, int unit) {
    const int lo = std::max(n - 4, 0);
    double v = 0;
    for (int j = n - 1; j >= lo; --j) v = v * DM + d[j];
    for (int j = lo; j < unit; ++j) v /= DM;
    return v;
}

// r[0..q) = floor(sqrt(n[0..2q))), for n of at least 12q - 2 digits, so
// that the root's top limb is at least 100000. Pencil and paper in base
// 10^6: with the root so far r' (i limbs) and the remainder P - r'^2 of the
// top 2i limbs P, each step brings down two more limbs and takes the
// largest limb d for which (2 r' 10^6 + d) d fits the remainder. d comes
// within a few of remainder / (2 r' 10^6) (at most 10^6 / (2 r') above it),
// and exact trials settle it.
void root_limbs(limb_t* r, const limb_t* n, int q) {
    // the first limb: the root of the top two limbs, in 64 bits
    const wide_t top = static_cast<wide_t>(n[2 * q - 1]) * DM + n[2 * q - 2];
    auto d0 = static_cast<wide_t>(std::sqrt(static_cast<double>(top)));
    while (d0 * d0 > top) --d0;
    while ((d0 + 1) * (d0 + 1) <= top) ++d0;
    r[q - 1] = static_cast<limb_t>(d0);

    // rem: i + 1 limbs before a step (at most 2 r'), i + 3 once two limbs
    // are brought down; f: the trial product (2 r' 10^6 + d) d
    limb_t rem[SUB_DGT + 3] = {}, f[SUB_DGT + 3];
    const wide_t left = top - d0 * d0;
    rem[0] = static_cast<limb_t>(left % DM);
    rem[1] = static_cast<limb_t>(left / DM);
    for (int i = 1; i < q; ++i) {
        const limb_t* root = r + q - i; // the i limbs found so far
        const int len = i + 3;
        for (int j = i; j >= 0; --j) rem[j + 2] = rem[j];
        rem[1] = n[2 * (q - i) - 1];
        rem[0] = n[2 * (q - i) - 2];

        const auto trial = [&](limb_t d) {
            // f = (2 r' 10^6 + d) d, limb by limb
            wide_t carry = static_cast<wide_t>(d) * d;
            f[0] = static_cast<limb_t>(carry % DM);
            carry /= DM;
            for (int j = 0; j < i; ++j) {
                carry += 2 * static_cast<wide_t>(root[j]) * d;
                f[j + 1] = static_cast<limb_t>(carry % DM);
                carry /= DM;
            }
            f[i + 1] = static_cast<limb_t>(carry % DM);
            f[i + 2] = static_cast<limb_t>(carry / DM);
            return geq_n(rem, f, len);
        };
        const double estimate = scaled(rem, len, i - 1) / (2.0 * DM * scaled(root, i, i - 1));
        limb_t d = estimate >= DM - 2 ? DM - 1 : static_cast<limb_t>(estimate) + 1;
        while (!trial(d)) --d;
        while (d + 1 < DM && trial(d + 1)) ++d;
        trial(d);
        sub_n(rem, rem, f, len);
        r[q - 1 - i] = d;
    }
}

} // namespace

int x_sqrt_(const x_num* a, x_num* b, int dgt_max) {
    const int n = strip_top(a->dgt, used_limbs(a));
    if (n == 0) {
        xinit(b, 0);
        return 1;
    }
    if (a->sign == '-') {
        b->sign = '?';
        b->ndgt = 0;
        return 0;
    }
    const int q = ndgt_max_of(clamp_prec(dgt_max, PREC_DIV_MAX));
    const wide_t p = digits_of(a->dgt, n) - 1 + static_cast<wide_t>(a->esp);
    const wide_t e = floor_half(p) - (static_cast<wide_t>(BASE) * q - 1);
    limb_t nl[SHIFT_ROOM] = {};
    shift_copy(nl, a->dgt, n, a->esp - 2 * e);
    limb_t r[SUB_DGT];
    root_limbs(r, nl, q);
    store(b, '+', r, q, e);
    return 1;
}
