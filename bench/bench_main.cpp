// bench_main.cpp -- kernel throughput over whole views, and whole frames as the explorer renders them
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/logo.h"
#include "app/palette.h"
#include "app/screen.h"
#include "bench/ceiling.h"
#include "engine/batch.h"
#include "engine/frame.h"
#include "engine/kernels.h"
#include "engine/reference.h"
#include "engine/workers.h"
#include "view/display.h"
#include "view/idle.h"
#include "view/viewstate.h"

namespace {

// A view as the explorer holds it: centre, signed half-extents, limit;
// set whole, or from the bounds as the command line gives them (a view too
// deep for bounds to name is set whole).
struct view {
    double xmit, ymit, xstep, ystep;
    int maxiter;
    bool whole = false;
};

void set_view(const view &v)
{
    setkoords(v.xmit + v.xstep, v.xmit - v.xstep, v.ymit + v.ystep, v.ymit - v.ystep, v.maxiter, 1);
    if (v.whole) {
        xmit = jxmit = v.xmit, ymit = jymit = v.ymit;
        xstep = jxstep = v.xstep, ystep = jystep = v.ystep;
    }
}

const view default_view = {0, 0, -3.0, -2.2500000000000004, 50};
// A deeper parameter-plane view where many samples run to the limit.
const view deep_view = {1.30078125, -1.3828125, -0.2, -0.15, 1000};
// A parameter-plane view 1e-17 of the default's width, on the boundary
// that --aim finds from the wave: past what doubles resolve.
const view deeper_view = {1.0023251137689426, 0.31264189656381599, -3e-17, -2.25e-17, 1000, true};

// This core's limits, measured once before the benchmarks run, for each
// SIMD path it has (index: the path).
core_limits limits[PATH_AVX512 + 1];
bool have_limits[PATH_AVX512 + 1];

// The limits of one path measured again, just before a benchmark that
// compares with them: this machine's speed drifts over a run.
void measure_limits_of(int path)
{
    if (path == PATH_AVX512)
        limits[path] = measure_limits_avx512();
    else if (path == PATH_AVX2 && have_limits[PATH_AVX512]) {
        // AVX2's 16 registers limit the measurement, not the core: the
        // wider register file gives the core's own 4-double limit.
        const core_limits narrow = measure_limits_avx2(), wide = measure_limits_avx2_wide();
        limits[path] = wide.parameter_step < narrow.parameter_step ? wide : narrow;
    } else if (path == PATH_AVX2)
        limits[path] = measure_limits_avx2();
}

void measure_limits()
{
    have_limits[PATH_AVX512] = kernel_path_available(PATH_AVX512);
    have_limits[PATH_AVX2] = kernel_path_available(PATH_AVX2);
    for (int path : {PATH_AVX2, PATH_AVX512})
        if (have_limits[path])
            measure_limits_of(path);
}

int lanes_of(int path)
{
    return path == PATH_AVX512 ? 8 : 4;
}

// The most lane steps per second a path's kernel could compute on this
// core: the step's operations at their measured throughput, or each kind
// of operation alone where that binds harder.
double bound_of(int path, bool julia)
{
    const core_limits &l = limits[path];
    const step_ops o = julia ? dynamic_step_ops : parameter_step_ops;
    // Where the step itself ran faster than the mix measured (the mix's
    // chains could not keep every port busy), the step's time bounds.
    double ns = julia ? l.dynamic_step : std::min(l.parameter_step, l.parameter_chained);
    for (double alone : {o.div * l.div, o.mul * l.mul, o.add * l.add})
        ns = alone > ns ? alone : ns;
    return lanes_of(path) / ns * 1e9;
}

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

// The lane kernels alone over every pixel of a view, fed through the same
// queue as the passes use, without the passes around them. In double-double
// the positions are offsets from the view's centre, as in a deep frame: the
// same samples, up to the last bit of their positions.
void run_view_lanes(benchmark::State &state, const view &v, bool deep)
{
    make_palette();
    kernel_path = int(state.range(0));
    static std::vector<std::uint32_t> out(1024 * 768);
    const double x0 = (deep ? 0 : v.xmit) - v.xstep, dx = 2 * v.xstep / 1024;
    const double y0 = (deep ? 0 : v.ymit) + v.ystep, dy = 2 * v.ystep / 768;
    static sample_queue q;
    long long steps = 0, lane_steps = 0;
    if (have_limits[kernel_path])
        measure_limits_of(kernel_path);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        begin_samples(q, false, v.maxiter, 0, 0);
        if (deep)
            deepen_samples(q, {v.xmit, 0}, {v.ymit, 0}, {0, 0}, {0, 0});
        for (int j = 0; j < 768; j++)
            for (int i = 0; i < 1024; i++)
                want_sample(q, x0 + i * dx, y0 - j * dy, &out[j * 1024 + i], SHAPE_ONE);
        flush_samples(q);
        steps += q.steps;
        lane_steps += q.lane_steps;
    }
    state.counters["steps/s"] = benchmark::Counter(double(steps), benchmark::Counter::kIsRate);
    state.counters["lane steps/s"] = benchmark::Counter(double(lane_steps), benchmark::Counter::kIsRate);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (have_limits[kernel_path] && !deep)
        state.counters["% of bound"] = double(steps) / seconds * 100 / bound_of(kernel_path, false);
}

void lanes_parameter_default(benchmark::State &state) { run_view_lanes(state, default_view, false); }
void lanes_parameter_deep(benchmark::State &state) { run_view_lanes(state, deep_view, false); }
void lanes_dd_parameter_default(benchmark::State &state) { run_view_lanes(state, default_view, true); }
void lanes_dd_parameter_deep(benchmark::State &state) { run_view_lanes(state, deep_view, true); }

// One frame of the view through the frame renderer, as the display
// callback renders it: refined, or coarse as while a button is held. The
// arguments are the evaluation path and the threads.
// With zooming, each frame is one zoom step in from the one before, as
// while the left button is held (the limit growing by 2 % a step, the
// reference orbit kept or found again as the view asks), starting over
// from the view every 20 frames.
void run_frame(benchmark::State &state, const view &v, int mode, bool coarse, int how = PRECISION_AUTO,
               bool zooming = false)
{
    precision = how;
    kernel_path = int(state.range(0));
    render_threads = int(state.range(1));
    if (!screen) {
        alloc_screen();
        make_palette();
        create_logo();
    }
    anz = 1;
    highq = 1;
    setsize(1024);
    set_view(v);
    do_julia = mode;
    buttons = coarse ? 1 : 0;
    render_frame(describe_frame());  // the previous frame, which the reads past the strip see
    if (have_limits[kernel_path])
        measure_limits_of(kernel_path);
    kernel_samples = kernel_steps = kernel_lane_steps = kernel_lane_ns = kernel_fallbacks = reference_steps = 0;
    kernel_timing = true;
    int frame = 0;
    for (auto _ : state) {
        if (zooming && frame++ % 20 == 0)
            set_view(v);
        if (zooming)
            zoom_step(1);
        render_frame(describe_frame());
    }
    kernel_timing = false;
    precision = PRECISION_AUTO;
    state.counters["samples/frame"] = double(kernel_samples) / double(state.iterations());
    if (kernel_fallbacks || reference_steps) {
        state.counters["fallbacks/frame"] = double(kernel_fallbacks) / double(state.iterations());
        state.counters["reference steps/frame"] = double(reference_steps) / double(state.iterations());
    }
    state.counters["steps/s"] = benchmark::Counter(double(kernel_steps), benchmark::Counter::kIsRate);
    if (kernel_path != PATH_ONE_SAMPLE) {
        const double per_frame = 1.0 / double(state.iterations());
        state.counters["kernel ns"] = double(kernel_lane_ns) * per_frame;
        state.counters["steps"] = double(kernel_steps) * per_frame;
        state.counters["lane steps"] = double(kernel_lane_steps) * per_frame;
        if (have_limits[kernel_path])
            state.counters["bound"] = bound_of(kernel_path, mode != 0);
    }
}

// Every frame scene and the lane kernels, once per evaluation path this
// processor has; the argument is the path.
void register_frames()
{
    struct frame_scene {
        const char *name;
        const view *v;
        int mode;
        bool coarse;
        int precision = PRECISION_AUTO;
        bool zooming = false;
    };
    // The deep frame once more in double-double and by perturbation: what
    // a view past the reach of doubles costs, with the same samples as in
    // doubles. A view past that reach by perturbation (auto) and in
    // double-double, refined, coarse, and coarse while zooming in.
    static const frame_scene scenes[] = {
        {"frame/parameter/refined", &default_view, 0, false}, {"frame/parameter/coarse", &default_view, 0, true},
        {"frame/dynamic/refined", &default_view, 1, false},   {"frame/dynamic/coarse", &default_view, 1, true},
        {"frame/deep/refined", &deep_view, 0, false},         {"frame/deep/coarse", &deep_view, 0, true},
        {"frame/deep-dd/refined", &deep_view, 0, false, PRECISION_DOUBLE_DOUBLE},
        {"frame/deep-pt/refined", &deep_view, 0, false, PRECISION_PERTURBATION},
        {"frame/deeper/refined", &deeper_view, 0, false},
        {"frame/deeper-dd/refined", &deeper_view, 0, false, PRECISION_DOUBLE_DOUBLE},
        {"frame/deeper/coarse", &deeper_view, 0, true},
        {"frame/deeper-dd/coarse", &deeper_view, 0, true, PRECISION_DOUBLE_DOUBLE},
        {"frame/deeper-zoom/coarse", &deeper_view, 0, true, PRECISION_AUTO, true},
        {"frame/deeper-zoom-dd/coarse", &deeper_view, 0, true, PRECISION_DOUBLE_DOUBLE, true},
    };
    for (auto [name, fn] : {std::pair{"lanes_parameter_default", &lanes_parameter_default},
                            std::pair{"lanes_parameter_deep", &lanes_parameter_deep},
                            std::pair{"lanes_dd_parameter_default", &lanes_dd_parameter_default},
                            std::pair{"lanes_dd_parameter_deep", &lanes_dd_parameter_deep}}) {
        auto *b = benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMillisecond)->ArgName("path");
        for (int path : {PATH_AVX2, PATH_AVX512})
            if (kernel_path_available(path))
                b->Arg(path);
    }
    std::vector<int> thread_counts = {1};
    for (int t : {2, usable_cpus()})
        if (t > thread_counts.back())
            thread_counts.push_back(t);
    for (const frame_scene &f : scenes) {
        auto *b = benchmark::RegisterBenchmark(
            f.name, [&f](benchmark::State &state) { run_frame(state, *f.v, f.mode, f.coarse, f.precision, f.zooming); });
        b->Unit(benchmark::kMillisecond)->ArgNames({"path", "threads"})->UseRealTime();
        for (int path : {PATH_ONE_SAMPLE, PATH_AVX2, PATH_AVX512})
            if (kernel_path_available(path))
                for (int threads : thread_counts)
                    b->Args({path, threads});
    }
}

// What the thread counts run on: logical CPUs may share a physical core,
// where throughput-bound code cannot scale.
void print_topology()
{
    std::printf("\nCPUs this process may use: %d\n", usable_cpus());
    if (std::FILE *p = popen("lscpu 2>/dev/null", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, p))
            for (const char *key : {"Model name:", "Socket(s):", "Core(s) per socket:", "Thread(s) per core:"})
                if (std::strncmp(line, key, std::strlen(key)) == 0)
                    std::fputs(line, stdout);
        pclose(p);
    }
}

// The console report, followed by each frame's speed-up over the
// one-sample path of the same scene in this run.
class ratio_reporter : public benchmark::ConsoleReporter {
public:
    // With --benchmark_repetitions the median of the repetitions stands for
    // the scene; these shared machines vary from one run to the next.
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            const std::string name = r.run_name.str();
            const bool single = r.run_type == Run::RT_Iteration && r.repetitions <= 1;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if ((single || median) && name.rfind("frame/", 0) == 0) {
                times_.push_back({name, r.GetAdjustedRealTime()});
                if (r.counters.count("bound") && name.find("/threads:1/") != std::string::npos)
                    shares_.push_back({name, r.GetAdjustedRealTime(), r.counters.at("kernel ns").value * 1e-6,
                                       r.counters.at("steps").value, r.counters.at("lane steps").value,
                                       r.counters.at("bound").value});
            }
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        if (times_.empty())
            return;
        print_topology();
        std::printf("\n%-28s %-11s %7s %10s %13s %13s\n", "frame", "path", "threads", "ms", "vs one-sample",
                    "vs 1 thread");
        for (const auto &[name, ms] : times_) {
            const size_t cut = name.rfind("/path:"), threads_at = name.find("/threads:", cut);
            const std::string scene = name.substr(0, cut);
            const int path = std::atoi(name.c_str() + cut + 6), threads = std::atoi(name.c_str() + threads_at + 9);
            const double one_sample = time_of(scene, 0, threads), one_thread = time_of(scene, path, 1);
            std::printf("%-28s %-11s %7d %10.2f %12.1fx %12.2fx\n", scene.c_str(), kernel_path_name(path), threads, ms,
                        one_sample > 0 ? one_sample / ms : 0.0, one_thread > 0 ? one_thread / ms : 0.0);
        }
        print_shares();
    }

private:
    // One thread's frame on a SIMD path: the frame time and the time inside
    // the lane kernels (ms), the iteration steps and the lane steps, and the
    // bound measured just before (lane steps per second).
    struct share {
        std::string name;
        double ms, kernel_ms, steps, lane_steps, bound;
    };

    // Where the time of each one-thread frame goes, against this core's
    // bound measured just before it: the steps at the bound's speed, the lane steps computed for
    // lanes already finished or idle at the same speed, the rest of the
    // kernels' time (looks, refills, masks, waiting), and the passes' own
    // work outside the kernels.
    void print_shares() const
    {
        if (shares_.empty())
            return;
        std::printf("\n%-28s %-7s %9s %11s %11s %9s %11s %11s %11s\n", "one thread", "path", "ms", "in kernels",
                    "of bound", "steps", "waste", "kernel own", "passes");
        for (const share &f : shares_) {
            const size_t cut = f.name.rfind("/path:");
            const int path = std::atoi(f.name.c_str() + cut + 6);
            const double bound_ms = 1e3 / f.bound, steps_ms = f.steps * bound_ms;
            const double waste_ms = (f.lane_steps - f.steps) * bound_ms;
            auto pct = [&f](double ms) { return 100 * ms / f.ms; };
            std::printf("%-28s %-7s %9.2f %10.0f%% %10.0f%% %8.0f%% %10.0f%% %10.0f%% %10.0f%%\n",
                        f.name.substr(0, cut).c_str(), kernel_path_name(path), f.ms, pct(f.kernel_ms),
                        100 * steps_ms / f.kernel_ms, pct(steps_ms), pct(waste_ms),
                        pct(f.kernel_ms - steps_ms - waste_ms), pct(f.ms - f.kernel_ms));
        }
        std::printf("(of bound: the steps at this core's bound against the kernels' time; the other columns share "
                    "out the frame time)\n");
    }

    // The time of a scene on a path and a thread count in this run, or 0.
    double time_of(const std::string &scene, int path, int threads) const
    {
        const std::string name =
            scene + "/path:" + std::to_string(path) + "/threads:" + std::to_string(threads) + "/real_time";
        for (const auto &[other, ms] : times_)
            if (other == name)
                return ms;
        return 0;
    }

    std::vector<std::pair<std::string, double>> times_;
    std::vector<share> shares_;
};

}  // namespace

BENCHMARK(parameter_default)->Unit(benchmark::kMillisecond);
BENCHMARK(dynamic_default)->Unit(benchmark::kMillisecond);
BENCHMARK(parameter_deep)->Unit(benchmark::kMillisecond);

// This core's limits: each operation alone, the step's mix, and the bound
// they give each lane kernel.
void print_limits()
{
    std::printf("This core, ns per vector operation (independent chains) and the lane step's bound:\n");
    std::printf("%-8s %7s %7s %7s %15s %15s %16s %14s %20s\n", "path", "div", "mul", "add", "parameter step",
                "dynamic step", "parameter bound", "dynamic bound", "step alone, 4 groups");
    for (int path : {PATH_AVX2, PATH_AVX512})
        if (have_limits[path]) {
            const core_limits &l = limits[path];
            const double alone = lanes_of(path) / l.parameter_chained * 1e9;
            std::printf("%-8s %7.3f %7.3f %7.3f %12.3f ns %12.3f ns %12.0f M/s %10.0f M/s %8.0f M/s, %3.0f %%\n",
                        kernel_path_name(path), l.div, l.mul, l.add, l.parameter_step, l.dynamic_step,
                        bound_of(path, false) / 1e6, bound_of(path, true) / 1e6, alone / 1e6,
                        100 * alone / bound_of(path, false));
        }
    std::printf("(a step: %d divisions, %d multiplications, %d additions in the parameter plane; %d, %d, %d in the "
                "dynamic plane.\n The step alone: the parameter-plane step on four groups in turn, without tests or "
                "masks, against the bound.)\n\n",
                parameter_step_ops.div, parameter_step_ops.mul, parameter_step_ops.add, dynamic_step_ops.div,
                dynamic_step_ops.mul, dynamic_step_ops.add);
}

int main(int argc, char **argv)
{
    register_frames();
    benchmark::Initialize(&argc, argv);
    measure_limits();
    print_limits();
    ratio_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
