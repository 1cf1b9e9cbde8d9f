// tiles.h -- cuts a large picture into frames of the explorer's size and renders them one at a time
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "app/screen.h"

constexpr int MAX_TILE_FACTOR = 16;  // a picture is at most 16 x 16 frames

// A count of frames, steps, pixels or threads: true, with *count set, for
// one to nine digits and nothing else (no sign, no fraction, nothing too
// large for an int).
bool read_count(const char *text, int *count);

constexpr int MIN_PICTURE_SIDE = 16;     // the narrowest picture, in pixels
constexpr int MAX_PICTURE_SIDE = 65536;  // the widest and the highest

// "WxH" with W and H from MIN_PICTURE_SIDE to MAX_PICTURE_SIDE, or one of
// the named sizes hd (1920x1080) and 4k (3840x2160): true with size set
// to the width and the height, or false with *why saying what is wrong.
bool read_picture_size(const char *text, int size[2], std::string *why);

// k when a picture of w x h pixels is k x k frames of the explorer's size
// (k from 1 to MAX_TILE_FACTOR), else 0.
int tile_factor(int w, int h);

// "K", a whole number from 1 to MAX_TILE_FACTOR: K, or 0 with *why.
int scale_factor(const char *text, std::string *why);

// What the whole picture shows: the mode and the view of the plane that
// mode displays, centre and signed half-extents as the view state has them.
struct picture_view {
    int mode;
    double mit[2], step[2];  // x and y
    double low[2];           // the centre's low parts
};

// The picture's view, read from the view state.
picture_view current_view();

// Sets the view state to tile (tx, ty) of a picture of k x k tiles, tx
// counted from the left edge and ty from the top edge.
void aim_tile(const picture_view &whole, int k, int tx, int ty);

// The precision every tile of a picture of k x k tiles is computed in: the
// one chosen, or for auto the one its pixels need, so that a picture is
// never computed partly in one precision and partly in the other.
int picture_precision(const picture_view &whole, int k);

// Samples and iteration steps of the first and the second render, summed
// over every tile rendered so far.
struct render_counts {
    long long samples[2] = {0, 0};
    long long steps[2] = {0, 0};
    long long fallbacks = 0;  // perturbed samples that went on in double-double, both renders
};

// Renders the current view from a zeroed frame buffer with a viewport of the
// given width, twice, as the explorer's first display does.
void render_tile(double width, render_counts *counts);

extern std::atomic<int> tile_render;  // which of a tile's two renders is under way, 0 or 1; render_tile writes it for the progress line

// Copies the frame buffer as RGB into its place in a band of 768 rows of
// band_width pixels, top row first: at column tx * 1024, with the logo
// blended over its lower-left corner when asked for.
void copy_tile(std::uint8_t *band, int band_width, int tx, bool logo);

// Blends the logo over a row of RGB pixels in its place: the row lies
// from_bottom rows above the picture's bottom row, and rows above the
// logo's are left alone; in a picture narrower than the logo, columns past
// the row's are too.
void blend_logo_row(std::uint8_t *row, int from_bottom, int columns = SCREEN_W);
