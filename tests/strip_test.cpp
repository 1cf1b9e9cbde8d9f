// strip_test.cpp -- the strip renderer's passes, their samples and their reach past the strip
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/screen.h"
#include "engine/frame.h"
#include "engine/kernels.h"
#include "engine/strip.h"
#include "tests/saver.h"
#include "view/display.h"
#include "view/viewstate.h"

namespace {

// A strip covering the whole viewport of the current view, as a frame of
// one strip describes it.
strip_task whole_viewport(int held = 0)
{
    return strip_record(0, 1, describe_frame(), held);
}

void fill_allocation(std::uint32_t value)
{
    for (int i = 0; i < SCREEN_PIXELS; i++)
        screen[i] = value;
}

void render_strip(strip_task t)
{
    smandel(&t);
}

long long samples_of(strip_task t)
{
    kernel_samples = 0;
    smandel(&t);
    EXPECT_EQ(t.finished, 1);
    return kernel_samples;
}

// The debug line a parameter-plane sample at pixel (i, j) of the default
// view prints with a limit of 1: the first step's value, which tells the
// samples apart.
std::string line_at(int i, int j)
{
    const frame_desc f = describe_frame();
    orbit o = mandel_orbit(f.x0 + i * f.dx, f.y0 - j * f.dy, 0, 0, 1);
    char line[64];
    std::snprintf(line, sizeof line, "%g %g\n", o.x, o.y);
    return line;
}

// Renders the refinement of the default view with a limit of 1, so every
// sample is black, over a buffer that is black but for the given pixels,
// and returns the samples computed, in order, as their debug lines.
std::string refinement_lines(const std::vector<std::pair<int, std::uint32_t>> &marks)
{
    resetkoords(1);
    maxit = 1;
    setsize(1024);
    highq = 1;
    fill_allocation(0);
    for (auto [index, value] : marks)
        screen[index] = value;
    strip_task t = whole_viewport();
    t.no_firstpass = 1;
    blub = 1;
    testing::internal::CaptureStdout();
    smandel(&t);
    blub = 0;
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(Strip, EmptyStripsAndSkippedPassesWriteNothing)
{
    state_saver saver;
    resetkoords(1);
    fill_allocation(0x12345678);
    setsize(1);  // an empty viewport, border cleared
    highq = 1;
    fill_allocation(0x12345678);
    EXPECT_EQ(samples_of(whole_viewport()), 0);

    setsize(1024);
    strip_task no_rows = whole_viewport();
    no_rows.rows = 0;
    EXPECT_EQ(samples_of(no_rows), 0);

    strip_task nothing_wanted = whole_viewport();
    nothing_wanted.no_firstpass = 1;
    nothing_wanted.highq = 0;
    EXPECT_EQ(samples_of(nothing_wanted), 0);
    for (int i = 0; i < SCREEN_PIXELS; i++)
        ASSERT_EQ(screen[i], 0x12345678u) << "pixel " << i;
}

// While a button is held, or without refinement, each 4x4 block takes the
// colour of its one sample; the grid runs from the viewport's corner.
TEST(Strip, CoarsePassFillsWholeBlocks)
{
    state_saver saver;
    setkoords(-2, 2, -1.5, 1.5, 30, 1);  // dx = -1/256: the running sums are exact
    setsize(1024);
    for (auto [quality, held] : {std::pair{1, 1}, std::pair{0, 0}, std::pair{0, 4}}) {
        highq = quality;
        EXPECT_EQ(samples_of(whole_viewport(held)), 256 * 192);
        const frame_desc f = describe_frame();
        for (int j = 0; j < 768; j += 4)
            for (int i = 0; i < 1024; i += 4) {
                std::uint32_t want = mandel_point(f.x0 + i * f.dx, f.y0 - j * f.dy, 0, 0, 30);
                for (int k = 0; k < 16; k++)
                    ASSERT_EQ(pixel(i + k % 4, j + k / 4), want) << i << "," << j;
            }
    }
}

// A viewport 1022 columns wide ends in a block column at 1020, whose fill
// paints two columns of the border too.
TEST(Strip, CoarseFillOfTheLast1022ColumnReachesTheBorder)
{
    state_saver saver;
    resetkoords(1);
    setsize(1022);
    highq = 0;
    render_strip(whole_viewport());
    for (int j = 0; j < 4; j++) {
        EXPECT_EQ(pixel(1022, j), pixel(1020, 0));
        EXPECT_EQ(pixel(1023, j), pixel(1020, 0));
    }
}

// Where every neighbour agrees, refinement copies and computes nothing new.
TEST(Strip, OneColourFieldCostsOnlyItsCoarseSamples)
{
    state_saver saver;
    setkoords(1 - 1e-9, 1 + 1e-9, -1e-9, 1e-9, 50, 1);  // around the root z = 1
    do_julia = 1;
    setsize(1024);
    highq = 1;
    const std::uint32_t colour = julia_point(1, 0, 1, 0, 50);
    fill_allocation(colour);  // so the reads past the strip agree too
    EXPECT_EQ(samples_of(whole_viewport()), 256 * 192);
    for (int i = 0; i < SCREEN_PIXELS; i++)
        ASSERT_EQ(screen[i], colour) << "pixel " << i;
}

// A right neighbour that differs makes block (0, 0) sample (2, 0); the
// differing block itself samples its three; the 1x1 pass then samples
// around the one pixel that differs, in pass order, each pixel once.
TEST(Strip, RefinementSamplesOnlyWhereNeighboursDifferInPassOrder)
{
    state_saver saver;
    std::string got = refinement_lines({{4, 1}});
    std::string want;
    for (auto [i, j] : {std::pair{2, 0}, {6, 0}, {4, 2}, {6, 2}, {3, 0}, {5, 0}, {4, 1}, {5, 1}})
        want += line_at(i, j);
    EXPECT_EQ(got, want);
    EXPECT_EQ(pixel(4, 0), 1u);  // a block's own sample is never rewritten
    EXPECT_EQ(pixel(2, 0), 0u);
}

// The top block row compares against row 768, in the slack.
TEST(Strip, TopRowComparesAgainstTheSlack)
{
    state_saver saver;
    std::string got = refinement_lines({{768 * 1024 + 8, 1}});
    std::string want;
    for (auto [i, j] : {std::pair{6, 766}, {8, 766}, {7, 767}, {8, 767}})
        want += line_at(i, j);
    EXPECT_EQ(got, want);
    for (int i = 768 * 1024; i < 793616; i++)
        ASSERT_EQ(screen[i], i == 768 * 1024 + 8 ? 1u : 0u) << "slack pixel " << i;
}

// The last block column compares against column 1024, which is column 0 of
// the next row up: always a pixel of an odd row, which the passes rewrite.
// The comparison sees it as this pass has already rewritten it (here with
// the black of its block), not as it was before the pass.
TEST(Strip, ReadsPastColumn1023SeeThisPassesWrites)
{
    state_saver saver;
    EXPECT_EQ(refinement_lines({{1 * 1024 + 0, 1}}), "");
    EXPECT_EQ(pixel(0, 1), 0u);
}

TEST(Strip, DynamicPlaneUsesTheParameterViewsCentre)
{
    state_saver saver;
    setkoords(0.25, 0.75, -0.5, 0.5, 40, 1);  // centre c = 0.5
    do_julia = 2;
    jxmit = 0, jymit = 0, jxstep = -2, jystep = -1.5;  // dynamic view on its own
    setsize(1024);
    highq = 0;
    render_strip(whole_viewport());
    const frame_desc f = describe_frame();
    const double cx = f.x0 + f.dx * 1024 * 0.5, cy = f.y0 - f.dy * 768 * 0.5;
    EXPECT_EQ(cx, 0.5);
    EXPECT_EQ(cy, 0.0);
    for (auto [i, j] : {std::pair{0, 0}, {512, 384}, {1020, 764}, {100, 600}})
        EXPECT_EQ(pixel(i, j), julia_point(f.jx0 + i * f.jdx, f.jy0 - j * f.jdy, cx, cy, 40)) << i << "," << j;
}

// After a full refined render, every pixel holds its own sample's colour
// or the colour of the lower-left pixel of its 2x2 block.
TEST(Strip, RefinedPixelsAreTheirOwnSampleOrTheirBlocksCorner)
{
    state_saver saver;
    setkoords(-2, 2, -1.5, 1.5, 30, 1);
    setsize(1024);
    highq = 1;
    render_strip(whole_viewport());
    const frame_desc f = describe_frame();
    int own = 0;
    for (int j = 0; j < 768; j++)
        for (int i = 0; i < 1024; i++) {
            std::uint32_t corner = pixel(i & ~1, j & ~1), mine = pixel(i, j);
            std::uint32_t sample = mandel_point(f.x0 + i * f.dx, f.y0 - j * f.dy, 0, 0, 30);
            ASSERT_TRUE(mine == sample || mine == corner) << i << "," << j;
            own += mine == sample;
        }
    EXPECT_GT(own, 1024 * 768 * 9 / 10);
}

// The progress a render leaves behind is its last pass with all of that
// pass's block rows done: 4-row blocks in the coarse pass, 2-row blocks in
// the 1x1 pass, a part block row at the top counted whole (766 rows are 192
// block rows of 4 and 383 of 2).
TEST(Strip, ProgressEndsAtTheLastPassWithEveryBlockRowDone)
{
    state_saver saver;
    resetkoords(1);
    struct kase { double width; int quality, held, pass, rows; };
    for (const kase c : {kase{1024, 1, 1, 0, 192}, kase{1024, 1, 0, 2, 384}, kase{1022, 0, 0, 0, 192},
                         kase{1022, 1, 0, 2, 383}}) {
        setsize(c.width);
        highq = c.quality;
        progress_pass = -1, progress_rows = -1;
        render_strip(whole_viewport(c.held));
        EXPECT_EQ(progress_pass, c.pass) << c.width << " " << c.quality << c.held;
        EXPECT_EQ(progress_rows, c.rows) << c.width << " " << c.quality << c.held;
    }
}
