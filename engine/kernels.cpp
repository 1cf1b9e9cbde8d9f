// kernels.cpp -- Newton iteration kernels of the parameter and the dynamic plane
#include "engine/kernels.h"

#include <cstdio>

#include "engine/newton.h"
#include "view/viewstate.h"

long long kernel_samples;
long long kernel_steps;

// Every kernel shares this loop, in doubles or in double-doubles: a step
// that escapes is not counted, a step that converges is, and when the step
// that reaches the limit also converges the limit decides. The escape test
// is written so that an infinite or not-a-number iterate fails it. The
// squares of the new iterate serve the escape test and then the next step.
// The stop tests look at the high parts alone: a step of 0.001 and a bound
// of a million need no more. The corrections themselves are in newton.h,
// shared with the lane kernels. With Moves the last two steps' moves are
// kept, for the smooth colourings; the count pictures pay nothing for them.
template <bool Moves, class Num, class Correction>
static orbit iterate(Num a, Num b, int maxiter, Correction correction)
{
    Num a2 = a * a, b2 = b * b, na, nb;
    int n = 0, steps = 0;
    double move = __builtin_inf(), before = __builtin_inf();
    for (;;) {
        Num da, db;
        correction(a, b, a2, b2, da, db);
        na = a - da, nb = b - db;
        steps++;
        Num na2 = na * na, nb2 = nb * nb;
        const double move_a = magnitude(high_part(na) - high_part(a)), move_b = magnitude(high_part(nb) - high_part(b));
        if constexpr (Moves)
            before = move, move = move_a > move_b ? move_a : move_b;
        if (!(escape_measure(na, nb, na2, nb2) < escape_bound))
            break;
        if (++n >= maxiter)
            break;
        if (move_a <= tolerance && move_b <= tolerance)
            break;
        a = na, b = nb, a2 = na2, b2 = nb2;
    }
    return {n, steps, high_part(na), high_part(nb), move, before};
}

template <bool Moves, class Num>
static orbit mandel_iterate(Num x, Num y, Num a, Num b, int maxiter)
{
    const mandel_terms<Num> t = mandel_terms_of(x, y);
    return iterate<Moves>(a, b, maxiter, [&](Num a, Num b, Num a2, Num b2, Num &da, Num &db) {
        mandel_correction(t, a, b, a2, b2, da, db);
    });
}

template <bool Moves, class Num>
static orbit julia_iterate(Num x, Num y, Num cr, Num ci, int maxiter)
{
    const julia_terms<Num> c = julia_terms_of(cr, ci);
    return iterate<Moves>(x, y, maxiter, [&](Num x, Num y, Num x2, Num y2, Num &dx, Num &dy) {
        julia_correction(c, x, y, x2, y2, dx, dy);
    });
}

orbit mandel_orbit(double x, double y, double a, double b, int maxiter, bool moves)
{
    return moves ? mandel_iterate<true>(x, y, a, b, maxiter) : mandel_iterate<false>(x, y, a, b, maxiter);
}

orbit julia_orbit(double x, double y, double cr, double ci, int maxiter, bool moves)
{
    return moves ? julia_iterate<true>(x, y, cr, ci, maxiter) : julia_iterate<false>(x, y, cr, ci, maxiter);
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

orbit mandel_orbit_dd(dd<double> x, dd<double> y, double a, double b, int maxiter, bool moves)
{
    const dd<double> za = {a, 0.0}, zb = {b, 0.0};
    return plain_nan(moves ? mandel_iterate<true>(x, y, za, zb, maxiter) : mandel_iterate<false>(x, y, za, zb, maxiter));
}

orbit julia_orbit_dd(dd<double> x, dd<double> y, dd<double> cr, dd<double> ci, int maxiter, bool moves)
{
    return plain_nan(moves ? julia_iterate<true>(x, y, cr, ci, maxiter) : julia_iterate<false>(x, y, cr, ci, maxiter));
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
