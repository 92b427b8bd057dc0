// Division and reciprocal of records.
//
// The quotient is the long division of the dividend's limbs by the
// divisor's, one base-10^6 limb per step, ending when a step's trial
// matches the partial dividend limb by limb (before any borrow) with the
// dividend used up, or when Qmax + 1 = prec / 6 + 3 limbs are made. A
// remainder that is zero only after borrows does not end it, so 2 / 4
// yields the limbs 0, 500000 with esp -12: a trailing zero limb that later
// products keep. Two ways form those limbs:
//   - by words, when the division runs to its last limb: the limbs are then
//     those of the integer quotient of the top ndv + Qmax dividend limbs,
//     which a base-10^18 long division forms three limbs at a time (1.3
//     times fewer instructions than one in base 10^9 at 30 digits, twice
//     as few at 100);
//   - limb by limb otherwise (an exact quotient, whose trailing limbs depend
//     on where the steps stop).
#include "xarith/words.h"
#include "xarith/record.h"

#include <algorithm>
#include <new>

using namespace xarith_detail;

namespace {

// v3 = the quotient limbs u[0..n) (least significant first) with exponent
// esp, as the division leaves them: leading zero limbs removed, then the
// lowest dropped beyond qmax.
void store_quotient(x_num* v3, const x_num* v1, const x_num* v2, const limb_t* u, int n, int qmax,
                    wide_t esp) {
    n = strip_top(u, n);
    const int low = std::max(n - qmax, 0);
    store(v3, product_sign(v1->sign, v2->sign), u + low, n - low, esp + static_cast<wide_t>(BASE) * low);
}

// The quotient by words: the Qmax + 1 limbs of floor(N / V), N the top
// ndv + Qmax limbs of the dividend (zeros below its end), into q. False,
// with nothing written, when N mod V is zero: the division may then end
// early, and the limb division decides where.
bool quotient_by_words(const limb_t* dividend, int nv1, const WordsDivisor& divisor, int nv2, int qmax,
                       limb_t* q) {
    const int t = nv2 + qmax;
    // N's limbs: the dividend's top t, or all of it over zeros
    limb_t nl[2 * SUB_DGT + 3];
    if (nv1 < t) {
        std::fill_n(nl, t - nv1, 0);
        std::copy_n(dividend, nv1, nl + (t - nv1));
    }
    const limb_t* n = nv1 < t ? nl : dividend + (nv1 - t);
    // the top limbs of N and V are not 0, nor then their top words
    u64 u[2 * RECORD_WORDS + 2], qw[2 * RECORD_WORDS + 2];
    const int nu = words_of_limbs(u, n, t);
    const int nv = divisor.nv;
    if (divide_words(qw, u, nu, divisor)) return false;
    limb_t ql[3 * (2 * RECORD_WORDS + 2)];
    limbs_of_words(ql, qw, nu - nv + 1);
    const int made = 3 * (nu - nv + 1);
    for (int i = 0; i <= qmax; ++i) q[i] = i < made ? ql[i] : 0;
    return true;
}

// The long division limb by limb. The divisor v has a zero limb above its
// top; the partial dividend, ndv + 1 limbs, sits at buf[base..]. A trial
// turns it into its remainder in place; bringing the next dividend limb
// down then only moves the base one limb lower, which shifts the remainder
// up a limb (its top limb, 0, drops out).
class LongDivision {
  public:
    LongDivision(const limb_t* dividend, int nv1, const limb_t* divisor, int nv2)
        : dividend_(dividend), ndv_(nv2), left_(nv1 - nv2) {
        for (int i = 0; i < nv2; ++i) v_[i] = divisor[i];
        v_[nv2] = 0;
        const std::uint64_t top = static_cast<std::uint64_t>(v_[nv2 - 1]);
        den_ = nv2 >= 2 ? top * DM + static_cast<std::uint64_t>(v_[nv2 - 2]) : top;
        inv_ = ~std::uint64_t{0} / den_;
        load_window();
    }

    // The next quotient limb, and whether its trial matched the partial
    // dividend exactly with the dividend used up: the division ends there.
    limb_t next(bool* ends) {
        int q = estimate();
        bool exact = false;
        q = settle(q, &exact);
        --left_;
        *ends = exact && left_ < 0;
        return static_cast<limb_t>(q);
    }

    // The remainder up one limb and the next dividend limb down (a zero
    // below the dividend's end, which lowers the exponent by a limb).
    void bring_down() {
        --base_;
        if (left_ >= 0) {
            buf_[base_] = dividend_[left_];
        } else {
            buf_[base_] = 0;
            esp_ -= BASE;
        }
    }

    // The exponent the limbs made so far stand for, relative to the
    // operands': limbs below the dividend's end lower it, limbs never
    // brought down raise it.
    wide_t esp() const { return esp_ + (left_ >= 0 ? static_cast<wide_t>(BASE) * (left_ + 1) : 0); }

  private:
    limb_t* dv() { return buf_ + base_; }

    // The top ndv limbs of the dividend, padded below with zeros.
    void load_window() {
        limb_t* d = dv();
        for (int i = ndv_ - 1; i >= 0; --i) {
            const int j = left_ + i;
            if (j >= 0) {
                d[i] = dividend_[j];
            } else {
                d[i] = 0;
                esp_ -= BASE;
            }
        }
        d[ndv_] = 0;
    }

    // The top three limbs of the partial dividend over the top two of the
    // divisor, by a multiply with the reciprocal: within a few of the limb.
    int estimate() const {
        const limb_t* w = buf_ + base_;
        const std::uint64_t top =
            static_cast<std::uint64_t>(w[ndv_]) * DM + static_cast<std::uint64_t>(w[ndv_ - 1]);
        const std::uint64_t num = ndv_ >= 2 ? top * DM + static_cast<std::uint64_t>(w[ndv_ - 2]) : top;
        const auto q = static_cast<std::uint64_t>((static_cast<u128>(num) * inv_) >> 64);
        return static_cast<int>(std::min<std::uint64_t>(q, 4000000));
    }

    // Trials from q: lowered while the remainder goes negative, raised while
    // it still holds the divisor, so that the limb lies in 0..999999; a
    // change of one forms the next remainder from the last by adding or
    // taking away the divisor once. *exact is the definition's test on the
    // final trial: every partial dividend limb equals q times the divisor's.
    int settle(int q, bool* exact) {
        bool zero = false;
        bool negative = trial(q, &zero);
        bool matched = zero && !negative && matches(q);
        while (!matched) {
            if (negative) {
                --q;
                negative = add_n(dv(), dv(), v_, ndv_ + 1) == 0;
            } else if (geq_n(dv(), v_, ndv_ + 1)) {
                ++q;
                sub_n(dv(), dv(), v_, ndv_ + 1);
            } else {
                break;
            }
            matched = !negative && rst_zero() && matches(q);
        }
        *exact = matched;
        return q;
    }

    // dv - q * v over ndv + 1 limbs, in place. Returns true when the
    // difference is negative (dv then holds it plus 10^(6 (ndv + 1)));
    // *zero is set when it is zero. Each product is split into base-10^6
    // digits on its own, so only small numbers wait on the borrow.
    bool trial(int q, bool* zero) {
        limb_t* d = dv();
        limb_t high = 0, borrow = 0, any = 0;
        // unsigned arithmetic: every quantity here is non-negative, and
        // unsigned division by a constant is a multiply and a shift
        for (int i = 0; i <= ndv_; ++i) {
            const std::uint64_t t = static_cast<std::uint64_t>(q) * static_cast<std::uint32_t>(v_[i]);
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

    bool rst_zero() {
        const limb_t* d = dv();
        for (int i = 0; i <= ndv_; ++i)
            if (d[i] != 0) return false;
        return true;
    }

    // The exact-match test of a trial whose remainder is zero: the partial
    // dividend, equal to q v, equals it limb by limb exactly when no limb
    // product q v[i] carries, since a number's limbs are unique.
    bool matches(int q) const {
        for (int i = 0; i < ndv_; ++i)
            if (static_cast<wide_t>(q) * v_[i] >= DM) return false;
        return true;
    }

    const limb_t* dividend_;
    limb_t v_[SUB_DGT + 1];
    int ndv_;
    int left_; // the dividend index of the limb in dv()[0]
    int base_ = SUB_DGT + 2; // room to bring down Qmax + 1 limbs
    wide_t esp_ = 0;
    std::uint64_t den_, inv_;
    limb_t buf_[2 * SUB_DGT + 4] = {};
};

// v3 = v1 / v2 for non-zero operands in normal form within nv1 and nv2
// limbs, v2's words prepared in w.
void divide(const x_num* v1, int nv1, const x_num* v2, int nv2, const WordsDivisor& w, x_num* v3,
            int prec) {
    const int qmax = prec / BASE + 2;
    const wide_t esp = static_cast<wide_t>(v1->esp) - v2->esp;

    limb_t u[SUB_DGT + 1];
    if (quotient_by_words(v1->dgt, nv1, w, nv2, qmax, u))
        return store_quotient(v3, v1, v2, u, qmax + 1, qmax,
                              static_cast<wide_t>(BASE) * (nv1 - nv2 - qmax) + esp);

    LongDivision d(v1->dgt, nv1, v2->dgt, nv2);
    limb_t qz[SUB_DGT + 1];
    int made = 0;
    for (bool ends = false; !ends;) {
        qz[made++] = d.next(&ends);
        if (made > qmax) break;
        if (!ends) d.bring_down();
    }
    for (int i = 0; i < made; ++i) u[i] = qz[made - 1 - i];
    store_quotient(v3, v1, v2, u, made, qmax, d.esp() + esp);
}

// The divisor's limbs below its top zero ones (0 for a zero divisor).
int divisor_limbs(const x_num* v2) {
    return strip_top(v2->dgt, used_limbs(v2));
}

// The words of a divisor of nv2 > 0 limbs, prepared.
void prepare_words(const x_num* v2, int nv2, WordsDivisor* w) {
    u64 v[RECORD_WORDS];
    prepare_divisor(w, v, words_of_limbs(v, v2->dgt, nv2));
}

// The special cases in the order the definition tests them: a zero divisor
// (0 / 0 too) marks the result undefined; a zero dividend is copied; a
// divisor of exactly one limb 1 and exponent 0 copies the dividend with the
// quotient's sign, unscaled. Returns false, with nothing done, when none
// applies.
bool special_quotient(const x_num* v1, const x_num* v2, int nv2, x_num* v3, int* status) {
    *status = 1;
    if (nv2 == 0) {
        v3->sign = '?';
        v3->ndgt = 0;
        *status = 0;
        return true;
    }
    if (v1->ndgt == 0 || strip_top(v1->dgt, used_limbs(v1)) == 0) {
        copy_value(v3, v1);
        return true;
    }
    if (v2->ndgt == 1 && v2->dgt[0] == 1 && v2->esp == 0) {
        const signed char sign = product_sign(v1->sign, v2->sign);
        copy_value(v3, v1);
        v3->sign = sign;
        return true;
    }
    return false;
}

// A prepared divisor: the record (its special cases and the limb division
// read it), its limbs in use and its words.
struct Divisor {
    x_num v;
    int n;
    WordsDivisor w;
};
static_assert(sizeof(Divisor) <= sizeof(x_divisor) && alignof(Divisor) <= alignof(x_divisor),
              "x_divisor holds a prepared divisor");

} // namespace

int x_div_(const x_num* v1, const x_num* v2, x_num* v3, int digit_max) {
    const int nv2 = divisor_limbs(v2);
    if (int status; special_quotient(v1, v2, nv2, v3, &status)) return status;
    WordsDivisor w;
    prepare_words(v2, nv2, &w);
    divide(v1, divisor_limbs(v1), v2, nv2, w, v3, clamp_prec(digit_max, PREC_DIV_MAX));
    return 1;
}

void xdivisor_(const x_num* v2, x_divisor* d) {
    auto* p = new (d->opaque) Divisor;
    p->v = *v2;
    p->n = divisor_limbs(v2);
    if (p->n > 0) prepare_words(v2, p->n, &p->w);
}

int x_div_p_(const x_num* v1, const x_divisor* d, x_num* v3, int digit_max) {
    const auto* p = std::launder(reinterpret_cast<const Divisor*>(d->opaque));
    if (int status; special_quotient(v1, &p->v, p->n, v3, &status)) return status;
    divide(v1, divisor_limbs(v1), &p->v, p->n, p->w, v3, clamp_prec(digit_max, PREC_DIV_MAX));
    return 1;
}

int x_inv_(const x_num* a, x_num* b, int digit_max) {
    x_num one;
    xinit(&one, 1);
    x_div_(&one, a, b, digit_max);
    return 1;
}
