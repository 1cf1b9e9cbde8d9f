// batch.h -- the samples a pass has asked for, evaluated together in SIMD lanes
#pragma once

#include <cstdint>

#include "engine/dd.h"

struct reference_orbit;

// How samples are evaluated: one at a time by the point kernels (the
// reference), or queued and run through the lane kernels.
enum kernel_path_id { PATH_ONE_SAMPLE, PATH_AVX2, PATH_AVX512 };

extern int kernel_path;  // the path in use; the best one the processor has, set before main; tests and the benchmark change it

// Whether this processor can run the given path.
bool kernel_path_available(int path);

// The name of a path, for the benchmark and test output.
const char *kernel_path_name(int path);

// Where the colour of a queued sample goes, relative to its pixel pointer:
// the pixel itself, its whole 4x4 block, or one of the 2x2 pass's
// five-pixel shapes of the block whose lower-left pixel it points to.
enum sample_shape : unsigned char { SHAPE_ONE, SHAPE_BLOCK, SHAPE_H, SHAPE_V, SHAPE_D };

// Writes a colour to the pixels of a shape, in a buffer of rows 1024 wide.
inline void write_shape(std::uint32_t *p, sample_shape shape, std::uint32_t colour)
{
    constexpr int W = 1024;
    static constexpr int five[3][5] = {
        {1, 2, 3, W + 2, W + 3},                              // H: right of the corner
        {W, 2 * W, 2 * W + 1, 3 * W, 3 * W + 1},              // V: above it
        {W + 1, 2 * W + 2, 2 * W + 3, 3 * W + 2, 3 * W + 3},  // D: diagonally
    };
    switch (shape) {
    case SHAPE_ONE:
        *p = colour;
        break;
    case SHAPE_BLOCK:
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++)
                p[r * W + c] = colour;
        break;
    default:
        for (int k : five[shape - SHAPE_H])
            p[k] = colour;
        break;
    }
}

constexpr int BATCH_CAPACITY = 2048;

// One pass's queue: the plane and its fixed values, the queued sample
// positions and destinations, and the lane kernels' results per sample.
struct sample_batch {
    int count;
    bool julia;
    int maxiter;
    double other_x, other_y;  // c of the dynamic plane, or z0 of the parameter plane
    bool deep;                // double-double: the positions are offsets from the origin
    dd<double> origin_x, origin_y;          // deep: where the offsets start
    dd<double> deep_other_x, deep_other_y;  // deep: the other value whole, in place of other_x and other_y
    const reference_orbit *reference;       // deep by perturbation from this orbit, or null: in double-double
    double x[BATCH_CAPACITY], y[BATCH_CAPACITY];
    std::uint32_t *dest[BATCH_CAPACITY];
    sample_shape shape[BATCH_CAPACITY];
    int n[BATCH_CAPACITY], steps[BATCH_CAPACITY];  // results: counted and computed steps; the lane kernels give an n of -1 where perturbation lost the sample
    double last_x[BATCH_CAPACITY], last_y[BATCH_CAPACITY];  // results: the last iterate
    int stops_lately = 256;  // the lane kernels' measure of how often lanes stop, carried to the next batch
    bool moves;  // the moves below are wanted: the colouring is not by count
    double move[BATCH_CAPACITY], move_before[BATCH_CAPACITY];  // results, if wanted: the last two steps' moves
    std::uint32_t colour[BATCH_CAPACITY];  // the colours worked out from them
};

// Lane kernels: fill the results of every queued sample, exactly as the
// point kernels would give them, the moves too where the batch wants them. They return the lane steps they computed:
// the steps of the samples, and those of lanes frozen or idle beside them.
long long lanes_avx2(sample_batch &b);
long long lanes_avx512(sample_batch &b);
long long lanes_avx2_moves(sample_batch &b);    // the same with the moves, which lanes_avx2 calls where wanted
long long lanes_avx512_moves(sample_batch &b);  // likewise

// Whether the lane kernels step their groups in blocks without stop tests
// (redoing the tests where a lane stopped inside one) or test after every
// step: as the recent stops suggest, or one way only, for the tests.
enum lane_block_choice { LANE_BLOCKS_AUTO, LANE_BLOCKS_ALWAYS, LANE_BLOCKS_NEVER };
extern int lane_blocks;  // a lane_block_choice: LANE_BLOCKS_AUTO, unless a test sets one way

// One thread's queue: the batch, and what it has computed since
// begin_samples, which the caller adds up: samples, iteration steps, and on
// the SIMD paths lane steps and the nanoseconds spent in the lane kernels
// (those only while kernel_timing is set).
struct sample_queue {
    sample_batch batch;
    long long samples, steps, lane_steps, kernel_ns;
    long long fallbacks;  // perturbed samples that went on in double-double
};

extern bool kernel_timing;            // the lane kernels are timed; the benchmark sets it
extern long long kernel_lane_steps;   // lane steps of the passes' lane kernels, added up after each pass; the benchmark resets it
extern long long kernel_lane_ns;      // their time in nanoseconds while kernel_timing is set, likewise

// Starts a queue's samples: the plane, the iteration limit and the other
// value of the iteration; the counts start from 0.
void begin_samples(sample_queue &q, bool julia, int maxiter, double other_x, double other_y);

// Makes a queue's samples deep, after begin_samples: the positions asked
// for are then offsets from the origin, and the samples are computed in
// double-double with the other value given here.
void deepen_samples(sample_queue &q, dd<double> origin_x, dd<double> origin_y, dd<double> other_x,
                    dd<double> other_y);

// Makes a deep queue's samples perturbed from the reference orbit, after
// deepen_samples: each is iterated as a double difference from it, and
// only those it cannot finish go on in double-double.
void perturb_samples(sample_queue &q, const reference_orbit *r);

// Computes the sample at (x, y) at once and writes its colour to dest in
// the given shape: the one-sample path.
void compute_sample(sample_queue &q, double x, double y, std::uint32_t *dest, sample_shape shape);

// Computes and writes every sample asked for so far, in the order asked:
// the debug lines and the counts come out as on the one-sample path.
void flush_samples(sample_queue &q);

// Asks for the sample at (x, y) whose colour goes to dest in the given
// shape, if wanted. On the one-sample path it is computed and written at
// once; otherwise it is written by the next flush_samples at the latest.
// Whether it is wanted decides no branch on the SIMD paths: the sample is
// written into the queue either way and counted only if wanted, so that
// the passes' comparisons, whose outcome follows the picture, cost no
// mispredicted jumps.
inline void want_sample_if(sample_queue &q, bool wanted, double x, double y, std::uint32_t *dest,
                           sample_shape shape)
{
    if (kernel_path == PATH_ONE_SAMPLE) {
        if (wanted)
            compute_sample(q, x, y, dest, shape);
        return;
    }
    sample_batch &b = q.batch;
    b.x[b.count] = x;
    b.y[b.count] = y;
    b.dest[b.count] = dest;
    b.shape[b.count] = shape;
    b.count += wanted;
    if (b.count == BATCH_CAPACITY)
        flush_samples(q);
}

inline void want_sample(sample_queue &q, double x, double y, std::uint32_t *dest, sample_shape shape)
{
    want_sample_if(q, true, x, y, dest, shape);
}

