// palette_test.cpp -- the palette against its check values and an exact recomputation of every entry
#include <gtest/gtest.h>

#include "app/palette.h"
#include "tests/saver.h"

namespace {

// The thirteen control colours: palette position, then red, green and blue
// on the 6-bit scale. Typed here, not taken from the program's tables, so
// that a wrong table cannot pass its own test.
struct control {
    int pos, r, g, b;
};
constexpr control controls[13] = {
    {0, 30, 40, 20},   {22, 18, 10, 63},  {44, 63, 50, 5},   {66, 20, 63, 30},  {88, 50, 8, 63},
    {110, 30, 30, 30}, {132, 63, 10, 8},  {154, 30, 50, 10}, {176, 30, 30, 63}, {198, 63, 63, 63},
    {220, 60, 8, 40},  {242, 30, 60, 7},  {255, 30, 40, 20},
};

// L0 + (L1 - L0)(i - p0)/(p1 - p0) rounded to the nearest integer, halves
// upwards, in integers only: floor((2 * numerator + d) / (2 * d)), which
// is exact because every numerator here is non-negative.
int rounded_level(int l0, int l1, int i, int p0, int p1)
{
    const int d = p1 - p0, numerator = l0 * d + (l1 - l0) * (i - p0);
    return (2 * numerator + d) / (2 * d);
}

// Entry i from segment k (control point k - 1 to k): levels times 4, red
// in the low byte, then green, then blue, top byte 0.
std::uint32_t entry_from_segment(int k, int i)
{
    const control &a = controls[k - 1], &b = controls[k];
    const std::uint32_t r = rounded_level(a.r, b.r, i, a.pos, b.pos) * 4;
    const std::uint32_t g = rounded_level(a.g, b.g, i, a.pos, b.pos) * 4;
    const std::uint32_t bl = rounded_level(a.b, b.b, i, a.pos, b.pos) * 4;
    return r + g * 256 + bl * 65536;
}

}  // namespace

TEST(Palette, MatchesCheckValuesIncludingTheRoundedHalves)
{
    state_saver saver;
    const std::pair<int, std::uint32_t> checks[] = {
        {0, 0x0050A078},  {1, 0x00589C74},   {6, 0x0080806C},   {11, 0x00A86460},
        {22, 0x00FC2848}, {33, 0x008878A4},  {67, 0x0080F454},  {128, 0x003038E4},
        {209, 0x00D090F8}, {243, 0x0020E878}, {255, 0x0050A078},
    };
    for (auto [i, word] : checks)
        EXPECT_EQ(mycoltab[i], word) << "entry " << i;
}

// All 256 entries, each from the typed control colours by exact integer
// arithmetic; a position shared by two segments must come out the same
// from both. The program's control table is held against the typed one
// too, so that a failure names the wrong control point.
TEST(Palette, EveryEntryIsTheRoundedInterpolationOfTheControlColours)
{
    state_saver saver;
    for (int k = 0; k < 13; k++) {
        EXPECT_EQ(otab[k], controls[k].pos) << "otab[" << k << "]";
        EXPECT_EQ(rtab[k], controls[k].r) << "rtab[" << k << "]";
        EXPECT_EQ(gtab[k], controls[k].g) << "gtab[" << k << "]";
        EXPECT_EQ(btab[k], controls[k].b) << "btab[" << k << "]";
    }
    for (int k = 1; k < 13; k++)
        for (int i = controls[k - 1].pos; i <= controls[k].pos; i++) {
            const std::uint32_t want = entry_from_segment(k, i);
            EXPECT_EQ(mycoltab[i], want) << "entry " << i << " (segment " << k << ")" << std::hex << ": 0x"
                                         << mycoltab[i] << " instead of 0x" << want;
        }

    // Every control position holds its control colour; entry 175, between
    // control points 7 and 8, is (120, 124, 244).
    for (const control &c : controls)
        EXPECT_EQ(mycoltab[c.pos], std::uint32_t(c.r * 4 + c.g * 4 * 256 + c.b * 4 * 65536)) << "entry " << c.pos;
    EXPECT_EQ(mycoltab[175], 0x00F47C78u);
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(mycoltab[i] >> 24, 0u) << "entry " << i;
        EXPECT_NE(mycoltab[i], 0u) << "entry " << i;
    }
}
