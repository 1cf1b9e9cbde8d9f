// session_test.cpp -- long random sessions through the callbacks, and zooms to the ends of the range
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "app/glnull.h"
#include "app/logo.h"
#include "app/screen.h"
#include "engine/kernels.h"
#include "tests/saver.h"
#include "view/display.h"
#include "view/idle.h"
#include "view/input.h"
#include "view/viewstate.h"

namespace {

// The explorer after start-up, on a small viewport so that frames are cheap.
void start_small()
{
    anz = 1;
    resetkoords(1);
    setsize(64);
    highq = 1;
    calc = 1;
    create_logo();
}

// The seed comes from ROOTZOOM_SEED when set, so a failure can be replayed.
unsigned session_seed()
{
    const char *s = std::getenv("ROOTZOOM_SEED");
    unsigned seed = s ? unsigned(std::strtoul(s, nullptr, 10)) : 20261207u;
    std::printf("session seed %u (replay with ROOTZOOM_SEED=%u)\n", seed, seed);
    return seed;
}

bool is_flag(int v) { return v == 0 || v == 1; }

// A frame description that fits the view: the grid starts at the view's
// first edge and ends, XPTS columns and YPTS rows on, at the other one.
void expect_consistent(const frame_desc &f)
{
    EXPECT_EQ(f.first_row, LOY);
    EXPECT_EQ(f.rows, YPTS);
    EXPECT_EQ(f.maxiter, iteration_limit(maxit));
    EXPECT_EQ(f.jmaxiter, iteration_limit(jmaxit));
    if (std::isfinite(xstep) && std::isfinite(xmit) && std::fabs(xstep) < 1e300) {
        EXPECT_NEAR(f.x0 + f.dx * XPTS, xmit + xstep, 1e-9 * (std::fabs(xstep) + std::fabs(xmit)));
        EXPECT_NEAR(f.y0 - f.dy * YPTS, ymit - ystep, 1e-9 * (std::fabs(ystep) + std::fabs(ymit)));
    }
}

// The invariants every callback keeps.
void expect_invariants(int lox, int loy, int xpts, int ypts)
{
    for (int flag : {calc, post_calc, moved, highq, no_firstpass, firsttime, blub})
        ASSERT_TRUE(is_flag(flag));
    ASSERT_EQ(buttons & ~7, 0);
    ASSERT_NE(buttons, 7);
    ASSERT_TRUE(do_julia >= 0 && do_julia <= 2);
    ASSERT_TRUE(is_flag(idle_registered));
    ASSERT_EQ(LOX, lox);
    ASSERT_EQ(LOY, loy);
    ASSERT_EQ(XPTS, xpts);
    ASSERT_EQ(YPTS, ypts);
}

}  // namespace

// Presses and releases of every button, the wheel's included, drags, keys
// other than Esc, idle and display calls, in random order.
TEST(Session, RandomEventsKeepEveryInvariant)
{
    state_saver saver;
    start_small();
    std::mt19937 rng(session_seed());
    const int lox = LOX, loy = LOY, xpts = XPTS, ypts = YPTS;
    int renders = 0;
    for (int event = 0; event < 100000; event++) {
        switch (rng() % 8) {
        case 0: {
            int button = int(rng() % 5);
            int mask = button < 3 ? 1 << button : 0;
            if (((buttons | mask) & 7) != 7)  // all three would end the program
                mouse(button, 0, int(rng() % 1024), int(rng() % 768));
            break;
        }
        case 1:
            mouse(int(rng() % 5), 1, int(rng() % 1024), int(rng() % 768));
            break;
        case 2:
            mouseMotion(MOUSEX + int(rng() % 41) - 20, MOUSEY + int(rng() % 41) - 20);
            break;
        case 3: {
            unsigned char k = static_cast<unsigned char>(rng() % 256);
            if (k != 27)
                key(k, 0, 0);
            break;
        }
        case 4:
        case 5:
        case 6:
            idle();
            break;
        default: {
            const frame_desc f = describe_frame();
            gl_calls.clear();
            paint_mandel();
            if (!gl_calls.empty()) {
                expect_consistent(f);
                renders++;
            }
            break;
        }
        }
        expect_invariants(lox, loy, xpts, ypts);
        if (testing::Test::HasFatalFailure())
            FAIL() << "after event " << event;
    }
    EXPECT_GT(renders, 5000);
}

// Thousands of zoom steps in: the iteration limit stops at its cap and the
// frames stay what the view says.
TEST(Session, LongZoomInHoldsTheIterationCap)
{
    state_saver saver;
    start_small();
    maxit = 60000;  // reach the cap soon, then hold it there
    mouse(0, 0, 512, 384);
    for (int step = 0; step < 5000; step++) {
        idle();
        if (step % 500 == 0) {
            paint_mandel();
            expect_consistent(describe_frame());
        }
        ASSERT_LT(maxit, 64250 * 1.02);
    }
    EXPECT_GE(maxit, 64250.0);
    EXPECT_GT(xstep, -1e-200);  // 5000 steps of 0.9 make it tiny but not zero
    mouse(0, 1, 512, 384);
    idle();
    paint_mandel();
}

// Zooming out until the view's size overflows to infinity: nothing
// undefined happens, and the program keeps answering.
TEST(Session, ZoomOutToInfinityKeepsAnswering)
{
    state_saver saver;
    start_small();
    mouse(2, 0, 512, 384);
    int steps = 0;
    while (!std::isinf(xstep) && steps < 10000) {
        idle();
        if (++steps % 1000 == 0)
            paint_mandel();
    }
    ASSERT_TRUE(std::isinf(xstep)) << "after " << steps << " steps";
    for (int more = 0; more < 50; more++) {  // past infinity: NaN grids, limit below 1
        idle();
        paint_mandel();
    }
    EXPECT_EQ(describe_frame().maxiter, 0);
    mouseMotion(600, 300);
    idle();
    mouse(2, 1, 600, 300);
    gl_calls.clear();
    idle();
    paint_mandel();
    EXPECT_EQ(gl_call_names().back(), "glutSwapBuffers");
    key(' ', 0, 0);
    EXPECT_EQ(do_julia, 1);
}
