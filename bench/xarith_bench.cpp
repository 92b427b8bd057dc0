// The record operations on realistic operands: numbers that entered from
// 16-digit text, and full-length results of earlier operations, at 30
// digits (the programs' default) and at 60 and 100 (--digits).
#include "xarith/xarith.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int POOL = 1024;

// Operands: half from doubles (3 limbs), half full-length quotients.
std::vector<x_num> operands(int prec) {
    std::mt19937_64 rng(static_cast<std::uint64_t>(prec));
    std::uniform_real_distribution<double> expo(-3, 3), coin(0, 1);
    std::vector<x_num> v(POOL);
    for (int i = 0; i < POOL; ++i) {
        cvdx(&v[static_cast<std::size_t>(i)], (coin(rng) < 0.5 ? -1 : 1) * std::pow(10.0, expo(rng)), prec);
        if (i % 2 == 1) {
            x_num three;
            xinit(&three, 3);
            x_div_(&v[static_cast<std::size_t>(i)], &three, &v[static_cast<std::size_t>(i)], prec);
        }
    }
    return v;
}

template <int (*Op)(const x_num*, const x_num*, x_num*, int)> void BM_Op(benchmark::State& state) {
    const int prec = static_cast<int>(state.range(0));
    const std::vector<x_num> v = operands(prec);
    x_num r;
    std::size_t i = 0;
    for (auto _ : state) {
        Op(&v[i % POOL], &v[(i * 7 + 3) % POOL], &r, prec);
        benchmark::DoNotOptimize(r);
        ++i;
    }
}
BENCHMARK(BM_Op<x_add_>)->Name("x_add_")->Arg(30)->Arg(60)->Arg(100);
BENCHMARK(BM_Op<x_mult_>)->Name("x_mult_")->Arg(30)->Arg(60)->Arg(100);
BENCHMARK(BM_Op<x_div_>)->Name("x_div_")->Arg(30)->Arg(60)->Arg(100);

// acc = acc + a * b into a running sum, as the elimination and the sums of
// products use it.
void BM_MultAdd(benchmark::State& state) {
    const int prec = static_cast<int>(state.range(0));
    const std::vector<x_num> v = operands(prec);
    x_num acc = v[5];
    std::size_t i = 0;
    for (auto _ : state) {
        x_mult_add_(&v[i % POOL], &v[(i * 7 + 3) % POOL], &acc, prec);
        benchmark::DoNotOptimize(acc);
        ++i;
    }
}
BENCHMARK(BM_MultAdd)->Name("x_mult_add_")->Arg(30)->Arg(60)->Arg(100);

void BM_cvsx(benchmark::State& state) {
    const int prec = static_cast<int>(state.range(0));
    const char* texts[] = {"1.234567890123456E+002", "-9.876543210987654E-003", "5.000000000000000E-01"};
    x_num r;
    std::size_t i = 0;
    for (auto _ : state) {
        cvsx(texts[i++ % 3], &r, prec);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_cvsx)->Arg(30)->Arg(60)->Arg(100);

void BM_cvxs(benchmark::State& state) {
    const int prec = static_cast<int>(state.range(0));
    const std::vector<x_num> v = operands(prec);
    char buf[256];
    std::size_t i = 0;
    for (auto _ : state) {
        cvxs(buf, &v[i++ % POOL], prec);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_cvxs)->Arg(30)->Arg(60)->Arg(100);

void BM_cvxd(benchmark::State& state) {
    const std::vector<x_num> v = operands(30);
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(cvxd(&v[i++ % POOL], 30));
}
BENCHMARK(BM_cvxd);

} // namespace

BENCHMARK_MAIN();
