// tiles_test.cpp -- large pictures in tiles: the tile views, the tool's tiled PNG, its refusals and interruptions
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/screen.h"
#include "engine/frame.h"
#include "tests/saver.h"
#include "tools/tiles.h"
#include "view/display.h"
#include "view/viewstate.h"

namespace fs = std::filesystem;

namespace {

// A view as the tool's five numbers, and tile (tx, ty) of k x k of it, ty
// from the top, cut by bounds; dyadic, so that every tile's bounds are exact.
struct bounds {
    double xmax, xmin, ymax, ymin, limit;
    std::string args() const
    {
        std::ostringstream s;
        s << xmax << " " << xmin << " " << ymax << " " << ymin << " " << limit;
        return s.str();
    }
    bounds tile(int k, int tx, int ty) const
    {
        const double w = (xmax - xmin) / k, h = (ymax - ymin) / k;
        return {xmax - tx * w, xmax - (tx + 1) * w, ymax - ty * h, ymax - (ty + 1) * h, limit};
    }
};

// A PNG's RGB rows, top row first, and its width; empty when unreadable.
struct picture {
    unsigned width = 0;
    std::vector<png_byte> rgb;
};

picture read_png(const fs::path &p)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    picture pic;
    if (png_image_begin_read_from_file(&image, p.c_str())) {
        image.format = PNG_FORMAT_RGB;
        pic.rgb.resize(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, pic.rgb.data(), 0, nullptr))
            pic.width = image.width;
    }
    return pic;
}

// True when tile (tx, ty) of the big picture is the 1024 x 768 picture, pixel for pixel.
bool tile_equals(const picture &big, int tx, int ty, const picture &frame)
{
    if (frame.width != 1024 || big.rgb.size() < std::size_t(big.width) * (ty + 1) * 768 * 3)
        return false;
    for (std::size_t y = 0; y < 768; y++)
        if (std::memcmp(&big.rgb[((ty * 768 + y) * big.width + tx * 1024) * 3], &frame.rgb[y * 1024 * 3], 1024 * 3))
            return false;
    return true;
}

class Tiles : public testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("rz-tiles-" + std::to_string(getpid()) + "-" +
                                                testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the tool in dir with standard error kept; its exit status.
    int run(const std::string &args, std::string *err = nullptr)
    {
        const std::string cmd = "cd " + dir.string() + " && " + RENDER_TOOL + " " + args + " 2>err";
        const int raw = std::system(cmd.c_str());
        if (err) {
            std::ifstream f(dir / "err");
            std::stringstream s;
            s << f.rdbuf();
            *err = s.str();
        }
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    // The files the tool left in dir, besides its standard error.
    std::vector<std::string> left_behind()
    {
        std::vector<std::string> names;
        for (const auto &e : fs::directory_iterator(dir))
            if (e.path().filename() != "err")
                names.push_back(e.path().filename());
        return names;
    }
};

}  // namespace

// One tile is the plain frame: the view left to the bit (a centre of -0
// included), and a buffer that an earlier tile left dirty, slack included,
// does not leak into it.
TEST_F(Tiles, OneTileIsThePlainFrame)
{
    struct kase { int mode; double width; int held; };
    for (const kase c : {kase{0, 1024, 0}, kase{1, 1024, 0}, kase{2, 1024, 0}, kase{0, 800, 1}}) {
        state_saver saver;
        setkoords(0.3, -0.3, 0.4, -0.2, 70, 1);
        xmit = -0.0, jymit = -0.0;
        do_julia = c.mode, buttons = c.held, anz = 1, highq = 1;
        setsize(c.width);  // the tool's plain render
        render_frame(describe_frame());
        render_frame(describe_frame());
        const std::vector<std::uint32_t> plain(screen, screen + SCREEN_PIXELS);
        std::fill(screen, screen + SCREEN_PIXELS, 0xFFFFFFFFu);
        aim_tile(current_view(), 1, 0, 0);
        EXPECT_TRUE(std::signbit(xmit) && std::signbit(jymit));
        render_counts counts;
        render_tile(c.width, &counts);
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), screen)) << c.mode << " " << c.width;
        EXPECT_GT(counts.samples[0], 0);
    }
}

// The grid of every tile is the whole view's grid within rounding: its first
// column continues its left neighbour's columns, its bottom row the rows of
// the tile below, with the k-th of the whole view's steps. In modes 1 and 2
// the parameter-plane fields, from which c is taken, are the whole view's
// to the bit.
TEST_F(Tiles, GridContinuesAcrossTiles)
{
    state_saver saver;
    for (int mode = 0; mode < 3; mode++)
        for (int k : {2, 3, 16})
            for (bool reversed : {false, true}) {
                if (reversed)  // positive half-extents
                    setkoords(0.3456, 0.1234, -0.01, -0.2, 50, 1);
                else
                    setkoords(0.1234, 0.3456, -0.2, -0.01, 50, 1);
                do_julia = mode;
                setsize(1024);
                const picture_view whole = current_view();
                const frame_desc w = describe_frame();
                auto grid = [mode](const frame_desc &f) {
                    return mode ? std::vector<double>{f.jx0, f.jdx, f.jy0, f.jdy}
                                : std::vector<double>{f.x0, f.dx, f.y0, f.dy};
                };
                const std::vector<double> g = grid(w);
                const double tol = 1e-15, sx = g[1] / k, sy = g[3] / k;
                for (int ty = 0; ty < k; ty++)
                    for (int tx = 0; tx < k; tx++) {
                        aim_tile(whole, k, tx, ty);
                        const frame_desc f = describe_frame();
                        const std::vector<double> t = grid(f);
                        EXPECT_NEAR(t[1], sx, tol) << mode << k << tx << ty;
                        EXPECT_NEAR(t[3], sy, tol);
                        EXPECT_NEAR(t[0], g[0] + tx * 1024 * sx, tol);           // column tx * 1024
                        EXPECT_NEAR(t[2], g[2] - (k - 1 - ty) * 768 * sy, tol);  // row (k - 1 - ty) * 768
                        EXPECT_EQ(f.maxiter, w.maxiter);
                        if (mode) {
                            EXPECT_TRUE(f.x0 == w.x0 && f.dx == w.dx && f.y0 == w.y0 && f.dy == w.dy);
                        }
                    }
            }
}

// A tile of a 2 x 2 picture is the tool's picture of its quarter alone,
// the logo only on the lower-left one. In the dynamic plane that is the
// quarter's bounds with --c at the whole picture's c. Nothing is printed
// without --stats.
TEST_F(Tiles, EachTileIsThePlainRenderOfItsQuarter)
{
    const bounds view = {1, -2, 1.5, -0.75, 60};
    for (const std::string mode : {"", "--mode 1 --c 0.25,-0.5 "}) {
        std::string err;
        ASSERT_EQ(run(mode + "--size 2048x1536 -o big.png " + view.args(), &err), 0) << err;
        EXPECT_EQ(err, "");
        const picture big = read_png(dir / "big.png");
        EXPECT_EQ(big.width, 2048u);
        ASSERT_EQ(run(mode + "--no-logo -o q.png " + view.tile(2, 1, 0).args()), 0);
        EXPECT_TRUE(tile_equals(big, 1, 0, read_png(dir / "q.png"))) << mode;
        ASSERT_EQ(run(mode + "-o q.png " + view.tile(2, 0, 1).args()), 0);
        EXPECT_TRUE(tile_equals(big, 0, 1, read_png(dir / "q.png"))) << mode;
        ASSERT_EQ(run(mode + "--scale 2 --threads 1 --stats -o big.png " + view.args(), &err), 0);
        EXPECT_NE(err.find("tiles 4 (2 x 2)"), std::string::npos) << err;
        EXPECT_NE(err.find("threads 1\n"), std::string::npos) << err;
        EXPECT_EQ(read_png(dir / "big.png").rgb, big.rgb);
    }
}

// Three rows of tiles take turns in the two bands that rendering and
// writing share: one thread and three give the same file, byte for byte.
TEST_F(Tiles, ThreadCountsWriteTheSameFile)
{
    const bounds view = {1.5, 1.34, 0.68, 0.56, 200};
    ASSERT_EQ(run("--scale 3 --threads 1 -o one.png " + view.args()), 0);
    ASSERT_EQ(run("--scale 3 --threads 3 -o three.png " + view.args()), 0);
    std::ifstream one(dir / "one.png", std::ios::binary), three(dir / "three.png", std::ios::binary);
    const std::string a{std::istreambuf_iterator<char>(one), {}}, b{std::istreambuf_iterator<char>(three), {}};
    EXPECT_GT(a.size(), 1000000u);
    EXPECT_TRUE(a == b) << "the files differ";
}

TEST_F(Tiles, BadSizesAreRefused)
{
    const char *cases[][2] = {
        {"--size 2000x1536", "multiple of 1024"}, {"--size 0x0", "positive"},
        {"--size 2048x2304", "2 frames wide but 3 high"}, {"--size 17408x13056", "at most 16"},
        {"--size 2048", "WIDTHxHEIGHT"}, {"--size -2048x-1536", "WIDTHxHEIGHT"},
        {"--size 99999999999x768", "WIDTHxHEIGHT"}, {"--scale 17", "1 to 16"}, {"--scale 1.5", "1 to 16"},
        {"--scale 2 --width 800", "--width"}, {"--scale 2 --size 2048x1536 --width 8", "--width"}};
    for (const auto &c : cases) {
        std::string err;
        EXPECT_EQ(run("-o x.png " + std::string(c[0]), &err), 2) << c[0];
        EXPECT_NE(err.find(c[1]), std::string::npos) << c[0] << ": " << err;
        EXPECT_NE(err.find("\nTry 'rootzoom-render --help'"), std::string::npos) << c[0];
    }
    EXPECT_TRUE(left_behind().empty());
    EXPECT_EQ(run("--scale 1 --width 800 -o x.png"), 0);
}

// Ctrl-C or SIGTERM while the picture is written: death by that signal, so
// that a script running the tool stops too, and neither the output nor its
// temporary file left.
TEST_F(Tiles, InterruptLeavesNoFile)
{
    for (int sig : {SIGINT, SIGTERM}) {
        const std::string out = (dir / "x.png").string();
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGINT, SIG_DFL);
            signal(SIGTERM, SIG_DFL);
            execl(RENDER_TOOL, RENDER_TOOL, "--scale", "16", "-o", out.c_str(), (char *)nullptr);
            _exit(127);
        }
        ASSERT_GT(child, 0);
        for (int wait = 0; wait < 3000 && left_behind().empty(); wait++)  // the temporary file appears
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(left_behind().size(), 1u);
        kill(child, sig);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_TRUE(left_behind().empty());
    }
}
