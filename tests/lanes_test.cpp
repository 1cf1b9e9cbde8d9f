// lanes_test.cpp -- the lane kernels give every frame exactly as the one-sample path does
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/logo.h"
#include "app/screen.h"
#include "engine/batch.h"
#include "engine/frame.h"
#include "engine/kernels.h"
#include "tests/saver.h"
#include "view/display.h"
#include "view/viewstate.h"

namespace {

struct scene {
    double xmax, xmin, ymax, ymin, maxiter;
    int mode;
    double width;
    int quality, held, skip_coarse;
    bool debug;
    bool random_buffer;  // else the previous frame of the same view
};

struct outcome {
    std::vector<std::uint32_t> buffer;
    long long samples, steps;
    std::string lines;
};

// Renders the scene's frame on the given path from the given buffer.
outcome render(const scene &s, int path, const std::vector<std::uint32_t> &before)
{
    kernel_path = path;
    std::memcpy(screen, before.data(), before.size() * sizeof *screen);
    kernel_samples = kernel_steps = 0;
    blub = s.debug;
    if (s.debug)
        testing::internal::CaptureStdout();
    render_frame(describe_frame());
    outcome o;
    if (s.debug)
        o.lines = testing::internal::GetCapturedStdout();
    blub = 0;
    o.buffer.assign(screen, screen + SCREEN_PIXELS);
    o.samples = kernel_samples, o.steps = kernel_steps;
    return o;
}

// Sets up the scene and the buffer it starts from.
std::vector<std::uint32_t> prepare(const scene &s, std::mt19937 &rng)
{
    anz = 1;
    setkoords(s.xmin, s.xmax, s.ymin, s.ymax, s.maxiter, 1);
    do_julia = s.mode;
    setsize(s.width);
    highq = 1;
    buttons = 0;
    no_firstpass = 0;
    kernel_path = PATH_ONE_SAMPLE;
    render_frame(describe_frame());  // a previous frame, as the window would have it
    if (s.random_buffer) {
        // Few distinct values, so that comparisons find equal neighbours too.
        for (int i = 0; i < SCREEN_PIXELS; i++)
            screen[i] = rng() % 4 ? screen[i] : rng() % 3;
    }
    highq = s.quality, buttons = s.held, no_firstpass = s.skip_coarse;
    return std::vector<std::uint32_t>(screen, screen + SCREEN_PIXELS);
}

std::vector<scene> scenes()
{
    std::vector<scene> all = {
        {3, -3, 2.25, -2.25, 50, 0, 1024, 1, 0, 0, true, false},     // the default view, debug lines on
        {3, -3, 2.25, -2.25, 50, 1, 1024, 1, 0, 0, false, false},
        {3, -3, 2.25, -2.25, 50, 2, 1024, 1, 1, 0, false, false},    // coarse while zooming
        {1.5, 1.1, -1.23, -1.53, 400, 0, 1024, 1, 0, 0, false, false},  // deep, many samples at the limit
        {1.5, 1.1, -1.23, -1.53, 300, 0, 1024, 1, 0, 1, false, true},   // refinement of arbitrary contents
    };
    std::mt19937 rng(20261207);
    std::uniform_real_distribution<double> unit(-1, 1);
    const double widths[] = {1024, 1023, 1022, 1000, 800, 317.5, 130, 2, 0};
    for (int k = 0; k < 24; k++) {
        double cx = 1.5 * unit(rng), cy = 1.5 * unit(rng), half = std::pow(10.0, -3 * std::abs(unit(rng)));
        all.push_back({cx + half, cx - half, cy + 0.75 * half, cy - 0.75 * half, 20 + 80 * std::abs(unit(rng)),
                       int(rng() % 3), widths[rng() % std::size(widths)], int(rng() % 2), int(rng() % 2) * 4,
                       int(rng() % 2), rng() % 4 == 0, rng() % 2 == 0});
    }
    return all;
}

}  // namespace

TEST(Lanes, EveryPathLeavesTheWholeAllocationAsTheOneSamplePathDoes)
{
    state_saver saver;
    const int saved_path = kernel_path;
    create_logo();
    std::mt19937 rng(7);
    int compared = 0;
    for (const scene &s : scenes()) {
        const std::vector<std::uint32_t> before = prepare(s, rng);
        const outcome want = render(s, PATH_ONE_SAMPLE, before);
        for (int path : {PATH_AVX2, PATH_AVX512}) {
            if (!kernel_path_available(path))
                continue;
            const outcome got = render(s, path, before);
            SCOPED_TRACE(std::string(kernel_path_name(path)) + ", view " + std::to_string(s.xmax) + " " +
                         std::to_string(s.xmin) + " " + std::to_string(s.ymax) + " " + std::to_string(s.ymin) +
                         " limit " + std::to_string(s.maxiter) + " mode " + std::to_string(s.mode) + " width " +
                         std::to_string(s.width));
            EXPECT_EQ(got.samples, want.samples);
            EXPECT_EQ(got.steps, want.steps);
            EXPECT_EQ(got.lines, want.lines);
            size_t first_difference = 0;
            while (first_difference < want.buffer.size() &&
                   got.buffer[first_difference] == want.buffer[first_difference])
                first_difference++;
            EXPECT_EQ(first_difference, want.buffer.size()) << "first differing pixel";
            compared++;
        }
    }
    kernel_path = saved_path;
    if (compared == 0)
        GTEST_SKIP() << "this processor has no lane path to compare";
}

// The lane kernels return each sample's count, steps and last iterate as
// the point kernels do, also for limits of 0, 1 and below.
TEST(Lanes, EdgeLimitsMatchThePointKernels)
{
    state_saver saver;
    const int saved_path = kernel_path;
    for (int path : {PATH_AVX2, PATH_AVX512}) {
        if (!kernel_path_available(path))
            continue;
        for (int limit : {-5, 0, 1, 2, 50}) {
            for (bool julia : {false, true}) {
                kernel_path = path;
                std::uint32_t pixels[9] = {};
                const double xs[9] = {0, 2, 0, 1, 1e300, -2, 0.5, std::nan(""), 1e-310};
                const double ys[9] = {0, 0, 1, 0, 0, 0, 0.5, 0, 0};
                begin_samples(julia, limit, julia ? 0.3 : 0, julia ? -0.2 : 0);
                for (int k = 0; k < 9; k++)
                    want_sample(xs[k], ys[k], &pixels[k], SHAPE_ONE);
                flush_samples();
                for (int k = 0; k < 9; k++) {
                    std::uint32_t want = julia ? julia_point(xs[k], ys[k], 0.3, -0.2, limit)
                                               : mandel_point(xs[k], ys[k], 0, 0, limit);
                    EXPECT_EQ(pixels[k], want) << kernel_path_name(path) << " limit " << limit << " sample " << k;
                }
            }
        }
    }
    kernel_path = saved_path;
}
