// palette.cpp -- builds the palette from its control colours
#include "app/palette.h"

const int otab[PALETTE_CONTROLS] = {0, 22, 44, 66, 88, 110, 132, 154, 176, 198, 220, 242, 255};
const std::int8_t rtab[PALETTE_CONTROLS] = {30, 18, 63, 20, 50, 30, 63, 30, 30, 63, 60, 30, 30};
const std::int8_t gtab[PALETTE_CONTROLS] = {40, 10, 50, 63, 8, 30, 10, 50, 30, 63, 8, 60, 40};
const std::int8_t btab[PALETTE_CONTROLS] = {20, 63, 5, 30, 63, 30, 8, 10, 63, 63, 40, 7, 20};

std::uint32_t mycoltab[256];

// One level of position i between two control points, rounded to the
// nearest integer with halves upwards. The double arithmetic in this order
// is exact enough to give the rounding of the rational value for every
// entry of these tables.
static unsigned level_at(double t, int l0, int l1)
{
    return static_cast<unsigned>(t * (l1 - l0) + l0 + 0.5);
}

// Positions shared by two segments are written by both; both give the
// control colour itself, so the palette closes into a cycle. Levels are on
// a 6-bit scale and become bytes by a shift of 2.
void make_palette()
{
    unsigned char work[256][3];
    const std::int8_t *levels[3] = {rtab, gtab, btab};
    for (int k = 1; k < PALETTE_CONTROLS; k++) {
        int p0 = otab[k - 1], p1 = otab[k];
        for (int i = p0; i <= p1; i++) {
            double t = static_cast<double>(i - p0) / (p1 - p0);
            for (int c = 0; c < 3; c++)
                work[i][c] = static_cast<unsigned char>(level_at(t, levels[c][k - 1], levels[c][k]));
        }
    }
    for (int i = 0; i < 256; i++) {
        std::uint32_t r = work[i][0] << 2 & 0xff, g = work[i][1] << 2 & 0xff, b = work[i][2] << 2 & 0xff;
        mycoltab[i] = r | g << 8 | b << 16;
    }
}
