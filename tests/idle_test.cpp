// idle_test.cpp -- zoom steps, pans and start-value moves of the idle handler
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/glnull.h"
#include "app/logo.h"
#include "app/screen.h"
#include "tests/saver.h"
#include "view/display.h"
#include "view/idle.h"
#include "view/input.h"
#include "view/viewstate.h"

static const std::vector<std::string> redisplay = {"glutPostRedisplay"};

// Both views distinct, so that a step on the wrong one shows.
static void two_views()
{
    resetkoords(1);
    jxmit = 0.5, jymit = -0.5, jxstep = -1.5, jystep = -1.25, jmaxit = 40;
    calc = 0, do_julia = 0;
}

// A drag of (dx, dy) from (100, 200) with the given buttons held.
static void drag(int held, int dx, int dy)
{
    buttons = held;
    oldMOUSEX = 100, oldMOUSEY = 200;
    MOUSEX = 100 + dx, MOUSEY = 200 + dy;
    moved = 1;
}

TEST(Idle, LeftZoomsInRightZoomsOut)
{
    state_saver saver;
    two_views();
    const double y = ystep;
    buttons = 1;
    idle();
    EXPECT_EQ(xstep, -3.0 * 0.9);
    EXPECT_EQ(ystep, y * 0.9);
    EXPECT_EQ(maxit, 50 * 1.02);
    EXPECT_EQ(xmit + ymit, 0.0);
    EXPECT_EQ(calc, 1);
    EXPECT_EQ(gl_call_names(), redisplay);
    EXPECT_EQ(jxstep, -1.5);

    resetkoords(1);
    buttons = 4;
    idle();
    EXPECT_EQ(xstep, -3.0 / 0.9);
    EXPECT_EQ(ystep, y / 0.9);
    EXPECT_EQ(maxit, 50 / 1.02);
    for (int i = 1; i < 200; i++)
        idle();
    EXPECT_LT(maxit, 1.0);  // no lower bound
    EXPECT_GT(maxit, 0.0);
}

TEST(Idle, IterationGrowthStopsAtTheCap)
{
    state_saver saver;
    two_views();
    buttons = 1;
    maxit = 64250;
    idle();
    EXPECT_EQ(maxit, 64250.0);
    EXPECT_EQ(xstep, -3.0 * 0.9);  // the half-extents still shrink
    maxit = 64249;
    idle();
    EXPECT_DOUBLE_EQ(maxit, 65533.98);
    buttons = 4;  // shrinking has no cap
    idle();
    EXPECT_DOUBLE_EQ(maxit, 65533.98 / 1.02);
}

TEST(Idle, ZoomActsOnTheDynamicPlaneOnlyInModeTwo)
{
    state_saver saver;
    two_views();
    do_julia = 1;
    buttons = 1;
    idle();
    EXPECT_EQ(xstep, -3.0 * 0.9);
    EXPECT_EQ(jxstep, -1.5);
    EXPECT_EQ(jmaxit, 40.0);

    two_views();
    const double y = ystep;
    do_julia = 2;
    jmaxit = 64250;
    idle();
    EXPECT_EQ(jxstep, -1.5 * 0.9);
    EXPECT_EQ(jystep, -1.25 * 0.9);
    EXPECT_EQ(jmaxit, 64250.0);
    EXPECT_EQ(jxmit, 0.5);
    EXPECT_EQ(xstep, -3.0);
    EXPECT_EQ(ystep, y);
    EXPECT_EQ(maxit, 50.0);
    EXPECT_EQ(calc, 1);
}

TEST(Idle, MiddleDragPansWithoutCalc)
{
    state_saver saver;
    two_views();
    xmit = 0.1, ymit = 0.2;
    drag(2, 8, 4);
    idle();
    // Left to right: xstep * 8, then * 0.25, then / 40.
    EXPECT_EQ(xmit, 0.1 + xstep * 8 * 0.25 / 40);
    EXPECT_DOUBLE_EQ(xmit, 0.1 + xstep / 20);
    EXPECT_EQ(ymit, 0.2 + ystep * 4 * 0.25 / 20);
    EXPECT_DOUBLE_EQ(ymit, 0.2 + ystep / 20);
    EXPECT_EQ(calc, 0);
    EXPECT_EQ(moved, 1);  // the display clears it
    EXPECT_EQ(oldMOUSEX, 108);
    EXPECT_EQ(oldMOUSEY, 204);
    EXPECT_EQ(gl_call_names(), redisplay);
    EXPECT_EQ(jxmit, 0.5);

    // In mode 2 the dynamic-plane view pans, on its own scale.
    two_views();
    do_julia = 2;
    drag(2, 8, 4);
    idle();
    EXPECT_EQ(jxmit, 0.5 + jxstep * 8 * 0.25 / 40);
    EXPECT_EQ(jymit, -0.5 + jystep * 4 * 0.25 / 20);
    EXPECT_EQ(xmit + ymit, 0.0);

    // The last movement before a release pans too.
    two_views();
    drag(0, 8, 4);
    idle();
    EXPECT_EQ(xmit, xstep * 8 * 0.25 / 40);
    EXPECT_EQ(calc, 0);
}

TEST(Idle, TwoButtonDragsMoveTheStartValue)
{
    state_saver saver;
    two_views();
    do_julia = 2;  // still on the parameter-plane scale
    ZX = 0.25, ZY = -0.125;
    drag(5, 8, 4);
    idle();
    EXPECT_EQ(ZX, 0.25 + xstep * 8 * 0.25 / 40);
    EXPECT_EQ(ZY, -0.125 + ystep * 4 * 0.25 / 20);
    EXPECT_EQ(calc, 1);
    EXPECT_EQ(jxmit, 0.5);  // no pan
    EXPECT_EQ(oldMOUSEX, 108);

    two_views();
    ZX = 0.25, ZY = -0.125;
    drag(3, 8, 8);  // mx - my = 0
    idle();
    EXPECT_EQ(ZX, 0.25);
    EXPECT_EQ(ZY, -0.125);
    EXPECT_EQ(calc, 1);
    EXPECT_EQ(oldMOUSEX, 108);
    EXPECT_EQ(oldMOUSEY, 208);
    EXPECT_EQ(xmit + ymit, 0.0);

    two_views();
    ZX = 0.25, ZY = -0.125;
    drag(6, 8, 4);
    idle();
    EXPECT_EQ(ZY, -0.125 + ystep * 4 * 0.25 / 20);
    EXPECT_EQ(ZX, 0.25);
    EXPECT_EQ(calc, 1);
}

TEST(Idle, ZoomThenPanUsesTheZoomedHalfExtents)
{
    state_saver saver;
    two_views();
    drag(1, 8, 4);
    idle();
    EXPECT_EQ(xstep, -3.0 * 0.9);
    EXPECT_EQ(xmit, xstep * 8 * 0.25 / 40);
    EXPECT_EQ(ymit, ystep * 4 * 0.25 / 20);
    EXPECT_EQ(gl_call_names(), redisplay);
}

// A call with nothing to do leaves GLUT; every callback that may give it
// work puts it back, once.
TEST(Idle, NothingToDoUnregistersAndInputWakesIt)
{
    state_saver saver;
    two_views();
    buttons = 2;  // a middle press alone asks for nothing
    idle();
    ASSERT_EQ(gl_calls.size(), 1u);
    EXPECT_EQ(gl_calls[0].name, "glutIdleFunc");
    EXPECT_EQ(gl_calls[0].ptr, nullptr);
    EXPECT_EQ(idle_registered, 0);
    EXPECT_EQ(xstep, -3.0);

    setsize(16);
    anz = 1, calc = 0;
    create_logo();
    const auto wakes = [](auto callback) {
        idle_registered = 0;
        gl_calls.clear();
        callback();
        EXPECT_EQ(idle_registered, 1);
        int registered = 0;
        for (const gl_call &c : gl_calls)
            if (c.name == "glutIdleFunc") {
                EXPECT_EQ(c.ptr, reinterpret_cast<const void *>(&idle));
                registered++;
            }
        EXPECT_EQ(registered, 1);
    };
    wakes([] { mouse(0, 0, 1, 1); });
    wakes([] { mouseMotion(2, 2); });
    wakes([] { key('x', 0, 0); });
    wakes([] { paint_mandel(); });
    buttons = moved = post_calc = calc = 0;
    wakes([] { paint_mandel(); });  // even with nothing to draw

    // Registered already: no second registration.
    gl_calls.clear();
    key('x', 0, 0);
    EXPECT_TRUE(gl_calls.empty());

    // Any due flag keeps it registered.
    post_calc = 1;
    gl_calls.clear();
    idle();
    EXPECT_EQ(gl_call_names(), redisplay);
    EXPECT_EQ(idle_registered, 1);
}
