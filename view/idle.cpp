// idle.cpp -- turns held buttons and mouse movement into view changes
#include "view/idle.h"

#include <GL/freeglut.h>

#include "engine/dd.h"
#include "view/display.h"
#include "view/viewstate.h"

int idle_registered = 1;  // start-up registers it

static constexpr double zoom_factor = 0.9;
static constexpr double iteration_growth = 1.02;
static constexpr double growth_cap = 64250;  // 64250 * 1.02 = 65535
static constexpr double movement_scale = 0.25;
static constexpr double x_divisor = 40;
static constexpr double y_divisor = 20;

// One view's five values, so that the zoom and the pan act on whichever
// view the mode selects.
struct view_ref {
    double &xmid, &ymid, &xhalf, &yhalf, &limit, &xlow, &ylow;
};

static view_ref active_view()
{
    if (do_julia == 2)
        return {jxmit, jymit, jxstep, jystep, jmaxit, jxmit_lo, jymit_lo};
    return {xmit, ymit, xstep, ystep, maxit, xmit_lo, ymit_lo};
}

// Moves a view's centre. Where doubles resolve the view, the centre moves
// by a double sum as it always has, and a low part left from a deeper view
// goes, being below 1/128 of a pixel there. In a deep view a move may be
// far below the centre's last bit: it is added in double-double, so that
// a drag pans there too.
static void move_centre(view_ref v, double dx, double dy)
{
    const bool deep = precision_used(precision, view_is_deep(v.xmid, v.ymid, v.xhalf, v.yhalf)) != PRECISION_DOUBLE;
    if (!deep) {
        v.xmid = v.xmid + dx, v.xlow = 0;
        v.ymid = v.ymid + dy, v.ylow = 0;
        return;
    }
    const dd<double> x = dd_add(dd<double>{v.xmid, v.xlow}, dx), y = dd_add(dd<double>{v.ymid, v.ylow}, dy);
    v.xmid = x.hi, v.xlow = x.lo;
    v.ymid = y.hi, v.ylow = y.lo;
}

// The zoom keeps the centre; the limit grows only while strictly below the cap.
void zoom_step(int b)
{
    const view_ref v = active_view();
    if (b == 1) {
        v.xhalf = v.xhalf * zoom_factor;
        v.yhalf = v.yhalf * zoom_factor;
        if (v.limit < growth_cap)
            v.limit = v.limit * iteration_growth;
        calc = 1;
    } else if (b == 4) {
        v.xhalf = v.xhalf / zoom_factor;
        v.yhalf = v.yhalf / zoom_factor;
        v.limit = v.limit / iteration_growth;
        calc = 1;
    }
}

// Two buttons move the start value, always on the parameter-plane view's
// scale; anything else pans the active view. A pan sets no calc: its
// frame is due because moved is set.
static void apply_movement(view_ref v, int b)
{
    const int mx = MOUSEX - oldMOUSEX, my = MOUSEY - oldMOUSEY;
    switch (b) {
    case 3:
        ZX = ZX + xstep * (mx - my) * movement_scale / x_divisor;
        calc = 1;
        break;
    case 5:
        ZX = ZX + xstep * mx * movement_scale / x_divisor;
        ZY = ZY + ystep * my * movement_scale / y_divisor;
        calc = 1;
        break;
    case 6:
        ZY = ZY + ystep * (mx - my) * movement_scale / y_divisor;
        calc = 1;
        break;
    default:
        move_centre(v, v.xhalf * mx * movement_scale / x_divisor, v.yhalf * my * movement_scale / y_divisor);
        break;
    }
    oldMOUSEX = MOUSEX;
    oldMOUSEY = MOUSEY;
}

// The zoom runs before the movement, so a moved pointer with one button
// held pans with the half-extents after the zoom. When a call neither
// changes anything nor asks for a frame, the next call would do the same
// nothing: so the handler leaves GLUT until a callback wakes it.
void idle()
{
    const int b = buttons & 7;
    zoom_step(b);
    const view_ref v = active_view();
    const int was_moved = moved;
    if (was_moved)
        apply_movement(v, b);
    if (calc || post_calc || was_moved) {
        glutPostRedisplay();
    } else {
        glutIdleFunc(nullptr);
        idle_registered = 0;
    }
}

void wake_idle()
{
    if (!idle_registered) {
        glutIdleFunc(idle);
        idle_registered = 1;
    }
}
