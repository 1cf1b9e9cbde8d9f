// kernels.cpp -- Newton iteration kernels of the parameter and the dynamic plane
#include "engine/kernels.h"

#include <cstdio>

#include "engine/newton.h"
#include "engine/reference.h"
#include "view/viewstate.h"

long long kernel_samples;
long long kernel_steps;
long long kernel_fallbacks;

// Every kernel shares this loop, in doubles or in double-doubles: a step
// that escapes is not counted, a step that converges is, and when the step
// that reaches the limit also converges the limit decides. The escape test
// is written so that an infinite or not-a-number iterate fails it. The
// squares of the new iterate serve the escape test and then the next step.
// The stop tests look at the high parts alone: a step of 0.001 and a bound
// of a million need no more. The corrections themselves are in newton.h,
// shared with the lane kernels.
template <class Num, class Correction>
static orbit iterate(Num a, Num b, int maxiter, Correction correction)
{
    Num a2 = a * a, b2 = b * b, na, nb;
    int n = 0, steps = 0;
    for (;;) {
        Num da, db;
        correction(a, b, a2, b2, da, db);
        na = a - da, nb = b - db;
        steps++;
        Num na2 = na * na, nb2 = nb * nb;
        if (!(escape_measure(na, nb, na2, nb2) < escape_bound))
            break;
        if (++n >= maxiter)
            break;
        if (magnitude(high_part(na) - high_part(a)) <= tolerance &&
            magnitude(high_part(nb) - high_part(b)) <= tolerance)
            break;
        a = na, b = nb, a2 = na2, b2 = nb2;
    }
    return {n, steps, high_part(na), high_part(nb)};
}

template <class Num>
static orbit mandel_iterate(Num x, Num y, Num a, Num b, int maxiter)
{
    const mandel_terms<Num> t = mandel_terms_of(x, y);
    return iterate(a, b, maxiter, [&](Num a, Num b, Num a2, Num b2, Num &da, Num &db) {
        mandel_correction(t, a, b, a2, b2, da, db);
    });
}

template <class Num>
static orbit julia_iterate(Num x, Num y, Num cr, Num ci, int maxiter)
{
    const julia_terms<Num> c = julia_terms_of(cr, ci);
    return iterate(x, y, maxiter, [&](Num x, Num y, Num x2, Num y2, Num &dx, Num &dy) {
        julia_correction(c, x, y, x2, y2, dx, dy);
    });
}

orbit mandel_orbit(double x, double y, double a, double b, int maxiter)
{
    return mandel_iterate(x, y, a, b, maxiter);
}

orbit julia_orbit(double x, double y, double cr, double ci, int maxiter)
{
    return julia_iterate(x, y, cr, ci, maxiter);
}

// Which of two not-a-numbers an operation passes on depends on the order
// of its operands, which a compiler may swap in vector code and not in
// scalar code; double-double meets them more often, as an overflow turns
// into one. So a deep orbit reports every not-a-number as the same one.
static orbit plain_nan(orbit o)
{
    o.x = o.x == o.x ? o.x : __builtin_nan("");
    o.y = o.y == o.y ? o.y : __builtin_nan("");
    return o;
}

orbit mandel_orbit_dd(dd<double> x, dd<double> y, double a, double b, int maxiter)
{
    return plain_nan(mandel_iterate(x, y, dd<double>{a, 0.0}, dd<double>{b, 0.0}, maxiter));
}

orbit julia_orbit_dd(dd<double> x, dd<double> y, dd<double> cr, dd<double> ci, int maxiter)
{
    return plain_nan(julia_iterate(x, y, cr, ci, maxiter));
}

// The loop above for a difference from the reference: the reference's next
// iterate Z_n+1 comes from its table, the escape test takes Z_n+1 + delta
// and the convergence test (Z_n+1 - Z_n) + (delta' - delta). A sample whose
// step needs an iterate past the table's end, unless the reference settled
// there, or whose iterate falls far below the reference's, is lost. The
// lane kernels do the same, lane by lane.
template <bool Julia>
static orbit perturbed_iterate(const reference_orbit &r, double x, double y, int maxiter)
{
    const perturb_terms p = perturb_terms_of(r.c_x, r.c_y);
    const double gx = x - r.offset_x, gy = y - r.offset_y;
    const offset_terms<double> o = offset_terms_of(p, Julia ? 0.0 : gx, Julia ? 0.0 : gy);
    double dx = Julia ? gx : 0.0, dy = Julia ? gy : 0.0, A = r.x[0], B = r.y[0], zx, zy;
    const orbit lost = {-1, 0, 0, 0};
    int n = 0, steps = 0;
    for (;;) {
        if (!r.settled && n + 1 > r.length)
            return lost;
        const int at = n + 1 < r.length ? n + 1 : r.length;
        const double A1 = r.x[at], B1 = r.y[at], q0x = A - A1, q0y = B - B1;
        double cx, cy;
        perturbed_difference<Julia>(p, o, A, B, q0x, q0y, dx, dy, cx, cy);
        const double ndx = dx - cx, ndy = dy - cy;
        steps++;
        zx = A1 + ndx, zy = B1 + ndy;
        const double m = zx * zx + zy * zy;
        if (!(m < escape_bound))
            break;
        if (m < glitch_ratio * (A1 * A1 + B1 * B1))
            return lost;
        if (++n >= maxiter)
            break;
        if (perturbed_move(q0x, ndx - dx) <= tolerance && perturbed_move(q0y, ndy - dy) <= tolerance)
            break;
        A = A1, B = B1, dx = ndx, dy = ndy;
    }
    return plain_nan({n, steps, zx, zy});
}

orbit perturbed_orbit(const reference_orbit &r, double x, double y, int maxiter)
{
    return r.julia ? perturbed_iterate<true>(r, x, y, maxiter) : perturbed_iterate<false>(r, x, y, maxiter);
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
