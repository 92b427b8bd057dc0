// The tridiagonal solver on the largest system the table buffer allows,
// n = 21845 with 3 right-hand sides, at 30 digits: conversion of A and B
// to x_num, the elimination and the conversion of X back to double; and
// the elimination alone.
#include "tarsik/xtarsik.h"

#include "pipeline/pipeline.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstring>
#include <random>

namespace {

struct Workload {
    pipeline::DMatrix a, b;
};

// Band rows s_i (l, d, u) with |d| = 1 and |l|, |u| log-uniform over
// 1e-3 .. 0.45, so every row is diagonally dominant; row scales s_i
// log-uniform over 1e-3 .. 1e3 in reciprocal pairs, so the determinant
// stays moderate. Right-hand sides log-uniform over 1e-3 .. 1e3, random
// signs everywhere.
Workload workload(int n, int m) {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> unit(0, 1);
    const auto sign = [&] { return unit(rng) < 0.5 ? -1.0 : 1.0; };
    const auto spread = [&](double lo, double hi) {
        return sign() * std::pow(10.0, lo + (hi - lo) * unit(rng));
    };
    Workload w{pipeline::DMatrix(n, 3), pipeline::DMatrix(n, m)};
    double e = 0;
    for (int i = 1; i <= n; ++i) {
        if (i % 2 == 1) e = -3 + 6 * unit(rng);
        const double s = std::pow(10.0, i % 2 == 1 ? e : -e);
        w.a[i][2] = sign() * s;
        w.a[i][1] = spread(-3, std::log10(0.45)) * s;
        w.a[i][3] = spread(-3, std::log10(0.45)) * s;
    }
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= m; ++j) w.b[i][j] = spread(-3, 3);
    return w;
}

void BM_Tarsik(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0)), m = static_cast<int>(state.range(1));
    const Workload w = workload(n, m);
    const pipeline::DMatrix x(n, m);
    for (auto _ : state) {
        const pipeline::XMatrix xa = pipeline::to_x(w.a, pipeline::DGT_MAX);
        const pipeline::XMatrix xb = pipeline::to_x(w.b, pipeline::DGT_MAX);
        x_num det;
        if (xtarsik(xa.get(), n, xb.get(), m, &det, pipeline::DGT_MAX) == 0)
            state.SkipWithError("singular");
        benchmark::DoNotOptimize(pipeline::to_doubles(xb, x, "X"));
        benchmark::DoNotOptimize(x[n][m]);
    }
    state.counters["rows"] = benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Tarsik)->Args({21845, 3})->Args({2731, 3})->Unit(benchmark::kMillisecond);

// The elimination alone, on fresh copies made outside the timing.
void BM_XTarsik(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0)), m = static_cast<int>(state.range(1));
    const Workload w = workload(n, m);
    const pipeline::XMatrix a0 = pipeline::to_x(w.a, pipeline::DGT_MAX);
    const pipeline::XMatrix b0 = pipeline::to_x(w.b, pipeline::DGT_MAX);
    const pipeline::XMatrix a(n, 3), b(n, m);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(&a[1][1], &a0[1][1], sizeof(x_num) * 3 * static_cast<std::size_t>(n));
        std::memcpy(&b[1][1], &b0[1][1],
                    sizeof(x_num) * static_cast<std::size_t>(m) * static_cast<std::size_t>(n));
        state.ResumeTiming();
        x_num det;
        benchmark::DoNotOptimize(xtarsik(a.get(), n, b.get(), m, &det, pipeline::DGT_MAX));
    }
    state.counters["rows"] = benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_XTarsik)->Args({21845, 3})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
