// screen_test.cpp -- the viewport setting and its border clearing
#include <gtest/gtest.h>

#include <cmath>

#include "app/screen.h"
#include "tests/saver.h"
#include "view/viewstate.h"

struct viewport {
    int xpts, ypts, lox, loy;
};

static viewport viewport_for(double width)
{
    setsize(width);
    return {XPTS, YPTS, LOX, LOY};
}

TEST(Screen, ViewportTable)
{
    state_saver saver;
    const std::pair<double, viewport> table[] = {
        {1024, {1024, 768, 0, 0}}, {1023, {1022, 766, 0, 0}}, {1022, {1022, 766, 0, 0}},
        {1020, {1020, 764, 2, 2}}, {1000, {1000, 750, 12, 8}}, {800, {800, 600, 112, 84}},
        {1, {0, 0, 512, 384}},     {0, {0, 0, 512, 384}},     {1023.9, {1022, 766, 0, 0}},
    };
    for (auto [width, want] : table) {
        viewport got = viewport_for(width);
        EXPECT_EQ(got.xpts, want.xpts) << width;
        EXPECT_EQ(got.ypts, want.ypts) << width;
        EXPECT_EQ(got.lox, want.lox) << width;
        EXPECT_EQ(got.loy, want.loy) << width;
    }
}

// A width the buffer cannot hold is taken as the nearest one it can.
TEST(Screen, WidthsOutsideTheBufferAreClamped)
{
    state_saver saver;
    viewport v = viewport_for(5000);
    EXPECT_EQ(v.xpts, 1024);
    EXPECT_EQ(v.lox, 0);
    v = viewport_for(-3);
    EXPECT_EQ(v.xpts, 0);
    v = viewport_for(std::nan(""));
    EXPECT_EQ(v.xpts, 0);
    EXPECT_EQ(v.loy, 384);
}

TEST(Screen, ClearsExactlyTheBorderAndAsksForAFrame)
{
    state_saver saver;
    for (int i = 0; i < 793616; i++)  // the whole allocation, 3174464 bytes
        screen[i] = 0xdeadbeef;
    calc = 0;
    setsize(800);
    EXPECT_EQ(calc, 1);
    int cleared = 0;
    for (int row = 0; row < 768; row++) {
        for (int col = 0; col < 1024; col++) {
            bool inside = col >= 112 && col < 912 && row >= 84 && row < 684;
            EXPECT_EQ(pixel(col, row) == 0, !inside) << col << "," << row;
            cleared += pixel(col, row) == 0;
        }
    }
    EXPECT_EQ(cleared, 1024 * 768 - 800 * 600);
    for (int i = 768 * 1024; i < 793616; i++)
        ASSERT_EQ(screen[i], 0xdeadbeef) << "slack pixel " << i;

    setsize(1024);  // the whole picture: nothing to clear
    EXPECT_EQ(pixel(0, 0), 0u);  // still the border of the 800 viewport
    EXPECT_EQ(pixel(500, 300), 0xdeadbeef);
    setsize(0);
    for (int i = 0; i < 768 * 1024; i++)
        ASSERT_EQ(screen[i], 0u);
}

TEST(Screen, LayoutPutsRowZeroAtTheBottom)
{
    state_saver saver;
    EXPECT_EQ(&pixel(5, 0), &screen[5]);
    EXPECT_EQ(&pixel(0, 767), &screen[785408]);
    EXPECT_EQ(SCREEN_PIXELS, 793616);  // 775 rows of 1024 pixels and 16 more
    EXPECT_EQ(SCREEN_PIXELS * sizeof *screen, 3174464u);
}
