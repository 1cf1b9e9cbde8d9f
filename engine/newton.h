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
