// lanes_test.cpp -- every path and every thread count give every frame exactly as the one-sample path on one thread does
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/logo.h"
#include "app/screen.h"
#include "engine/batch.h"
#include "engine/colouring.h"
#include "engine/frame.h"
#include "engine/kernels.h"
#include "engine/reference.h"
#include "engine/strip.h"
#include "engine/workers.h"
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
    double zx = 0, zy = 0;
    int precision = PRECISION_AUTO;
    double xlo = 0, ylo = 0;  // low parts of both views' centres
    int colouring = COLOURING_COUNT;
};

// How a frame is computed: the evaluation path, the threads the passes are
// spread over, and whether the block rows are handed out from the top down.
struct engine_setup {
    int path;
    int threads;
    bool top_down = false;
};

struct outcome {
    std::vector<std::uint32_t> buffer;
    long long samples, steps;
    std::string lines;
};

// Renders the scene's frame the given way from the given buffer. The
// outcome's buffer is reused from frame to frame: thousands of frames are
// compared, under the sanitizers too, and fresh allocations of the whole
// picture would cost more than the frames.
const outcome &render(const scene &s, engine_setup e, const std::vector<std::uint32_t> &before,
                      outcome &o)
{
    kernel_path = e.path;
    render_threads = e.threads;
    bands_top_down = e.top_down;
    std::memcpy(screen, before.data(), before.size() * sizeof *screen);
    kernel_samples = kernel_steps = 0;
    blub = s.debug;
    if (s.debug)
        testing::internal::CaptureStdout();
    render_frame(describe_frame());
    o.lines.clear();
    if (s.debug)
        o.lines = testing::internal::GetCapturedStdout();
    blub = 0;
    bands_top_down = 0;
    o.buffer.assign(screen, screen + SCREEN_PIXELS);
    o.samples = kernel_samples, o.steps = kernel_steps;
    return o;
}

// Sets up the scene and the buffer it starts from.
void prepare(const scene &s, std::mt19937 &rng, std::vector<std::uint32_t> &before)
{
    anz = 1;
    setkoords(s.xmin, s.xmax, s.ymin, s.ymax, s.maxiter, 1);
    xmit_lo = jxmit_lo = s.xlo, ymit_lo = jymit_lo = s.ylo;
    precision = s.precision;
    colouring = s.colouring;
    prepare_colouring();
    ZX = s.zx, ZY = s.zy;
    do_julia = s.mode;
    setsize(s.width);
    highq = 1;
    buttons = 0;
    no_firstpass = 0;
    kernel_path = PATH_ONE_SAMPLE;
    render_threads = 1;
    render_frame(describe_frame());  // a previous frame, as the window would have it
    if (s.random_buffer) {
        // Few distinct values, so that comparisons find equal neighbours too.
        for (int i = 0; i < SCREEN_PIXELS; i++)
            screen[i] = rng() % 4 ? screen[i] : rng() % 3;
    }
    highq = s.quality, buttons = s.held, no_firstpass = s.skip_coarse;
    before.assign(screen, screen + SCREEN_PIXELS);
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
    // Double-double, in narrower viewports as it costs more: views that
    // doubles resolve, forced, with the debug lines; and views 1e-20 wide,
    // in every mode, about centres with low parts.
    for (scene deep : {all[0], all[2], all[3]}) {
        deep.precision = PRECISION_DOUBLE_DOUBLE;
        deep.width = 130;
        all.push_back(deep);
        deep.precision = PRECISION_PERTURBATION;
        deep.width = 317.5;
        all.push_back(deep);
    }
    const double x = 1.3026, y = -1.3802, half = 1e-20;
    for (int mode : {0, 1, 2})
        all.push_back({x + half, x - half, y + half, y - half, 200, mode, 317.5, 1, 0, 0, mode == 0, false, 0, 0,
                       PRECISION_AUTO, 3.5e-17, -1.25e-17});
    // The smooth and basin colourings, whose colours come from the moves
    // the kernels report as well: in doubles and by perturbation, in a view
    // deeper than doubles resolve and forced where some samples go on in
    // double-double.
    scene smooth = all[3], basin = all.back(), forced = all[3];
    smooth.colouring = COLOURING_SMOOTH, basin.colouring = COLOURING_BASIN;
    forced.colouring = COLOURING_SMOOTH, forced.precision = PRECISION_PERTURBATION, forced.width = 317.5;
    all.push_back(smooth), all.push_back(basin), all.push_back(forced);
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

// The thread counts every frame is compared at: 1 to 2 x the cores here
// (at least 1 to 4), and 7, more than most machines have cores.
std::vector<int> thread_counts()
{
    std::vector<int> counts;
    for (int t = 1; t <= std::max(4, 2 * usable_cpus()); t++)
        counts.push_back(t);
    if (counts.back() < 7)
        counts.push_back(7);
    return counts;
}

std::vector<int> available_paths()
{
    std::vector<int> paths;
    for (int path : {PATH_ONE_SAMPLE, PATH_AVX2, PATH_AVX512})
        if (kernel_path_available(path))
            paths.push_back(path);
    return paths;
}

std::string describe(const scene &s, engine_setup e)
{
    char text[320];
    std::snprintf(text, sizeof text,
                  "%s on %d thread(s)%s; view %.17g %.17g %.17g %.17g limit %.17g mode %d width %g z0 %g,%g "
                  "highq %d buttons %d skip coarse %d debug %d random buffer %d",
                  kernel_path_name(e.path), e.threads, e.top_down ? ", block rows from the top" : "", s.xmax,
                  s.xmin, s.ymax, s.ymin, s.maxiter, s.mode, s.width, s.zx, s.zy, s.quality, s.held,
                  s.skip_coarse, s.debug, s.random_buffer);
    return text;
}

// The whole allocation, slack included, the counts and the debug lines.
void expect_same(const outcome &got, const outcome &want, const scene &s, engine_setup e)
{
    SCOPED_TRACE(describe(s, e));
    EXPECT_EQ(got.samples, want.samples);
    EXPECT_EQ(got.steps, want.steps);
    if (!e.top_down) {  // from the top down, the samples come in another order
        size_t same = 0;
        while (same < want.lines.size() && same < got.lines.size() && got.lines[same] == want.lines[same])
            same++;
        EXPECT_TRUE(got.lines == want.lines) << "the debug lines differ from character " << same << " on";
    }
    size_t first_difference = 0;
    while (first_difference < want.buffer.size() && got.buffer[first_difference] == want.buffer[first_difference])
        first_difference++;
    EXPECT_EQ(first_difference, want.buffer.size()) << "first differing pixel";
}

// A view drawn at random: any centre near the pictures' interesting parts,
// half-widths from 1e-4 to 4, limits from 1 to 2000, any mode and start
// value, and widths of the whole picture (whose last block column reaches
// past column 1023) as often as any other.
scene random_view(std::mt19937 &rng)
{
    std::uniform_real_distribution<double> unit(0, 1);
    const double cx = 4 * unit(rng) - 2, cy = 3 * unit(rng) - 1.5;
    const double half = 1e-4 * std::pow(4e4, unit(rng)), limit = std::pow(2000.0, unit(rng));
    const double full[] = {1024, 1023.5, 1022};
    const double width = rng() % 2 ? full[rng() % 3] : 1024 * unit(rng);
    scene s = {cx + half, cx - half, cy + 0.75 * half, cy - 0.75 * half, limit, int(rng() % 3), width,
               int(rng() % 4 != 0), rng() % 4 == 0 ? 1 << (rng() % 3) : 0, int(rng() % 4 == 0), rng() % 8 == 0,
               rng() % 2 == 0};
    s.zx = 2 * unit(rng) - 1, s.zy = 2 * unit(rng) - 1;
    return s;
}

}  // namespace

// Every path on every thread count, and with the block rows handed out
// from the top down, against the one-sample path on one thread.
TEST(Lanes, EveryPathAndThreadCountLeavesTheWholeAllocationAsOneSampleOnOneThread)
{
    state_saver saver;
    create_logo();
    std::mt19937 rng(7);
    std::vector<std::uint32_t> before;
    outcome want, got;
    for (const scene &s : scenes()) {
        prepare(s, rng, before);
        render(s, {PATH_ONE_SAMPLE, 1}, before, want);
        for (int path : available_paths()) {
            for (int threads : thread_counts())
                if (path != PATH_ONE_SAMPLE || threads > 1)
                    expect_same(render(s, {path, threads}, before, got), want, s, {path, threads});
            expect_same(render(s, {path, 1, true}, before, got), want, s, {path, 1, true});
        }
    }
}

// Random views: the fastest path on every thread count against itself on
// one thread, the other paths on one of the counts, and the one-sample path
// wherever it is quick enough.
TEST(Lanes, RandomViewsOnEveryThreadCountAsOnOneThread)
{
    state_saver saver;
    create_logo();
    std::mt19937 rng(20261208);
    const std::vector<int> paths = available_paths(), counts = thread_counts();
    const int best = paths.back();
    std::vector<std::uint32_t> before;
    outcome want, got;
    for (int view = 0; view < 200; view++) {
        const scene s = random_view(rng);
        prepare(s, rng, before);
        render(s, {best, 1}, before, want);
        for (int threads : counts)
            if (threads > 1)
                expect_same(render(s, {best, threads}, before, got), want, s, {best, threads});
        const engine_setup top_down = {best, counts[rng() % counts.size()], true};
        expect_same(render(s, top_down, before, got), want, s, top_down);
        for (int path : paths) {
            if (path == best || (path == PATH_ONE_SAMPLE && want.steps > 20000000))
                continue;
            const engine_setup other = {path, counts[rng() % counts.size()]};
            expect_same(render(s, other, before, got), want, s, other);
        }
        if (testing::Test::HasFailure())
            FAIL() << "view " << view << " differs";
    }
}

// Samples whose orbits converge after every number of steps modulo 16 in
// both planes, and escape after every such number in the parameter plane
// (with the values of c and z0 the test below uses; the dynamic plane's
// orbits hardly escape), drawn from the pictures' interesting parts, each
// found by the point kernels: in a batch of them lanes
// stop at every step between two looks of a lane kernel (every 4, 8 or 16
// steps), the first step after a refill and the last one included.
static void add_stops_at_every_position(std::vector<double> &xs, std::vector<double> &ys)
{
    std::mt19937 rng(16);
    std::uniform_real_distribution<double> unit(-1, 1);
    bool seen[2][2][16] = {};  // plane, escaped, steps modulo 16
    for (bool &escape_in_dynamic_plane : seen[true][true])
        escape_in_dynamic_plane = true;  // not looked for
    int missing = 3 * 16;
    for (int draw = 0; draw < 200000 && missing; draw++) {
        const double x = 2 * unit(rng), y = 1.5 * unit(rng);
        for (bool julia : {false, true}) {
            const orbit o = julia ? julia_orbit(x, y, 0.3, -0.2, 1000) : mandel_orbit(x, y, 0.1, 0.05, 1000);
            const bool escaped = o.steps != o.n;
            bool &found = seen[julia][escaped][o.steps % 16];
            if (o.n < 1000 && !found) {
                found = true, missing--;
                xs.push_back(x), ys.push_back(y);
            }
        }
    }
    ASSERT_EQ(missing, 0) << "no sample found for some plane, kind of stop and step modulo 16";
}

// The lane kernels return each sample's count, steps and last iterate as
// the point kernels do (and, when the colouring wants them, the last two
// steps' moves), in doubles, in double-doubles and perturbed from
// references that settle or that the samples outlive, the groups
// stepping in blocks (in doubles), testing after every step, and choosing
// between the two: for limits of 0, 1 and below, every limit up to 17,
// and limits close to the steps between two looks (4, 8 or 16) and their
// multiples; for
// batches of every size up to beyond two rounds of lanes in flight, so
// that batches end in the middle of a group and groups are refilled with
// fewer samples than they have idle lanes; and for samples that escape,
// converge, run to the limit, overflow, are infinite or not a number, and
// that stop at every step between two looks.
TEST(Lanes, EveryBatchSizeAndLimitMatchesThePointKernels)
{
    std::mt19937 rng(14);
    std::uniform_real_distribution<double> unit(-1, 1);
    const double inf = INFINITY;
    std::vector<double> xs = {0, 2, 0, 1, 1e300, -2, 0.5, std::nan(""), 1e-310, inf, 0, -inf, -1e300},
                        ys = {0, 0, 1, 0, 0, 0, 0.5, 0, 0, 0, -inf, inf, 1e300};
    while (xs.size() < 70) {  // near the deep view, where counts range from 1 to the limit
        xs.push_back(1.3 + 0.2 * unit(rng));
        ys.push_back(-1.38 + 0.15 * unit(rng));
    }
    add_stops_at_every_position(xs, ys);
    if (testing::Test::HasFatalFailure())
        return;
    static sample_batch b;
    // Deep, the positions are offsets from an origin with a low part, and
    // so is the dynamic plane's c.
    const dd<double> origin_x = {0.0, 1e-20}, origin_y = {0.0, -3e-21};
    auto deep_orbit = [&](bool julia, double x, double y, int limit) {
        const dd<double> px = dd_add(origin_x, x), py = dd_add(origin_y, y);
        return julia ? julia_orbit_dd(px, py, b.deep_other_x, b.deep_other_y, limit)
                     : mandel_orbit_dd(px, py, b.other_x, b.other_y, limit);
    };
    // The same sample by the point kernels that report the moves, in the batch's precision.
    auto deep_moving = [&](bool julia, double x, double y, int limit) {
        if (!b.deep)
            return julia ? julia_orbit_moving(x, y, b.other_x, b.other_y, limit)
                         : mandel_orbit_moving(x, y, b.other_x, b.other_y, limit);
        const dd<double> px = dd_add(origin_x, x), py = dd_add(origin_y, y);
        return julia ? julia_orbit_dd_moving(px, py, b.deep_other_x, b.deep_other_y, limit)
                     : mandel_orbit_dd_moving(px, py, b.other_x, b.other_y, limit);
    };
    std::vector<int> limits = {-5, 0, 31, 32, 33, 50, 1000};
    for (int limit = 1; limit <= 17; limit++)
        limits.push_back(limit);
    enum { IN_DOUBLES, IN_DOUBLE_DOUBLE, PERTURBED };
    int lost = 0, settled = 0;
    state_saver saver;
    for (bool moves : {false, true})
    for (int blocks : {LANE_BLOCKS_AUTO, LANE_BLOCKS_ALWAYS, LANE_BLOCKS_NEVER})
    for (int path : {PATH_AVX2, PATH_AVX512}) {
        if (!kernel_path_available(path))
            continue;
        lane_blocks = blocks;
        for (int how : {IN_DOUBLES, IN_DOUBLE_DOUBLE, PERTURBED})
        for (int limit : limits)
            for (bool julia : {false, true}) {
                if (how == PERTURBED && blocks != LANE_BLOCKS_AUTO)
                    continue;
                const bool deep = how != IN_DOUBLES;
                const dd<double> other_x = {julia ? 0.3 : 0.1, julia ? 1e-18 : 0.0}, other_y = {julia ? -0.2 : 0.05, 0.0};
                // A reference that lasts half the limit, if it does not settle first: samples outlive it.
                const reference_orbit reference =
                    reference_for({julia, origin_x, origin_y, 1.5, 1.1, other_x, other_y, limit / 2 + 1});
                settled += how == PERTURBED && reference.settled;
                for (int count = 1; count <= int(xs.size()); count++) {
                    b.count = count, b.julia = julia, b.maxiter = limit, b.moves = moves;
                    b.other_x = other_x.hi, b.other_y = other_y.hi;
                    b.deep = deep, b.origin_x = origin_x, b.origin_y = origin_y;
                    b.deep_other_x = other_x, b.deep_other_y = other_y;
                    b.reference = how == PERTURBED ? &reference : nullptr;
                    for (int k = 0; k < count; k++)
                        b.x[k] = xs[(k * 7 + count) % xs.size()], b.y[k] = ys[(k * 7 + count) % xs.size()];
                    const long long lane_steps = path == PATH_AVX512 ? lanes_avx512(b) : lanes_avx2(b);
                    long long steps = 0;
                    for (int k = 0; k < count; k++) {
                        const orbit want = how == PERTURBED ? perturbed_orbit(reference, b.x[k], b.y[k], limit)
                                           : deep               ? deep_orbit(julia, b.x[k], b.y[k], limit)
                                           : julia ? julia_orbit(b.x[k], b.y[k], b.other_x, b.other_y, limit)
                                                   : mandel_orbit(b.x[k], b.y[k], b.other_x, b.other_y, limit);
                        lost += how == PERTURBED && want.n < 0;
                        const moving_orbit moving = how == PERTURBED
                                                        ? perturbed_orbit_moving(reference, b.x[k], b.y[k], limit)
                                                        : deep_moving(julia, b.x[k], b.y[k], limit);
                        const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
                        // The point kernels with the moves end where those without do.
                        ASSERT_TRUE(moving.n == want.n && moving.steps == want.steps && bits(moving.x) == bits(want.x) &&
                                    bits(moving.y) == bits(want.y));
                        // Moves that are not a number (after an infinite iterate) may be any of them.
                        const auto same = [&](double a, double b) { return bits(a) == bits(b) || (a != a && b != b); };
                        ASSERT_TRUE(b.n[k] == want.n && b.steps[k] == want.steps && bits(b.last_x[k]) == bits(want.x) &&
                                    bits(b.last_y[k]) == bits(want.y) &&
                                    (!moves || want.n < 0 ||
                                     (same(b.move[k], moving.move) && same(b.move_before[k], moving.move_before))))
                            << kernel_path_name(path) << " blocks " << blocks
                            << (how == PERTURBED ? " perturbed" : deep ? " double-double" : "")
                            << (julia ? " dynamic" : " parameter") << " limit " << limit
                            << " batch of " << count << " sample " << k << ": n " << b.n[k] << " (" << want.n
                            << ") steps " << b.steps[k] << " (" << want.steps << ") last " << b.last_x[k] << ","
                            << b.last_y[k] << " (" << want.x << "," << want.y << ")"
                            << (moves ? " moves " + std::to_string(b.move[k]) + "," + std::to_string(b.move_before[k]) +
                                            " (" + std::to_string(moving.move) + "," + std::to_string(moving.move_before) + ")"
                                      : "");
                        steps += b.steps[k];
                    }
                    EXPECT_GE(lane_steps, steps);
                }
            }
    }
    EXPECT_GT(lost, 0) << "no sample outlived its reference";
    EXPECT_GT(settled, 0) << "no reference settled";
}

// A job that throws ends the process at once: the other workers would
// otherwise wait at the pool's barrier for ever, and the next frame hang.
TEST(LanesDeathTest, AJobThatThrowsEndsTheProcessInsteadOfHangingThePool)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto throwing = [](int worker) {
        if (worker == 0)
            throw std::runtime_error("synthetic");
    };
    EXPECT_DEATH(
        {
            run_shared(2, throwing);
            run_shared(2, throwing);
        },
        "");
}
