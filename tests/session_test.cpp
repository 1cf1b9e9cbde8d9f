// session_test.cpp -- long random sessions through the callbacks, and zooms to the ends of the range
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <bit>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/glnull.h"
#include "app/logo.h"
#include "app/screen.h"
#include "app/startup.h"
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
// first edge and ends, XPTS columns and YPTS rows on, at the other one; in
// a deep frame, whose grid starts from the centre, to within a pixel's
// hundredth.
void expect_consistent(const frame_desc &f)
{
    EXPECT_EQ(f.first_row, LOY);
    EXPECT_EQ(f.rows, YPTS);
    EXPECT_EQ(f.maxiter, iteration_limit(maxit));
    EXPECT_EQ(f.jmaxiter, iteration_limit(jmaxit));
    EXPECT_EQ(f.deep, frame_is_deep());
    if (f.deep) {
        EXPECT_EQ((std::vector<double>{f.ox[0], f.ox[1], f.oy[0], f.oy[1]}),
                  (std::vector<double>{xmit, xmit_lo, ymit, ymit_lo}));
        EXPECT_NEAR(f.x0 + f.dx * XPTS, xstep, std::fabs(f.dx) / 100);
        EXPECT_NEAR(f.y0 - f.dy * YPTS, -ystep, std::fabs(f.dy) / 100);
    } else if (std::isfinite(xstep) && std::isfinite(xmit) && std::fabs(xstep) < 1e300) {
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
    const std::vector<std::string> names = gl_call_names();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[names.size() - 2], "glutSwapBuffers");
    EXPECT_EQ(names.back(), "set_window_text");
    key(' ', 0, 0);
    EXPECT_EQ(do_julia, 1);
}

namespace {

// The window property's text read back by hand, not by the program's
// reader: each line's words under its first word, numbers through strtod.
struct published_view {
    std::vector<std::string> names;  // the lines' first words, in order
    std::map<std::string, std::vector<std::string>> words;

    explicit published_view(const std::string &text = "")
    {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream in(line);
            std::string name, word;
            in >> name;
            names.push_back(name);
            while (in >> word)
                words[name].push_back(word);
        }
    }

    std::string line(const std::string &name) const
    {
        std::string text;
        for (const std::string &w : words.at(name))
            text += (text.empty() ? "" : " ") + w;
        return text;
    }

    std::vector<double> numbers(const std::string &name) const
    {
        std::vector<double> v;
        for (const std::string &w : words.at(name))
            v.push_back(std::strtod(w.c_str(), nullptr));
        return v;
    }
};

// The same double, to the bit; NaNs of any sign or payload count as one.
bool same_double(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (std::isnan(a) && std::isnan(b));
}

void expect_numbers(const published_view &p, const std::string &line, const std::vector<double> &want,
                    const char *when)
{
    const std::vector<double> got = p.numbers(line);
    ASSERT_EQ(got.size(), want.size()) << when << ": " << line;
    for (std::size_t i = 0; i < want.size(); i++)
        EXPECT_TRUE(same_double(got[i], want[i]))
            << when << ": " << line << " number " << i << " is " << got[i] << ", not " << want[i];
}

// The record published after a frame holds the view state that frame was
// rendered from, to the bit, as a PNG of it would: one refined (coarse
// while a button is held) 1024 x 768 frame with the logo.
// A deep view's centres with low parts, or a frame computed by
// perturbation, add three lines (version 3), the last naming it.
void expect_state_published(const published_view &p)
{
    std::vector<std::string> lines = {"version", "mode",  "numbers", "parameter-plane", "dynamic-plane",
                                      "z0",      "width", "coarse",  "size",            "logo"};
    const bool low = xmit_lo != 0 || ymit_lo != 0 || jxmit_lo != 0 || jymit_lo != 0;
    const bool deep = frame_is_deep();
    if (low || deep)
        lines.insert(lines.end(), {"supersample", "low-parts", "precision"});
    ASSERT_EQ(p.names, lines);
    EXPECT_EQ(p.line("version"), low || deep ? "3" : "1");
    if (low || deep) {
        EXPECT_EQ(p.line("supersample"), "1");
        expect_numbers(p, "low-parts", {xmit_lo, ymit_lo, jxmit_lo, jymit_lo}, "after a frame");
        EXPECT_EQ(p.line("precision"), deep ? "perturbation" : "auto");
    }
    EXPECT_EQ(p.line("mode"), std::to_string(do_julia));
    expect_numbers(p, "parameter-plane", {xmit, ymit, xstep, ystep, maxit}, "after a frame");
    expect_numbers(p, "dynamic-plane", {jxmit, jymit, jxstep, jystep, jmaxit}, "after a frame");
    expect_numbers(p, "z0", {ZX, ZY}, "after a frame");
    expect_numbers(p, "width", {double(XPTS)}, "after a frame");
    EXPECT_EQ(p.line("coarse"), buttons ? "yes" : "no");
    EXPECT_EQ(p.line("size"), "1024x768");
    EXPECT_EQ(p.line("logo"), "yes");
}

// freeglut's main loop as the explorer meets it. Each round it handles every
// pending window-system event, then the pending redisplay, then calls the
// idle handler if one is registered. Redisplay requests and idle
// registrations are read off the calls the program makes to the recording
// stand-in, so the loop knows only what GLUT would know.
class glut_loop {
public:
    using event = std::function<void()>;

    // The explorer's own start-up, with its command line, whose window is
    // then exposed: the first round displays.
    explicit glut_loop(std::vector<const char *> argv = {"rootzoom"})
    {
        const int argc = int(argv.size());
        argv.push_back(nullptr);
        startup(argc, const_cast<char **>(argv.data()));
        take_requests();
        redisplay_ = true;
    }

    void round(const std::vector<event> &events = {})
    {
        for (const event &e : events) {
            e();
            take_requests();
        }
        if (redisplay_) {
            redisplay_ = false;
            const std::size_t before = gl_calls.size();
            paint_mandel();
            check_published(before);
            take_requests();
        }
        if (idle_) {
            idle();
            take_requests();
        }
    }

    void rounds(int n)
    {
        for (int i = 0; i < n; i++)
            round();
    }

    bool quiet() const { return !redisplay_ && !idle_; }

    // The window property as the latest frame left it.
    const published_view &published() const { return published_; }

private:
    // A display that rendered sets the window property once, after its last
    // swap; one that did not render leaves it alone.
    void check_published(std::size_t from)
    {
        std::size_t swaps = 0, sets = 0, last_swap = 0, set = 0;
        for (std::size_t i = from; i < gl_calls.size(); i++) {
            if (gl_calls[i].name == "glutSwapBuffers")
                swaps++, last_swap = i;
            if (gl_calls[i].name == "set_window_text")
                sets++, set = i;
        }
        ASSERT_EQ(sets, swaps ? 1u : 0u) << "property changes in a display with " << swaps << " swaps";
        if (!sets)
            return;
        EXPECT_GT(set, last_swap);
        EXPECT_STREQ(static_cast<const char *>(gl_calls[set].ptr), "ROOTZOOM_VIEW");
        published_ = published_view(gl_calls[set].text);
        expect_state_published(published_);
    }

    void take_requests()
    {
        for (; seen_ < gl_calls.size(); seen_++) {
            const gl_call &c = gl_calls[seen_];
            if (c.name == "glutPostRedisplay")
                redisplay_ = true;
            if (c.name == "glutIdleFunc")
                idle_ = c.ptr != nullptr;
        }
    }

    std::size_t seen_ = 0;
    bool redisplay_ = false;
    bool idle_ = false;
    published_view published_;
};

glut_loop::event press(int button, int x, int y) { return [=] { mouse(button, 0, x, y); }; }
glut_loop::event release(int button, int x, int y) { return [=] { mouse(button, 1, x, y); }; }
glut_loop::event drag(int x, int y) { return [=] { mouseMotion(x, y); }; }
glut_loop::event press_key(unsigned char k) { return [=] { key(k, 0, 0); }; }

// The picture on screen is a fresh render of the view the state now holds:
// the same frame rendered from a cleared buffer, compared over the whole
// allocation but the last block column, whose refinement reads past column
// 1023 into pixels the previous frame left.
void expect_fresh_picture(const char *gesture)
{
    const std::vector<std::uint32_t> shown(screen, screen + SCREEN_PIXELS);
    std::memset(screen, 0, SCREEN_PIXELS * sizeof *screen);
    const int held = buttons;
    buttons = 0;
    render_frame(describe_frame());
    buttons = held;
    int differing = 0;
    for (int i = 0; i < SCREEN_PIXELS; i++)
        if (!(i < 768 * 1024 && i % 1024 >= 1020))
            differing += shown[i] != screen[i];
    EXPECT_EQ(differing, 0) << gesture << ": pixels that differ from a fresh render of the view";
}

// The view the explorer should reach from the default view after one idle
// call per entry of calls: each zooms in when zoom_in is set, then pans the
// parameter-plane view by the movement of that call, if any, with the
// half-extents after the zoom (0.9, 1.02 below 64250, movements times 0.25
// divided by 40 across and 20 down).
struct expected_view {
    double xmit = 0, ymit = 0, xstep = -3.0, ystep = -2.2500000000000004, maxit = 50;

    void idle_call(bool zoom_in, int mx, int my)
    {
        if (zoom_in) {
            xstep = xstep * 0.9;
            ystep = ystep * 0.9;
            if (maxit < 64250)
                maxit = maxit * 1.02;
        }
        xmit = xmit + xstep * mx * 0.25 / 40;
        ymit = ymit + ystep * my * 0.25 / 20;
    }

    void expect_reached(const char *gesture) const
    {
        EXPECT_EQ(::xmit, xmit) << gesture;
        EXPECT_EQ(::ymit, ymit) << gesture;
        EXPECT_EQ(::xstep, xstep) << gesture;
        EXPECT_EQ(::ystep, ystep) << gesture;
        EXPECT_EQ(::maxit, maxit) << gesture;
    }

    // The view as a line of the published record, read back to the bit.
    void expect_published(const published_view &p, const char *line, const char *gesture) const
    {
        expect_numbers(p, line, {xmit, ymit, xstep, ystep, maxit}, gesture);
    }
};

}  // namespace

// Holding the left button zooms one step per round; the release arrives
// while the last step is still unrendered, so the refined picture must be
// rendered whole, not refined in place from the step before.
TEST(Gestures, ZoomHoldThenReleaseShowsTheFinalView)
{
    state_saver saver;
    glut_loop loop;
    loop.round();  // the first display
    expected_view want;
    loop.round({press(0, 512, 384)});
    want.idle_call(true, 0, 0);
    for (int r = 0; r < 6; r++) {
        loop.round();
        want.idle_call(true, 0, 0);
    }
    loop.round({release(0, 512, 384)});
    loop.rounds(2);
    EXPECT_TRUE(loop.quiet());
    want.expect_reached("hold left");
    expect_fresh_picture("hold left, release");
}

// Every drag event with the middle button pans the view by its own
// movement, once; after the release the coarse picture of the panned view is
// refined in place.
TEST(Gestures, MiddleDragPansByEveryMovement)
{
    state_saver saver;
    glut_loop loop;
    loop.round();
    expected_view want;
    loop.round({press(1, 500, 400)});
    const int moves[][2] = {{10, 0}, {10, 4}, {-3, 7}, {0, -12}, {25, 1}};
    int x = 500, y = 400;
    for (auto [mx, my] : moves) {
        x += mx, y += my;
        loop.round({drag(x, y)});
        want.idle_call(false, mx, my);
        want.expect_reached("middle drag");
    }
    loop.round();
    loop.round({release(1, x, y)});
    loop.rounds(2);
    EXPECT_TRUE(loop.quiet());
    want.expect_reached("middle drag");
    expect_fresh_picture("middle drag, release");
}

// Deep in a view 1e-14 wide on a boundary between basins, a pixel is a
// twentieth of the centre's last bit, and a drag by one pointer pixel moves
// the view by three pixels, a fraction of that bit. Each movement still
// moves the centre by exactly its amount, kept in the low part (the sums
// are checked in quadruple precision), the picture moves with it, and
// after the release it is a fresh render of the moved view.
TEST(Gestures, DeepDragPansBelowTheCentresLastBit)
{
    state_saver saver;
    glut_loop loop({"rootzoom", "1.0023251137689363", "1.0023251137689263", "0.31264189656382699",
                    "0.31264189656381949", "300"});
    loop.round();
    ASSERT_TRUE(frame_is_deep());
    const std::vector<std::uint32_t> before(screen, screen + SCREEN_PIXELS);
    __float128 x = xmit, y = ymit;
    loop.round({press(1, 500, 400)});
    const int moves[][2] = {{1, 0}, {3, 1}, {-1, 2}, {7, -5}};
    int px = 500, py = 400;
    for (auto [mx, my] : moves) {
        px += mx, py += my;
        loop.round({drag(px, py)});
        x += xstep * mx * 0.25 / 40, y += ystep * my * 0.25 / 20;
        const double off_x = double((__float128(xmit) + xmit_lo) - x), off_y = double((__float128(ymit) + ymit_lo) - y);
        EXPECT_LE(std::fabs(off_x), 1e-31) << "after the movement " << mx << "," << my;
        EXPECT_LE(std::fabs(off_y), 1e-31) << "after the movement " << mx << "," << my;
    }
    EXPECT_NE(xmit_lo, 0.0);
    EXPECT_EQ(loop.published().line("version"), "3");
    loop.round({release(1, px, py)});
    loop.rounds(2);
    EXPECT_TRUE(loop.quiet());
    expect_fresh_picture("deep middle drag, release");
    int moved = 0;
    for (int i = 0; i < SCREEN_PIXELS; i++)
        moved += before[i] != screen[i];
    EXPECT_GT(moved, SCREEN_PIXELS / 10) << "pixels the deep drag changed";
}

// Two drag events in one round are one movement; a drag and the release in
// one round leave the last movement for idle to apply after the release.
TEST(Gestures, ZoomWhileDraggingZoomsAndPansEveryStep)
{
    state_saver saver;
    glut_loop loop;
    loop.round();
    expected_view want;
    loop.round({press(0, 300, 300)});
    want.idle_call(true, 0, 0);
    loop.round({drag(308, 296)});
    want.idle_call(true, 8, -4);
    loop.round({drag(310, 300), drag(320, 301)});
    want.idle_call(true, 12, 5);
    loop.round();
    want.idle_call(true, 0, 0);
    loop.round({drag(317, 311), release(0, 317, 311)});
    want.idle_call(false, -3, 10);
    loop.rounds(3);
    EXPECT_TRUE(loop.quiet());
    want.expect_reached("zoom while dragging");
    expect_fresh_picture("zoom while dragging, release");
}

// Left and middle move the start value; releasing the middle button leaves
// the left one zooming; a key between the hold and the release changes the
// mode, and the picture after the release is the new mode's.
TEST(Gestures, ReleasingOneOfTwoButtonsAndKeysWhileHeld)
{
    state_saver saver;
    glut_loop loop;
    loop.round();
    expected_view want;
    loop.round({press(0, 200, 200), press(1, 200, 200)});
    loop.round({drag(230, 210)});
    EXPECT_EQ(ZX, -3.0 * (30 - 10) * 0.25 / 40);  // mx - my along x, on the parameter-plane scale
    loop.round({release(1, 230, 210)});
    want.idle_call(true, 0, 0);
    loop.rounds(2);
    want.idle_call(true, 0, 0);
    want.idle_call(true, 0, 0);
    loop.round({press_key(' '), release(0, 230, 210)});
    loop.rounds(2);
    EXPECT_TRUE(loop.quiet());
    EXPECT_EQ(do_julia, 1);
    EXPECT_EQ(ZX, 0.0);  // a key in the dynamic plane resets the start value
    want.expect_reached("one of two buttons");
    expect_fresh_picture("space, then the release");
}

// The window property follows the view from the five numbers through a
// zoom, a drag and the modes: every frame publishes the state it shows
// (glut_loop checks that), and each gesture leaves the view the typed
// arithmetic reaches. Five numbers are named only while both views are
// still the ones they gave.
TEST(Gestures, TheWindowPropertyFollowsTheView)
{
    state_saver saver;
    glut_loop loop({"rootzoom", "1.4", "0.6", "0.6", "0", "60"});
    loop.round();
    // setkoords: centre (min + max) * 0.5, half-extent (min - max) * 0.5.
    expected_view want{1, 0.3, -0.39999999999999997, -0.3, 60};
    const expected_view start = want;
    EXPECT_EQ(loop.published().line("numbers"), "1.4 0.6 0.6 0 60");
    want.expect_published(loop.published(), "parameter-plane", "start");
    start.expect_published(loop.published(), "dynamic-plane", "start");

    loop.round({press(0, 512, 384)});
    want.idle_call(true, 0, 0);
    for (int r = 0; r < 4; r++) {
        loop.round();
        want.idle_call(true, 0, 0);
        EXPECT_EQ(loop.published().line("coarse"), "yes");
    }
    loop.round({release(0, 512, 384)});
    loop.rounds(2);
    EXPECT_TRUE(loop.quiet());
    EXPECT_EQ(loop.published().line("coarse"), "no");
    EXPECT_EQ(loop.published().line("numbers"), "none");
    want.expect_published(loop.published(), "parameter-plane", "zoom");
    start.expect_published(loop.published(), "dynamic-plane", "zoom");

    loop.round({press(1, 500, 400)});
    loop.round({drag(520, 390)});
    want.idle_call(false, 20, -10);
    loop.round({drag(515, 402)});
    want.idle_call(false, -5, 12);
    loop.round({release(1, 515, 402)});
    loop.rounds(2);
    EXPECT_TRUE(loop.quiet());
    want.expect_published(loop.published(), "parameter-plane", "middle drag");

    loop.round({press_key(' ')});
    loop.rounds(2);
    EXPECT_EQ(loop.published().line("mode"), "1");
    loop.round({press_key(' ')});
    loop.rounds(2);
    EXPECT_EQ(loop.published().line("mode"), "2");
    // Mode 2 zooms the dynamic-plane view and leaves the other alone.
    expected_view dynamic = start;
    loop.round({press(0, 512, 384)});
    dynamic.idle_call(true, 0, 0);
    loop.round();
    dynamic.idle_call(true, 0, 0);
    loop.round({release(0, 512, 384)});
    loop.rounds(2);
    EXPECT_TRUE(loop.quiet());
    EXPECT_EQ(loop.published().line("mode"), "2");
    want.expect_published(loop.published(), "parameter-plane", "zoom in mode 2");
    dynamic.expect_published(loop.published(), "dynamic-plane", "zoom in mode 2");
}
