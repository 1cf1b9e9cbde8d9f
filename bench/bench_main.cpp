// bench_main.cpp -- iteration steps per second of the kernels over whole views
#include <benchmark/benchmark.h>

#include "app/palette.h"
#include "engine/kernels.h"

namespace {

// A view as the explorer holds it: centre, signed half-extents, limit.
struct view {
    double xmit, ymit, xstep, ystep;
    int maxiter;
};

const view default_view = {0, 0, -3.0, -2.2500000000000004, 50};
// A deeper parameter-plane view where many samples run to the limit.
const view deep_view = {1.30078125, -1.3828125, -0.2, -0.15, 1000};

// Runs the kernel over every pixel position of the 1024 x 768 grid and
// reports the iteration steps and samples it computed.
template <class Kernel>
void run_view(benchmark::State &state, const view &v, Kernel kernel)
{
    make_palette();
    const double x0 = v.xmit - v.xstep, dx = 2 * v.xstep / 1024;
    const double y0 = v.ymit + v.ystep, dy = 2 * v.ystep / 768;
    long long steps = 0, samples = 0;
    for (auto _ : state) {
        std::uint32_t sum = 0;
        for (int j = 0; j < 768; j++)
            for (int i = 0; i < 1024; i++) {
                orbit o = kernel(x0 + i * dx, y0 - j * dy, v.maxiter);
                sum += o.n;
                steps += o.steps;
            }
        samples += 1024 * 768;
        benchmark::DoNotOptimize(sum);
    }
    state.counters["steps/s"] = benchmark::Counter(double(steps), benchmark::Counter::kIsRate);
    state.counters["steps/sample"] = double(steps) / double(samples);
}

void parameter_default(benchmark::State &state)
{
    run_view(state, default_view, [](double x, double y, int m) { return mandel_orbit(x, y, 0, 0, m); });
}
void dynamic_default(benchmark::State &state)
{
    run_view(state, default_view, [](double x, double y, int m) { return julia_orbit(x, y, 0, 0, m); });
}
void parameter_deep(benchmark::State &state)
{
    run_view(state, deep_view, [](double x, double y, int m) { return mandel_orbit(x, y, 0, 0, m); });
}

}  // namespace

BENCHMARK(parameter_default)->Unit(benchmark::kMillisecond);
BENCHMARK(dynamic_default)->Unit(benchmark::kMillisecond);
BENCHMARK(parameter_deep)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
