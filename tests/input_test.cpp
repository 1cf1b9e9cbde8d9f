// input_test.cpp -- what the mouse, drag and keyboard callbacks record, and the two ways out
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/glnull.h"
#include "tests/saver.h"
#include "view/input.h"
#include "view/viewstate.h"

TEST(Mouse, PressRecordsButtonAndPositionOnly)
{
    state_saver saver;
    moved = 1;
    mouse(0, 0, 100, 200);
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(MOUSEX, 100);
    EXPECT_EQ(oldMOUSEX, 100);
    EXPECT_EQ(MOUSEY, 200);
    EXPECT_EQ(oldMOUSEY, 200);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(post_calc + calc, 0);
    EXPECT_EQ(getxmouse(), 100);
    EXPECT_EQ(getymouse(), 200);
    EXPECT_EQ(mygetbutton(), 1);
    mouseMotion(30, 40);
    resetmouse();
    EXPECT_EQ(oldMOUSEX, 30);
    EXPECT_EQ(oldMOUSEY, 40);
    // No handler asks for a frame itself.
    for (const std::string &name : gl_call_names())
        EXPECT_NE(name, "glutPostRedisplay");
}

TEST(Mouse, ReleaseClearsItsBitAndAsksForTheRefinedFrame)
{
    state_saver saver;
    mouse(0, 0, 100, 200);
    mouse(2, 1, 300, 400);  // not held
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(post_calc, 1);
    EXPECT_EQ(MOUSEX, 100);  // a release records no position
    post_calc = 0;
    mouse(0, 1, 300, 400);
    EXPECT_EQ(buttons, 0);
    EXPECT_EQ(post_calc, 1);

    // A state that is neither press nor release does nothing.
    post_calc = 0;
    mouse(1, 2, 5, 6);
    EXPECT_EQ(buttons + post_calc, 0);
    EXPECT_EQ(MOUSEX, 100);
}

// The wheel comes as buttons 3 and 4: they must never look held, or the
// display would never see all buttons up again.
TEST(Mouse, WheelButtonsHaveNoBitButRecordAndRelease)
{
    state_saver saver;
    for (int wheel : {3, 4}) {
        mouse(wheel, 0, 30 + wheel, 40);
        EXPECT_EQ(buttons, 0) << wheel;
        EXPECT_EQ(MOUSEX, 30 + wheel);
        EXPECT_EQ(oldMOUSEX, 30 + wheel);
        EXPECT_EQ(oldMOUSEY, 40);
        EXPECT_EQ(post_calc, 0);
        mouse(wheel, 1, 0, 0);
        EXPECT_EQ(buttons, 0);
        EXPECT_EQ(post_calc, 1);
        post_calc = 0;
    }
    mouse(0, 0, 1, 1);
    mouse(3, 0, 2, 2);
    mouse(4, 1, 2, 2);
    EXPECT_EQ(buttons, 1);
}

TEST(MouseDeathTest, TheThirdHeldButtonEndsTheProgram)
{
    state_saver saver;
    mouse(0, 0, 10, 10);
    mouse(1, 0, 10, 10);
    EXPECT_EQ(buttons, 3);  // two are fine
    EXPECT_EXIT(
        {
            mouse(2, 0, 10, 10);
            std::exit(3);
        },
        testing::ExitedWithCode(0), "");
}

TEST(KeyDeathTest, EscEndsTheProgram)
{
    state_saver saver;
    EXPECT_EXIT(
        {
            key(27, 0, 0);
            std::exit(3);
        },
        testing::ExitedWithCode(0), "");
}

TEST(MouseMotion, MovedSaysWhetherThePointerLeftTheReference)
{
    state_saver saver;
    mouse(1, 0, 100, 200);
    mouseMotion(108, 200);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(MOUSEX, 108);
    EXPECT_EQ(oldMOUSEX, 100);
    mouseMotion(100, 200);  // back onto the reference
    EXPECT_EQ(moved, 0);
    mouseMotion(100, 199);
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(calc + post_calc, 0);
}

TEST(Key, SpaceAndBackspaceCycleTheModeAndAskForAFrame)
{
    state_saver saver;
    for (int want : {1, 2, 0}) {
        calc = 0;
        key(' ', 0, 0);
        EXPECT_EQ(do_julia, want);
        EXPECT_EQ(calc, 1);
    }
    for (int want : {2, 1, 0}) {
        calc = 0;
        key(8, 0, 0);
        EXPECT_EQ(do_julia, want);
        EXPECT_EQ(calc, 1);
    }
}

TEST(Key, DynamicPlaneModesKeepTheStartValueAtZero)
{
    state_saver saver;
    ZX = 0.5, ZY = -0.25;
    key('x', 0, 0);  // mode 0: nothing
    EXPECT_EQ(ZX, 0.5);
    EXPECT_EQ(ZY, -0.25);
    EXPECT_EQ(calc + post_calc + moved + do_julia, 0);
    for (int mode : {1, 2}) {
        do_julia = mode;
        ZX = 0.5, ZY = -0.25;
        key('x', 0, 0);
        EXPECT_EQ(ZX, 0.0) << mode;
        EXPECT_EQ(ZY, 0.0);
        EXPECT_EQ(do_julia, mode);
        EXPECT_EQ(calc + post_calc + moved + blub, 0);
    }
    // Into mode 0 the start value stays; out of it, it goes.
    ZX = 0.5, ZY = -0.25;
    key(' ', 0, 0);
    EXPECT_EQ(do_julia, 0);
    EXPECT_EQ(ZX, 0.5);
    EXPECT_EQ(ZY, -0.25);
    key(' ', 0, 0);
    EXPECT_EQ(ZX, 0.0);
    EXPECT_EQ(ZY, 0.0);
}

TEST(Key, DebugSwitchAsksForAFrameOnlyWhenSwitchedOn)
{
    state_saver saver;
    key('d', 0, 0);
    EXPECT_EQ(blub, 1);
    EXPECT_EQ(calc, 1);
    calc = 0;
    key('d', 0, 0);
    EXPECT_EQ(blub, 0);
    EXPECT_EQ(calc, 0);
    // Upper case is an ordinary key, zeroing the start value in mode 1.
    do_julia = 1, ZX = 1;
    key('D', 0, 0);
    EXPECT_EQ(blub + calc, 0);
    EXPECT_EQ(do_julia, 1);
    EXPECT_EQ(ZX, 0.0);
}
