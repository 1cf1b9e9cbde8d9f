// screen.cpp -- the frame buffer, its allocation and the viewport setting
#include "app/screen.h"

#include <cstdio>
#include <cstdlib>

#include "view/viewstate.h"

std::uint32_t *screen;
int LOX, LOY, XPTS, YPTS;

// Zero-filled once, so that the slack, which the refinement reads but nothing
// writes, never holds uninitialised memory.
void alloc_screen()
{
    screen = static_cast<std::uint32_t *>(std::calloc(SCREEN_PIXELS, sizeof *screen));
    if (!screen) {
        std::fprintf(stderr, "rootzoom: out of memory for the frame buffer (%zu bytes)\n",
                     SCREEN_PIXELS * sizeof *screen);
        std::exit(1);
    }
}

// The width is truncated toward zero; a width outside 0..1024 (or not a
// number) is taken as the nearest end of that range, because any other value
// would give a viewport that does not fit into the buffer. Each half margin
// is rounded down to an even number, so the left and bottom margins are
// never the wider ones.
void viewport_size(double width, int &columns, int &rows)
{
    int w = 0;
    if (width >= SCREEN_W)
        w = SCREEN_W;
    else if (width > 0)
        w = static_cast<int>(width);
    columns = w & ~1;
    rows = (w * SCREEN_H / SCREEN_W) & ~1;
}

void setsize(double width)
{
    viewport_size(width, XPTS, YPTS);
    LOX = ((SCREEN_W - XPTS) >> 1) & ~1;
    LOY = ((SCREEN_H - YPTS) >> 1) & ~1;

    for (int row = 0; row < SCREEN_H; row++) {
        bool inside_rows = row >= LOY && row < LOY + YPTS;
        for (int col = 0; col < SCREEN_W; col++) {
            if (inside_rows && col == LOX) {
                col = LOX + XPTS - 1;  // jump over the viewport's columns
                continue;
            }
            screen[row * SCREEN_W + col] = 0;
        }
    }
    calc = 1;
}
