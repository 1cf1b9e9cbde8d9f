// frame.h -- the frame description and the frame renderer
#pragma once

#include "engine/strip.h"

// What one frame shows: the viewport's rows and the grids of both planes.
// Column LOX + i lies at x0 + i * dx, row first_row + r at y0 - r * dy.
// A deep frame is computed in double-double, or by perturbation from a
// reference orbit: its grids are then offsets from the views' centres,
// given as double-doubles (hi, lo) beside them.
struct frame_desc {
    int first_row;  // frame-buffer row of the viewport's bottom row
    int rows;       // rows of the viewport
    double x0, dx, y0, dy;
    int maxiter;
    double jx0, jdx, jy0, jdy;
    int jmaxiter;
    int deep;                // non-zero: double-double, the grids relative to the origins
    double ox[2], oy[2];     // the parameter-plane view's centre, in a deep frame
    double jox[2], joy[2];   // the dynamic-plane view's centre, in a deep frame
    int perturbed;           // non-zero in a deep frame: by perturbation from a reference orbit, not in double-double
};

constexpr int MAX_STRIPS = 50;  // strip records a frame can describe

// The record of strip i when the frame is cut into the given number of
// strips, with the button mask the frame began with.
strip_task strip_record(int i, int strips, const frame_desc &f, int held);

// Renders one frame in anz strips into the frame buffer, draws the buffer,
// blends the logo over it and swaps the window's buffers.
void mandel(int first_row, int rows, double x0, double dx, double y0, double dy, int maxiter, double jx0,
            double jdx, double jy0, double jdy, int jmaxiter);

// Renders the frame a description gives, deep or not, as mandel does.
void render_frame(const frame_desc &f);
