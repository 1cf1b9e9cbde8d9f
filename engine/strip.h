// strip.h -- the work record of one strip and the strip renderer
#pragma once

#include <atomic>

#include "engine/dd.h"

// One horizontal strip of the viewport, as the frame renderer describes it.
// Positions form grids: column LOX + i lies at x0 + i * dx, row
// first_row + j at y0 - j * dy (the same with the j fields for the dynamic
// plane). Booleans are ints, non-zero meaning true.
struct strip_task {
    int index;         // strip number, from 0
    int first_row;     // frame-buffer row of the strip's lowest row
    int rows;          // number of rows of the strip, even
    double x0;         // parameter-plane x of column LOX
    double dx;         // parameter-plane x step per column
    double y0;         // parameter-plane y of row first_row
    double dy;         // parameter-plane y step per row, downwards positive
    double jx0;        // dynamic-plane x of column LOX
    double jdx;        // dynamic-plane x step per column
    double jy0;        // dynamic-plane y of row first_row
    double jdy;        // dynamic-plane y step per row
    double zx;         // start value of the parameter plane, real part
    double zy;         // start value of the parameter plane, imaginary part
    int maxiter;       // iteration limit, in both planes
    int jmaxiter;      // iteration limit of the dynamic-plane view (not used here)
    int no_firstpass;  // skip the coarse pass and refine what the buffer holds
    int highq;         // refinement wanted
    int buttons;       // mouse buttons held when the frame began
    int finished;      // set to 1 when the strip is done
    int mode;          // 0 parameter plane, otherwise dynamic plane
    int deep;          // double-double: x0, y0, jx0, jy0 are offsets from the centres below
    double ox[2];      // deep: parameter-plane centre x, high and low part
    double oy[2];      // deep: parameter-plane centre y
    double jox[2];     // deep: dynamic-plane centre x
    double joy[2];     // deep: dynamic-plane centre y
    int perturbed;     // deep: by perturbation from a reference orbit of the view, not in double-double
};

// The dynamic plane's c as a strip takes it: the centre of the
// parameter-plane view, formed from the record's parameter-plane fields
// whatever the mode; whole, low parts included, in a deep strip.
struct strip_c {
    double x, y;                   // from the fields as they are (offsets, in a deep strip)
    dd<double> whole_x, whole_y;   // deep: the centre added to them
};
strip_c dynamic_c(const strip_task &t);

// Computes one strip into the frame buffer: a coarse pass of one sample
// per 4x4 block, then, when refinement is wanted and no button is held,
// the 2x2 and 1x1 passes that sample only where neighbours differ.
void smandel(strip_task *task);

// How far the frame being rendered has come, for a progress line drawn by
// another thread; smandel writes both, relaxed.
extern std::atomic<int> progress_pass;  // the pass under way: 0 coarse, 1 the 2x2 pass, 2 the 1x1 pass
extern std::atomic<int> progress_rows;  // block rows of that pass done

extern int bands_top_down;  // a pass hands out its block rows from the top down; tests set it, to show no block row waits on another
