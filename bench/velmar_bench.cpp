// The regression on the two full-size workloads: X of 320 rows x 200
// columns at degree 1 (30 digits), and one column of 65535 rows at degree
// 10 (50 digits). Each iteration runs every stage after loading: design
// matrix, conversion of Y, centres, normal equations, xgaussj, intercept,
// result column and R^2.
#include "velmar/regress.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <random>

namespace {

struct Workload {
    pipeline::DMatrix x, y;
};

// Random data of the shape asked for: at degree 1 magnitudes log-uniform
// over 1e-3 .. 1e3 with random signs, above it values uniform in (-2, 2)
// so that the powers stay moderate; Y a random combination of the design
// columns plus noise of 1% of the signal's root mean square.
Workload workload(int rows, int cols, int degree) {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> unit(0, 1);
    const auto spread = [&](double lo, double hi) {
        return (unit(rng) < 0.5 ? -1 : 1) * std::pow(10.0, lo + (hi - lo) * unit(rng));
    };
    Workload w{pipeline::DMatrix(rows, cols), pipeline::DMatrix(rows, 1)};
    for (int i = 1; i <= rows; ++i)
        for (int j = 1; j <= cols; ++j)
            w.x[i][j] = degree == 1 ? spread(-3, 3) : -2 + 4 * unit(rng);
    const double b0 = spread(-1, 1);
    std::vector<double> b(static_cast<std::size_t>(cols * degree));
    for (double& v : b) v = spread(-1, 1);
    double sum_sq = 0;
    for (int i = 1; i <= rows; ++i) {
        double s = b0;
        for (int p = 0; p < degree; ++p)
            for (int j = 1; j <= cols; ++j)
                s += b[static_cast<std::size_t>(p * cols + j - 1)] * std::pow(w.x[i][j], p + 1);
        w.y[i][1] = s;
        sum_sq += s * s;
    }
    const double rms = std::sqrt(sum_sq / rows);
    for (int i = 1; i <= rows; ++i) w.y[i][1] += 0.01 * rms * (2 * unit(rng) - 1);
    return w;
}

void BM_Regression(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0)), cols = static_cast<int>(state.range(1));
    const int degree = static_cast<int>(state.range(2));
    const int dgt_max = velmar::precision(degree);
    const Workload w = workload(rows, cols, degree);
    for (auto _ : state) {
        const velmar::Design xX = velmar::design_matrix(w.x, degree, dgt_max);
        const pipeline::XMatrix xY = pipeline::to_x(w.y, dgt_max);
        const auto sol = velmar::solve(xX, xY, std::nullopt, dgt_max);
        if (!sol) {
            state.SkipWithError("singular normal matrix");
            return;
        }
        const pipeline::DMatrix out(xX.cols() + 1, 1);
        benchmark::DoNotOptimize(velmar::result_column(*sol, std::nullopt, out, dgt_max));
        const velmar::Squares sq = velmar::r_squared(xX, xY, *sol, dgt_max);
        benchmark::DoNotOptimize(sq);
    }
    const double mx = static_cast<double>(cols) * degree;
    state.counters["normal products"] =
        benchmark::Counter(rows * mx * (mx + 1) / 2, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Regression)
    ->ArgNames({"rows", "cols", "degree"})
    ->Args({320, 200, 1})
    ->Args({65535, 1, 10})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
