// aim.h -- moves a zoom sequence's centre onto the nearest boundary between basins, so that its deepest frame shows detail
#pragma once

#include <string>

struct options;

// What the aim did: whether it found a boundary, and one that lasts down
// to the deepest frame, or else the deepest step it lasts to; where it put
// the centre (high parts and low parts, which are zero unless the search
// went deeper than doubles resolve) and how far that is from the centre
// given, in pixels of the first frame.
struct aim_result {
    bool found = false;
    bool all_the_way = false;
    int deepest_step = 0;
    double centre[2] = {0, 0};
    double centre_lo[2] = {0, 0};
    double pixels = 0;
};

// Moves the centre of the view the sequence zooms (the parameter-plane
// view in mode 0, the dynamic-plane view in mode 2), low parts included,
// onto a boundary between basins near it that the sequence's frames show
// down to the deepest, each with its own limit; or else onto one that
// lasts as deep as any does. The same view and options always give the
// same centre. Leaves the centre alone when the view shows no boundary.
aim_result aim_at_boundary(const options &o);

// Says on standard error that the aim found no boundary, and with stats
// where it put the centre.
void report_aim(const aim_result &r, bool stats);
