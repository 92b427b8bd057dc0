// The x_num record: creation, inspection, negation, renormalisation and
// rescaling.
#include "xarith/record.h"

#include <cstdio>
#include <cstdlib>

using namespace xarith_detail;

void xinit(x_num* a, int x) {
    a->sign = x < 0 ? '-' : '+';
    std::fill(std::begin(a->dgt), std::end(a->dgt), 0);
    a->esp = 0;
    // |INT_MIN| needs 64 bits; a value beyond one limb is split into limbs
    wide_t v = x < 0 ? -static_cast<wide_t>(x) : x;
    int n = 0;
    while (v != 0) {
        a->dgt[n++] = static_cast<limb_t>(v % DM);
        v /= DM;
    }
    a->ndgt = n;
}

int xzero_(const x_num* x) {
    if (x->ndgt == 0) return 0;
    return x->sign == '-' ? -1 : 1;
}

x_num xabs_(const x_num* x) {
    x_num r = *x;
    r.sign = '+';
    return r;
}

void x_not_(x_num* a) { a->sign = a->sign == '-' ? '+' : '-'; }

int x_ord_(const x_num* a) {
    if (a->ndgt == 0) return -99999;
    return clamp_esp(static_cast<wide_t>(Xdigitcount(a)) + a->esp - 1);
}

int Xdigitcount(const x_num* x) { return digits_of(x->dgt, used_limbs(x)); }

int IntDgtCount(int x) {
    wide_t v = x < 0 ? -static_cast<wide_t>(x) : x;
    int n = 0;
    while (v != 0) {
        ++n;
        v /= 10;
    }
    return n;
}

// Keeps the ndgt_max most significant limbs: 9 limbs at precision 30 keep
// the top 7, esp + 12, the two lowest limbs simply dropped (truncation).
void Xscaling(x_num* x, int dgt_max) {
    int n = strip_top(x->dgt, used_limbs(x));
    x->ndgt = n;
    if (n == 0) return;
    const int s = n - std::min(ndgt_max_of(dgt_max), SUB_DGT);
    if (s <= 0) return;
    std::memmove(x->dgt, x->dgt + s, sizeof(limb_t) * static_cast<std::size_t>(n - s));
    std::fill(x->dgt + n - s, x->dgt + n, 0);
    x->ndgt = n - s;
    x->esp = clamp_esp(static_cast<wide_t>(x->esp) + BASE * s);
}

// A right shift is shift_right on the record. A left shift is formed in
// working storage one limb wider than a record plus the whole-limb offset
// kept apart, so that a result beyond 40 limbs can keep its 40 most
// significant limbs instead of running off the record.
void Xshift(x_num* x, int n) {
    if (n == 0) return;
    const int nd = used_limbs(x);
    if (n < 0) {
        x->ndgt = shift_right(x->dgt, nd, -static_cast<wide_t>(n));
        x->esp = clamp_esp(static_cast<wide_t>(x->esp) - n);
        return;
    }
    limb_t buf[SUB_DGT + 1];
    std::memcpy(buf, x->dgt, sizeof(limb_t) * static_cast<std::size_t>(nd));
    int cnt = nd;
    const limb_t carry = shift_digits_left(buf, cnt, n % BASE);
    if (carry != 0) buf[cnt++] = carry;
    const int w = n / BASE;
    // the shifted magnitude is w zero limbs under buf[0..cnt)
    const int drop = std::max(0, cnt + w - SUB_DGT);
    int out = 0;
    if (drop <= w) {
        std::fill(x->dgt, x->dgt + (w - drop), 0);
        out = w - drop;
        std::memcpy(x->dgt + out, buf, sizeof(limb_t) * static_cast<std::size_t>(cnt));
        out += cnt;
    } else {
        const int skip = drop - w;
        std::memcpy(x->dgt, buf + skip, sizeof(limb_t) * static_cast<std::size_t>(cnt - skip));
        out = cnt - skip;
    }
    x->ndgt = out;
    x->esp = clamp_esp(static_cast<wide_t>(x->esp) - n + static_cast<wide_t>(BASE) * drop);
}

void dumpx(x_num a) {
    std::printf("ndgt= %d\n", a.ndgt);
    std::printf("sign= %c\n", a.sign);
    std::printf("esp= %d\n", a.esp);
    for (int i = 0; i < used_limbs(&a); ++i) std::printf("%d\n", a.dgt[i]);
}
