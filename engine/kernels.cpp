// kernels.cpp -- Newton iteration kernels of the parameter and the dynamic plane
#include "engine/kernels.h"

#include <cstdio>

#include "engine/newton.h"
#include "view/viewstate.h"

long long kernel_samples;
long long kernel_steps;

// Both kernels share this loop: a step that escapes is not counted, a step
// that converges is, and when the step that reaches the limit also
// converges the limit decides. The escape test is written so that an
// infinite or not-a-number iterate fails it. The squares of the new iterate
// serve the escape test and then the next step. The corrections themselves
// are in newton.h, shared with the lane kernels.
template <class Correction>
static orbit iterate(double a, double b, int maxiter, Correction correction)
{
    double a2 = a * a, b2 = b * b, na, nb;
    int n = 0, steps = 0;
    for (;;) {
        double da, db;
        correction(a, b, a2, b2, da, db);
        na = a - da, nb = b - db;
        steps++;
        double na2 = na * na, nb2 = nb * nb;
        if (!(na2 + nb2 < escape_bound))
            break;
        if (++n >= maxiter)
            break;
        if (magnitude(na - a) <= tolerance && magnitude(nb - b) <= tolerance)
            break;
        a = na, b = nb, a2 = na2, b2 = nb2;
    }
    return {n, steps, na, nb};
}

orbit mandel_orbit(double x, double y, double a, double b, int maxiter)
{
    const mandel_terms<double> t = mandel_terms_of(x, y);
    return iterate(a, b, maxiter, [&](double a, double b, double a2, double b2, double &da, double &db) {
        mandel_correction(t, a, b, a2, b2, da, db);
    });
}

orbit julia_orbit(double x, double y, double cr, double ci, int maxiter)
{
    const julia_terms c = julia_terms_of(cr, ci);
    return iterate(x, y, maxiter, [&](double x, double y, double x2, double y2, double &dx, double &dy) {
        julia_correction(c, x, y, x2, y2, dx, dy);
    });
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
