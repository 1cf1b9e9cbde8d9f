// batch.cpp -- queues a pass's samples and writes their colours in the order asked
#include "engine/batch.h"

#include <chrono>
#include <cstdio>

#include "engine/colouring.h"
#include "engine/kernels.h"
#include "view/viewstate.h"

static int best_kernel_path()
{
    __builtin_cpu_init();  // this runs before main, maybe before the library's own set-up
    if (__builtin_cpu_supports("avx512f"))
        return PATH_AVX512;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return PATH_AVX2;
    return PATH_ONE_SAMPLE;
}

int kernel_path = best_kernel_path();
bool kernel_timing;
int lane_blocks = LANE_BLOCKS_AUTO;
long long kernel_lane_steps;
long long kernel_lane_ns;

bool kernel_path_available(int path)
{
    switch (path) {
    case PATH_ONE_SAMPLE:
        return true;
    case PATH_AVX2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case PATH_AVX512:
        return __builtin_cpu_supports("avx512f");
    }
    return false;
}

const char *kernel_path_name(int path)
{
    static const char *const names[] = {"one-sample", "avx2", "avx512"};
    return path >= 0 && path <= PATH_AVX512 ? names[path] : "?";
}

void begin_samples(sample_queue &q, bool julia, int maxiter, double other_x, double other_y)
{
    sample_batch &b = q.batch;
    b.count = 0;
    b.julia = julia;
    b.maxiter = maxiter;
    b.other_x = other_x;
    b.other_y = other_y;
    b.deep = false;
    b.reference = nullptr;
    b.moves = colouring != COLOURING_COUNT;
    q.samples = q.steps = q.lane_steps = q.kernel_ns = q.fallbacks = 0;
}

void deepen_samples(sample_queue &q, dd<double> origin_x, dd<double> origin_y, dd<double> other_x,
                    dd<double> other_y)
{
    sample_batch &b = q.batch;
    b.deep = true;
    b.origin_x = origin_x, b.origin_y = origin_y;
    b.deep_other_x = other_x, b.deep_other_y = other_y;
}

void perturb_samples(sample_queue &q, const reference_orbit *r)
{
    q.batch.reference = r;
}

// A deep sample's position: the origin plus the offset, as the lane
// kernels form it too.
static orbit deep_orbit(const sample_batch &b, double x, double y)
{
    const dd<double> px = dd_add(b.origin_x, x), py = dd_add(b.origin_y, y);
    return b.julia ? julia_orbit_dd(px, py, b.deep_other_x, b.deep_other_y, b.maxiter)
                   : mandel_orbit_dd(px, py, b.deep_other_x.hi, b.deep_other_y.hi, b.maxiter);
}

// The same with the moves, for the colourings that need them.
static moving_orbit moving_sample(const sample_batch &b, double x, double y)
{
    if (!b.deep)
        return b.julia ? julia_orbit_moving(x, y, b.other_x, b.other_y, b.maxiter)
                       : mandel_orbit_moving(x, y, b.other_x, b.other_y, b.maxiter);
    const dd<double> px = dd_add(b.origin_x, x), py = dd_add(b.origin_y, y);
    return b.julia ? julia_orbit_dd_moving(px, py, b.deep_other_x, b.deep_other_y, b.maxiter)
                   : mandel_orbit_dd_moving(px, py, b.deep_other_x.hi, b.deep_other_y.hi, b.maxiter);
}

// A perturbed sample that perturbation lost goes on in double-double, from
// its start: the whole orbit is then that of the double-double kernels.
static orbit perturbed_or_deep(sample_queue &q, double x, double y)
{
    const sample_batch &b = q.batch;
    const orbit o = perturbed_orbit(*b.reference, x, y, b.maxiter);
    if (o.n >= 0)
        return o;
    q.fallbacks++;
    return deep_orbit(b, x, y);
}

// The same with the moves.
static moving_orbit perturbed_or_deep_moving(sample_queue &q, double x, double y)
{
    const sample_batch &b = q.batch;
    const moving_orbit o = perturbed_orbit_moving(*b.reference, x, y, b.maxiter);
    if (o.n >= 0)
        return o;
    q.fallbacks++;
    return moving_sample(b, x, y);
}

// The debug line of a parameter-plane sample: its last iterate.
static void list_sample(double last_x, double last_y)
{
    std::printf("%g %g\n", last_x, last_y);
}

// What the samples of a batch share for their colours other than by count.
static colour_setting colour_setting_of(const sample_batch &b)
{
    return b.deep ? colour_setting_of(b.julia, b.deep_other_x.hi, b.deep_other_y.hi)
                  : colour_setting_of(b.julia, b.other_x, b.other_y);
}

void compute_sample(sample_queue &q, double x, double y, std::uint32_t *dest, sample_shape shape)
{
    const sample_batch &b = q.batch;
    if (b.moves) {
        const moving_orbit o = b.reference ? perturbed_or_deep_moving(q, x, y) : moving_sample(b, x, y);
        if (blub && !b.julia)
            list_sample(o.x, o.y);
        q.samples++;
        q.steps += o.steps;
        write_shape(dest, shape, end_colour(colour_setting_of(b), {o.n, b.maxiter, o.x, o.y, o.move, o.move_before}));
        return;
    }
    const orbit o = b.reference ? perturbed_or_deep(q, x, y)
                    : b.deep    ? deep_orbit(b, x, y)
                    : b.julia ? julia_orbit(x, y, b.other_x, b.other_y, b.maxiter)
                              : mandel_orbit(x, y, b.other_x, b.other_y, b.maxiter);
    if (blub && !b.julia)
        list_sample(o.x, o.y);
    q.samples++;
    q.steps += o.steps;
    write_shape(dest, shape, orbit_colour(o.n, b.maxiter));
}

// The colours of a batch's samples by the colouring in use other than
// count, from the results.
static void colour_samples(sample_batch &b)
{
    end_colours(colour_setting_of(b), {b.n, b.maxiter, b.last_x, b.last_y, b.move, b.move_before}, b.count, b.colour);
    for (int k = 0; k < b.count; k++)
        write_shape(b.dest[k], b.shape[k], b.colour[k]);
}

// The results of sample k of a perturbed batch that perturbation lost, as
// the one-sample path makes them: in double-double from its start, with
// the moves where the batch wants them.
static void go_on_deep(sample_queue &q, int k)
{
    sample_batch &b = q.batch;
    q.fallbacks++;
    if (b.moves) {
        const moving_orbit o = moving_sample(b, b.x[k], b.y[k]);
        b.n[k] = o.n, b.steps[k] = o.steps, b.last_x[k] = o.x, b.last_y[k] = o.y;
        b.move[k] = o.move, b.move_before[k] = o.move_before;
    } else {
        const orbit o = deep_orbit(b, b.x[k], b.y[k]);
        b.n[k] = o.n, b.steps[k] = o.steps, b.last_x[k] = o.x, b.last_y[k] = o.y;
    }
}

// The lane kernels fill the results (those that perturbation lost go on in
// double-double here); the colours, the counts and the debug lines then
// follow in the order the samples were asked for, as the point kernels
// would have made them.
void flush_samples(sample_queue &q)
{
    sample_batch &b = q.batch;
    if (b.count == 0)
        return;
    using clock = std::chrono::steady_clock;
    const clock::time_point start = kernel_timing ? clock::now() : clock::time_point{};
    q.lane_steps += kernel_path == PATH_AVX512 ? lanes_avx512(b) : lanes_avx2(b);
    if (kernel_timing)
        q.kernel_ns += std::chrono::duration_cast<std::chrono::nanoseconds>(clock::now() - start).count();
    const bool listed = blub && !b.julia;
    long long steps = 0;
    for (int k = 0; b.reference && k < b.count; k++)
        if (b.n[k] < 0)
            go_on_deep(q, k);
    if (b.moves) {
        colour_samples(b);
        for (int k = 0; k < b.count; k++) {
            if (listed)
                list_sample(b.last_x[k], b.last_y[k]);
            steps += b.steps[k];
        }
    } else {
        for (int k = 0; k < b.count; k++) {
            if (listed)
                list_sample(b.last_x[k], b.last_y[k]);
            steps += b.steps[k];
            write_shape(b.dest[k], b.shape[k], orbit_colour(b.n[k], b.maxiter));
        }
    }
    q.samples += b.count;
    q.steps += steps;
    b.count = 0;
}
