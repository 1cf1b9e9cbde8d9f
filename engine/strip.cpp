// strip.cpp -- renders one strip of the frame, coarse first, then refined where needed
#include "engine/strip.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/screen.h"
#include "engine/batch.h"
#include "engine/kernels.h"
#include "engine/reference.h"
#include "engine/workers.h"
#include "view/viewstate.h"

int bands_top_down = 0;
// Each on a cache line of its own: workers write them while they read
// the globals around them.
alignas(64) std::atomic<int> progress_pass;
alignas(64) std::atomic<int> progress_rows;

namespace {

// What every pass needs: the grid of the plane being drawn, the kernel's
// other value and the strip's extent in the buffer.
struct strip_grid {
    double x0, dx, y0, dy;  // the plane being drawn
    double cx, cy;          // the dynamic plane's c: the parameter-plane view's centre
    double zx, zy;          // the parameter plane's start value
    int maxiter;
    bool julia;
    bool deep;                    // double-double: positions are offsets from the origin
    dd<double> origin_x, origin_y;  // deep: the centre of the view drawn
    dd<double> dcx, dcy;            // deep: the dynamic plane's c whole
    const reference_orbit *reference;  // deep by perturbation: the orbit the samples are perturbed from, else null
    int first_row, end_col, end_row;  // blocks start at LOX.. < end_col, first_row.. < end_row
};

// The buffer is addressed linearly: a column past 1023 runs on into the
// next row up, as the refinement's reads beyond the strip expect.
std::uint32_t &at(int i, int j)
{
    return screen[j * SCREEN_W + i];
}

// Samples are asked for in pass order and may be computed later, in a
// batch: a comparison that could read a pixel whose sample is still
// pending must flush first. Inside a pass that happens only where a read
// runs on past column 1023 into the next row, which the pass writes.
bool reads_past_row_end(int i, int reach)
{
    return i + reach >= SCREEN_W;
}

// The passes are shared out by bands of block rows: each worker takes the
// next band not yet taken, until none is left, and queues its samples in
// its own queue. The one thing a block row reads that another may write in
// the same pass is a pixel of the next block row up, which the comparisons
// of a block in the last column reach when they run on past column 1023.
// In the order of one thread that pixel is read before its own block row is
// refined, so every block row reads it from a copy taken as the pass begins.
constexpr int MAX_BLOCK_ROWS = SCREEN_H / 2;

enum pass_kind { PASS_COARSE, PASS_2X2, PASS_1X1 };

struct pass_plan {
    pass_kind kind;
    bool fill;       // coarse pass: each sample paints its whole block
    int step;        // block size, and how far the comparisons reach: 4, or 2 in the 1x1 pass
    int block_rows;
    bool top_down;   // block rows handed out from the top
    double row_y[MAX_BLOCK_ROWS];             // each block row's y, as the running sum from y0 gives it
    std::uint32_t wrap_copy[MAX_BLOCK_ROWS];  // each block row's reach into the next one, as the pass began
    alignas(64) std::atomic<int> handed_out;  // bands taken by the workers so far
};

pass_plan plan;  // the pass under way; frames are rendered one at a time
std::vector<std::unique_ptr<sample_queue>> queues;  // one per worker, grown when more workers are asked for

// One sample per 4x4 block, at its lower-left pixel. Without refinement to
// follow, the sample paints its whole block.
void coarse_row(const strip_grid &g, int m, sample_queue &q)
{
    const int j = g.first_row + 4 * m;
    const double dx4 = 4 * g.dx, y = plan.row_y[m];
    double x = g.x0;
    for (int i = LOX; i < g.end_col; i += 4, x += dx4)
        want_sample(q, x, y, &at(i, j), plan.fill ? SHAPE_BLOCK : SHAPE_ONE);
}

// One step of the 2x2 pass: when the neighbouring block's coarse sample
// equals this block's, the step's five pixels copy it; otherwise one new
// sample at (x, y) colours them. The copy is written either way, and the
// sample's colour over it: no comparison of the pass reads these pixels
// before the sample is written (the one that runs on past column 1023
// flushes first).
void refine_five(sample_queue &q, std::uint32_t p, std::uint32_t neighbour, double x, double y,
                 std::uint32_t *corner, sample_shape shape)
{
    write_shape(corner, shape, p);
    want_sample_if(q, neighbour != p, x, y, corner, shape);
}

// Each 4x4 block compares its coarse sample P with those of the blocks to
// the right (step H), above (V) and diagonally above right (D); together
// the three steps write the block's other 15 pixels once each, and leave
// (i+1, j), (i, j+1) and (i+1, j+1) equal to what the 1x1 pass compares
// them with. A comparison that runs on past column 1023 into this block
// row sees what the pass has written there, so the queue is flushed first.
void row_2x2(const strip_grid &g, int m, sample_queue &q)
{
    const int j = g.first_row + 4 * m;
    const double dx2 = 2 * g.dx, dx4 = 4 * g.dx, dy2 = 2 * g.dy, y = plan.row_y[m];
    double x = g.x0;
    for (int i = LOX; i < g.end_col; i += 4, x += dx4) {
        const bool wraps = reads_past_row_end(i, 4);
        if (wraps)
            flush_samples(q);
        const std::uint32_t p = at(i, j);
        refine_five(q, p, at(i + 4, j), x + dx2, y, &at(i, j), SHAPE_H);
        refine_five(q, p, at(i, j + 4), x, y - dy2, &at(i, j), SHAPE_V);
        refine_five(q, p, wraps ? plan.wrap_copy[m] : at(i + 4, j + 4), x + dx2, y - dy2, &at(i, j), SHAPE_D);
    }
}

// Each 2x2 block samples its right, upper and upper-right pixel only where
// the corresponding neighbouring 2x2 block's lower-left pixel differs from
// its own; elsewhere the 2x2 pass's copy stands.
void row_1x1(const strip_grid &g, int m, sample_queue &q)
{
    const int j = g.first_row + 2 * m;
    const double dx2 = 2 * g.dx, y = plan.row_y[m];
    double x = g.x0;
    for (int i = LOX; i < g.end_col; i += 2, x += dx2) {
        const bool wraps = reads_past_row_end(i, 2);
        if (wraps)
            flush_samples(q);
        const std::uint32_t p = at(i, j);
        want_sample_if(q, at(i + 2, j) != p, x + g.dx, y, &at(i + 1, j), SHAPE_ONE);
        want_sample_if(q, at(i, j + 2) != p, x, y - g.dy, &at(i, j + 1), SHAPE_ONE);
        want_sample_if(q, (wraps ? plan.wrap_copy[m] : at(i + 2, j + 2)) != p, x + g.dx, y - g.dy,
                       &at(i + 1, j + 1), SHAPE_ONE);
    }
}

// Block rows start at first_row and run while below end_row; their y is a
// running sum, as one pass over the strip forms it. Only the last block
// column can reach past column 1023, since blocks are as far apart as
// their comparisons reach.
void plan_pass(const strip_grid &g, pass_kind kind, bool fill)
{
    plan.kind = kind;
    plan.fill = fill;
    plan.top_down = bands_top_down;
    plan.step = kind == PASS_1X1 ? 2 : 4;
    const int rows = g.end_row - g.first_row, columns = g.end_col - LOX;
    plan.block_rows = rows > 0 ? (rows + plan.step - 1) / plan.step : 0;
    if (plan.block_rows > MAX_BLOCK_ROWS)  // beyond any viewport of the frame buffer
        plan.block_rows = MAX_BLOCK_ROWS;
    const double dy_block = plan.step * g.dy;
    double y = g.y0;
    for (int m = 0; m < plan.block_rows; m++, y -= dy_block)
        plan.row_y[m] = y;
    const int last = LOX + (columns - 1) / plan.step * plan.step;
    if (kind != PASS_COARSE && columns > 0 && reads_past_row_end(last, plan.step))
        for (int m = 0; m < plan.block_rows; m++)
            plan.wrap_copy[m] = at(last + plan.step, g.first_row + plan.step * m + plan.step);
    plan.handed_out.store(0, std::memory_order_relaxed);
    progress_rows.store(0, std::memory_order_relaxed);
    progress_pass.store(kind, std::memory_order_relaxed);
}

// The block rows are cut into bands, about eight for each worker: enough
// for the workers to even out the uneven cost of deep views, few enough
// that each keeps to rows of its own. Every worker takes the next band
// until none is left, then flushes its queue; the pass ends when all
// have. Each queue counts its own samples and steps, added up here
// afterwards. The progress is told once per band, relaxed: its reader only
// draws it.
void run_pass(const strip_grid &g, int threads)
{
    while (int(queues.size()) < threads)
        queues.push_back(std::make_unique<sample_queue>());
    for (int w = 0; w < threads; w++) {
        begin_samples(*queues[w], g.julia, g.maxiter, g.julia ? g.cx : g.zx, g.julia ? g.cy : g.zy);
        if (g.deep)
            deepen_samples(*queues[w], g.origin_x, g.origin_y, g.julia ? g.dcx : dd<double>{g.zx, 0.0},
                           g.julia ? g.dcy : dd<double>{g.zy, 0.0});
        if (g.reference)
            perturb_samples(*queues[w], g.reference);
    }
    const int band = std::max(1, plan.block_rows / (8 * threads)), bands = (plan.block_rows + band - 1) / band;
    auto share = [&g, band, bands](int worker) {
        sample_queue &q = *queues[worker];
        for (int taken; (taken = plan.handed_out.fetch_add(1, std::memory_order_relaxed)) < bands;) {
            const int first = (plan.top_down ? bands - 1 - taken : taken) * band;
            const int end = std::min(first + band, plan.block_rows);
            for (int m = first; m < end; m++) {
                if (plan.kind == PASS_COARSE)
                    coarse_row(g, m, q);
                else if (plan.kind == PASS_2X2)
                    row_2x2(g, m, q);
                else
                    row_1x1(g, m, q);
            }
            progress_rows.fetch_add(end - first, std::memory_order_relaxed);
        }
        flush_samples(q);
    };
    run_shared(threads, share);
    for (int w = 0; w < threads; w++) {
        kernel_samples += queues[w]->samples;
        kernel_steps += queues[w]->steps;
        kernel_lane_steps += queues[w]->lane_steps;
        kernel_lane_ns += queues[w]->kernel_ns;
        kernel_fallbacks += queues[w]->fallbacks;
    }
}

// The dynamic plane's c is the centre of the parameter-plane view, formed
// from the parameter-plane fields whatever the mode, from the y of the
// viewport's lowest row. In a deep strip those fields are offsets from the
// parameter-plane view's centre, which c is then added to whole.
strip_grid grid_of(const strip_task &t)
{
    strip_grid g;
    g.julia = t.mode != 0;
    if (g.julia)
        g.x0 = t.jx0, g.dx = t.jdx, g.y0 = t.jy0, g.dy = t.jdy;
    else
        g.x0 = t.x0, g.dx = t.dx, g.y0 = t.y0, g.dy = t.dy;
    const strip_c c = dynamic_c(t);
    g.cx = c.x, g.cy = c.y;
    g.zx = t.zx, g.zy = t.zy;
    g.maxiter = t.maxiter;
    g.first_row = t.first_row;
    g.end_col = LOX + XPTS;
    g.end_row = t.first_row + t.rows;
    g.deep = t.deep;
    if (g.deep) {
        const double *ox = g.julia ? t.jox : t.ox, *oy = g.julia ? t.joy : t.oy;
        g.origin_x = {ox[0], ox[1]}, g.origin_y = {oy[0], oy[1]};
        g.dcx = c.whole_x, g.dcy = c.whole_y;
    }
    g.reference = nullptr;
    return g;
}

// The view a perturbed strip's reference orbit serves: the plane drawn,
// its centre, its half-extents as the pixel steps give them, the other
// value whole and the limit.
reference_view reference_view_of(const strip_grid &g)
{
    return {g.julia, g.origin_x, g.origin_y, 0.5 * XPTS * g.dx, 0.5 * YPTS * g.dy,
            g.julia ? g.dcx : dd<double>{g.zx, 0.0}, g.julia ? g.dcy : dd<double>{g.zy, 0.0}, g.maxiter};
}

}  // namespace

// From the y of the viewport's lowest row; in a deep strip the fields are
// offsets from the parameter-plane view's centre, which c is then added
// to whole.
strip_c dynamic_c(const strip_task &t)
{
    const double lowest_row_y = t.y0 + (t.first_row - LOY) * t.dy;
    strip_c c;
    c.x = t.x0 + t.dx * XPTS * 0.5;
    c.y = lowest_row_y - t.dy * YPTS * 0.5;
    c.whole_x = dd_add(dd<double>{t.ox[0], t.ox[1]}, c.x);
    c.whole_y = dd_add(dd<double>{t.oy[0], t.oy[1]}, c.y);
    return c;
}

// While the debug listing is on, a parameter-plane frame is rendered on one
// thread, so that its lines come out in the order of the passes.
void smandel(strip_task *task)
{
    strip_grid g = grid_of(*task);
    if (g.deep && task->perturbed)
        g.reference = &reference_for(reference_view_of(g));
    const int threads = (blub && !g.julia) || render_threads < 1 ? 1 : render_threads;
    const bool refine = task->highq && !task->buttons;
    if (!task->no_firstpass) {
        plan_pass(g, PASS_COARSE, !refine);
        run_pass(g, threads);
    }
    if (refine) {
        plan_pass(g, PASS_2X2, false);
        run_pass(g, threads);
        plan_pass(g, PASS_1X1, false);
        run_pass(g, threads);
    }
    // The listing goes out frame by frame, also into a pipe or a file.
    if (blub && !g.julia)
        std::fflush(stdout);
    task->finished = 1;
}
