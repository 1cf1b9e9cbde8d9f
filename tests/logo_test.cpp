// logo_test.cpp -- the logo image's bit and row order, and the GL state its draw leaves
#include <gtest/gtest.h>

#include <vector>

#include "app/glnull.h"
#include "app/logo.h"
#include "tests/saver.h"

namespace {
constexpr std::uint32_t clear = 0x00000000, blue = 0xFFFF0000;
}

// The logo is 124 x 21 pixels: 21 bitmap rows of 16 bytes make 2604 image
// words, and a word beyond them is never written.
TEST(Logo, BitOrderRowOrderAndIgnoredHighBits)
{
    unsigned char bits[21 * 16] = {};
    bits[0] = 0x01;                  // top row, leftmost pixel only
    bits[15] = 0xF0;                 // top row, the four bits past column 123
    bits[20 * 16 + 1] = 0x80;        // bottom row, column 15
    bits[10 * 16 + 15] = 0x08;       // middle row, column 123, the last one
    constexpr std::uint32_t untouched = 0x12345678;
    std::vector<std::uint32_t> image(2604 + 1, untouched);
    logo_image(bits, image.data());
    EXPECT_EQ(image[2604], untouched);
    image.pop_back();

    auto at = [&](int x, int y) { return image[y * 124 + x]; };  // y = 0 is the bottom row
    EXPECT_EQ(at(0, 20), clear);
    for (int x = 1; x < 8; x++)
        EXPECT_EQ(at(x, 20), blue) << x;
    EXPECT_EQ(at(15, 0), clear);  // the last bitmap row gives the first image words
    EXPECT_EQ(at(123, 10), clear);
    int transparent = 0;
    for (std::uint32_t w : image) {
        ASSERT_TRUE(w == clear || w == blue);
        transparent += w == clear;
    }
    EXPECT_EQ(transparent, 3);  // the high bits past column 123 never show
}

// The image is 2604 words, 10416 bytes; reading its last word is in bounds
// (the sanitizer build checks that).
TEST(Logo, TheBuiltLogoIsOpaqueBlueAroundTransparentLetters)
{
    state_saver saver;
    create_logo();
    EXPECT_EQ(LOGO_W * LOGO_H * sizeof *snap_long, 10416u);
    int transparent = 0;
    for (int i = 0; i < 2604; i++)
        transparent += snap_long[i] == clear;
    EXPECT_GT(transparent, 200);
    EXPECT_LT(transparent, 2604 / 2);
    EXPECT_EQ(snap_long[0], blue);                        // corners are background
    EXPECT_EQ(snap_long[2603], blue);
}

TEST(Logo, DrawBlendsAndRestoresTheInitialBlendState)
{
    state_saver saver;
    create_logo();
    print_logo();
    const std::vector<std::string> want = {"glBlendFunc", "glEnable",  "glDrawPixels",
                                           "glBlendFunc", "glDisable"};
    ASSERT_EQ(gl_call_names(), want);
    EXPECT_EQ(gl_calls[0].args, (std::vector<long>{770, 771}));  // GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA
    EXPECT_EQ(gl_calls[1].args, (std::vector<long>{3042}));      // GL_BLEND
    EXPECT_EQ(gl_calls[2].args, (std::vector<long>{124, 21, 6408, 5121}));
    EXPECT_EQ(gl_calls[2].ptr, snap_long);
    EXPECT_EQ(gl_calls[3].args, (std::vector<long>{1, 0}));      // GL_ONE, GL_ZERO
    EXPECT_EQ(gl_calls[4].args, (std::vector<long>{3042}));
}
