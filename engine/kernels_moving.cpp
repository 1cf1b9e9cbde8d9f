// kernels_moving.cpp -- the one-sample kernels that also report the moves of the last two steps, for the smooth colourings
#include "engine/iterate.h"

moving_orbit mandel_orbit_moving(double x, double y, double a, double b, int maxiter)
{
    return mandel_iterate<true>(x, y, a, b, maxiter);
}

moving_orbit julia_orbit_moving(double x, double y, double cr, double ci, int maxiter)
{
    return julia_iterate<true>(x, y, cr, ci, maxiter);
}

moving_orbit mandel_orbit_dd_moving(dd<double> x, dd<double> y, double a, double b, int maxiter)
{
    return plain_nan(mandel_iterate<true>(x, y, dd<double>{a, 0.0}, dd<double>{b, 0.0}, maxiter));
}

moving_orbit julia_orbit_dd_moving(dd<double> x, dd<double> y, dd<double> cr, dd<double> ci, int maxiter)
{
    return plain_nan(julia_iterate<true>(x, y, cr, ci, maxiter));
}

moving_orbit perturbed_orbit_moving(const reference_orbit &r, double x, double y, int maxiter)
{
    return r.julia ? perturbed_iterate<true, true>(r, x, y, maxiter) : perturbed_iterate<true, false>(r, x, y, maxiter);
}
