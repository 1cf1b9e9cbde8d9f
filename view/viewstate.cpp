// viewstate.cpp -- the view-state globals and the two ways to set both views
#include "view/viewstate.h"

#include <bit>
#include <cstdint>

double xmit, ymit, xstep, ystep, maxit;
double jxmit, jymit, jxstep, jystep, jmaxit;
double xmit_lo, ymit_lo, jxmit_lo, jymit_lo;
int precision = PRECISION_AUTO;
double ZX, ZY;
int do_julia;
int calc, post_calc, moved, highq, no_firstpass, blub, anz;
int firsttime = 1;
int buttons, MOUSEX, MOUSEY, oldMOUSEX, oldMOUSEY;

// The default half-height is one unit in the last place further from zero
// than -2.25. Keeping that bit keeps every default frame what it has always
// been; -2.25 itself would move the row grid by a rounding step.
static const double default_ystep = std::bit_cast<double>(std::uint64_t{0xC002000000000001});

void resetkoords(int reset_z)
{
    xmit = ymit = jxmit = jymit = 0.0;
    xmit_lo = ymit_lo = jxmit_lo = jymit_lo = 0.0;
    xstep = jxstep = -3.0;
    ystep = jystep = default_ystep;
    maxit = jmaxit = 50.0;
    if (reset_z)
        ZX = ZY = 0.0;
    calc = 1;
}

void setkoords(double xmin, double xmax, double ymin, double ymax, double maxiter, int reset_z)
{
    xmit = jxmit = (xmin + xmax) * 0.5;
    ymit = jymit = (ymin + ymax) * 0.5;
    xmit_lo = ymit_lo = jxmit_lo = jymit_lo = 0.0;
    xstep = jxstep = (xmin - xmax) * 0.5;
    ystep = jystep = (ymin - ymax) * 0.5;
    maxit = jmaxit = maxiter;
    if (reset_z)
        ZX = ZY = 0.0;
    calc = 1;
}
