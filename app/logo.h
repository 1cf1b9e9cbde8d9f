// logo.h -- the logo blended over the lower-left corner of every frame
#pragma once

#include <cstdint>

constexpr int LOGO_W = 124;  // logo columns
constexpr int LOGO_H = 21;   // logo rows

extern std::uint32_t *snap_long;  // the logo image, LOGO_W x LOGO_H RGBA words, bottom row first; create_logo

// Turns a bitmap of LOGO_H rows of 16 bytes, top row first, into an RGBA
// image, bottom row first: transparent where a bit is set, opaque blue elsewhere.
void logo_image(const unsigned char *bits, std::uint32_t *image);

// Builds snap_long from the logo bitmap; needs no GL context.
void create_logo();

// Draws snap_long with alpha blending and puts blending back to its initial state.
void print_logo();
