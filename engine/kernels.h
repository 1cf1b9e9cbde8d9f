// kernels.h -- the Newton iteration of one sample, in both planes
#pragma once

#include <cstdint>

#include "app/palette.h"
#include "engine/dd.h"

// Where one sample's iteration ended: the counted steps n, the steps
// computed (n, plus one when the last step escaped) and the last iterate.
struct orbit {
    int n;
    int steps;
    double x, y;
};

// The same and the moves of the last step and of the step before it
// (infinite when there was none), each the larger of the two parts' moves
// as the convergence test measures them: for the smooth colourings.
struct moving_orbit : orbit {
    double move, move_before;
};

extern long long kernel_samples;  // samples computed by the point kernels and by the passes of each frame; tools and tests reset it
extern long long kernel_steps;    // iteration steps computed likewise
extern long long kernel_fallbacks;  // perturbed samples that went on in double-double instead, likewise

// Parameter plane: the sample is the parameter c, iterated from z0.
orbit mandel_orbit(double cx, double cy, double zx, double zy, int maxiter);
// Dynamic plane: the sample is the start value z0, for the parameter c.
orbit julia_orbit(double zx, double zy, double cx, double cy, int maxiter);

// The same in double-double arithmetic throughout, for views deeper than
// doubles resolve; the last iterate given is its high part. The parameter
// plane's z0 stays a double, as the view state keeps it.
orbit mandel_orbit_dd(dd<double> cx, dd<double> cy, double zx, double zy, int maxiter);
orbit julia_orbit_dd(dd<double> zx, dd<double> zy, dd<double> cx, dd<double> cy, int maxiter);

// The four kernels above, with the moves.
moving_orbit mandel_orbit_moving(double cx, double cy, double zx, double zy, int maxiter);
moving_orbit julia_orbit_moving(double zx, double zy, double cx, double cy, int maxiter);
moving_orbit mandel_orbit_dd_moving(dd<double> cx, dd<double> cy, double zx, double zy, int maxiter);
moving_orbit julia_orbit_dd_moving(dd<double> zx, dd<double> zy, dd<double> cx, dd<double> cy, int maxiter);

struct reference_orbit;

// The same by perturbation, for views deeper than doubles resolve: the
// sample at the offset (x, y) from the view's centre, iterated as a double
// difference from the reference orbit (engine/reference.h), in the plane
// of the reference, with the moves or without. An n of -1 says the sample
// outlived the reference, or lost the digits its difference needs: it
// must go on another way.
orbit perturbed_orbit(const reference_orbit &r, double x, double y, int maxiter);
moving_orbit perturbed_orbit_moving(const reference_orbit &r, double x, double y, int maxiter);

// The colour of an iteration that counted n steps: black at the limit,
// otherwise the palette entry of the low 8 bits of maxiter - n. The
// difference is taken in unsigned arithmetic: its low 8 bits are those of
// the two's-complement int difference, without overflow for any limit.
inline std::uint32_t orbit_colour(int n, int maxiter)
{
    if (n == maxiter)
        return 0;
    return mycoltab[(static_cast<unsigned>(maxiter) - static_cast<unsigned>(n)) & 0xff];
}

// The colour of one parameter-plane sample; prints the last iterate while
// the debug listing is on.
std::uint32_t mandel_point(double cx, double cy, double zx, double zy, int maxiter);
// The colour of one dynamic-plane sample.
std::uint32_t julia_point(double zx, double zy, double cx, double cy, int maxiter);
