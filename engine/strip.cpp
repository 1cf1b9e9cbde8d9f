// strip.cpp -- renders one strip of the frame, coarse first, then refined where needed
#include "engine/strip.h"

#include <cstdint>

#include "app/screen.h"
#include "engine/batch.h"

std::atomic<int> progress_pass;
std::atomic<int> progress_rows;

namespace {

// The progress of a pass is told once per block row; relaxed, because the
// reader only draws it and needs no other memory ordered with it.
void pass_begun(int pass)
{
    progress_rows.store(0, std::memory_order_relaxed);
    progress_pass.store(pass, std::memory_order_relaxed);
}

void rows_done(int rows)
{
    progress_rows.store(rows, std::memory_order_relaxed);
}

// What every pass needs: the grid of the plane being drawn, the kernel's
// other value and the strip's extent in the buffer.
struct strip_grid {
    double x0, dx, y0, dy;  // the plane being drawn
    double cx, cy;          // the dynamic plane's c: the parameter-plane view's centre
    double zx, zy;          // the parameter plane's start value
    int maxiter;
    bool julia;
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

// One sample per 4x4 block, at its lower-left pixel. Without refinement to
// follow, the sample paints its whole block.
void coarse_pass(const strip_grid &g, bool fill)
{
    const double dx4 = 4 * g.dx, dy4 = 4 * g.dy;
    double y = g.y0;
    pass_begun(0);
    for (int j = g.first_row, row = 1; j < g.end_row; j += 4, y -= dy4, row++) {
        double x = g.x0;
        for (int i = LOX; i < g.end_col; i += 4, x += dx4)
            want_sample(x, y, &at(i, j), fill ? SHAPE_BLOCK : SHAPE_ONE);
        rows_done(row);
    }
    flush_samples();
}

// One step of the 2x2 pass: when the neighbouring block's coarse sample
// equals this block's, the step's five pixels copy it; otherwise one new
// sample at (x, y) colours them.
void refine_five(std::uint32_t p, std::uint32_t neighbour, double x, double y, std::uint32_t *corner,
                 sample_shape shape)
{
    if (neighbour != p) {
        want_sample(x, y, corner, shape);
        return;
    }
    write_shape(corner, shape, p);
}

// Each 4x4 block compares its coarse sample P with those of the blocks to
// the right (step H), above (V) and diagonally above right (D); together
// the three steps write the block's other 15 pixels once each, and leave
// (i+1, j), (i, j+1) and (i+1, j+1) equal to what the 1x1 pass compares
// them with. The comparisons read at the moment of the step, so a read
// that wraps into the next row sees what this pass has written there.
void pass_2x2(const strip_grid &g)
{
    const double dx2 = 2 * g.dx, dx4 = 4 * g.dx, dy2 = 2 * g.dy, dy4 = 4 * g.dy;
    double y = g.y0;
    pass_begun(1);
    for (int j = g.first_row, row = 1; j < g.end_row; j += 4, y -= dy4, row++) {
        double x = g.x0;
        for (int i = LOX; i < g.end_col; i += 4, x += dx4) {
            if (reads_past_row_end(i, 4))
                flush_samples();
            const std::uint32_t p = at(i, j);
            refine_five(p, at(i + 4, j), x + dx2, y, &at(i, j), SHAPE_H);
            refine_five(p, at(i, j + 4), x, y - dy2, &at(i, j), SHAPE_V);
            refine_five(p, at(i + 4, j + 4), x + dx2, y - dy2, &at(i, j), SHAPE_D);
        }
        rows_done(row);
    }
    flush_samples();
}

// Each 2x2 block samples its right, upper and upper-right pixel only where
// the corresponding neighbouring 2x2 block's lower-left pixel differs from
// its own; elsewhere the 2x2 pass's copy stands.
void pass_1x1(const strip_grid &g)
{
    const double dx2 = 2 * g.dx, dy2 = 2 * g.dy;
    double y = g.y0;
    pass_begun(2);
    for (int j = g.first_row, row = 1; j < g.end_row; j += 2, y -= dy2, row++) {
        double x = g.x0;
        for (int i = LOX; i < g.end_col; i += 2, x += dx2) {
            if (reads_past_row_end(i, 2))
                flush_samples();
            const std::uint32_t p = at(i, j);
            if (at(i + 2, j) != p)
                want_sample(x + g.dx, y, &at(i + 1, j), SHAPE_ONE);
            if (at(i, j + 2) != p)
                want_sample(x, y - g.dy, &at(i, j + 1), SHAPE_ONE);
            if (at(i + 2, j + 2) != p)
                want_sample(x + g.dx, y - g.dy, &at(i + 1, j + 1), SHAPE_ONE);
        }
        rows_done(row);
    }
    flush_samples();
}

// The dynamic plane's c is the centre of the parameter-plane view, formed
// from the parameter-plane fields whatever the mode, from the y of the
// viewport's lowest row.
strip_grid grid_of(const strip_task &t)
{
    strip_grid g;
    g.julia = t.mode != 0;
    if (g.julia)
        g.x0 = t.jx0, g.dx = t.jdx, g.y0 = t.jy0, g.dy = t.jdy;
    else
        g.x0 = t.x0, g.dx = t.dx, g.y0 = t.y0, g.dy = t.dy;
    const double lowest_row_y = t.y0 + (t.first_row - LOY) * t.dy;
    g.cx = t.x0 + t.dx * XPTS * 0.5;
    g.cy = lowest_row_y - t.dy * YPTS * 0.5;
    g.zx = t.zx, g.zy = t.zy;
    g.maxiter = t.maxiter;
    g.first_row = t.first_row;
    g.end_col = LOX + XPTS;
    g.end_row = t.first_row + t.rows;
    return g;
}

}  // namespace

void smandel(strip_task *task)
{
    const strip_grid g = grid_of(*task);
    if (g.julia)
        begin_samples(true, g.maxiter, g.cx, g.cy);
    else
        begin_samples(false, g.maxiter, g.zx, g.zy);
    const bool refine = task->highq && !task->buttons;
    if (!task->no_firstpass)
        coarse_pass(g, !refine);
    if (refine) {
        pass_2x2(g);
        pass_1x1(g);
    }
    task->finished = 1;
}
