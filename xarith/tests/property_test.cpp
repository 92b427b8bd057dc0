// The record arithmetic against a slow decimal reference on digit strings,
// on random operands at precisions 6 to 200. The seed is fixed and printed.
#include "testsupport/decimal.h"
#include "testsupport/records.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

constexpr std::uint64_t SEED = 0x5EED2026;
constexpr int ROUNDS = 4000;

// A sign of '+', '-' or '?', limbs in range, ndgt within the record, no
// leading zero limb.
void expect_valid(const x_num& x) {
    const char* fault = record_fault(x);
    ASSERT_FALSE(fault) << fault << " in " << fields(x);
}

// A random operand for precision prec: up to prec / 6 + 2 limbs (the
// size of the results the arithmetic makes), exponents that sometimes
// overlap and sometimes lie far apart.
x_num operand(std::mt19937_64& rng, int prec) {
    const int most = std::min(SUB_DGT, prec / 6 + 2);
    const int n = std::uniform_int_distribution<int>(1, most)(rng);
    return random_record(rng, n, -3 * prec, 3 * prec);
}

// The sum as the alignment rule defines it: each operand cut to the grid
// 10^(emin + p) before the digits are added.
Fields reference_sum(const x_num& a, const x_num& b, char b_sign, int prec) {
    const Digits da = digits_of(a), db = digits_of(b);
    const long long emin = std::min(a.esp, b.esp);
    const long long e1 = a.esp - emin, e2 = b.esp - emin;
    const long long p = std::max(e1 + static_cast<long long>(da.size()) - prec,
                                 e2 + static_cast<long long>(db.size()) - prec);
    const long long cut = std::max(p, 0LL);
    const Digits m1 = scale10(da, e1 - cut), m2 = scale10(db, e2 - cut);
    Digits r;
    char sign = '+';
    if ((a.sign == '-') == (b_sign == '-')) {
        r = add(m1, m2);
        if (a.sign == b_sign) sign = static_cast<char>(a.sign);
    } else {
        const Digits& pos = a.sign == '-' ? m2 : m1;
        const Digits& neg = a.sign == '-' ? m1 : m2;
        if (cmp(pos, neg) >= 0) {
            r = sub(pos, neg);
        } else {
            r = sub(neg, pos);
            sign = '-';
        }
    }
    return {sign, limbs_of(r), static_cast<int>(emin + cut)};
}

// The product: all digits, then the limbs below the kept ones dropped.
Fields reference_product(const x_num& a, const x_num& b, int prec) {
    std::vector<int> limbs = limbs_of(mul(digits_of(a), digits_of(b)));
    const std::size_t keep = static_cast<std::size_t>(std::min(SUB_DGT, prec / 6 + 2));
    int esp = a.esp + b.esp;
    if (limbs.size() > keep) {
        esp += 6 * static_cast<int>(limbs.size() - keep);
        limbs.erase(limbs.begin(), limbs.end() - static_cast<std::ptrdiff_t>(keep));
    }
    return {a.sign == b.sign ? '+' : '-', limbs, esp};
}

// The long division step by step as its definition reads: the double
// estimate, a full trial pass for every candidate limb (lowered while the
// remainder goes negative, raised while it still holds the divisor), the
// limb-by-limb exact test, the limb and exponent bookkeeping.
Fields literal_quotient(const x_num& v1, const x_num& v2, int prec) {
    const int qmax = prec / 6 + 2;
    const int n1 = v1.ndgt - 1, n2 = v2.ndgt - 1, ndv = v2.ndgt;
    std::vector<long long> dv(ndv + 1), rst(ndv + 1), v(ndv + 1, 0);
    for (int i = 0; i < ndv; ++i) v[i] = v2.dgt[i];
    long long esp = 0;
    for (int i = ndv - 1; i >= 0; --i) {
        const int j = n1 - n2 + i;
        if (j >= 0) {
            dv[i] = v1.dgt[j];
        } else {
            dv[i] = 0;
            esp -= 6;
        }
    }
    std::vector<int> qz;
    int conta_d = n1 - n2, conta = 0;
    bool fine = false, resto_zero = false;
    while (!fine && conta < 10000) {
        ++conta;
        const double y = static_cast<double>(dv[ndv]) * 1e6 + static_cast<double>(dv[ndv - 1]) + 1;
        const double x = v2.dgt[n2] + (n2 > 0 ? v2.dgt[n2 - 1] / 1e6 : 0.0);
        long long q = static_cast<long long>(y / x);
        for (;;) {
            ++conta;
            resto_zero = true;
            long long cr = 0;
            for (int i = 0; i <= ndv; ++i) {
                long long t = dv[i] - q * v[i];
                if (t != 0) resto_zero = false;
                t += cr;
                cr = t >= 0 ? t / 1000000 : -((-t + 999999) / 1000000);
                rst[i] = t - cr * 1000000;
            }
            if (resto_zero) break;
            if (cr != 0) {
                --q;
                continue;
            }
            bool holds = true; // rst >= v
            for (int i = ndv; i >= 0; --i)
                if (rst[i] != v[i]) {
                    holds = rst[i] > v[i];
                    break;
                }
            if (!holds) break;
            ++q;
        }
        qz.push_back(static_cast<int>(q));
        --conta_d;
        if ((resto_zero && conta_d < 0) || static_cast<int>(qz.size()) > qmax) fine = true;
        if (!fine) {
            for (int i = ndv - 1; i >= 0; --i) dv[i + 1] = rst[i];
            if (conta_d >= 0) {
                dv[0] = v1.dgt[conta_d];
            } else {
                dv[0] = 0;
                esp -= 6;
            }
        }
    }
    if (conta_d >= 0) esp += 6LL * (conta_d + 1);
    esp += v1.esp - v2.esp;
    std::vector<int> u(qz.rbegin(), qz.rend());
    while (!u.empty() && u.back() == 0) u.pop_back();
    if (static_cast<int>(u.size()) > qmax) {
        esp += 6LL * (static_cast<long long>(u.size()) - qmax);
        u.erase(u.begin(), u.end() - qmax);
    }
    return {v1.sign == v2.sign ? '+' : '-', u, static_cast<int>(esp)};
}

} // namespace

TEST(Property, SumsAndDifferencesMatchTheAlignmentRule) {
    std::mt19937_64 rng(SEED);
    for (int round = 0; round < ROUNDS; ++round) {
        const int prec = std::uniform_int_distribution<int>(6, 200)(rng);
        const x_num a = operand(rng, prec);
        x_num b = operand(rng, prec);
        if (round % 4 == 0) b.esp = a.esp + std::uniform_int_distribution<int>(-8, 8)(rng);
        SCOPED_TRACE(testing::Message() << "seed " << SEED << " round " << round << ": "
                                        << fields(a) << ", " << fields(b) << " at " << prec);
        x_num r = poisoned();
        x_add_(&a, &b, &r, prec);
        expect_valid(r);
        ASSERT_EQ(fields(r), reference_sum(a, b, static_cast<char>(b.sign), prec));
        x_num d = a;
        x_sub_(&d, &b, &d, prec);
        expect_valid(d);
        ASSERT_EQ(fields(d), reference_sum(a, b, b.sign == '-' ? '+' : '-', prec));

        // the cut costs less than one unit of the result's last digit per
        // operand: |exact - result| < 2 x 10^esp
        const long long emin = std::min<long long>({a.esp, b.esp, r.esp});
        const Digits ea = scale10(digits_of(a), a.esp - emin),
                     eb = scale10(digits_of(b), b.esp - emin);
        const Digits er = scale10(digits_of(r), r.esp - emin);
        const bool same = (a.sign == '-') == (b.sign == '-');
        const Digits exact = same ? add(ea, eb) : (cmp(ea, eb) >= 0 ? sub(ea, eb) : sub(eb, ea));
        const Digits err = cmp(exact, er) >= 0 ? sub(exact, er) : sub(er, exact);
        ASSERT_LT(cmp(err, scale10("2", r.esp - emin)), 0);
    }
}

TEST(Property, ProductsKeepTheirTopLimbs) {
    std::mt19937_64 rng(SEED + 1);
    for (int round = 0; round < ROUNDS; ++round) {
        const int prec = std::uniform_int_distribution<int>(6, 200)(rng);
        const x_num a = operand(rng, prec), b = operand(rng, prec);
        SCOPED_TRACE(testing::Message() << "seed " << SEED + 1 << " round " << round << ": "
                                        << fields(a) << ", " << fields(b) << " at " << prec);
        x_num r = b;
        x_mult_(&a, &r, &r, prec);
        expect_valid(r);
        ASSERT_EQ(fields(r), reference_product(a, b, prec));
    }
}

// A quotient is the exact quotient truncated at its own last limb, and an
// inexact one holds exactly prec / 6 + 2 limbs.
TEST(Property, QuotientsAreTruncatedExactly) {
    std::mt19937_64 rng(SEED + 2);
    for (int round = 0; round < ROUNDS; ++round) {
        const int prec = std::uniform_int_distribution<int>(6, 200)(rng);
        const x_num a = operand(rng, prec);
        x_num b = operand(rng, prec);
        if (round % 3 == 0) b.ndgt = std::min(b.ndgt, 2); // short divisors too
        if (round % 8 == 1) { // a top limb of 1 over full limbs: quotient limbs near 2 x 10^6
            for (int i = 0; i + 1 < b.ndgt; ++i) b.dgt[i] = DM - 1;
            b.dgt[b.ndgt - 1] = 1;
        }
        while (b.dgt[b.ndgt - 1] == 0) b.dgt[b.ndgt - 1] = 1;
        SCOPED_TRACE(testing::Message() << "seed " << SEED + 2 << " round " << round << ": "
                                        << fields(a) << " / " << fields(b) << " at " << prec);
        x_num q = poisoned();
        ASSERT_EQ(x_div_(&a, &b, &q, prec), 1);
        expect_valid(q);
        ASSERT_EQ(q.sign, a.sign == b.sign ? '+' : '-');
        const Digits dq = digits_of(q), da = digits_of(a), db = digits_of(b);
        const long long eq = static_cast<long long>(q.esp) + b.esp;
        const long long e = std::min<long long>(eq, a.esp);
        const Digits low = scale10(mul(dq, db), eq - e);
        const Digits high = scale10(mul(add(dq, "1"), db), eq - e);
        const Digits num = scale10(da, a.esp - e);
        ASSERT_LE(cmp(low, num), 0);
        ASSERT_LT(cmp(num, high), 0);
        if (cmp(low, num) != 0) {
            ASSERT_EQ(q.ndgt, prec / 6 + 2);
        }
        ASSERT_EQ(fields(q), literal_quotient(a, b, prec));
    }
}

// Quotients that come out exact, or exact but for borrows, decide how many
// trailing zero limbs a result keeps: the same limbs as the step-by-step
// division, on dividends made as divisor times a short quotient.
TEST(Property, ExactQuotientsKeepTheirLimbLayout) {
    std::mt19937_64 rng(SEED + 4);
    for (int round = 0; round < ROUNDS; ++round) {
        const int prec = std::uniform_int_distribution<int>(6, 120)(rng);
        const x_num b = operand(rng, std::min(prec, 60));
        const x_num q = random_record(rng, std::uniform_int_distribution<int>(1, 3)(rng), -20, 20);
        x_num a;
        x_mult_(&b, &q, &a, 400);
        if (round % 5 == 0) a.dgt[0] = a.dgt[0] == 0 ? 1 : a.dgt[0] - 1; // just off exact
        x_num r = poisoned();
        x_div_(&a, &b, &r, prec);
        ASSERT_EQ(fields(r), literal_quotient(a, b, prec))
            << "round " << round << ": " << fields(a) << " / " << fields(b) << " at " << prec;
    }
    // the worked cases: 2 / 4 and 1 / 4 end with a trailing zero limb
    const x_num two = make('+', {2}, 0), one = make('+', {1}, 0), four = make('+', {4}, 0);
    EXPECT_EQ(literal_quotient(two, four, 30), (Fields{'+', {0, 500000}, -12}));
    EXPECT_EQ(literal_quotient(one, four, 30), (Fields{'+', {0, 250000}, -12}));
}

TEST(Property, ComparisonFollowsTheCutDifference) {
    std::mt19937_64 rng(SEED + 3);
    for (int round = 0; round < ROUNDS; ++round) {
        const int prec = std::uniform_int_distribution<int>(6, 200)(rng);
        const x_num a = operand(rng, prec);
        x_num b = a;
        if (round % 2 == 0)
            b.dgt[0] = b.dgt[0] == DM - 1 ? DM - 2 : b.dgt[0] + 1; // a neighbour
        else
            b = operand(rng, prec);
        const Fields d = reference_sum(a, b, b.sign == '-' ? '+' : '-', prec);
        const int want = d.limbs.empty() ? 0 : (d.sign == '-' ? -1 : 1);
        ASSERT_EQ(xcomp_(&a, &b, prec), want) << fields(a) << " vs " << fields(b) << " at " << prec;
    }
}

// Quotients at the programs' precisions, where they are formed two limbs at
// a time: the limbs of the step-by-step division on many more cases,
// dividends shorter and longer than the window the division reads,
// divisors of one limb and with a top limb of 1, and exact quotients.
TEST(Property, QuotientsAtTheProgramsPrecisions) {
    std::mt19937_64 rng(SEED + 9);
    static const int precs[] = {30, 30, 34, 36, 50, 54, 59, 60, 12, 1};
    for (int round = 0; round < 30000; ++round) {
        const int prec = precs[round % 10];
        const int most = std::min(SUB_DGT, prec / 6 + 2);
        const auto limbs = [&](int hi) { return std::uniform_int_distribution<int>(1, hi)(rng); };
        x_num a = random_record(rng, limbs(round % 4 == 0 ? SUB_DGT : most), -20, 20);
        x_num b = random_record(rng, limbs(round % 5 == 0 ? 1 : most), -20, 20);
        if (round % 8 == 1) { // a top limb of 1 over full limbs: large quotient digits
            for (int i = 0; i + 1 < b.ndgt; ++i) b.dgt[i] = DM - 1;
            b.dgt[b.ndgt - 1] = 1;
        }
        if (round % 7 == 3) x_mult_(&b, &a, &a, 400); // exact
        x_num q = poisoned(), qp = poisoned();
        x_div_(&a, &b, &q, prec);
        ASSERT_EQ(fields(q), literal_quotient(a, b, prec))
            << "round " << round << ": " << fields(a) << " / " << fields(b) << " at " << prec;
        x_divisor d; // a prepared divisor gives the same record, and so
        xdivisor_(&b, &d); // does a copy of it for the next dividend
        x_div_p_(&a, &d, &qp, prec);
        ASSERT_EQ(fields(qp), fields(q)) << "round " << round;
        const x_divisor copy = d;
        const x_num a2 = random_record(rng, limbs(most), -20, 20);
        x_div_(&a2, &b, &q, prec);
        x_div_p_(&a2, &copy, &qp, prec);
        ASSERT_EQ(fields(qp), fields(q)) << "round " << round << ", second dividend";
    }
}

// Magnitudes that agree far into their digits but sit differently in their
// limbs: the same value with its exponent moved by a few digits, and then
// a digit changed beyond the 16th. The comparison must read past the digits
// of the top limbs.
TEST(Property, ComparisonAcrossLimbAlignments) {
    std::mt19937_64 rng(SEED + 8);
    for (int round = 0; round < 20000; ++round) {
        const int prec = round % 2 == 0 ? 30 : std::uniform_int_distribution<int>(18, 60)(rng);
        const x_num a = random_record(rng, std::uniform_int_distribution<int>(3, 8)(rng), -20, 20);
        // b = a with its digits moved up k places and the exponent down k
        const int k = std::uniform_int_distribution<int>(1, 5)(rng);
        Digits d = digits_of(a);
        d.insert(d.end(), static_cast<std::size_t>(k), '0');
        if (round % 3 != 0) { // change one digit past the 16th
            const std::size_t at =
                std::uniform_int_distribution<std::size_t>(16, d.size() - 1)(rng);
            d[at] = static_cast<char>('0' + (d[at] - '0' + 1 + static_cast<int>(rng() % 9)) % 10);
        }
        x_num b = make({a.sign, limbs_of(trim(d)), a.esp - k});
        const Fields diff = reference_sum(a, b, b.sign == '-' ? '+' : '-', prec);
        const int want = diff.limbs.empty() ? 0 : (diff.sign == '-' ? -1 : 1);
        ASSERT_EQ(xcomp_(&a, &b, prec), want) << fields(a) << " vs " << fields(b) << " at " << prec;
    }
}

// The fused forms give the records of the product through a record of its
// own followed by the sum or difference, zero operands included.
TEST(Property, FusedMultiplyAddMatchesTheTwoSteps) {
    std::mt19937_64 rng(SEED + 5);
    for (int round = 0; round < ROUNDS; ++round) {
        const int prec = std::uniform_int_distribution<int>(6, 120)(rng);
        x_num a = operand(rng, prec), b = operand(rng, prec), acc = operand(rng, prec);
        if (round % 7 == 0) acc.ndgt = 0;
        if (round % 11 == 0) b.ndgt = 0;
        if (round % 5 == 0)
            acc.esp = a.esp + b.esp + std::uniform_int_distribution<int>(-10, 10)(rng);
        if (round % 13 == 0) // limbs all 0, ndgt above 0: a zero that still sets a grid
            std::fill(acc.dgt, acc.dgt + acc.ndgt, 0);
        x_num prod, want_add, want_sub;
        x_mult_(&a, &b, &prod, prec);
        x_add_(&acc, &prod, &want_add, prec);
        x_sub_(&acc, &prod, &want_sub, prec);
        x_num got_add = acc, got_sub = acc;
        x_mult_add_(&a, &b, &got_add, prec);
        x_mult_sub_(&a, &b, &got_sub, prec);
        SCOPED_TRACE(testing::Message() << "round " << round << ": " << fields(acc) << " +- "
                                        << fields(a) << " x " << fields(b) << " at " << prec);
        ASSERT_EQ(fields(got_add), fields(want_add));
        ASSERT_EQ(fields(got_sub), fields(want_sub));
        x_num alias = a; // the accumulator may be an operand
        x_add_(&a, &prod, &want_add, prec);
        x_mult_add_(&alias, &b, &alias, prec);
        ASSERT_EQ(fields(alias), fields(want_add));
    }
}

// The same at the programs' precisions and operand sizes, where the fixed-size
// multiply kernels run: many more cases, accumulators whose leading digit
// lies near the product's, sums that cancel exactly.
TEST(Property, FusedMultiplyAddAtTheProgramsPrecisions) {
    std::mt19937_64 rng(SEED + 6);
    static const int precs[] = {30, 30, 30, 34, 36, 50, 66, 1, 6, 7};
    for (int round = 0; round < 60000; ++round) {
        const int prec = precs[round % 10];
        const int most = std::min(12, prec / 6 + 2);
        auto limbs = [&] { return std::uniform_int_distribution<int>(1, most)(rng); };
        const x_num a = random_record(rng, limbs(), -20, 20),
                    b = random_record(rng, limbs(), -20, 20);
        x_num acc = random_record(rng, limbs(), -20, 20);
        x_num prod, want;
        x_mult_(&a, &b, &prod, prec);
        if (round % 3 == 0) { // the leading digits close together
            acc.esp = prod.esp + Xdigitcount(&prod) - Xdigitcount(&acc) +
                      std::uniform_int_distribution<int>(-3, 3)(rng);
        }
        if (round % 17 == 0) { // an exact cancellation
            acc = prod;
            acc.sign = prod.sign == '-' ? '+' : '-';
        }
        const bool sub = round % 2 == 1;
        if (sub)
            x_sub_(&acc, &prod, &want, prec);
        else
            x_add_(&acc, &prod, &want, prec);
        x_num got = acc;
        if (sub)
            x_mult_sub_(&a, &b, &got, prec);
        else
            x_mult_add_(&a, &b, &got, prec);
        ASSERT_EQ(fields(got), fields(want))
            << "round " << round << ": " << fields(acc) << (sub ? " - " : " + ") << fields(a)
            << " x " << fields(b) << " at " << prec;
    }
}

// A running sum gives the records of x_add_ term by term: terms of one
// length on close exponents (the sum runs at its precision, carries and
// cancellations on the way), now and then a zero, a far term or a term
// that cancels the sum, and a copy of the sum taken midway.
TEST(Property, RunningSumMatchesTheSums) {
    std::mt19937_64 rng(SEED + 9);
    static const int precs[] = {30, 50, 54, 55, 80, 120, 6, 19, 234};
    for (int round = 0; round < 900; ++round) {
        const int prec = precs[round % 9];
        const int most = std::min(SUB_DGT, prec / 6 + 2);
        const int len = std::uniform_int_distribution<int>(1, most)(rng);
        const int n = std::uniform_int_distribution<int>(1, 60)(rng);
        x_num want = random_record(rng, len, -2, 2);
        if (round % 5 == 0) xinit(&want, 0);
        SCOPED_TRACE(testing::Message() << "round " << round << " at " << prec);
        x_sum sum;
        xsum_(&sum, &want, prec);
        for (int r = 0; r < n; ++r) {
            x_num a = random_record(rng, len, -2, 2);
            if (r % 17 == 5) a = random_record(rng, most, -3 * prec, 3 * prec);
            if (r % 23 == 7) a.ndgt = 0;
            if (r % 29 == 11) {
                xsum_get_(&sum, &a);
                x_not_(&a);
            }
            x_add_(&want, &a, &want, prec);
            x_sum_add_(&sum, &a);
            if (r == n / 2) {
                const x_sum copy = sum;
                sum = copy;
            }
        }
        x_num got;
        xsum_get_(&sum, &got);
        ASSERT_EQ(fields(got), fields(want));
    }
    // A sum at the foot of its precision, 10^(prec - 1) in prec digits, and
    // terms of about one unit in its last place (and a digit below it) that
    // take it to prec - 1 digits and back, a run of them short of a carry:
    // held lazily, the sum must not be taken for one of prec digits, which
    // would cut the digit below (a running sum, and a dot product of the
    // terms by one).
    for (const int prec : {30, 120}) {
        x_num start = make('+', {}, 0);
        start.ndgt = prec / 6;
        for (int i = 0; i < start.ndgt; ++i) start.dgt[i] = 0;
        start.dgt[start.ndgt - 1] = 100000;
        const x_num one = make('+', {1}, 0);
        std::vector<x_num> units;
        for (const int step :
             {-1, 1, -1, -1, 1, 1, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 1, 2, -3})
            units.push_back(make(step < 0 ? '-' : '+', {10 * std::abs(step) + 7}, -1));
        x_num want = start;
        x_sum sum;
        xsum_(&sum, &start, prec);
        std::vector<x_prep> pu(units.size()), p1(units.size());
        for (std::size_t r = 0; r < units.size(); ++r) {
            x_add_(&want, &units[r], &want, prec);
            x_sum_add_(&sum, &units[r]);
            xprep_(&units[r], &pu[r]);
            xprep_(&one, &p1[r]);
        }
        x_num got, dot = start;
        xsum_get_(&sum, &got);
        x_dot_add_p_(pu.data(), p1.data(), static_cast<int>(units.size()), &dot, prec);
        EXPECT_EQ(fields(got), fields(want)) << prec;
        EXPECT_EQ(fields(dot), fields(want)) << prec;
    }
}
// Prepared factors give the records of the record forms: single products,
// runs of terms into one accumulator (zero factors, exact cancellations and
// zero accumulators on the way), at the precisions the word arithmetic
// takes and beyond it.
TEST(Property, PreparedFactorsMatchTheRecordForms) {
    std::mt19937_64 rng(SEED + 7);
    // and factors beyond 72 digits, held in words, at 100 and 150
    static const int precs[] = {30, 30, 34, 36, 50, 54, 55, 66, 6, 1, 18, 19, 100, 150};
    for (int round = 0; round < 7000; ++round) {
        const int prec = precs[round % 14];
        const int most = std::min(prec > 72 ? 27 : 12, prec / 6 + 2);
        auto limbs = [&] { return std::uniform_int_distribution<int>(1, most)(rng); };
        const int n = std::uniform_int_distribution<int>(1, round % 4 == 3 ? 60 : 24)(rng);
        // every fourth round: terms of one length on close exponents, so that
        // the sum runs at its precision with carries and cancellations
        const bool even = round % 4 == 3;
        const int la = limbs(), lb = limbs();
        std::vector<x_num> a(static_cast<std::size_t>(n)), b(a.size());
        for (int r = 0; r < n; ++r) {
            a[r] = random_record(rng, even ? la : limbs(), even ? -1 : -12, even ? 1 : 12);
            b[r] = random_record(rng, even ? lb : limbs(), even ? -1 : -12, even ? 1 : 12);
            if (rng() % 13 == 0) a[r].ndgt = 0;
        }
        x_num acc = random_record(rng, limbs(), -12, 12);
        if (round % 17 == 5) { // products whose exponent saturates, the sum at the bottom
            for (int r = 0; r < n; ++r) a[r].esp = b[r].esp = -1100000000 + a[r].esp;
            acc.esp = INT_MIN + 20;
        }
        if (round % 9 == 0) acc.ndgt = 0;
        if (round % 7 == 0 && a[0].ndgt != 0) { // the first term cancels the accumulator
            x_mult_(&a[0], &b[0], &acc, prec);
            x_not_(&acc);
        }
        std::vector<x_prep> pa(a.size()), pb(a.size());
        for (int r = 0; r < n; ++r) {
            xprep_(&a[r], &pa[r]);
            xprep_(&b[r], &pb[r]);
        }
        SCOPED_TRACE(testing::Message()
                     << "round " << round << " at " << prec << ": " << fields(acc));

        x_num want = acc, got = acc;
        for (int r = 0; r < n; ++r) x_mult_add_(&a[r], &b[r], &want, prec);
        x_dot_add_p_(pa.data(), pb.data(), n, &got, prec);
        ASSERT_EQ(fields(got), fields(want));

        x_num want_add = acc, want_sub = acc, got_add = acc, got_sub = acc;
        x_mult_add_(&a[0], &b[0], &want_add, prec);
        x_mult_sub_(&a[0], &b[0], &want_sub, prec);
        x_mult_add_p_(&pa[0], &pb[0], &got_add, prec);
        x_mult_sub_p_(&pa[0], &pb[0], &got_sub, prec);
        ASSERT_EQ(fields(got_add), fields(want_add));
        ASSERT_EQ(fields(got_sub), fields(want_sub));
    }
}

// A difference prepared without its record multiplies as the prepared
// record of x_sub_ does: operands far apart and close (a centred value),
// equal ones (a difference that cancels), at every precision a sum takes.
TEST(Property, PreparedDifferencesMultiplyAsTheirRecords) {
    std::mt19937_64 rng(SEED + 11);
    for (int round = 0; round < ROUNDS; ++round) {
        const int prec = std::uniform_int_distribution<int>(1, 240)(rng);
        const x_num a = operand(rng, prec), c = operand(rng, prec), acc = operand(rng, prec);
        const int most = std::min(SUB_DGT, prec / 6 + 2);
        x_num b = round % 5 == 0 ? a
                  : round % 2 == 0
                      ? random_record(rng, std::uniform_int_distribution<int>(1, most)(rng), a.esp - 12, a.esp + 12)
                      : operand(rng, prec);
        x_num d;
        x_sub_(&a, &b, &d, prec);
        x_prep want, got, pc;
        xprep_(&d, &want);
        xprep_sub_(&a, &b, &got, prec);
        xprep_(&c, &pc);
        x_num r1 = acc, r2 = acc;
        x_mult_add_p_(&want, &pc, &r1, prec);
        x_mult_add_p_(&got, &pc, &r2, prec);
        ASSERT_EQ(fields(r2), fields(r1)) << "round " << round << ": " << fields(a) << " - " << fields(b) << " at " << prec;
    }
}

// The matrix product on entries that entered from doubles (at most 16
// digits, where a kernel of its own runs from 24 digits on) gives the
// records of the product loop: x_mult_ then x_add_ from a sum that starts
// at zero. Entries stress the alignment: wide exponents, zeros, values on
// both sides of powers of ten, 16-digit mantissas, 18-digit ones (from
// text), and a column whose terms cancel in pairs.
TEST(Property, MatrixProductOfDoublesMatchesTheProductLoop) {
    std::mt19937_64 rng(2026);
    const auto entry = [&rng](int spread) {
        std::uniform_real_distribution<double> unit(0, 1);
        const double sign = unit(rng) < 0.5 ? -1 : 1;
        const auto power = [&] { return std::pow(10.0, std::uniform_int_distribution<int>(-spread, spread)(rng)); };
        switch (std::uniform_int_distribution<int>(0, 9)(rng)) {
        case 0: return 0.0;
        case 1: return sign * power();
        case 2: return sign * 9.999999999999999 * power();
        case 3: return sign * (1 + 1e-15) * power();
        default: return sign * std::pow(10.0, spread * (2 * unit(rng) - 1));
        }
    };
    static const int precs[] = {30, 24, 36, 23, 37, 60, 100, 234};
    for (int round = 0; round < 1000; ++round) {
        const int prec = precs[round % 8], spread = round % 3 == 0 ? 300 : (round % 3 == 1 ? 20 : 3);
        const int n = 3, l = 1 + round % 40, m = 9;
        x_num** a = xmatrix(1, n, 1, l);
        x_num** b = xmatrix(1, l, 1, m);
        x_num** c = xmatrix(1, n, 1, m);
        for (int i = 1; i <= n; ++i)
            for (int k = 1; k <= l; ++k) cvdx(&a[i][k], entry(spread), prec);
        for (int k = 1; k <= l; ++k)
            for (int j = 1; j <= m; ++j) cvdx(&b[k][j], entry(spread), prec);
        if (round % 5 == 0) { // 18 digits, the longest factors a one-word form holds
            cvsx("9.99999999999999999E+12", &a[1][1], prec);
            for (int j = 1; j <= m; ++j)
                cvsx(j % 2 == 0 ? "999999999999999999" : "-1.00000000000000001E-7", &b[1][j], prec);
        }
        for (int k = 2; k <= l; k += 2) { // column m cancels in pairs
            a[1][k] = a[1][k - 1];
            b[k][m] = b[k - 1][m];
            x_not_(&b[k][m]);
        }
        x_matmul_(a, n, l, b, m, c, prec);
        for (int i = 1; i <= n; ++i)
            for (int j = 1; j <= m; ++j) {
                x_num want, term;
                xinit(&want, 0);
                for (int k = 1; k <= l; ++k) {
                    x_mult_(&a[i][k], &b[k][j], &term, prec);
                    x_add_(&want, &term, &want, prec);
                }
                SCOPED_TRACE(testing::Message() << "round " << round << " at " << prec << ": C[" << i << "," << j << "]");
                ASSERT_EQ(fields(c[i][j]), fields(want));
            }
        free_xmatrix(a, 1, n, 1, l);
        free_xmatrix(b, 1, l, 1, m);
        free_xmatrix(c, 1, n, 1, m);
    }
}

// Square roots against the integer root of the digits scaled by an even
// power of ten: the first 6 (prec / 6 + 2) digits cut toward zero, in that
// many limbs, also into the operand's own record; exact squares, 10^12 - 1,
// odd and far exponents, 40 limbs of 999999, precisions below 1 and above
// 227 (acting as 1 and 227), random records at precisions up to 120 (the
// reference is slow). Zeros (a signed one, the undefined record) give
// zero, a negative number the undefined record.
TEST(Property, SquareRootsAreTruncatedExactly) {
    std::mt19937_64 rng(SEED + 11);
    x_num full = make('+', {1}, 0);
    full.ndgt = SUB_DGT;
    for (auto& d : full.dgt) d = DM - 1;
    std::vector<std::pair<x_num, int>> cases = {
        {make('+', {2}, 0), 30},
        {make('+', {4}, 0), 30},
        {make('+', {1}, -7), 5},
        {make('+', {999999, 999999}, 0), 30},
        {make('+', {25}, -1), 0},
        {make('+', {3}, -2147483000), 30},
        {full, 227},
        {full, 300},
    };
    for (int round = 0; round < 100; ++round) {
        x_num a =
            random_record(rng, std::uniform_int_distribution<int>(1, SUB_DGT)(rng), -300, 300);
        a.sign = '+';
        cases.emplace_back(a, std::uniform_int_distribution<int>(1, 120)(rng));
    }
    for (const auto& [a, prec] : cases) {
        SCOPED_TRACE(testing::Message() << "sqrt " << fields(a) << " at " << prec);
        const int q = std::clamp(prec, 1, 227) / 6 + 2;
        x_num r = poisoned();
        ASSERT_EQ(x_sqrt_(&a, &r, prec), 1);
        expect_valid(r);
        ASSERT_EQ(r.ndgt, q);
        ASSERT_GE(r.dgt[q - 1], 100000);
        // a x 10^(2j), an integer of 12q + 2 digits or more
        const Dec v = value_of(a);
        const long long j = std::max(
            (12LL * q + 2 - static_cast<long long>(v.mag.size()) - v.exp + 1) / 2, (1 - v.exp) / 2);
        const Dec root{false, isqrt(scale10(v.mag, v.exp + 2 * j)), -j};
        ASSERT_TRUE(same_value(value_of(r), truncate_to(root, static_cast<std::size_t>(6 * q))))
            << fields(r);
        x_num same = a;
        x_sqrt_(&same, &same, prec);
        ASSERT_EQ(fields(same), fields(r));
    }
    for (const Fields& f : {Fields{'-', {}, 9}, Fields{'?', {}, 0}, Fields{'-', {4}, 0}}) {
        const x_num a = make(f);
        x_num r = poisoned();
        EXPECT_EQ(x_sqrt_(&a, &r, 30), f.limbs.empty() ? 1 : 0) << f;
        EXPECT_EQ(r.sign, f.limbs.empty() ? '+' : '?') << f;
        EXPECT_EQ(r.ndgt, 0) << f;
    }
}
