// aim.h -- moves a zoom sequence's centre onto a boundary between ends whose detail lasts, so that its deepest frame shows detail
#pragma once

#include <string>

struct options;
struct picture_record;

// What the aim did: whether it found a boundary, and one that lasts down
// to the deepest frame; the deepest step it followed one to and the ends
// either side of it there; where it put the centre (high parts and low
// parts, which are zero unless the search went deeper than doubles
// resolve) and how far that is from the centre given, in pixels of the
// first frame.
struct aim_result {
    bool searched = false;  // a view of the zoom was wide enough for the probes to tell apart
    bool found = false;
    bool all_the_way = false;
    int deepest_step = 0;
    struct side {
        int end;       // 0 settling on the point at, 1 escaping, 2 reaching the limit
        double at[2];
    } sides[2] = {};
    double centre[2] = {0, 0};
    double centre_lo[2] = {0, 0};
    double pixels = 0;
};

// Moves the centre of the view the sequence zooms (the parameter-plane
// view in mode 0, the dynamic-plane view in mode 2), low parts included,
// onto a boundary between samples that end apart (settling on different
// points, escaping, reaching the limit) whose detail lasts down the zoom,
// each stage with its frame's own limit. The same view and options always
// give the same centre, and zooming in, so does the same view with any
// count of steps. Leaves the centre alone when the view shows no boundary.
aim_result aim_at_boundary(const options &o);

// Says on standard error that the aim found no boundary, or none that
// lasts, and with stats where it put the centre and which boundary it took.
void report_aim(const aim_result &r, bool stats);

// Of a grid of samples over the view a picture shows, the share that reach
// its iteration limit but end, settling or escaping, with the limit more:
// how much of its black the limit alone makes. 0 for a limit below 1 or a
// view deeper than double-double reaches.
double black_that_more_steps_end(const picture_record &r, double more);
