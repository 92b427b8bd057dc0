// Multiplication, division, reciprocal and power of records.
#include "xarith/limbs.h"

#include <array>
#include <type_traits>
#include <utility>

using namespace xarith_detail;

namespace {

// Limbs of the widest raw product: two 40-limb operands and the spare top.
constexpr int PROD_ROOM = 2 * SUB_DGT + 1;

// The limbs of column sums col[0..nc) (each below 4 x 10^13) into
// r[0..nc], the carry passed up one column at a time. Unsigned division by
// the constant 10^6 is a multiply and a shift. N is an int, or a
// std::integral_constant when the count is known at compile time and the
// loop can unroll.
template <typename N> inline void carry_columns(limb_t* r, const wide_t* col, N nc) {
    std::uint64_t carry = 0;
    for (int k = 0; k < nc; ++k) {
        const std::uint64_t s = static_cast<std::uint64_t>(col[k]) + carry;
        carry = s / DM;
        r[k] = static_cast<limb_t>(s - carry * DM);
    }
    r[static_cast<int>(nc)] = static_cast<limb_t>(carry);
}

// r[0..na+nb) = a[0..na) * b[0..nb), for any limb counts.
void mul_n(limb_t* r, const limb_t* a, int na, const limb_t* b, int nb) {
    const int nc = na + nb - 1;
    wide_t col[PROD_ROOM];
    for (int j = 0; j < na; ++j) col[j] = static_cast<wide_t>(a[j]) * b[0];
    for (int k = na; k < nc; ++k) col[k] = 0;
    for (int i = 1; i < nb; ++i) {
        const wide_t bi = b[i];
        for (int j = 0; j < na; ++j) col[i + j] += bi * a[j];
    }
    carry_columns(r, col, nc);
}

// The same for counts fixed at compile time: the loops unroll and the
// column sums stay in registers. Operands of the programs' precisions (up
// to 60 digits) have at most MUL_FIXED limbs.
constexpr int MUL_FIXED = 12;

template <int NA, int NB> void mul_fixed(limb_t* r, const limb_t* a, const limb_t* b) {
    constexpr int NC = NA + NB - 1;
    wide_t col[NC] = {};
    for (int i = 0; i < NB; ++i)
        for (int j = 0; j < NA; ++j) col[i + j] += static_cast<wide_t>(b[i]) * a[j];
    carry_columns(r, col, std::integral_constant<int, NC>{});
}

using mul_kernel = void (*)(limb_t*, const limb_t*, const limb_t*);

template <std::size_t... I> constexpr auto mul_table(std::index_sequence<I...>) {
    return std::array<mul_kernel, sizeof...(I)>{
        &mul_fixed<static_cast<int>(I / MUL_FIXED) + 1, static_cast<int>(I % MUL_FIXED) + 1>...};
}
constexpr auto MUL_KERNELS = mul_table(std::make_index_sequence<MUL_FIXED * MUL_FIXED>{});

// r[0..na+nb) = a * b by the fixed kernel for the operands' sizes.
inline void mul_any(limb_t* r, const limb_t* a, int na, const limb_t* b, int nb) {
    if (na <= MUL_FIXED && nb <= MUL_FIXED)
        MUL_KERNELS[static_cast<std::size_t>((na - 1) * MUL_FIXED + nb - 1)](r, a, b);
    else
        mul_n(r, a, na, b, nb);
}

// True when r[0..n) >= v[0..n), both read from the top.
bool geq_n(const limb_t* r, const limb_t* v, int n) {
    for (int i = n - 1; i >= 0; --i)
        if (r[i] != v[i]) return r[i] > v[i];
    return true;
}

} // namespace

void xarith_detail::mul_limbs(limb_t* r, const limb_t* a, int na, const limb_t* b, int nb) {
    mul_any(r, a, na, b, nb);
}

namespace {

// A product as x_mult_ keeps it, in working storage: limbs d[0..n),
// exponent and sign.
struct Product {
    limb_t u[PROD_ROOM + 1];
    const limb_t* d;
    int n;
    wide_t esp;
    signed char sign;
};

// The schoolbook product of two non-zero records over all limbs, then the
// top limbs kept: the product of 10^12 + 1 by itself at 6 digits is
// 10^24 + 2 x 10^12 + 1, limbs 1, 0, 2, 0, 1, of which the top three
// (2, 0, 1; esp 12) stay.
void product(const x_num* a, const x_num* b, int digit_max, Product* p) {
    const int na = used_limbs(a), nb = used_limbs(b);
    mul_any(p->u, a->dgt, na, b->dgt, nb);
    // the product of records in normal form has na + nb or na + nb - 1 limbs
    int n = na + nb;
    if (p->u[n - 1] == 0) n = strip_top(p->u, n - 1);
    const int keep = digit_max >= 6 * (SUB_DGT - 2) ? SUB_DGT : ndgt_max_of(digit_max);
    const int low = n > keep ? n - keep : 0;
    p->d = p->u + low;
    p->n = n - low;
    p->esp = static_cast<wide_t>(a->esp) + b->esp + static_cast<wide_t>(BASE) * low;
    p->sign = product_sign(a->sign, b->sign);
}

// acc = acc + (a * b) with the product's sign turned when `turn`, as
// x_mult_ into a record of its own followed by x_add_ (or x_sub_) would
// give it, without the record.
void add_product(const x_num* a, const x_num* b, x_num* acc, bool turn, int digit_max) {
    if (a->ndgt == 0 || b->ndgt == 0) { // acc + 0 is acc; 0 + 0 the zero product
        if (acc->ndgt == 0) {
            xinit(acc, 0);
            if (turn) acc->sign = '-';
        }
        return;
    }
    const signed char psign = product_sign(a->sign, b->sign);
    const signed char sign = turn ? turned_sign(psign) : psign;
    if (add_product_fast(a, b, acc, sign, digit_max)) return;
    Product p;
    product(a, b, digit_max, &p);
    int na = used_limbs(acc);
    if (na > 0 && acc->dgt[na - 1] == 0) na = strip_top(acc->dgt, na - 1); // not normal form
    if (na == 0 || p.n == 0) {                                             // 0 + b is b, uncut
        store(acc, sign, p.d, p.n, p.esp);
        return;
    }
    add_terms({acc->dgt, na, acc->esp, acc->sign}, {p.d, p.n, clamp_esp(p.esp), sign}, acc,
              clamp_prec(digit_max, PREC_ADD_MAX));
}

} // namespace

int x_mult_(const x_num* a, const x_num* b, x_num* c, int digit_max) {
    if (a->ndgt == 0 || b->ndgt == 0) {
        xinit(c, 0);
        return 1;
    }
    Product p;
    product(a, b, digit_max, &p);
    store(c, p.sign, p.d, p.n, p.esp);
    return 1;
}

int x_mult_add_(const x_num* a, const x_num* b, x_num* acc, int digit_max) {
    add_product(a, b, acc, false, digit_max);
    return 1;
}

int x_mult_sub_(const x_num* a, const x_num* b, x_num* acc, int digit_max) {
    add_product(a, b, acc, true, digit_max);
    return 1;
}

namespace {

// The working state of one long division: the divisor v with a zero limb
// above its top, and the partial dividend, ndv + 1 limbs at buf[base..].
// A trial turns the partial dividend into its remainder in place; bringing
// the next dividend limb down then only moves the base one limb lower,
// which shifts the remainder up a limb (its top limb, 0, drops out).
struct Division {
    const limb_t* v;
    int ndv;
    int base;
    limb_t buf[2 * SUB_DGT + 4];

    limb_t* dv() { return buf + base; }

    // dv - q * v over ndv + 1 limbs, in place. Returns true when the
    // difference is negative (dv then holds it plus 10^(6 (ndv + 1)));
    // *zero is set when it is zero. Each product is split into base-10^6
    // digits on its own, so only small numbers wait on the borrow.
    bool trial(int q, bool* zero) {
        limb_t* d = dv();
        limb_t high = 0, borrow = 0, any = 0;
        // unsigned arithmetic: every quantity here is non-negative, and
        // unsigned division by a constant is a multiply and a shift
        for (int i = 0; i <= ndv; ++i) {
            const std::uint64_t t =
                static_cast<std::uint64_t>(q) * static_cast<std::uint32_t>(v[i]);
            const std::uint64_t th = t / DM;
            // dv - low digits of q v[i] - high digits of q v[i-1] - borrow:
            // q < 4 x 10^6 keeps the high digits below 4 x 10^6 and the
            // borrow below 6, so the offset 6 x 10^6 makes it positive
            const std::uint32_t x = static_cast<std::uint32_t>(d[i] + 6 * DM - high - borrow) -
                                    static_cast<std::uint32_t>(t - th * DM);
            const std::uint32_t up = x / DM;
            high = static_cast<limb_t>(th);
            borrow = static_cast<limb_t>(6 - up);
            d[i] = static_cast<limb_t>(x - up * DM);
            any |= d[i];
        }
        *zero = any == 0;
        return borrow + high != 0;
    }

    // The remainder plus v; returns the carry out of the top.
    bool add_back() { return add_n(dv(), dv(), v, ndv + 1) != 0; }

    // The remainder less v (the remainder >= v).
    void take_away() { sub_n(dv(), dv(), v, ndv + 1); }

    bool rst_zero() {
        const limb_t* d = dv();
        for (int i = 0; i <= ndv; ++i)
            if (d[i] != 0) return false;
        return true;
    }

    // The exact-match test of a trial whose remainder is zero: the partial
    // dividend, equal to q v, equals it limb by limb exactly when no limb
    // product q v[i] carries, since a number's limbs are unique.
    bool matches(int q) const {
        for (int i = 0; i < ndv; ++i)
            if (static_cast<wide_t>(q) * v[i] >= DM) return false;
        return true;
    }
};

// Base-10^9 digits of limbs d[0..n) into h, d readable (as zeros) up to
// the next multiple of three; returns the count up to the top non-zero
// digit.
int halves_of(std::uint32_t* h, const limb_t* d, int n) {
    using std::uint64_t;
    constexpr uint64_t E6 = 1000000, E9 = 1000000000;
    int nh = 0;
    for (int j = 0; 3 * j < n; ++j) {
        const limb_t* l = d + 3 * j;
        const uint64_t w = static_cast<uint64_t>(l[0]) +
                           E6 * (static_cast<uint64_t>(l[1]) + E6 * static_cast<uint64_t>(l[2]));
        h[nh++] = static_cast<std::uint32_t>(w % E9);
        h[nh++] = static_cast<std::uint32_t>(w / E9);
    }
    while (nh > 0 && h[nh - 1] == 0) --nh;
    return nh;
}

// The most digits the quotient by halves takes: a divisor of 11 limbs, a
// partial dividend of 22, a quotient of 12 (54 digits).
constexpr int DIV_HALVES_LIMBS = 11;
constexpr int DIV_HALVES_MAX = 2 * ((2 * DIV_HALVES_LIMBS + 2) / 3) + 2;

// The quotient limbs of the long division when it runs to its last limb.
// Its partial dividends then hold, in turn, the top T = ndv + Qmax limbs of
// the dividend (zeros below the dividend's end), and the Qmax + 1 limbs it
// makes are those of floor(N / V) for that N, one per step. It ends early
// only on a zero partial remainder with the dividend used up, after which
// every remainder is zero, so a non-zero N mod V rules that out. Here the
// quotient comes from a long division of N by V in base-10^9 digits
// (Knuth's algorithm D), two limbs' worth at a time. Returns false, with
// nothing written, when N mod V is zero or the operands are too wide; the
// limb-by-limb division then runs.
bool quotient_by_halves(const limb_t* dividend, int nv1, const limb_t* divisor, int nv2, int qmax,
                        limb_t* q) {
    using std::uint32_t;
    using std::uint64_t;
    constexpr uint64_t E6 = 1000000, E9 = 1000000000;
    if (nv2 > DIV_HALVES_LIMBS || qmax + 1 > DIV_HALVES_LIMBS + 1) return false;
    const int t = nv2 + qmax;
    limb_t nl[2 * DIV_HALVES_LIMBS + 3], vl[DIV_HALVES_LIMBS + 2];
    for (int i = 0; i < t; ++i) {
        const int j = nv1 - t + i; // the dividend limb at place i of N
        nl[i] = j >= 0 ? dividend[j] : 0;
    }
    nl[t] = nl[t + 1] = 0;
    for (int i = 0; i < nv2; ++i) vl[i] = divisor[i];
    vl[nv2] = vl[nv2 + 1] = 0;
    uint32_t u[DIV_HALVES_MAX + 1], v[DIV_HALVES_MAX];
    const int nu = halves_of(u, nl, t);
    const int nv = halves_of(v, vl, nv2);
    uint32_t qh[DIV_HALVES_MAX];
    bool exact;
    if (nu < nv) {
        return false; // N < V: the quotient is 0 and the remainder N, not reached by the programs
    } else if (nv == 1) {
        uint64_t r = 0;
        for (int j = nu - 1; j >= 0; --j) {
            const uint64_t x = r * E9 + u[j];
            qh[j] = static_cast<uint32_t>(x / v[0]);
            r = x % v[0];
        }
        exact = r == 0;
    } else {
        // scale both so that the divisor's top digit is at least 10^9 / 2
        const uint64_t d = E9 / (static_cast<uint64_t>(v[nv - 1]) + 1);
        const auto scale = [&](uint32_t* x, int n) {
            uint64_t c = 0;
            for (int i = 0; i < n; ++i) {
                const uint64_t p = x[i] * d + c;
                c = p / E9;
                x[i] = static_cast<uint32_t>(p - c * E9);
            }
            return static_cast<uint32_t>(c);
        };
        scale(v, nv);
        u[nu] = scale(u, nu);
        const uint64_t vt = v[nv - 1], vs = v[nv - 2];
        // num / vt from a double estimate, off by a few at most, then
        // settled on the exact remainder
        const double inv = 1.0 / static_cast<double>(vt);
        for (int j = nu - nv; j >= 0; --j) {
            const uint64_t num = u[j + nv] * E9 + u[j + nv - 1];
            uint64_t qhat = static_cast<uint64_t>(static_cast<double>(num) * inv);
            auto rem = static_cast<std::int64_t>(num - qhat * vt);
            while (rem < 0) {
                --qhat;
                rem += static_cast<std::int64_t>(vt);
            }
            while (rem >= static_cast<std::int64_t>(vt)) {
                ++qhat;
                rem -= static_cast<std::int64_t>(vt);
            }
            auto rhat = static_cast<uint64_t>(rem);
            while (qhat >= E9 || qhat * vs > rhat * E9 + u[j + nv - 2]) {
                --qhat;
                rhat += vt;
                if (rhat >= E9) break;
            }
            // u[j..j+nv] -= qhat v. Each product splits into its digits on
            // its own; only small numbers wait on the borrow: u less the low
            // digits, the high digits below and the borrow lies above -2 x
            // 10^9, so 2 x 10^9 added leaves a digit and a borrow of 0..2.
            uint64_t hi[DIV_HALVES_MAX], lo[DIV_HALVES_MAX];
            for (int i = 0; i < nv; ++i) {
                const uint64_t p = qhat * v[i];
                hi[i] = p / E9;
                lo[i] = p - hi[i] * E9;
            }
            uint64_t borrow = 0, high = 0;
            for (int i = 0; i < nv; ++i) {
                const uint64_t y = u[i + j] + 2 * E9 - lo[i] - high - borrow;
                const uint64_t k = (y >= E9) + (y >= 2 * E9);
                u[i + j] = static_cast<uint32_t>(y - k * E9);
                borrow = 2 - k;
                high = hi[i];
            }
            std::int64_t top = static_cast<std::int64_t>(u[j + nv]) -
                               static_cast<std::int64_t>(high) - static_cast<std::int64_t>(borrow);
            if (top < 0) { // qhat was one too large: add v back
                --qhat;
                uint64_t c = 0;
                for (int i = 0; i < nv; ++i) {
                    const uint64_t x = static_cast<uint64_t>(u[i + j]) + v[i] + c;
                    c = x >= E9;
                    u[i + j] = static_cast<uint32_t>(x - c * E9);
                }
                top += static_cast<std::int64_t>(c);
            }
            u[j + nv] = static_cast<uint32_t>(top);
            qh[j] = static_cast<uint32_t>(qhat);
        }
        exact = true;
        for (int i = 0; i < nv; ++i) exact = exact && u[i] == 0;
    }
    if (exact) return false;
    // the quotient's digits back into limbs: below 10^(6 (qmax + 1))
    const int nq = nu - nv + 1;
    for (int i = 0; i <= qmax; ++i) q[i] = 0;
    for (int j = 0; 2 * j < nq; ++j) {
        const uint64_t w =
            qh[2 * j] + E9 * (2 * j + 1 < nq ? static_cast<uint64_t>(qh[2 * j + 1]) : 0);
        const uint64_t hi = w / E6, top = hi / E6;
        const limb_t parts[3] = {static_cast<limb_t>(w - hi * E6),
                                 static_cast<limb_t>(hi - top * E6), static_cast<limb_t>(top)};
        for (int k = 0; k < 3; ++k)
            if (3 * j + k <= qmax) q[3 * j + k] = parts[k];
    }
    return true;
}

// v3 = the quotient limbs u[0..n) (least significant first) with exponent
// esp, as the division leaves them: leading zero limbs removed, then the
// lowest dropped beyond qmax.
void store_quotient(x_num* v3, const x_num* v1, const x_num* v2, const limb_t* u, int n, int qmax,
                    wide_t esp) {
    n = strip_top(u, n);
    int low = 0;
    if (n > qmax) {
        low = n - qmax;
        n = qmax;
        esp += static_cast<wide_t>(BASE) * low;
    }
    store(v3, product_sign(v1->sign, v2->sign), u + low, n, esp);
}

} // namespace

// Long division, one quotient limb per step. Each limb starts from a
// double estimate from the top two limbs of the partial dividend and of the
// divisor; trials then lower it while the remainder goes negative, and raise
// it while the remainder still holds the divisor (the rounded estimate can
// come out one low for divisors of two or more limbs), so that every
// quotient limb lies in 0..999999. Each estimate and each trial counts as a
// step toward the limit of 10000. A trial after a change of one is formed
// from the last remainder by adding or taking away the divisor once, which
// gives the remainder that trial would compute.
//
// The division ends when a trial matches the partial dividend limb by
// limb (before any borrow) with the dividend used up, or when Qmax + 1
// limbs are made. A remainder that is zero only after borrows does not end
// it, so 2 / 4 yields the limbs 0, 500000 with esp -12, a trailing zero limb
// that later products keep.
int x_div_(const x_num* v1, const x_num* v2, x_num* v3, int digit_max) {
    const int nv2 = strip_top(v2->dgt, used_limbs(v2));
    if (nv2 == 0) {
        v3->sign = '?';
        v3->ndgt = 0;
        return 0;
    }
    const int nv1 = strip_top(v1->dgt, used_limbs(v1));
    if (v1->ndgt == 0 || nv1 == 0) {
        copy_value(v3, v1);
        return 1;
    }
    if (v2->ndgt == 1 && v2->dgt[0] == 1 && v2->esp == 0) {
        const signed char sign = product_sign(v1->sign, v2->sign);
        copy_value(v3, v1);
        v3->sign = sign;
        return 1;
    }

    const int prec = clamp_prec(digit_max, PREC_DIV_MAX);
    const int qmax = prec / BASE + 2;
    const limb_t* dividend = v1->dgt;
    const int n1 = nv1 - 1, n2 = nv2 - 1;

    // a quotient that runs to its last limb, formed two limbs at a time; the
    // limb layout and the exponent are those the steps below would give
    if (limb_t uq[SUB_DGT]; quotient_by_halves(dividend, nv1, v2->dgt, nv2, qmax, uq)) {
        store_quotient(v3, v1, v2, uq, qmax + 1, qmax,
                       static_cast<wide_t>(BASE) * (nv1 - nv2 - qmax) + v1->esp - v2->esp);
        return 1;
    }

    limb_t v[SUB_DGT + 1];
    for (int i = 0; i < nv2; ++i) v[i] = v2->dgt[i];
    v[nv2] = 0;
    Division d; // buf is written limb by limb before it is read
    d.v = v;
    d.ndv = nv2;
    d.base = SUB_DGT + 2; // room to bring down Qmax + 1 limbs
    limb_t* dv = d.dv();
    const int ndv = nv2;
    const double vtop = v[n2] + (n2 > 0 ? v[n2 - 1] / 1e6 : 0.0);

    // load the top ndv limbs of the dividend, padding below with zeros
    wide_t esp = 0;
    for (int i = ndv - 1; i >= 0; --i) {
        const int j = n1 - n2 + i;
        if (j >= 0) {
            dv[i] = dividend[j];
        } else {
            dv[i] = 0;
            esp -= BASE;
        }
    }
    dv[ndv] = 0;
    limb_t qz[SUB_DGT];
    int conta_d = n1 - n2, conta_q = 0, conta = 0;
    bool fine_div = false;

    // The trials for a limb walk from their first candidate to the limb one
    // step at a time, each step a trial that counts toward the limit. When
    // the limit is far, they start instead from an integer estimate that is
    // closer and quicker to form (the top three limbs of the partial
    // dividend over the top two of the divisor, by a multiply with a
    // reciprocal), and the count is made up afterwards: a walk from the
    // double estimate takes one trial per step between it and the limb. Near
    // the limit the walk is made from the double estimate itself.
    const std::uint64_t den =
        ndv >= 2 ? static_cast<std::uint64_t>(v[n2]) * DM + static_cast<std::uint64_t>(v[n2 - 1])
                 : static_cast<std::uint64_t>(v[0]);
    const std::uint64_t inv = ~std::uint64_t{0} / den;
    const auto integer_estimate = [&] {
        const limb_t* w = d.dv();
        const std::uint64_t top =
            static_cast<std::uint64_t>(w[ndv]) * DM + static_cast<std::uint64_t>(w[ndv - 1]);
        const std::uint64_t num =
            ndv >= 2 ? top * DM + static_cast<std::uint64_t>(w[ndv - 2]) : top;
        __extension__ typedef unsigned __int128 u128;
        const auto q = static_cast<std::uint64_t>((static_cast<u128>(num) * inv) >> 64);
        return static_cast<int>(std::min<std::uint64_t>(q, 4000000));
    };
    constexpr int LIMIT = 10000, FAR = LIMIT - 64;

    while (!fine_div && conta < LIMIT) {
        ++conta;
        const limb_t* w = d.dv();
        const double y = static_cast<double>(w[ndv]) * 1e6 + w[ndv - 1] + 1;
        // at most 2 x 10^6 for valid limbs; the bound only guards the cast
        const int q_est = static_cast<int>(std::min(y / vtop, 4e6));
        const bool far = conta < FAR;
        int q = far ? integer_estimate() : q_est;
        ++conta;
        bool zero = false;
        bool negative = d.trial(q, &zero);
        // the exact-match test can only hold when the remainder is zero
        bool resto_zero = zero && !negative && d.matches(q);
        while (!resto_zero) {
            if (negative) { // q is too large
                --q;
                if (!far && conta >= LIMIT) break;
                if (!far) ++conta;
                negative = !d.add_back();
            } else if (geq_n(d.dv(), v, ndv + 1) && (far || conta < LIMIT)) { // q is too small
                ++q;
                if (!far) ++conta;
                d.take_away();
            } else {
                break;
            }
            resto_zero = !negative && d.rst_zero() && d.matches(q);
        }
        if (far) conta += q > q_est ? q - q_est : q_est - q;
        qz[conta_q++] = static_cast<limb_t>(q);
        --conta_d;
        if ((resto_zero && conta_d < 0) || conta_q > qmax) fine_div = true;
        if (!fine_div) {
            // bring the remainder up one limb and the next dividend limb down
            --d.base;
            if (conta_d >= 0) {
                d.buf[d.base] = dividend[conta_d];
            } else {
                d.buf[d.base] = 0;
                esp -= BASE;
            }
        }
    }

    // dividend limbs never brought down count in the exponent
    if (conta_d >= 0) esp += static_cast<wide_t>(BASE) * (conta_d + 1);
    esp += static_cast<wide_t>(v1->esp) - v2->esp;
    limb_t u[SUB_DGT];
    for (int i = 0; i < conta_q; ++i) u[i] = qz[conta_q - 1 - i];
    store_quotient(v3, v1, v2, u, conta_q, qmax, esp);
    return 1;
}

int x_inv_(const x_num* a, x_num* b, int digit_max) {
    x_num one;
    xinit(&one, 1);
    x_div_(&one, a, b, digit_max);
    return 1;
}

void x_pow_(const x_num* a, x_num* b, int n, int dgt_max) {
    copy_value(b, a);
    for (int i = 1; i < n; ++i) x_mult_(a, b, b, dgt_max);
}
