// iterate.h -- the loop every one-sample kernel shares, with the moves of the last two steps or without
//
// Included by kernels.cpp, which compiles it without the moves, as the
// count pictures have always run it, and by kernels_moving.cpp, which
// compiles it with them for the smooth colourings: apart, so that neither
// changes the compiler's choices for the other. Internal linkage, as in
// newton.h.
#pragma once

#include <type_traits>

#include "engine/kernels.h"
#include "engine/newton.h"
#include "engine/reference.h"

// Every kernel shares this loop, in doubles or in double-doubles: a step
// that escapes is not counted, a step that converges is, and when the step
// that reaches the limit also converges the limit decides. The escape test
// is written so that an infinite or not-a-number iterate fails it. The
// squares of the new iterate serve the escape test and then the next step.
// The stop tests look at the high parts alone: a step of 0.001 and a bound
// of a million need no more. The corrections themselves are in newton.h,
// shared with the lane kernels. With Moves it keeps the moves of the last
// two steps too, for the smooth colourings; the count pictures' kernels
// are compiled without them, as they always were.
template <bool Moves, class Num, class Correction>
static std::conditional_t<Moves, moving_orbit, orbit> iterate(Num a, Num b, int maxiter, Correction correction)
{
    Num a2 = a * a, b2 = b * b, na, nb;
    int n = 0, steps = 0;
    [[maybe_unused]] double move = __builtin_inf(), before = __builtin_inf();
    for (;;) {
        Num da, db;
        correction(a, b, a2, b2, da, db);
        na = a - da, nb = b - db;
        steps++;
        Num na2 = na * na, nb2 = nb * nb;
        if constexpr (Moves) {
            const double move_a = magnitude(high_part(na) - high_part(a)), move_b = magnitude(high_part(nb) - high_part(b));
            before = move, move = move_a > move_b ? move_a : move_b;
        }
        if (!(escape_measure(na, nb, na2, nb2) < escape_bound))
            break;
        if (++n >= maxiter)
            break;
        if (magnitude(high_part(na) - high_part(a)) <= tolerance &&
            magnitude(high_part(nb) - high_part(b)) <= tolerance)
            break;
        a = na, b = nb, a2 = na2, b2 = nb2;
    }
    if constexpr (Moves)
        return {{n, steps, high_part(na), high_part(nb)}, move, before};
    else
        return {n, steps, high_part(na), high_part(nb)};
}

template <bool Moves, class Num>
static auto mandel_iterate(Num x, Num y, Num a, Num b, int maxiter)
{
    const mandel_terms<Num> t = mandel_terms_of(x, y);
    return iterate<Moves>(a, b, maxiter, [&](Num a, Num b, Num a2, Num b2, Num &da, Num &db) {
        mandel_correction(t, a, b, a2, b2, da, db);
    });
}

template <bool Moves, class Num>
static auto julia_iterate(Num x, Num y, Num cr, Num ci, int maxiter)
{
    const julia_terms<Num> c = julia_terms_of(cr, ci);
    return iterate<Moves>(x, y, maxiter, [&](Num x, Num y, Num x2, Num y2, Num &dx, Num &dy) {
        julia_correction(c, x, y, x2, y2, dx, dy);
    });
}

// Which of two not-a-numbers an operation passes on depends on the order
// of its operands, which a compiler may swap in vector code and not in
// scalar code; double-double meets them more often, as an overflow turns
// into one. So a deep orbit reports every not-a-number as the same one.
template <class Orbit>
static Orbit plain_nan(Orbit o)
{
    o.x = o.x == o.x ? o.x : __builtin_nan("");
    o.y = o.y == o.y ? o.y : __builtin_nan("");
    return o;
}


// The loop above for a difference from the reference orbit: the
// reference's next iterate Z_n+1 comes from its table, the escape test
// takes Z_n+1 + delta and the convergence test (Z_n+1 - Z_n) + (delta' -
// delta), which measures the moves too. A sample whose step needs an
// iterate past the table's end, unless the reference settled there, or
// whose iterate falls far below the reference's, is lost: an n of -1. The
// lane kernels do the same, lane by lane.
template <bool Moves, bool Julia>
static std::conditional_t<Moves, moving_orbit, orbit> perturbed_iterate(const reference_orbit &r, double x, double y,
                                                                        int maxiter)
{
    const perturb_terms p = perturb_terms_of(r.c_x, r.c_y);
    const double gx = x - r.offset_x, gy = y - r.offset_y;
    const offset_terms<double> o = offset_terms_of(p, Julia ? 0.0 : gx, Julia ? 0.0 : gy);
    double dx = Julia ? gx : 0.0, dy = Julia ? gy : 0.0, A = r.x[0], B = r.y[0], zx, zy;
    [[maybe_unused]] double move = __builtin_inf(), before = __builtin_inf();
    std::conditional_t<Moves, moving_orbit, orbit> lost{};
    lost.n = -1;
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
        const double m = zx * zx + zy * zy, move_a = perturbed_move(q0x, ndx - dx), move_b = perturbed_move(q0y, ndy - dy);
        if constexpr (Moves)
            before = move, move = move_a > move_b ? move_a : move_b;
        if (!(m < escape_bound))
            break;
        if (m < glitch_ratio * (A1 * A1 + B1 * B1))
            return lost;
        if (++n >= maxiter)
            break;
        if (move_a <= tolerance && move_b <= tolerance)
            break;
        A = A1, B = B1, dx = ndx, dy = ndy;
    }
    if constexpr (Moves)
        return plain_nan(moving_orbit{{n, steps, zx, zy}, move, before});
    else
        return plain_nan(orbit{n, steps, zx, zy});
}
