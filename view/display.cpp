// display.cpp -- the display callback: when and how a frame is rendered
#include "view/display.h"

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

// The bottom row lies at ymit + ystep, the first column at xmit - xstep;
// the steps are signed, so they also carry each axis's direction.
frame_desc describe_frame()
{
    const double columns = XPTS, rows = YPTS;
    frame_desc f;
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
