// display.cpp -- the display callback: when and how a frame is rendered
#include "view/display.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "app/screen.h"
#include "view/idle.h"
#include "view/publish.h"
#include "view/viewstate.h"

// A plain conversion of a double outside the int range (a limit of 1e12
// from the command line, or one grown without end) would be undefined.
int iteration_limit(double limit)
{
    if (std::isnan(limit))
        return 0;
    if (limit >= 2147483648.0)
        return INT_MAX;
    if (limit <= -2147483649.0)
        return INT_MIN;
    return static_cast<int>(limit);
}

// At 64 units in the last place a pixel, a sample lies within 1/128 of a
// pixel of where it should; some 40 zoom steps further in it would be a
// whole pixel off, and the picture would break into blocks. Doubles
// compute every view up to the threshold, so that the pictures of all
// those views are what they have always been. A view without extent, or
// with no finite one, has nothing to resolve.
bool view_is_deep(double xmid, double ymid, double xhalf, double yhalf)
{
    return grid_is_deep(xmid, ymid, xhalf, yhalf, XPTS, YPTS);
}

bool grid_is_deep(double xmid, double ymid, double xhalf, double yhalf, int columns, int rows)
{
    const double pixel = std::min(std::fabs(2 * xhalf / columns), std::fabs(2 * yhalf / rows));
    const double largest = std::max(std::fabs(xmid) + std::fabs(xhalf), std::fabs(ymid) + std::fabs(yhalf));
    if (!(pixel > 0) || !std::isfinite(pixel) || !std::isfinite(largest))
        return false;
    return pixel < 64 * (std::nextafter(largest, INFINITY) - largest);
}

double grid_half_height(double xhalf, double yhalf, int columns, int rows)
{
    return columns * 3 == rows * 4 ? yhalf : std::copysign(std::fabs(xhalf) * rows / columns, yhalf);
}

int precision_used(int choice, bool deep)
{
    if (choice == PRECISION_AUTO)
        return deep ? PRECISION_PERTURBATION : PRECISION_DOUBLE;
    if (choice == PRECISION_AUTO_DOUBLE_DOUBLE)
        return deep ? PRECISION_DOUBLE_DOUBLE : PRECISION_DOUBLE;
    return choice;
}

int frame_precision()
{
    return precision_used(precision, do_julia == 0 ? view_is_deep(xmit, ymit, xstep, ystep)
                                                   : view_is_deep(jxmit, jymit, jxstep, jystep));
}

bool frame_is_deep()
{
    return frame_precision() != PRECISION_DOUBLE;
}

// The bottom row lies at ymit + ystep, the first column at xmit - xstep;
// the steps are signed, so they also carry each axis's direction. A deep
// frame's grids start at -xstep and ystep from the centres, which it
// carries whole, low parts included.
frame_desc describe_frame()
{
    const double columns = XPTS, rows = YPTS;
    frame_desc f = {};
    f.first_row = LOY;
    f.rows = YPTS;
    f.x0 = xmit - xstep;
    f.dx = 2 * xstep / columns;
    f.y0 = ymit + ystep;
    f.dy = 2 * ystep / rows;
    f.maxiter = iteration_limit(maxit);
    f.jx0 = jxmit - jxstep;
    f.jdx = 2 * jxstep / columns;
    f.jy0 = jymit + jystep;
    f.jdy = 2 * jystep / rows;
    f.jmaxiter = iteration_limit(jmaxit);
    const int used = frame_precision();
    f.deep = used != PRECISION_DOUBLE;
    f.perturbed = used == PRECISION_PERTURBATION;
    if (f.deep) {
        f.x0 = -xstep, f.y0 = ystep, f.jx0 = -jxstep, f.jy0 = jystep;
        f.ox[0] = xmit, f.ox[1] = xmit_lo, f.oy[0] = ymit, f.oy[1] = ymit_lo;
        f.jox[0] = jxmit, f.jox[1] = jxmit_lo, f.joy[0] = jymit, f.joy[1] = jymit_lo;
    }
    return f;
}

// The first display renders twice: the second render's refinement of the
// last block column reads pixels past column 1023 that the first one left,
// and that is the picture the program has always opened with. With the
// middle button alone held every display renders and keeps post_calc set,
// so the idle handler keeps asking. A display with nothing due neither
// draws nor swaps. A display that renders sets the record of its frame on
// the window once, after the frame is on screen.
//
// GLUT handles all pending events before the pending redisplay, and only
// then calls idle. So a release can reach this display while a zoom step
// that idle took is still unrendered (calc set), and a drag event can reach
// it before idle has applied the movement. A release therefore refines the
// coarse picture on screen in place only when that picture is of the view
// about to be rendered: no view change pending and no movement since. And a
// render clears moved only once the reference position has caught up with
// the pointer, so that idle still applies a movement it has not yet seen.
void paint_mandel()
{
    if (firsttime) {
        render_frame(describe_frame());
        firsttime = 0;
        no_firstpass = 0;
    }
    const int b = buttons;
    if ((b & 7) == 2) {
        post_calc = 1;
    } else {
        if (b == 0 && highq && post_calc) {
            if (!moved && !calc)
                no_firstpass = 1;
            calc = 1;
        }
        post_calc = 0;
        if (!calc && !moved && b == 0) {
            wake_idle();
            return;
        }
    }
    render_frame(describe_frame());
    publish_view();
    no_firstpass = 0;
    calc = 0;
    if (MOUSEX == oldMOUSEX && MOUSEY == oldMOUSEY)
        moved = 0;
    wake_idle();
}
