// kernels.cpp -- Newton iteration kernels of the parameter and the dynamic plane
#include "engine/kernels.h"

#include <cstdio>

#include "engine/iterate.h"
#include "view/viewstate.h"

long long kernel_samples;
long long kernel_steps;
long long kernel_fallbacks;

orbit mandel_orbit(double x, double y, double a, double b, int maxiter)
{
    return mandel_iterate<false>(x, y, a, b, maxiter);
}

orbit julia_orbit(double x, double y, double cr, double ci, int maxiter)
{
    return julia_iterate<false>(x, y, cr, ci, maxiter);
}

orbit mandel_orbit_dd(dd<double> x, dd<double> y, double a, double b, int maxiter)
{
    return plain_nan(mandel_iterate<false>(x, y, dd<double>{a, 0.0}, dd<double>{b, 0.0}, maxiter));
}

orbit julia_orbit_dd(dd<double> x, dd<double> y, dd<double> cr, dd<double> ci, int maxiter)
{
    return plain_nan(julia_iterate<false>(x, y, cr, ci, maxiter));
}

orbit perturbed_orbit(const reference_orbit &r, double x, double y, int maxiter)
{
    return r.julia ? perturbed_iterate<false, true>(r, x, y, maxiter) : perturbed_iterate<false, false>(r, x, y, maxiter);
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
