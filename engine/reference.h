// reference.h -- the reference orbit a deep view's samples are perturbed from: found on a lattice tied to the view
#pragma once

#include <vector>

#include "engine/dd.h"

// What a reference orbit serves: the plane drawn, its view's centre whole,
// its half-extents, the other value of the iteration (the dynamic plane's
// c, or the parameter plane's start value z0) and the iteration limit.
struct reference_view {
    bool julia;
    dd<double> centre_x, centre_y;
    double half_x, half_y;
    dd<double> other_x, other_y;
    int maxiter;
};

// One orbit as the kernels read it: the iterates Z_0 .. Z_length of a
// point near the view's centre, computed in double-double and kept as
// their high parts. A sample's step n reads Z_n+1: past the end it has
// outlived the reference, unless the orbit settled there for good. The
// table goes on past its end with Z_length, so that the lane kernels read
// a lane's next steps at once, as consecutive doubles, without clamping.
constexpr int reference_padding = 16;

struct reference_orbit {
    bool julia;
    int length;
    bool settled;               // the orbit stays at Z_length from there on
    std::vector<double> x, y;   // Z_n, length + 1 of each and the padding
    double offset_x, offset_y;  // the reference point less the view's centre, rounded to doubles
    double c_x, c_y;            // the plane's c: the reference point in the parameter plane, else the frame's c
    int candidate;              // which point of the lattice it is, 0 the nearest to the centre
};

// The reference orbit of a view. A pure function of the view: the points
// tried lie on a lattice whose spacing is a power of two tied to the
// view's size, about its centre snapped to that lattice, and the first
// whose orbit does not escape within the limit is taken (where all escape,
// the one that lasts longest). The orbit is kept for the next frame while
// that lattice, the plane and the other value stay the same: a zoom about
// the centre, a small pan; a larger limit goes on from where it stopped.
// Called between frames' passes, never by two threads at once.
const reference_orbit &reference_for(const reference_view &v);

extern long long reference_steps;  // steps of double-double the reference orbits have cost; the benchmark and tests read it
