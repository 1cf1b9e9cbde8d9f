// dd.h -- double-double numbers: an unevaluated sum of two doubles, about 106 bits, for views deeper than doubles resolve
//
// Written once as templates over the part type: double for the one-sample
// kernels, GCC vectors of doubles for the lane kernels, so every lane does
// the same operations in the same order as the scalar code and both give
// the same bits. Sums are exact through the two-sum step and products
// through a fused multiply-add, which rounds once on every path; nothing
// here may be contracted or reassociated, which -ffp-contract=off and the
// absence of -ffast-math guarantee. Internal linkage, as in newton.h.
#pragma once

#if defined(__AVX512F__) || defined(__FMA__)
#include <immintrin.h>
#endif

// hi + lo, with |lo| at most half a unit in the last place of hi. The
// type has external linkage, so that functions taking one can be called
// from other files; its arithmetic below has internal linkage.
template <class T>
struct dd {
    T hi, lo;
};

namespace {

template <class T>
constexpr bool is_dd = false;
template <class T>
constexpr bool is_dd<dd<T>> = true;

// a * b + c rounded once. On the one-sample path without FMA instructions
// this is the C library's fma, exact as well, only slower.
inline double fused(double a, double b, double c)
{
    return __builtin_fma(a, b, c);
}

#ifdef __AVX512F__
typedef double dd_lanes8 __attribute__((vector_size(64)));
inline dd_lanes8 fused(dd_lanes8 a, dd_lanes8 b, dd_lanes8 c)
{
    return dd_lanes8(_mm512_fmadd_pd(__m512d(a), __m512d(b), __m512d(c)));
}
#endif
#ifdef __FMA__
typedef double dd_lanes4 __attribute__((vector_size(32)));
inline dd_lanes4 fused(dd_lanes4 a, dd_lanes4 b, dd_lanes4 c)
{
    return dd_lanes4(_mm256_fmadd_pd(__m256d(a), __m256d(b), __m256d(c)));
}
#endif


// A double on every lane (or the double itself).
template <class T>
inline T splat(double v)
{
    return T{} + v;
}

// a + b exactly, for |a| >= |b| or a zero.
template <class T>
inline dd<T> quick_two_sum(T a, T b)
{
    const T s = a + b;
    return {s, b - (s - a)};
}

// a + b exactly, whatever their sizes.
template <class T>
inline dd<T> two_sum(T a, T b)
{
    const T s = a + b, v = s - a;
    return {s, (a - (s - v)) + (b - v)};
}

// a * b exactly (barring overflow and underflow).
template <class T>
inline dd<T> two_prod(T a, T b)
{
    const T p = a * b;
    return {p, fused(a, b, -p)};
}

// The double-double nearest a sum of a double-double and a double.
template <class T>
inline dd<T> dd_add(dd<T> a, T b)
{
    const dd<T> s = two_sum(a.hi, b);
    return quick_two_sum(s.hi, s.lo + a.lo);
}

// Sums: the error is a few units of 2^-106 of the larger operand, not of
// the result; where terms cancel the lost digits were not there to begin
// with, as the operands themselves carry no more.
template <class T>
inline dd<T> operator+(dd<T> a, dd<T> b)
{
    const dd<T> s = two_sum(a.hi, b.hi);
    return quick_two_sum(s.hi, s.lo + (a.lo + b.lo));
}

template <class T>
inline dd<T> operator-(dd<T> a)
{
    return {-a.hi, -a.lo};
}

template <class T>
inline dd<T> operator-(dd<T> a, dd<T> b)
{
    return a + -b;
}

template <class T>
inline dd<T> operator+(dd<T> a, double b)
{
    return dd_add(a, splat<T>(b));
}

template <class T>
inline dd<T> operator-(dd<T> a, double b)
{
    return dd_add(a, splat<T>(-b));
}

template <class T>
inline dd<T> operator*(dd<T> a, dd<T> b)
{
    const dd<T> p = two_prod(a.hi, b.hi);
    return quick_two_sum(p.hi, fused(a.hi, b.lo, fused(a.lo, b.hi, p.lo)));
}

// A double-double times a double: the constants of the polynomials.
template <class T>
inline dd<T> operator*(double k, dd<T> a)
{
    const dd<T> p = two_prod(a.hi, splat<T>(k));
    return quick_two_sum(p.hi, fused(a.lo, splat<T>(k), p.lo));
}

template <class T>
inline dd<T> operator*(dd<T> a, double k)
{
    return k * a;
}

// 1 / q with one division: the double quotient, then one correction step
// from the remainder 1 - q * r, which a fused product gives exactly.
template <class T>
inline dd<T> reciprocal(dd<T> q)
{
    const T r = splat<T>(1.0) / q.hi;
    const dd<T> p = two_prod(q.hi, r);
    const T e = ((splat<T>(1.0) - p.hi) - p.lo) - q.lo * r;
    return quick_two_sum(r, e * r);
}

// The part the stop tests and the debug listing look at.
template <class T>
inline T high_part(T v)
{
    return v;
}

template <class T>
inline T high_part(dd<T> v)
{
    return v.hi;
}

}  // namespace
