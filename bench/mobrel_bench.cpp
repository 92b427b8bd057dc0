// The product of two 255 x 255 matrices, the largest the table buffer
// allows, at 30 digits: conversion to x_num, the product loop and the
// conversion of C back to double.
#include "mobrel/product.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <random>

namespace {

// Magnitudes log-uniform over 1e-3 .. 1e3 with random signs.
pipeline::DMatrix random_matrix(int rows, int cols, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> expo(-3, 3), coin(0, 1);
    pipeline::DMatrix m(rows, cols);
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j) m[i][j] = (coin(rng) < 0.5 ? -1 : 1) * std::pow(10.0, expo(rng));
    return m;
}

void BM_Product(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::mt19937_64 rng(1);
    const pipeline::Table a{random_matrix(n, n, rng), {}};
    const pipeline::DMatrix b = random_matrix(n, n, rng);
    for (auto _ : state) {
        const pipeline::XMatrix xb = pipeline::to_x(b, pipeline::DGT_MAX);
        const pipeline::DMatrix c(n, n);
        benchmark::DoNotOptimize(mobrel::multiply(a, xb, c));
        benchmark::DoNotOptimize(c[1][1]);
    }
    state.counters["products"] = benchmark::Counter(static_cast<double>(n) * n * n,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Product)->Arg(64)->Arg(255)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
