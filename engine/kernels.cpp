// kernels.cpp -- Newton iteration kernels of the parameter and the dynamic plane
#include "engine/kernels.h"

#include <cmath>
#include <cstdio>

#include "app/palette.h"
#include "view/viewstate.h"

long long kernel_samples;
long long kernel_steps;

static constexpr double escape_bound = 1000000.0;
static constexpr double tolerance = 0.001;

// Both kernels share this loop: a step that escapes is not counted, a step
// that converges is, and when the step that reaches the limit also
// converges the limit decides. The escape test is written so that an
// infinite or not-a-number iterate fails it. The squares of the new iterate
// serve the escape test and then the next step.
//
// The parameter-plane step divides N by D, four polynomials in a + bi = z and
// x + yi = c that are fixed term by term (they are not the parts of one
// complex polynomial). The terms that hold only c are formed once per sample.
orbit mandel_orbit(double x, double y, double a, double b, int maxiter)
{
    const double kn = x * x + y * y - 2 * x - 2 * y + 1;  // N_re's terms in c alone
    const double kd = x * x - y * y - 4 * x + y + 4;      // D_re's terms in c alone
    const double kdi = 2 * x * y - 4 * y;                 // D_im's terms in c alone
    const double x2m2 = 2 * x - 2, x4m8 = 4 * x - 8, y4 = 4 * y, xm1 = x - 1, y2 = 2 * y;
    const double xy2 = 2 * x * y;
    double a2 = a * a, b2 = b * b, na, nb;
    int n = 0, steps = 0;
    for (;;) {
        double ab = a * b, d = a2 - b2;
        double nre = d * d - 4 * a2 * b2 + x2m2 * d - y4 * ab + kn;
        double nim = 4 * ab * (d + xm1) + y2 * d + xy2;
        double dre = 4 * d + x4m8 * a - 4 * b + kd;
        double dim = 8 * ab + y4 * a + x4m8 * b + kdi;
        double q = dre * dre + dim * dim;
        na = a - (nre * dre + nim * dim) / q;
        nb = b - (nim * dre - nre * dim) / q;
        steps++;
        double na2 = na * na, nb2 = nb * nb;
        if (!(na2 + nb2 < escape_bound))
            break;
        if (++n >= maxiter)
            break;
        if (std::fabs(na - a) <= tolerance && std::fabs(nb - b) <= tolerance)
            break;
        a = na, b = nb, a2 = na2, b2 = nb2;
    }
    return {n, steps, na, nb};
}

// The dynamic-plane step is Newton's method for f_c(z) = z^3 + (c - 1)z - c.
orbit julia_orbit(double x, double y, double cr, double ci, int maxiter)
{
    const double cr1 = cr - 1;
    double x2 = x * x, y2 = y * y, nx, ny;
    int n = 0, steps = 0;
    for (;;) {
        double fre = x * (x2 - 3 * y2) + cr1 * x - ci * y - cr;
        double fim = y * (3 * x2 - y2) + cr1 * y + ci * x - ci;
        double dre = 3 * (x2 - y2) + cr1;
        double dim = 6 * x * y + ci;
        double q = dre * dre + dim * dim;
        nx = x - (fre * dre + fim * dim) / q;
        ny = y - (fim * dre - fre * dim) / q;
        steps++;
        double nx2 = nx * nx, ny2 = ny * ny;
        if (!(nx2 + ny2 < escape_bound))
            break;
        if (++n >= maxiter)
            break;
        if (std::fabs(nx - x) <= tolerance && std::fabs(ny - y) <= tolerance)
            break;
        x = nx, y = ny, x2 = nx2, y2 = ny2;
    }
    return {n, steps, nx, ny};
}

// The difference is taken in unsigned arithmetic: its low 8 bits are those
// of the two's-complement int difference, without overflow for any limit.
std::uint32_t orbit_colour(int n, int maxiter)
{
    if (n == maxiter)
        return 0;
    return mycoltab[(static_cast<unsigned>(maxiter) - static_cast<unsigned>(n)) & 0xff];
}

std::uint32_t mandel_point(double cx, double cy, double zx, double zy, int maxiter)
{
    orbit o = mandel_orbit(cx, cy, zx, zy, maxiter);
    kernel_samples++;
    kernel_steps += o.steps;
    if (blub)
        std::printf("%g %g\n", o.x, o.y);
    return orbit_colour(o.n, maxiter);
}

std::uint32_t julia_point(double zx, double zy, double cx, double cy, int maxiter)
{
    orbit o = julia_orbit(zx, zy, cx, cy, maxiter);
    kernel_samples++;
    kernel_steps += o.steps;
    return orbit_colour(o.n, maxiter);
}
