// newton.h -- the arithmetic of one Newton step, for one sample or a vector of them
//
// Written once as templates over the number type: double for the one-sample
// kernels, GCC vectors of doubles for the lane kernels. Every lane does the
// same operations in the same order as the scalar code, so both give the
// same bits. The same templates take double-double numbers (engine/dd.h)
// for views deeper than doubles resolve. Internal linkage: each file that
// includes this compiles its own copy with its own instruction set, and the
// linker never mixes them up. Nothing else is included, so no inline
// library code is compiled twice.
#pragma once

#include "engine/dd.h"

namespace {

constexpr double escape_bound = 1000000.0;
constexpr double tolerance = 0.001;

// |v| for the convergence test: the sign bit cleared, on a scalar or on
// every lane of a vector.
inline double magnitude(double v)
{
    return __builtin_fabs(v);
}

template <class T>
inline T magnitude(T v)
{
    using bits = decltype(v < v);
    return (T)((bits)v & 0x7fffffffffffffff);
}

// x / q and y / q: two divisions of doubles; in double-double one
// reciprocal and two products, as a division costs what a dozen other
// operations do.
template <class T>
inline void divide_both(T x, T y, T q, T &qx, T &qy)
{
    qx = x / q;
    qy = y / q;
}

template <class T>
inline void divide_both(dd<T> x, dd<T> y, dd<T> q, dd<T> &qx, dd<T> &qy)
{
    const dd<T> r = reciprocal(q);
    qx = x * r;
    qy = y * r;
}

// What the escape test compares with escape_bound, given the new iterate
// and its squares: |z|^2 from the squares, which the next step reuses. In
// double-double it is formed from the high parts alone, so that the steps
// of an escaped sample can be told again from its last iterate.
template <class T>
inline T escape_measure(T, T, T a2, T b2)
{
    return a2 + b2;
}

template <class T>
inline T escape_measure(dd<T> a, dd<T> b, dd<T>, dd<T>)
{
    return a.hi * a.hi + b.hi * b.hi;
}

// The parameter plane's polynomials N and D in a + bi = z and x + yi = c
// are fixed term by term (they are not the parts of one complex polynomial
// in z and c). Their terms in c alone are formed once per sample.
template <class T>
struct mandel_terms {
    T kn;    // N_re's terms in c: x^2 + y^2 - 2x - 2y + 1
    T kd;    // D_re's terms in c: x^2 - y^2 - 4x + y + 4
    T kdi;   // D_im's terms in c: 2xy - 4y
    T x2m2;  // 2x - 2, the factor of a^2 - b^2 in N_re
    T x4m8;  // 4x - 8, the factor of a in D_re and of b in D_im
    T y4;    // 4y
    T xm1;   // x - 1
    T y2;    // 2y
    T xy2;   // 2xy
};

template <class T>
inline mandel_terms<T> mandel_terms_of(T x, T y)
{
    return {x * x + y * y - 2.0 * x - 2.0 * y + 1.0,
            x * x - y * y - 4.0 * x + y + 4.0,
            2.0 * x * y - 4.0 * y,
            2.0 * x - 2.0,
            4.0 * x - 8.0,
            4.0 * y,
            x - 1.0,
            2.0 * y,
            2.0 * x * y};
}

// The Newton correction N/D = da + i db at z = a + bi, with a^2 and b^2
// given: the step is z' = z - N/D, subtracted part by part by the caller
// (the lane kernels subtract it only in lanes still iterating).
template <class T>
inline void mandel_correction(const mandel_terms<T> &t, T a, T b, T a2, T b2, T &da, T &db)
{
    T ab = a * b, d = a2 - b2;
    T nre = d * d - 4.0 * a2 * b2 + t.x2m2 * d - t.y4 * ab + t.kn;
    T nim = 4.0 * ab * (d + t.xm1) + t.y2 * d + t.xy2;
    T dre = 4.0 * d + t.x4m8 * a - 4.0 * b + t.kd;
    T dim = 8.0 * ab + t.y4 * a + t.x4m8 * b + t.kdi;
    T q = dre * dre + dim * dim;
    divide_both(nre * dre + nim * dim, nim * dre - nre * dim, q, da, db);
}

// The dynamic plane's c, the same for every sample of a frame: doubles, or
// double-doubles on every lane in a deep view.
template <class S>
struct julia_terms {
    S cr, ci, cr1;  // c and Re c - 1
};

template <class S>
inline julia_terms<S> julia_terms_of(S cr, S ci)
{
    return {cr, ci, cr - 1.0};
}

// The correction f/f' = dx + i dy of Newton's method for
// f_c(z) = z^3 + (c - 1)z - c at z = x + yi, with x^2 and y^2 given.
template <class T, class S>
inline void julia_correction(const julia_terms<S> &c, T x, T y, T x2, T y2, T &dx, T &dy)
{
    T fre = x * (x2 - 3.0 * y2) + c.cr1 * x - c.ci * y - c.cr;
    T fim = y * (3.0 * x2 - y2) + c.cr1 * y + c.ci * x - c.ci;
    T dre = 3.0 * (x2 - y2) + c.cr1;
    T dim = 6.0 * x * y + c.ci;
    T q = dre * dre + dim * dim;
    divide_both(fre * dre + fim * dim, fim * dre - fre * dim, q, dx, dy);
}

}  // namespace

namespace {

// Perturbation: a sample's orbit z_n = Z_n + delta_n as a double
// difference delta from a reference orbit Z_n computed once per view in
// double-double and kept as doubles. Each step's difference is written out
// so that its terms of order zero cancel symbolically: with q = N/D the
// correction, the sample's step less the reference's is
//   dq = q(Z + delta) - q(Z) = (dN - q0 dD) / (D0 + dD),
// where q0 = Z_n - Z_n+1 is the reference's own correction, D0 its
// denominator, and dN, dD the differences of N and D, every term kept. A
// division fewer than (dN D0 - N0 dD) / (D0 (D0 + dD)), and the same
// algebra. The reference's polynomials are formed again from Z in doubles:
// they only scale terms of the order of delta, whose relative precision
// that keeps.

// What the reference orbit's plane gives the steps: its c, as doubles.
struct perturb_terms {
    double xm1, xm2;  // Re c - 1 and Re c - 2
    double y, y4m4;   // Im c and 4 Im c - 4
    double xm1x2, y2;  // 2 (Re c - 1) and 2 Im c
};

inline perturb_terms perturb_terms_of(double x, double y)
{
    return {x - 1.0, x - 2.0, y, 4.0 * y - 4.0, 2.0 * (x - 1.0), 2.0 * y};
}

// A parameter-plane sample's own terms: gamma = gx + i gy, its c less the
// reference's c, and what dN and dD take from it alone.
template <class T>
struct offset_terms {
    T gx, gy;
    T e;    // Im c - 1 + gy: the sample's Im c - 1
    T k1;   // 2 gy (2 Im c - 1 + gy): dN's real terms in gamma alone
    T k2;   // 2 gy: dN's imaginary term in gamma alone
};

template <class T>
inline offset_terms<T> offset_terms_of(const perturb_terms &p, T gx, T gy)
{
    return {gx, gy, (p.y - 1.0) + gy, (gy + gy) * ((2.0 * p.y - 1.0) + gy), gy + gy};
}

// The parameter plane's N and D in complex form: with U = z^2 + c - 1 and
// W = 2z + c - 2, N = U^2 + 2y(y - 1 + i) and D = W^2 + y + 4b(y - 1)
// (z = a + bi, c = x + yi): the same polynomials as mandel_correction's,
// grouped. So with mu = delta (2Z + delta) + gamma the difference of U and
// omega = 2 delta + gamma that of W,
//   dN = mu (2U + mu) + 2 gy (2y - 1 + gy + i),
//   dD = omega (2W + omega) + gy + 4 (B gy + delta_im (y - 1 + gy)).
// From the reference's Z = A + Bi and q0, the sample's delta and gamma,
// the difference dq of the two corrections. 2U is formed at once.
template <class T>
inline void mandel_difference(const perturb_terms &p, const offset_terms<T> &o, T A, T B, T q0x, T q0y, T dx,
                              T dy, T &cx, T &cy)
{
    const T a2 = A + A, b2 = B + B;
    const T u2x = a2 * A - b2 * B + p.xm1x2, u2y = (a2 + a2) * B + p.y2;
    const T wx = a2 + p.xm2, wy = b2 + p.y;
    const T tx = a2 + dx, ty = b2 + dy;
    const T mx = dx * tx - dy * ty + o.gx, my = dx * ty + dy * tx + o.gy;
    const T vx = u2x + mx, vy = u2y + my;
    const T nx = mx * vx - my * vy + o.k1, ny = mx * vy + my * vx + o.k2;
    const T ox = (dx + dx) + o.gx, oy = (dy + dy) + o.gy;
    const T sx = (wx + wx) + ox, sy = (wy + wy) + oy;
    const T ex = ox * sx - oy * sy + (o.gy + 4.0 * (B * o.gy + dy * o.e)), ey = ox * sy + oy * sx;
    const T hx = wx * wx - wy * wy + (p.y + B * p.y4m4) + ex, hy = (wx + wx) * wy + ey;
    const T rx = nx - (q0x * ex - q0y * ey), ry = ny - (q0x * ey + q0y * ex);
    divide_both(rx * hx + ry * hy, ry * hx - rx * hy, hx * hx + hy * hy, cx, cy);
}

// The dynamic plane's f and f' = D for the frame's c: with D0 = 3Z^2 + c - 1,
//   dN = delta (D0 + delta (3Z + delta)),  dD = 3 delta (2Z + delta).
template <class T>
inline void julia_difference(const perturb_terms &p, T A, T B, T q0x, T q0y, T dx, T dy, T &cx, T &cy)
{
    const T d0x = 3.0 * (A * A - B * B) + p.xm1, d0y = 6.0 * (A * B) + p.y;
    const T tx = 3.0 * A + dx, ty = 3.0 * B + dy;
    const T px = d0x + (dx * tx - dy * ty), py = d0y + (dx * ty + dy * tx);
    const T nx = dx * px - dy * py, ny = dx * py + dy * px;
    const T sx = (A + A) + dx, sy = (B + B) + dy;
    const T ex = 3.0 * (dx * sx - dy * sy), ey = 3.0 * (dx * sy + dy * sx);
    const T hx = d0x + ex, hy = d0y + ey;
    const T rx = nx - (q0x * ex - q0y * ey), ry = ny - (q0x * ey + q0y * ex);
    divide_both(rx * hx + ry * hy, ry * hx - rx * hy, hx * hx + hy * hy, cx, cy);
}

// The difference of one step, for a sample at Z_n + delta whose reference
// goes on from Z_n = A + Bi by its correction q0 = Z_n - Z_n+1.
template <bool Julia, class T>
inline void perturbed_difference(const perturb_terms &p, const offset_terms<T> &o, T A, T B, T q0x, T q0y, T dx,
                                 T dy, T &cx, T &cy)
{
    if constexpr (Julia)
        julia_difference(p, A, B, q0x, q0y, dx, dy, cx, cy);
    else
        mandel_difference(p, o, A, B, q0x, q0y, dx, dy, cx, cy);
}

// The convergence test's measure of a step, |(Z_n+1 - Z_n) + (delta' -
// delta)| part by part, as |q0 - (delta' - delta)|: the same number.
template <class T>
inline T perturbed_move(T q0, T moved)
{
    return magnitude(q0 - moved);
}

// A sample whose iterate Z + delta falls this far below the reference's
// (in squares: a thousandth in size) has lost the digits of delta that
// tell it from its neighbours there; it goes on another way.
constexpr double glitch_ratio = 1e-6;

}  // namespace
