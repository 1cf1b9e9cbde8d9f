// quad_reference.h -- both planes' iteration written from the formulas in quadruple precision, the tests' reference
#pragma once

// The parameter plane's step at z = a + bi for c = x + yi, from the four
// polynomials written out term by term, in any precision.
template <class Q>
inline void parameter_step_by_terms(Q x, Q y, Q a, Q b, Q &da, Q &db)
{
    const Q nre = a * a * a * a - 6 * a * a * b * b + b * b * b * b + 2 * a * a * x - 2 * b * b * x -
                  4 * a * b * y - 2 * a * a + 2 * b * b + x * x + y * y - 2 * x - 2 * y + 1;
    const Q nim = 4 * a * a * a * b - 4 * a * b * b * b + 4 * a * b * x + 2 * a * a * y - 2 * b * b * y -
                  4 * a * b + 2 * x * y;
    const Q dre = 4 * a * a - 4 * b * b + 4 * a * x + x * x - y * y - 8 * a - 4 * b - 4 * x + y + 4;
    const Q dim = 8 * a * b + 4 * a * y + 4 * b * x + 2 * x * y - 8 * b - 4 * y;
    const Q q = dre * dre + dim * dim;
    da = (nre * dre + nim * dim) / q;
    db = (nim * dre - nre * dim) / q;
}

namespace {

using quad = __float128;

quad quad_abs(quad v) { return v < 0 ? -v : v; }

// The parameter plane's step written out term by term (above), and the
// dynamic plane's step as Newton's method on f_c(z) = z^3 + (c - 1)z - c
// with f_c'(z) = 3z^2 + c - 1, in complex arithmetic: both from the
// formulas, in quadruple precision (113 bits), independent of the kernels'
// code.
void quad_dynamic_step(quad cr, quad ci, quad x, quad y, quad &dx, quad &dy)
{
    const quad x2 = x * x - y * y, y2 = 2 * x * y;       // z^2
    const quad x3 = x2 * x - y2 * y, y3 = x2 * y + y2 * x;  // z^3
    const quad fre = x3 + (cr - 1) * x - ci * y - cr, fim = y3 + (cr - 1) * y + ci * x - ci;
    const quad dre = 3 * x2 + cr - 1, dim = 3 * y2 + ci;
    const quad q = dre * dre + dim * dim;
    dx = (fre * dre + fim * dim) / q;
    dy = (fim * dre - fre * dim) / q;
}

// The iteration's rules: an escaping step is not counted, a converging one
// is, the limit before convergence. The sample is c (with z0 = 0) in the
// parameter plane, z0 (with c fixed) in the dynamic plane. Where it ended,
// and the moves of the last step and the one before (the larger of the two
// parts' moves; -1 before the first step).
struct quad_end {
    int n;
    bool escaped;
    quad x, y;
    quad move, move_before;
};

quad_end quad_orbit(bool dynamic, quad sx, quad sy, quad cr, quad ci, int maxiter)
{
    quad a = dynamic ? sx : 0, b = dynamic ? sy : 0, move = -1, before = -1;
    for (int n = 0;;) {
        quad da, db;
        if (dynamic)
            quad_dynamic_step(cr, ci, a, b, da, db);
        else
            parameter_step_by_terms(sx, sy, a, b, da, db);
        const quad na = a - da, nb = b - db;
        before = move;
        move = quad_abs(na - a) > quad_abs(nb - b) ? quad_abs(na - a) : quad_abs(nb - b);
        if (!(na * na + nb * nb < 1000000))
            return {n, true, na, nb, move, before};
        if (++n >= maxiter || (quad_abs(na - a) <= quad(0.001) && quad_abs(nb - b) <= quad(0.001)))
            return {n, false, na, nb, move, before};
        a = na, b = nb;
    }
}

// A point on a boundary between the basins of two roots, to the last bit
// of quadruple precision: the first pair of neighbours along a row of the
// plane whose orbits settle on roots apart, halved until they meet. False
// when the row crosses no boundary.
bool quad_boundary_point(bool dynamic, quad cr, quad ci, double row, quad &bx, quad &by)
{
    const auto root_of = [&](quad x) { return quad_orbit(dynamic, x, row, cr, ci, 400); };
    const auto apart = [](const quad_end &p, const quad_end &q) {
        return !p.escaped && !q.escaped && p.n < 400 && q.n < 400 && quad_abs(p.x - q.x) + quad_abs(p.y - q.y) > 0.01;
    };
    quad lo = -2, hi = lo;
    for (int i = 1; i <= 4000 && hi == lo; i++) {
        const quad x = -2 + i * quad(0.001);
        if (apart(root_of(x - quad(0.001)), root_of(x)))
            lo = x - quad(0.001), hi = x;
    }
    if (lo == hi)
        return false;
    const quad_end left = root_of(lo);
    for (int i = 0; i < 130; i++) {
        const quad mid = lo + (hi - lo) / 2;
        (apart(left, root_of(mid)) ? hi : lo) = mid;
    }
    bx = lo, by = row;
    return true;
}

}  // namespace
