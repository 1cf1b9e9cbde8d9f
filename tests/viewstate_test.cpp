// viewstate_test.cpp -- the default view and views set from bounds
#include <gtest/gtest.h>

#include <bit>

#include "tests/saver.h"
#include "view/viewstate.h"

TEST(ViewState, LoadTimeValues)
{
    // Every test restores what it changes, so these are still the values
    // the program is loaded with.
    EXPECT_EQ(firsttime, 1);
    EXPECT_EQ(calc + post_calc + moved + highq + no_firstpass + blub + anz + buttons + do_julia, 0);
    EXPECT_EQ(xstep, 0.0);
}

TEST(ViewState, DefaultViewKeepsTheLastBitOfTheHalfHeight)
{
    state_saver saver;
    ZX = 0.5, ZY = -0.25;
    resetkoords(0);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(xstep), 0xC008000000000000u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(ystep), 0xC002000000000001u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(jystep), 0xC002000000000001u);
    EXPECT_EQ(jxstep, -3.0);
    EXPECT_EQ(xmit + ymit + jxmit + jymit, 0.0);
    EXPECT_EQ(maxit, 50.0);
    EXPECT_EQ(jmaxit, 50.0);
    EXPECT_EQ(calc, 1);
    EXPECT_EQ(ZX, 0.5);  // kept without reset_z
    EXPECT_EQ(ZY, -0.25);
    resetkoords(1);
    EXPECT_EQ(ZX, 0.0);
    EXPECT_EQ(ZY, 0.0);
    // 4:3 up to that last bit.
    EXPECT_NEAR(xstep / ystep, 4.0 / 3.0, 1e-15);
}

TEST(ViewState, BoundsSetBothViewsAndTheirOrientation)
{
    state_saver saver;
    setkoords(-3, 3, -2.25, 2.25, 80.7, 1);
    EXPECT_EQ(xstep, -3.0);
    EXPECT_EQ(ystep, -2.25);  // differs from the default in the last bit
    EXPECT_EQ(jystep, -2.25);
    EXPECT_EQ(maxit, 80.7);
    EXPECT_EQ(jmaxit, 80.7);
    EXPECT_EQ(calc, 1);

    calc = 0;
    ZX = 1;
    setkoords(1, -1, 2, -2, 50, 0);  // reversed bounds: positive half-extents
    EXPECT_EQ(xmit, 0.0);
    EXPECT_EQ(xstep, 1.0);
    EXPECT_EQ(ystep, 2.0);
    EXPECT_EQ(jxstep, 1.0);
    EXPECT_EQ(ZX, 1.0);
    EXPECT_EQ(calc, 1);

    setkoords(0.5, 0.5, 1, 3, 10, 1);  // equal bounds: a zero half-extent
    EXPECT_EQ(xstep, 0.0);
    EXPECT_EQ(xmit, 0.5);
    EXPECT_EQ(ymit, 2.0);
    EXPECT_EQ(jymit, 2.0);
}

TEST(ViewState, SettingViewsTouchesNoOtherFlagOrTheMode)
{
    state_saver saver;
    do_julia = 2, moved = 1, post_calc = 1, buttons = 4;
    resetkoords(1);
    setkoords(0, 1, 0, 1, 5, 1);
    EXPECT_EQ(do_julia, 2);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(post_calc, 1);
    EXPECT_EQ(buttons, 4);
}
