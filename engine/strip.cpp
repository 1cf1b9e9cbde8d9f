// strip.cpp -- renders one strip of the frame, coarse first, then refined where needed
#include "engine/strip.h"

#include <cstdint>

#include "app/screen.h"
#include "engine/kernels.h"

namespace {

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

std::uint32_t sample(const strip_grid &g, double x, double y)
{
    return g.julia ? julia_point(x, y, g.cx, g.cy, g.maxiter) : mandel_point(x, y, g.zx, g.zy, g.maxiter);
}

// The buffer is addressed linearly: a column past 1023 runs on into the
// next row up, as the refinement's reads beyond the strip expect.
std::uint32_t &at(int i, int j)
{
    return screen[j * SCREEN_W + i];
}

void fill_block(int i, int j, std::uint32_t colour)
{
    for (int r = j; r < j + 4; r++)
        for (int c = i; c < i + 4; c++)
            at(c, r) = colour;
}

// One sample per 4x4 block, at its lower-left pixel. Without refinement to
// follow, the sample paints its whole block.
void coarse_pass(const strip_grid &g, bool fill)
{
    const double dx4 = 4 * g.dx, dy4 = 4 * g.dy;
    double y = g.y0;
    for (int j = g.first_row; j < g.end_row; j += 4, y -= dy4) {
        double x = g.x0;
        for (int i = LOX; i < g.end_col; i += 4, x += dx4) {
            std::uint32_t k = sample(g, x, y);
            if (fill)
                fill_block(i, j, k);
            else
                at(i, j) = k;
        }
    }
}

// One step of the 2x2 pass: when the neighbouring block's coarse sample
// equals this block's, its five pixels copy it; otherwise one new sample
// at (x, y) colours them.
void refine_five(const strip_grid &g, std::uint32_t p, std::uint32_t neighbour, double x, double y,
                 std::uint32_t *const pixels[5])
{
    std::uint32_t v = neighbour == p ? p : sample(g, x, y);
    for (int k = 0; k < 5; k++)
        *pixels[k] = v;
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
    for (int j = g.first_row; j < g.end_row; j += 4, y -= dy4) {
        double x = g.x0;
        for (int i = LOX; i < g.end_col; i += 4, x += dx4) {
            const std::uint32_t p = at(i, j);
            std::uint32_t *const h[5] = {&at(i + 1, j), &at(i + 2, j), &at(i + 3, j), &at(i + 2, j + 1),
                                         &at(i + 3, j + 1)};
            refine_five(g, p, at(i + 4, j), x + dx2, y, h);
            std::uint32_t *const v[5] = {&at(i, j + 1), &at(i, j + 2), &at(i + 1, j + 2), &at(i, j + 3),
                                         &at(i + 1, j + 3)};
            refine_five(g, p, at(i, j + 4), x, y - dy2, v);
            std::uint32_t *const d[5] = {&at(i + 1, j + 1), &at(i + 2, j + 2), &at(i + 3, j + 2),
                                         &at(i + 2, j + 3), &at(i + 3, j + 3)};
            refine_five(g, p, at(i + 4, j + 4), x + dx2, y - dy2, d);
        }
    }
}

// Each 2x2 block samples its right, upper and upper-right pixel only where
// the corresponding neighbouring 2x2 block's lower-left pixel differs from
// its own; elsewhere the 2x2 pass's copy stands.
void pass_1x1(const strip_grid &g)
{
    const double dx2 = 2 * g.dx, dy2 = 2 * g.dy;
    double y = g.y0;
    for (int j = g.first_row; j < g.end_row; j += 2, y -= dy2) {
        double x = g.x0;
        for (int i = LOX; i < g.end_col; i += 2, x += dx2) {
            const std::uint32_t p = at(i, j);
            if (at(i + 2, j) != p)
                at(i + 1, j) = sample(g, x + g.dx, y);
            if (at(i, j + 2) != p)
                at(i, j + 1) = sample(g, x, y - g.dy);
            if (at(i + 2, j + 2) != p)
                at(i + 1, j + 1) = sample(g, x + g.dx, y - g.dy);
        }
    }
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
    const bool refine = task->highq && !task->buttons;
    if (!task->no_firstpass)
        coarse_pass(g, !refine);
    if (refine) {
        pass_2x2(g);
        pass_1x1(g);
    }
    task->finished = 1;
}
