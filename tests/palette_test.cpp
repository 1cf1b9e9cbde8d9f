// palette_test.cpp -- the palette against its check values and its cycle
#include <gtest/gtest.h>

#include "app/palette.h"
#include "tests/saver.h"

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

TEST(Palette, ControlPositionsHoldTheirControlColoursAndNothingIsBlack)
{
    state_saver saver;
    for (int k = 0; k < PALETTE_CONTROLS; k++) {
        std::uint32_t want = std::uint32_t(rtab[k] * 4) | std::uint32_t(gtab[k] * 4) << 8 |
                             std::uint32_t(btab[k] * 4) << 16;
        EXPECT_EQ(mycoltab[otab[k]], want) << "control point " << k;
    }
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(mycoltab[i] >> 24, 0u) << "entry " << i;
        EXPECT_NE(mycoltab[i], 0u) << "entry " << i;
    }
}
