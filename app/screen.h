// screen.h -- the frame buffer and the viewport that frames are computed into
#pragma once

#include <cstdint>

constexpr int SCREEN_W = 1024;  // columns of the picture
constexpr int SCREEN_H = 768;   // rows of the picture, row 0 at the bottom of the window
// The picture plus a slack of 7 rows and 16 pixels: the refinement's
// comparisons read up to the first pixel of row 769.
constexpr int SCREEN_PIXELS = 775 * SCREEN_W + 16;

extern std::uint32_t *screen;  // the frame buffer, SCREEN_PIXELS RGBA words; start-up allocates it
extern int LOX;                // buffer column of the viewport's leftmost column; setsize
extern int LOY;                // buffer row of the viewport's lowest row; setsize
extern int XPTS;               // viewport width in pixels, even; setsize
extern int YPTS;               // viewport height in pixels, even; setsize

// Allocates the frame buffer, zero-filled, slack included; ends the process
// with a message on standard error when there is no memory for it.
void alloc_screen();

// The viewport's columns and rows for a width as setsize takes it.
void viewport_size(double width, int &columns, int &rows);

// Sets a 4:3 viewport of the given width, centred in the picture, clears the
// border around it and asks for a new frame.
void setsize(double width);
