// display_test.cpp -- when the display callback renders, which passes it runs, and the frame it describes
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "app/glnull.h"
#include "app/logo.h"
#include "app/screen.h"
#include "engine/kernels.h"
#include "tests/saver.h"
#include "view/display.h"
#include "view/idle.h"
#include "view/input.h"
#include "view/viewstate.h"

// The default view on a 64 x 48 viewport with refinement on, nothing due.
static void small_view()
{
    resetkoords(1);
    setsize(64);
    anz = 1;
    highq = 1;
    firsttime = 0;
    calc = 0;
    create_logo();
}

static int coarse_samples() { return (XPTS / 4) * (YPTS / 4); }

// Renders among the recorded calls: each one draws the whole buffer and
// ends with a swap.
static int renders()
{
    int frames = 0, swaps = 0;
    for (const gl_call &c : gl_calls) {
        if (c.name == "glDrawPixels" && c.args[0] == 1024 && c.args[1] == 768 && c.ptr == screen)
            frames++;
        if (c.name == "glutSwapBuffers")
            swaps++;
    }
    EXPECT_EQ(frames, swaps);
    return swaps;
}

// One display callback; its renders, with kernel_samples counting its samples.
static int display()
{
    gl_calls.clear();
    kernel_samples = 0;
    paint_mandel();
    return renders();
}

TEST(IterationLimit, TruncatesTowardZeroAndSaturates)
{
    EXPECT_EQ(iteration_limit(50.9), 50);
    EXPECT_EQ(iteration_limit(0.5), 0);
    EXPECT_EQ(iteration_limit(-0.5), 0);
    EXPECT_EQ(iteration_limit(2147483647.9), INT_MAX);
    EXPECT_EQ(iteration_limit(2147483648.0), INT_MAX);
    EXPECT_EQ(iteration_limit(-2147483648.9), INT_MIN);
    EXPECT_EQ(iteration_limit(1e12), INT_MAX);
    EXPECT_EQ(iteration_limit(-1e12), INT_MIN);
    EXPECT_EQ(iteration_limit(INFINITY), INT_MAX);
    EXPECT_EQ(iteration_limit(NAN), 0);
}

TEST(DescribeFrame, DefaultViewOnTheWholeBuffer)
{
    state_saver saver;
    resetkoords(1);
    setsize(SCREEN_W);
    frame_desc f = describe_frame();
    EXPECT_EQ(f.first_row, 0);
    EXPECT_EQ(f.rows, 768);
    EXPECT_EQ(f.x0, 3.0);
    EXPECT_EQ(f.dx, -6.0 / 1024);
    EXPECT_EQ(f.y0, -2.2500000000000004);  // the last bit of the default half-height stays
    EXPECT_EQ(f.dy, 2 * -2.2500000000000004 / 768);
    EXPECT_EQ(f.maxiter, 50);
    EXPECT_EQ(f.jx0, f.x0);
    EXPECT_EQ(f.jdy, f.dy);
    EXPECT_EQ(f.jmaxiter, 50);

    // Each plane from its own view; the viewport's rows and width count.
    xmit = 1, xstep = 0.5, ymit = -1, ystep = 0.25, maxit = 50.9;
    jxmit = 2, jxstep = -1, jymit = 3, jystep = -0.5, jmaxit = 0.5;
    setsize(40);
    f = describe_frame();
    EXPECT_EQ(f.first_row, LOY);
    EXPECT_EQ(f.rows, 30);
    EXPECT_EQ(f.x0, 0.5);
    EXPECT_EQ(f.dx, 1.0 / 40);
    EXPECT_EQ(f.y0, -0.75);
    EXPECT_EQ(f.dy, 0.5 / 30);
    EXPECT_EQ(f.maxiter, 50);
    EXPECT_EQ(f.jx0, 3.0);
    EXPECT_EQ(f.jy0, 2.5);
    EXPECT_EQ(f.jmaxiter, 0);
}

TEST(PaintMandel, FirstDisplayRendersTwiceThenClearsItsFlags)
{
    state_saver saver;
    small_view();
    firsttime = 1, calc = 1;
    EXPECT_EQ(display(), 2);
    EXPECT_GE(kernel_samples, 2 * coarse_samples());  // both with their coarse pass
    EXPECT_EQ(firsttime + calc + moved + no_firstpass + post_calc, 0);
    EXPECT_EQ(display(), 0);  // nothing due any more
}

TEST(PaintMandel, MiddleButtonAloneRendersOnEveryCallAndKeepsPostCalc)
{
    state_saver saver;
    small_view();
    buttons = 2;
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(display(), 1) << "call " << i;
        EXPECT_EQ(post_calc, 1);
        EXPECT_EQ(kernel_samples, coarse_samples());  // a held button: coarse pass only
    }
}

// After a release with the pointer where the last frame left it, the
// coarse picture on screen is refined in place: on a uniform buffer the
// refinement finds nothing to sample, so any sample means a coarse pass.
TEST(PaintMandel, ReleaseRefinesInPlaceUnlessThePointerMoved)
{
    state_saver saver;
    small_view();
    post_calc = 1;
    EXPECT_EQ(display(), 1);
    EXPECT_EQ(kernel_samples, 0);
    EXPECT_EQ(post_calc + no_firstpass + calc + moved, 0);

    post_calc = 1, moved = 1;
    EXPECT_EQ(display(), 1);
    EXPECT_GE(kernel_samples, coarse_samples());
    EXPECT_EQ(post_calc + no_firstpass + calc + moved, 0);
}

TEST(PaintMandel, NothingDueDrawsNothing)
{
    state_saver saver;
    small_view();
    EXPECT_EQ(display(), 0);
    for (const std::string &name : gl_call_names())
        EXPECT_TRUE(name != "glDrawPixels" && name != "glutSwapBuffers") << name;

    // Without refinement a release is no reason to render.
    highq = 0, post_calc = 1;
    EXPECT_EQ(display(), 0);
    EXPECT_EQ(post_calc, 0);

    // calc or moved alone is.
    calc = 1;
    EXPECT_EQ(display(), 1);
    moved = 1;
    EXPECT_EQ(display(), 1);
    EXPECT_EQ(calc + moved, 0);
}

TEST(PaintMandel, TwoButtonsClearPostCalcAndRender)
{
    state_saver saver;
    small_view();
    buttons = 3, post_calc = 1;
    EXPECT_EQ(display(), 1);
    EXPECT_EQ(post_calc, 0);
    EXPECT_EQ(no_firstpass, 0);
    EXPECT_EQ(kernel_samples, coarse_samples());
}

TEST(PaintMandel, TheRendererGetsTheTruncatedLimit)
{
    state_saver saver;
    small_view();
    calc = 1, maxit = 50;
    display();
    const std::vector<std::uint32_t> at50(screen, screen + SCREEN_PIXELS);
    calc = 1, maxit = 50.9;
    display();
    EXPECT_TRUE(std::equal(at50.begin(), at50.end(), screen));
    calc = 1, maxit = 51;
    display();
    EXPECT_FALSE(std::equal(at50.begin(), at50.end(), screen));
}

// A whole zoom: every frame while the button is held is coarse, one sample
// per 4 x 4 block filling its block; the frame after the release refines
// that picture without recomputing a coarse sample; then the idle handler
// has nothing left to do and leaves the main loop to sleep.
TEST(Session, ZoomInThenReleaseRefinesTheCoarsePicture)
{
    state_saver saver;
    small_view();
    mouse(0, 0, 500, 400);
    double width = xstep;
    for (int frame = 0; frame < 3; frame++) {
        gl_calls.clear();
        idle();
        EXPECT_EQ(gl_call_names(), std::vector<std::string>{"glutPostRedisplay"});
        EXPECT_EQ(xstep, width * 0.9);
        width = xstep;
        ASSERT_EQ(display(), 1);
        EXPECT_EQ(kernel_samples, XPTS * YPTS / 16);
        for (int j = LOY; j < LOY + YPTS; j++)
            for (int i = LOX; i < LOX + XPTS; i++)
                ASSERT_EQ(pixel(i, j), pixel(i & ~3, j & ~3)) << i << "," << j;
    }

    mouse(0, 1, 500, 400);
    EXPECT_EQ(buttons, 0);
    gl_calls.clear();
    idle();
    EXPECT_EQ(gl_call_names(), std::vector<std::string>{"glutPostRedisplay"});
    EXPECT_EQ(xstep, width);  // no button, no zoom
    const std::vector<std::uint32_t> coarse(screen, screen + SCREEN_PIXELS);
    ASSERT_EQ(display(), 1);
    const long long refined = kernel_samples;
    EXPECT_EQ(post_calc + calc + moved + no_firstpass, 0);

    // The same frame from the same picture with its coarse pass costs
    // exactly the coarse samples more and gives the same pixels.
    const std::vector<std::uint32_t> picture(screen, screen + SCREEN_PIXELS);
    std::copy(coarse.begin(), coarse.end(), screen);
    kernel_samples = 0;
    render_frame(describe_frame());
    EXPECT_EQ(kernel_samples - refined, coarse_samples());
    EXPECT_TRUE(std::equal(picture.begin(), picture.end(), screen));

    gl_calls.clear();
    idle();
    ASSERT_EQ(gl_calls.size(), 1u);
    EXPECT_EQ(gl_calls[0].name, "glutIdleFunc");
    EXPECT_EQ(gl_calls[0].ptr, nullptr);
    EXPECT_EQ(idle_registered, 0);
}
