// Fuzz target: the record arithmetic on arbitrary valid records.
//
// Input: one byte for the precision (1 to 200), then two records, each as
// a flag byte (bit 0 sign minus, bit 1 a far exponent, bits 2-4 all set
// for the undefined zero '?'), a limb count byte (taken modulo 41), a
// 16-bit exponent (times 31 when far, so up to about 10^6 either way) and
// three bytes per limb (modulo 10^6; a top nibble of F picks 0, 999999, 1
// or 500000). A zero top limb becomes 1, so every record is in normal form.
//
// Each of x_add_, x_sub_, x_mult_ and x_div_ runs with its operands and its
// result between canary words, once with every spare limb and the result
// filled with one kind of garbage and once with another, then with the
// result aliased to each operand and with both operands one record. Every
// run must give a valid record, leave the canaries and the operands as they
// were, and give the same result. The results are then checked against
// exact decimal arithmetic: a sum is the operands cut at the common last
// digit, a product and a quotient are truncations of the exact values.
// Last, the multiply-adds (fused and on prepared factors) must give the
// records of the product through a record followed by the sum.
#include "fuzz/fuzz_support.h"
#include "testsupport/decimal.h"

#include <cstdlib>

namespace {

using namespace fuzz;

inline constexpr int PREC_MAX = 200;

// Sums whose operand exponents lie at most this far apart are checked
// against the exact sum; beyond it the lower operand lies wholly below the
// cut and the sum is the upper one cut to the precision.
inline constexpr long long ALIGN_MAX = 2000;

// Limbs picked by the top nibble F of a limb's three bytes.
inline constexpr std::int32_t SPECIAL_LIMBS[4] = {0, DM - 1, 1, DM / 2};

// Two kinds of garbage for the spare limbs and the result record.
inline constexpr std::uint32_t GARBAGE[2] = {0x7FFFFFFFu, 0x80000001u};

// One record in the layout described at the top; the undefined zero keeps
// its stray exponent, as a record from a division by zero may.
x_num decode(Bytes& in) {
    const std::uint8_t flags = in.take();
    const int n = in.take() % (SUB_DGT + 1);
    const auto e16 = static_cast<std::int16_t>(in.take_u16());
    x_num x{};
    x.sign = (flags & 1) != 0 ? '-' : '+';
    x.esp = (flags & 2) != 0 ? e16 * 31 : e16;
    x.ndgt = n;
    for (int i = 0; i < n; ++i) {
        const std::uint32_t v = in.take_u24();
        x.dgt[i] = (v >> 20) == 0xF ? SPECIAL_LIMBS[v & 3] : static_cast<std::int32_t>(v % DM);
    }
    if (n > 0 && x.dgt[n - 1] == 0) x.dgt[n - 1] = 1;
    if ((flags & 0x1C) == 0x1C) {
        x.sign = '?';
        x.ndgt = 0;
    }
    return x;
}

// The limbs above ndgt, which no operation may read as digits.
void fill_spare(x_num& x, std::uint32_t garbage) {
    for (int i = x.ndgt; i < SUB_DGT; ++i) x.dgt[i] = static_cast<std::int32_t>(garbage);
}

using BinaryOp = int (*)(const x_num*, const x_num*, x_num*, int);

struct Op {
    const char* name;
    BinaryOp f;
};

inline constexpr Op OPS[] = {
    {"x_add_", x_add_}, {"x_sub_", x_sub_}, {"x_mult_", x_mult_}, {"x_div_", x_div_}};

enum class Alias { none, c_is_a, c_is_b, a_is_b, all };

struct Outcome {
    x_num r;
    int ret;
};

// Runs op on a and b at prec, each record between canaries, the spare
// limbs and the result filled with garbage; with Alias::a_is_b and
// Alias::all the caller passes b equal to a.
Outcome run(const Op& op, const x_num& a, const x_num& b, Alias alias, std::uint32_t garbage,
            int prec) {
    Guarded slot[3];
    for (auto& g : slot) arm(g);
    slot[0].x = a;
    slot[1].x = b;
    fill_spare(slot[0].x, garbage);
    fill_spare(slot[1].x, garbage);
    poison(slot[2].x, garbage);
    x_num* pa = &slot[0].x;
    x_num* pb = &slot[1].x;
    x_num* pc = &slot[2].x;
    switch (alias) {
    case Alias::none:
        break;
    case Alias::c_is_a:
        pc = pa;
        break;
    case Alias::c_is_b:
        pc = pb;
        break;
    case Alias::a_is_b:
        pb = pa;
        break;
    case Alias::all:
        pb = pc = pa;
        break;
    }
    x_num before_a, before_b;
    std::memcpy(&before_a, pa, sizeof(x_num));
    std::memcpy(&before_b, pb, sizeof(x_num));
    const int ret = op.f(pa, pb, pc, prec);
    for (const auto& g : slot) check_canaries(g, op.name);
    if (pa != pc)
        check(std::memcmp(pa, &before_a, sizeof(x_num)) == 0, op.name, "operand a changed");
    if (pb != pc)
        check(std::memcmp(pb, &before_b, sizeof(x_num)) == 0, op.name, "operand b changed");
    check_record(*pc, op.name);
    return {*pc, ret};
}

// Limbs a product or a sum keeps at precision prec.
int limbs_kept(int prec) {
    return std::min(SUB_DGT, prec / 6 + 2);
}

// One call, described only when a check on it fails.
struct Case {
    const Op& op;
    const x_num &a, &b, &r;
    int prec;

    std::string operator()() const {
        return std::string(op.name) + "(" + show(a) + ", " + show(b) + ") at " +
               std::to_string(prec) + " gave " + show(r);
    }
};

// A sum: the operands aligned at the lower exponent and cut to prec
// digits, so the result's last digit sits at 10^unit and each operand loses
// less than one unit of it.
void check_sum(const x_num& a, const x_num& b, bool subtract, const x_num& r, int prec,
               const Case& at) {
    const Dec A = value_of(a);
    const Dec B = subtract ? -value_of(b) : value_of(b);
    const Dec R = value_of(r);
    if (A.mag.empty() || B.mag.empty()) {
        check(same_value(R, A.mag.empty() ? B : A), "a zero operand passes the other through", at);
        return;
    }
    check(r.ndgt <= limbs_kept(prec), "a sum holds more limbs than its precision keeps", at);
    check(r.ndgt > 0 || r.sign == '+', "a sum that cancels has sign '+'", at);
    const long long emin = std::min(a.esp, b.esp);
    const long long spread = std::llabs(static_cast<long long>(a.esp) - b.esp);
    if (spread > ALIGN_MAX) {
        const Dec& upper = a.esp > b.esp ? A : B;
        check(same_value(R, truncate_to(upper, static_cast<std::size_t>(prec))),
              "a far lower operand is cut away and the upper one cut to the precision", at);
        return;
    }
    const long long top = std::max(a.esp - emin + static_cast<long long>(A.mag.size()),
                                   b.esp - emin + static_cast<long long>(B.mag.size()));
    const long long unit = emin + std::max(top - prec, 0LL);
    if (r.ndgt > 0) check(r.esp == unit, "a sum's exponent is the common cut", at);
    const Dec err = A + B - R;
    check(cmp_mag(err, Dec{false, "2", unit}) < 0, "a sum is off by two units or more", at);
}

void check_product(const x_num& a, const x_num& b, const x_num& r, int prec, const Case& at) {
    if (a.ndgt == 0 || b.ndgt == 0) {
        check(r.ndgt == 0 && r.sign == '+', "a product with a zero factor is zero, sign '+'", at);
        return;
    }
    check(r.ndgt > 0 && r.ndgt <= limbs_kept(prec), "a product keeps 1 to prec/6+2 limbs", at);
    check(r.sign == (a.sign == b.sign ? '+' : '-'), "the sign of a product", at);
    const Dec exact = magnitude(value_of(a)) * magnitude(value_of(b));
    const Dec R = magnitude(value_of(r));
    check(cmp_mag(R, exact) <= 0, "a product is cut toward zero", at);
    check(cmp_mag(exact, R + ten_to(r.esp)) < 0, "a product loses less than its last unit", at);
}

void check_quotient(const x_num& a, const x_num& b, const Outcome& out, int prec, const Case& at) {
    const x_num& r = out.r;
    if (b.ndgt == 0) {
        check(out.ret == 0 && r.sign == '?' && r.ndgt == 0, "a zero divisor gives '?' and 0", at);
        return;
    }
    check(out.ret == 1, "a division by a number returns 1", at);
    const char sign = a.sign == b.sign ? '+' : '-';
    if (a.ndgt == 0) {
        check(r.ndgt == 0, "a zero dividend gives zero", at);
        return;
    }
    check(r.ndgt > 0 && r.sign == sign, "the sign of a quotient", at);
    if (b.ndgt == 1 && b.dgt[0] == 1 && b.esp == 0) {
        check(same_value(magnitude(value_of(r)), magnitude(value_of(a))),
              "a division by one copies the dividend", at);
        return;
    }
    const int qmax = std::min(prec, 227) / 6 + 2;
    check(r.ndgt <= qmax, "a quotient keeps at most prec/6+2 limbs", at);
    const Dec A = magnitude(value_of(a)), B = magnitude(value_of(b));
    const Dec Q = magnitude(value_of(r));
    const Dec low = Q * B;
    const int below = cmp_mag(low, A);
    check(below <= 0, "a quotient times the divisor exceeds the dividend", at);
    check(cmp_mag(A, (Q + ten_to(r.esp)) * B) < 0,
          "a quotient is more than its last unit below the exact one", at);
    if (below != 0) check(r.ndgt == qmax, "an inexact quotient holds prec/6+2 limbs", at);
}

// The result of op on (a, b) against exact decimal arithmetic.
void check_value(const Op& op, const x_num& a, const x_num& b, const Outcome& out, int prec) {
    const Case at{op, a, b, out.r, prec};
    if (op.f == x_add_ || op.f == x_sub_) {
        check(out.ret == 1, "a sum returns 1", at);
        check_sum(a, b, op.f == x_sub_, out.r, prec, at);
    } else if (op.f == x_mult_) {
        check(out.ret == 1, "a product returns 1", at);
        check_product(a, b, out.r, prec, at);
    } else {
        check_quotient(a, b, out, prec, at);
    }
}

// One operation on (a, b): every way of holding the records gives the same
// result, and the result is right.
x_num exercise(const Op& op, const x_num& a, const x_num& b, int prec) {
    const Outcome first = run(op, a, b, Alias::none, GARBAGE[0], prec);
    const Case at{op, a, b, first.r, prec};
    const Outcome second = run(op, a, b, Alias::none, GARBAGE[1], prec);
    check(same_fields(first.r, second.r), "the result depends on spare limbs or the old result",
          [&] { return at() + " and " + show(second.r); });
    for (const Alias alias : {Alias::c_is_a, Alias::c_is_b}) {
        const Outcome aliased = run(op, a, b, alias, GARBAGE[0], prec);
        check(same_fields(first.r, aliased.r) && first.ret == aliased.ret,
              "a result aliased to an operand differs",
              [&] { return at() + " and " + show(aliased.r); });
    }
    check_value(op, a, b, first, prec);
    return first.r;
}

// The same with both operands one record, plus each operation's identity
// on equal operands.
void exercise_equal(const Op& op, const x_num& a, int prec) {
    const x_num r = exercise(op, a, a, prec);
    const Case at{op, a, a, r, prec};
    for (const Alias alias : {Alias::a_is_b, Alias::all}) {
        const Outcome shared = run(op, a, a, alias, GARBAGE[1], prec);
        check(same_fields(r, shared.r), "operands held in one record give another result",
              [&] { return at() + " and " + show(shared.r); });
    }
    if (op.f == x_sub_) check(r.ndgt == 0, "a - a is zero", at);
    if (op.f == x_div_ && a.ndgt > 0)
        check(same_value(value_of(r), ten_to(0)), "a / a is exactly 1", at);
}

// xcomp_ on copies between canaries, which it must leave as they were.
int compare(const x_num& x, const x_num& y, int prec) {
    Guarded slot[2];
    for (auto& g : slot) arm(g);
    slot[0].x = x;
    slot[1].x = y;
    const int c = xcomp_(&slot[0].x, &slot[1].x, prec);
    for (const auto& g : slot) check_canaries(g, "xcomp_");
    check(same_fields(slot[0].x, x) && same_fields(slot[1].x, y), "xcomp_ changed an operand");
    check(c == -1 || c == 0 || c == 1, "xcomp_ returns -1, 0 or 1");
    return c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    const int prec = 1 + in.take() % PREC_MAX;
    const x_num a = decode(in);
    const x_num b = decode(in);

    x_num diff{};
    for (const Op& op : OPS) {
        const x_num r = exercise(op, a, b, prec);
        exercise_equal(op, a, prec);
        exercise_equal(op, b, prec);
        const x_num swapped = exercise(op, b, a, prec);
        const auto at = [&] { return Case{op, a, b, r, prec}() + ", swapped " + show(swapped); };
        if (op.f == x_add_)
            check(same_value(value_of(r), value_of(swapped)), "a + b differs from b + a", at);
        if (op.f == x_mult_)
            check(a.ndgt == 0 || b.ndgt == 0 || same_fields(r, swapped), "a b differs from b a",
                  at);
        if (op.f == x_sub_) {
            check(same_value(value_of(r), -value_of(swapped)), "a - b is not -(b - a)", at);
            diff = r;
        }
    }

    const int ab = compare(a, b, prec), ba = compare(b, a, prec);
    const auto at = [&] {
        return "xcomp_(" + show(a) + ", " + show(b) + ") at " + std::to_string(prec) + " gave " +
               std::to_string(ab) + ", swapped " + std::to_string(ba);
    };
    check(ab == -ba, "xcomp_(a, b) is not -xcomp_(b, a)", at);
    check(compare(a, a, prec) == 0 && compare(b, b, prec) == 0, "xcomp_(a, a) is not 0", at);
    const int sign_of_diff = diff.ndgt == 0 ? 0 : (diff.sign == '-' ? -1 : 1);
    check(ab == sign_of_diff, "xcomp_ disagrees with the sign of x_sub_", at);

    // the multiply-adds, fused and on prepared factors, against the product
    // through a record followed by the sum, from several accumulators
    x_num prod;
    x_mult_(&a, &b, &prod, prec);
    x_prep pa, pb;
    xprep_(&a, &pa);
    xprep_(&b, &pb);
    const x_prep fa[2] = {pa, pb}, fb[2] = {pb, pa};
    for (const x_num& start : {a, b, diff, prod}) {
        const auto where = [&] {
            return "acc " + show(start) + ", " + show(a) + " x " + show(b) + " at " +
                   std::to_string(prec);
        };
        x_num add_want, sub_want;
        x_add_(&start, &prod, &add_want, prec);
        x_sub_(&start, &prod, &sub_want, prec);
        x_num got = start;
        x_mult_add_(&a, &b, &got, prec);
        check(same_fields(got, add_want), "x_mult_add_ differs from x_mult_ and x_add_", where);
        got = start;
        x_mult_sub_(&a, &b, &got, prec);
        check(same_fields(got, sub_want), "x_mult_sub_ differs from x_mult_ and x_sub_", where);
        got = start;
        x_mult_add_p_(&pa, &pb, &got, prec);
        check(same_fields(got, add_want), "x_mult_add_p_ differs from x_mult_add_", where);
        got = start;
        x_mult_sub_p_(&pa, &pb, &got, prec);
        check(same_fields(got, sub_want), "x_mult_sub_p_ differs from x_mult_sub_", where);
        x_num twice = start;
        x_mult_add_(&a, &b, &twice, prec);
        x_mult_add_(&b, &a, &twice, prec);
        got = start;
        x_dot_add_p_(fa, fb, 2, &got, prec);
        check(same_fields(got, twice), "x_dot_add_p_ differs from its terms one by one", where);
    }
    return 0;
}
