// colouring.h -- the colour of a sample from where its iteration ended: by its count, smooth, or by its basin
#pragma once

#include <cstdint>

// How samples are coloured. By count, the palette entry of the count, as
// the explorer colours; smooth, a continuous count, mixing neighbouring
// palette entries in linear light; by basin, a colour for each place the
// iteration settles on, its lightness from the continuous count.
enum colouring_id { COLOURING_COUNT, COLOURING_SMOOTH, COLOURING_BASIN };

extern int colouring;  // a colouring_id: count in the explorer; rootzoom-render --colouring sets it

// The names --colouring and the view record use: "count", "smooth", "basin".
const char *colouring_name(int id);

// Builds the tables the smooth and the basin colouring mix from, out of
// the palette in mycoltab; call again whenever mycoltab changes.
void prepare_colouring();

// Where one sample's iteration ended, as the kernels report it: the count,
// the limit, the last iterate, and the moves of the last step and of the
// step before (the larger of the moves of the two parts, as the stop test
// measures them; infinite before the first step).
struct sample_end {
    int n, maxiter;
    double x, y;
    double move, move_before;
};

// What every sample of a batch shares: the plane and, in the dynamic
// plane, c, whose roots the basins belong to.
struct colour_setting {
    bool julia;
    double cx, cy;           // the dynamic plane's c
    double roots[3][2];      // the dynamic plane's roots: 1, then (-1 + s) / 2 and (-1 - s) / 2, s^2 = 1 - 4c
};

colour_setting colour_setting_of(bool julia, double cx, double cy);

// The colour of a sample that ended so, by the colouring in use other than
// count.
std::uint32_t end_colour(const colour_setting &s, const sample_end &e);

// Where many samples ended, as the lane kernels report them: each array
// holds one value per sample.
struct sample_ends {
    const int *n;
    int maxiter;
    const double *x, *y, *move, *move_before;
};

// The colours of count samples, as end_colour gives them, into colours.
void end_colours(const colour_setting &s, const sample_ends &ends, int count, std::uint32_t *colours);
