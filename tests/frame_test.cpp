// frame_test.cpp -- the strip split, the presentation sequence and golden frames
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/glnull.h"
#include "app/logo.h"
#include "app/screen.h"
#include "engine/frame.h"
#include "engine/kernels.h"
#include "tests/saver.h"
#include "view/display.h"
#include "view/viewstate.h"

namespace {

// The explorer's state after start-up, without a window: one strip,
// refinement on, the logo built.
struct started {
    state_saver saver;
    started()
    {
        anz = 1;
        resetkoords(1);
        setsize(1024);
        highq = 1;
        create_logo();
    }
};

// FNV-1a over the whole allocation, slack included.
std::uint64_t checksum()
{
    std::uint64_t h = 1469598103934665603u;
    for (int i = 0; i < SCREEN_PIXELS; i++)
        for (int b = 0; b < 32; b += 8)
            h = (h ^ (screen[i] >> b & 0xff)) * 1099511628211u;
    return h;
}

// The first display's frame: rendered twice, the second over the first.
std::uint64_t first_display()
{
    render_frame(describe_frame());
    render_frame(describe_frame());
    return checksum();
}

}  // namespace

TEST(Frame, OneStripCoversTheViewportExactly)
{
    started s;
    ZX = 0.25, ZY = -0.5;
    no_firstpass = 1;
    do_julia = 2;
    const frame_desc f = describe_frame();
    strip_task t = strip_record(0, 1, f, 4);
    EXPECT_EQ(t.index, 0);
    EXPECT_EQ(t.first_row, 0);
    EXPECT_EQ(t.rows, 768);
    EXPECT_EQ(t.y0, f.y0);
    EXPECT_EQ(t.jy0, f.jy0);
    EXPECT_EQ(t.zx, 0.25);
    EXPECT_EQ(t.zy, -0.5);
    EXPECT_EQ(t.no_firstpass, 1);
    EXPECT_EQ(t.highq, 1);
    EXPECT_EQ(t.buttons, 4);
    EXPECT_EQ(t.finished, 0);
    EXPECT_EQ(t.mode, 2);
    EXPECT_EQ(t.maxiter, 50);
    EXPECT_EQ(t.jmaxiter, 50);
}

// 10 rows in 3 strips start at rows 0, 2 and 6, each 4 rows tall: no row
// is left out and rows 2 and 3 are covered twice.
TEST(Frame, SplitRoundsStartsDownToEvenRows)
{
    started s;
    frame_desc f = describe_frame();
    f.first_row = 100, f.rows = 10;
    const int want_first[] = {100, 102, 106};
    for (int i = 0; i < 3; i++) {
        strip_task t = strip_record(i, 3, f, 0);
        EXPECT_EQ(t.first_row, want_first[i]) << i;
        EXPECT_EQ(t.rows, 4) << i;
        EXPECT_EQ(t.y0, f.y0 - (want_first[i] - 100) * f.dy) << i;
        EXPECT_EQ(t.jy0, f.jy0 - (want_first[i] - 100) * f.jdy) << i;
    }
}

TEST(Frame, PresentsTheBufferThenTheLogoThenSwaps)
{
    started s;
    render_frame(describe_frame());
    const std::vector<std::string> want = {"glDrawPixels", "glBlendFunc", "glEnable",       "glDrawPixels",
                                           "glBlendFunc",  "glDisable",   "glutSwapBuffers"};
    ASSERT_EQ(gl_call_names(), want);
    EXPECT_EQ(gl_calls[0].args, (std::vector<long>{1024, 768, 6408, 5121}));
    EXPECT_EQ(gl_calls[0].ptr, screen);
    EXPECT_EQ(gl_calls[3].ptr, snap_long);
}

// More strips than records are held to the record array; none is fine too.
TEST(Frame, StripCountsOutsideTheRecordsAreSafe)
{
    started s;
    setkoords(-1, 1, -0.75, 0.75, 10, 1);
    anz = 1000;
    render_frame(describe_frame());
    EXPECT_EQ(gl_calls.size(), 7u);
    anz = 0;
    kernel_samples = 0;
    render_frame(describe_frame());
    EXPECT_EQ(kernel_samples, 0);
    EXPECT_EQ(gl_calls.size(), 14u);
}

// Whole frames, guarded bit for bit: any change to a kernel, a pass or the
// frame description shows here. The numbers are the frames as the explorer
// first drew them; a deliberate change of the picture must renew them.
TEST(Frame, GoldenFrames)
{
    started s;
    struct golden {
        const char *name;
        std::uint64_t sum;
    };
    std::vector<golden> got;
    got.push_back({"parameter plane, default view", first_display()});
    do_julia = 1;
    got.push_back({"dynamic plane, default view", first_display()});
    do_julia = 0;
    // A limit of 300 reaches every palette entry, so these two guard the palette too.
    setkoords(1.10078125, 1.50078125, -1.5328125, -1.2328125, 300, 1);
    got.push_back({"parameter plane, zoomed", first_display()});
    ZX = 0.3, ZY = -0.2;
    got.push_back({"parameter plane, moved start value", first_display()});
    resetkoords(1);
    setsize(800);
    got.push_back({"parameter plane, 800 wide", first_display()});
    setsize(1024);
    buttons = 1;
    got.push_back({"coarse frame", first_display()});
    buttons = 0;
    no_firstpass = 1;
    render_frame(describe_frame());
    got.push_back({"its refinement in place", checksum()});

    const golden want[] = {
        {"parameter plane, default view", 0x143af64cbb1e24ab},
        {"dynamic plane, default view", 0xe9aa3b0c99910b53},
        {"parameter plane, zoomed", 0x8464db0aba29fe1b},
        {"parameter plane, moved start value", 0xee3b47677aceee37},
        {"parameter plane, 800 wide", 0xdfcf5da755ad9ddf},
        {"coarse frame", 0xce32c19f3407a403},
        {"its refinement in place", 0x143af64cbb1e24ab},
    };
    ASSERT_EQ(got.size(), std::size(want));
    for (size_t i = 0; i < got.size(); i++)
        EXPECT_EQ(got[i].sum, want[i].sum) << got[i].name << std::hex << ": 0x" << got[i].sum;
}
