// grid.h -- pictures of any size and colouring: every pixel computed once, at its place on the picture's own grid
#pragma once

#include "engine/dd.h"

struct options;
struct png_output;
struct reference_orbit;
struct render_counts;
class progress_line;

// Where the pixels of a picture lie in the plane its mode shows: column i
// (from the left) at x0 + i dx, row j (from the bottom) at y0 - j dy; in a
// deep picture those are offsets from the origin, the view's centre whole.
struct picture_grid {
    int columns, rows;
    bool julia, deep;
    int maxiter;
    double x0, dx, y0, dy;
    dd<double> origin_x, origin_y;
    double other_x, other_y;            // c of the dynamic plane, z0 of the parameter plane
    dd<double> deep_other_x, deep_other_y;  // the same whole, for a deep picture
    const reference_orbit *reference;       // a deep picture by perturbation: its samples' reference, else null
};

// The grid of the view state's picture of columns x rows: the view's
// centre and half-width; its half-height where the shape is the
// explorer's 4:3, else |half-width| * rows / columns with the sign of the
// view's, so that pixels are square. The dynamic plane's c is the one the
// explorer's frame of the view takes; the precision is the one chosen, or
// what the grid's pixels need: a deep picture by perturbation from the
// reference orbit of the grid's view, as the explorer's frames are.
picture_grid grid_of_view(int columns, int rows);

// Rows of the picture rendered at once: about a million bytes of colours.
int grid_band_rows(const options &o);

// How many bands a picture of the options is rendered in.
int grid_bands(const options &o);

// Renders the view state's picture band by band, from the top, and writes
// each band to the opened output while the next one renders; with
// --supersample K the grid is K times finer and each K x K block is
// averaged in linear light. The logo goes over the lower-left corner.
// bands_before counts the bands of the pictures before this one. Returns
// the time spent writing.
double write_grid_picture(const options &o, png_output &out, progress_line &line, render_counts &counts,
                          int bands_before);
