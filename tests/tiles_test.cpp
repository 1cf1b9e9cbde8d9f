// tiles_test.cpp -- large pictures in tiles: the tile views, the tool's tiled PNG, its refusals and interruptions
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/screen.h"
#include "engine/frame.h"
#include "tests/quad_reference.h"
#include "tests/saver.h"
#include "tools/tiles.h"
#include "view/display.h"
#include "view/viewstate.h"

namespace fs = std::filesystem;

// libquadmath's (part of GCC), declared here rather than through its
// header, which only GCC's own include folder holds.
extern "C" int quadmath_snprintf(char *text, std::size_t size, const char *format, ...);
extern "C" __float128 sqrtq(__float128 x);

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
        {"--size 15x768", "from 16 to 65536"}, {"--size 0x0", "from 16 to 65536"},
        {"--size 65537x16", "from 16 to 65536"}, {"--size 16x65537", "from 16 to 65536"},
        {"--size 2048", "WIDTHxHEIGHT"}, {"--size -2048x-1536", "WIDTHxHEIGHT"}, {"--size HD", "WIDTHxHEIGHT"},
        {"--size 99999999999x768", "WIDTHxHEIGHT"}, {"--size 1920x1080x2", "WIDTHxHEIGHT"},
        {"--scale 17", "1 to 16"}, {"--scale 1.5", "1 to 16"},
        {"--scale 2 --width 800", "--width"}, {"--size 800x600 --width 800", "--width"},
        {"--colouring smooth --coarse", "--coarse"}, {"--scale 2 --size 2048x1536 --width 8", "--width"}};
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

namespace {

// A palette file whose entry i is (i, 255 - i, 77): a pixel's red is then
// the low byte of the limit less its count, and black is the limit.
void write_index_palette(const fs::path &p)
{
    std::ofstream f(p);
    for (int i = 0; i < 256; i++)
        f << i << " " << 255 - i << " 77" << (i == 0 ? "  index colours\n" : "\n");
}

}  // namespace

// A picture of another shape than 4:3 shows the view's centre and width in
// square pixels: column i at xmit - xstep + i 2 xstep / W, row j from the
// bottom at ymit + h - j 2 h / H, with h = |xstep| H / W and the sign of
// ystep; the dynamic plane's view likewise, with the view's c. At those
// places at least 95 % of the pixels count as the quadruple-precision
// reference does: in both planes, wide and tall, and in a view 1e-18 wide,
// deeper than doubles resolve.
TEST_F(Tiles, OtherShapesCountWhereTheFormulasPlaceThem)
{
    write_index_palette(dir / "index.map");
    quad bx = 0, by = 0;
    ASSERT_TRUE(quad_boundary_point(false, 0, 0, 0.31, bx, by));
    char cx[64], cy[64];
    quadmath_snprintf(cx, sizeof cx, "%.36Qg", bx);
    quadmath_snprintf(cy, sizeof cy, "%.36Qg", by);
    const std::string centre = std::string(cx) + "," + cy;
    struct kase {
        std::string args;
        bool dynamic;
        int w, h, limit;
        quad xmit, ymit, xstep, ystep, cr, ci;
    };
    const double wave[5] = {1.4, 0.6, 0.6, 0, 60}, julia[5] = {0.22, -0.28, 0.1875, -0.1875, 40};
    auto mid = [](double a, double b) { return quad((a + b) * 0.5); };  // the explorer's own sums, in doubles
    const kase cases[] = {
        {"--size 160x90 1.4 0.6 0.6 0 60", false, 160, 90, 60, mid(wave[1], wave[0]), mid(wave[3], wave[2]),
         quad((wave[1] - wave[0]) * 0.5), quad((wave[3] - wave[2]) * 0.5), 0, 0},
        {"--size 90x160 --mode 2 --c -1.38,1.35 0.22 -0.28 0.1875 -0.1875 40", true, 90, 160, 40,
         mid(julia[1], julia[0]), mid(julia[3], julia[2]), quad((julia[1] - julia[0]) * 0.5),
         quad((julia[3] - julia[2]) * 0.5), quad(-1.38), quad(1.35)},
        {"--size 96x54 --half-width 1e-18 --c " + std::string(centre) + " 3 -3 2.25 -2.25 200", false, 96, 54, 200,
         bx, by, quad(-1e-18), quad(-0.75e-18), 0, 0},
    };
    for (const kase &c : cases) {
        std::string err;
        ASSERT_EQ(run("--no-logo --palette index.map -o shape.png " + c.args, &err), 0) << err;
        const picture pic = read_png(dir / "shape.png");
        ASSERT_EQ(pic.width, unsigned(c.w)) << c.args;
        ASSERT_EQ(pic.rgb.size(), std::size_t(c.w) * c.h * 3) << c.args;
        const quad half_y = (c.xstep < 0 ? -c.xstep : c.xstep) * c.h / c.w * (c.ystep < 0 ? -1 : 1);
        int agree = 0;
        std::set<int> counts;
        for (int j = 0; j < c.h; j++)
            for (int i = 0; i < c.w; i++) {
                const quad x = c.xmit - c.xstep + i * 2 * c.xstep / c.w, y = c.ymit + half_y - j * 2 * half_y / c.h;
                const quad_end want = quad_orbit(c.dynamic, x, y, c.cr, c.ci, c.limit);
                const png_byte *got = &pic.rgb[(std::size_t(c.h - 1 - j) * c.w + i) * 3];
                const bool black = got[0] == 0 && got[1] == 0 && got[2] == 0;
                agree += want.n == c.limit ? black : !black && got[0] == ((c.limit - want.n) & 0xff);
                counts.insert(want.n);
            }
        EXPECT_GE(agree, c.w * c.h * 95 / 100) << c.args;
        EXPECT_GE(counts.size(), 8u) << c.args << ": the view shows too little to compare";
    }
}

namespace {

// The square root with a real part of at least 0, in quadruple precision.
void quad_sqrt(quad a, quad b, quad &re, quad &im)
{
    const quad m = sqrtq(a * a + b * b);
    re = sqrtq((m + a) / 2);
    im = (b < 0 ? -1 : 1) * sqrtq((m - a) / 2);
}

}  // namespace

// By basin, in the dynamic plane of c: each root of f_c has the palette's
// colour a third of the way round from the one before, z = 1 the first,
// (-1 + s) / 2 the second and (-1 - s) / 2 the third (s the square root of
// 1 - 4c with a real part of at least 0); escapes are grey and the limit
// black. With a palette of pure red, green and blue thirds, at least 95 %
// of the pixels show the basin where the quadruple-precision reference's
// orbit, followed on until it lies on a root, ends.
TEST_F(Tiles, BasinsAreWhereTheReferenceSettles)
{
    {
        std::ofstream f(dir / "thirds.map");
        for (int i = 0; i < 256; i++)
            f << (i < 85 ? "255 0 0\n" : i < 170 ? "0 255 0\n" : "0 0 255\n");
    }
    const int w = 120, h = 90, limit = 40;
    const quad cr = 0.3, ci = -0.2;
    std::string err;
    ASSERT_EQ(run("--no-logo --palette thirds.map --colouring basin --size 120x90 --mode 1 --c 0.3,-0.2 "
                  "-o basins.png 1.5 -1.5 1.125 -1.125 40", &err), 0) << err;
    const picture pic = read_png(dir / "basins.png");
    ASSERT_EQ(pic.rgb.size(), std::size_t(w) * h * 3);
    quad s_re, s_im;
    quad_sqrt(1 - 4 * cr, -4 * ci, s_re, s_im);
    const quad roots[3][2] = {{1, 0}, {(-1 + s_re) / 2, s_im / 2}, {(-1 - s_re) / 2, -s_im / 2}};
    int agree = 0, seen[5] = {};
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) {
            const quad x = quad(1.5) - 3 * quad(i) / w, y = quad(-1.125) + 2.25 * quad(j) / h;  // xmax at the left, ymin at the bottom
            const quad_end end = quad_orbit(true, x, y, cr, ci, limit);
            int want = end.n == limit ? 4 : end.escaped ? 3 : -1;  // 0 to 2 a root, 3 escaped, 4 the limit
            quad a = end.x, b = end.y;
            for (int k = 0; want < 0 && k < 200; k++) {
                quad da, db;
                quad_dynamic_step(cr, ci, a, b, da, db);
                a -= da, b -= db;
                if (quad_abs(da) + quad_abs(db) < 1e-25)
                    break;
            }
            quad best = 1e30;
            for (int r = 0; want != 3 && want != 4 && r < 3; r++) {
                const quad d = quad_abs(a - roots[r][0]) + quad_abs(b - roots[r][1]);
                if (d < best)
                    best = d, want = r;
            }
            const png_byte *p = &pic.rgb[(std::size_t(h - 1 - j) * w + i) * 3];
            const int got = p[0] == 0 && p[1] == 0 && p[2] == 0        ? 4
                            : p[0] == p[1] && p[1] == p[2]               ? 3
                            : p[0] > 0 && p[1] == 0 && p[2] == 0         ? 0
                            : p[1] > 0 && p[0] == 0 && p[2] == 0         ? 1
                            : p[2] > 0 && p[0] == 0 && p[1] == 0         ? 2
                                                                         : -1;
            agree += got == want;
            seen[want]++;
        }
    EXPECT_GE(agree, w * h * 95 / 100);
    for (int r = 0; r < 3; r++)
        EXPECT_GT(seen[r], w * h / 20) << "root " << r;
}

namespace {

double srgb_linear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

}  // namespace

// Smooth: the continuous count of a sample that settles at step n is
// n - s, s = log(0.001 / d_n) / log(d_n-1 / d_n) from its last two moves
// (0 after a first step), and of one that escapes n + 1 - e, e = log2 of
// log |z|^2 over log 10^6, held to 0 ... 1; the colour is the palette at
// the limit less that count, between two entries mixed in linear light.
// With a palette whose entry i has red i and green black and white by
// turns, red and green give the count back; at least 95 % of the pixels
// show the quadruple-precision reference's continuous count, in both
// planes, and where it is whole, the count picture's colour to the byte.
TEST_F(Tiles, SmoothCountIsTheReferences)
{
    {
        std::ofstream f(dir / "turns.map");
        for (int i = 0; i < 256; i++)
            f << i << " " << (i % 2 ? 0 : 255) << " 0\n";
    }
    struct kase {
        std::string args;
        bool dynamic;
        double xmax, xmin, ymax, ymin;
        quad cr, ci;
    };
    const int w = 160, h = 90, limit = 60;
    const kase cases[] = {{"--mode 1 --c 0.3,-0.2 1.5 -1.5 1.125 -1.125 60", true, 1.5, -1.5, 1.125, -1.125, 0.3, -0.2},
                          {"1.4 0.6 0.6 0 60", false, 1.4, 0.6, 0.6, 0, 0, 0},
                          // About the root 1, where samples settle at the first step.
                          {"--mode 1 --c 0.3,-0.2 1.004 0.996 0.003 -0.003 60", true, 1.004, 0.996, 0.003, -0.003, 0.3, -0.2}};
    for (const kase &c : cases) {
        std::string err;
        ASSERT_EQ(run("--no-logo --palette turns.map --colouring smooth --size 160x90 -o smooth.png " + c.args, &err), 0)
            << err;
        const picture pic = read_png(dir / "smooth.png");
        ASSERT_EQ(pic.rgb.size(), std::size_t(w) * h * 3);
        const quad xmit = (c.xmin + c.xmax) * 0.5, ymit = (c.ymin + c.ymax) * 0.5, xstep = (c.xmin - c.xmax) * 0.5;
        const quad half_y = (xstep < 0 ? -xstep : xstep) * h / w * ((c.ymin - c.ymax) < 0 ? -1 : 1);
        int agree = 0, whole = 0, whole_exact = 0;
        for (int j = 0; j < h; j++)
            for (int i = 0; i < w; i++) {
                const quad x = xmit - xstep + i * 2 * xstep / w, y = ymit + half_y - j * 2 * half_y / h;
                const quad_end end = quad_orbit(c.dynamic, x, y, c.cr, c.ci, limit);
                const png_byte *p = &pic.rgb[(std::size_t(h - 1 - j) * w + i) * 3];
                if (end.n == limit) {
                    agree += p[0] == 0 && p[1] == 0 && p[2] == 0;
                    continue;
                }
                double position;  // the limit less the continuous count
                if (end.escaped) {
                    const double e = std::log2(std::log(double(end.x * end.x + end.y * end.y)) / std::log(1e6));
                    position = limit - end.n - 1 + std::clamp(e, 0.0, 1.0);
                } else {
                    const double d = double(end.move), before = double(end.move_before);
                    position = limit - end.n + (before < 0 ? 0 : std::log(0.001 / d) / std::log(before / d));
                }
                const int entry = int(std::floor(position));
                const double t = position - entry, green = srgb_linear(p[1] / 255.0);
                const double got = entry + (entry % 2 ? green : 1 - green);
                agree += std::fabs(got - position) < 0.03 && std::abs(p[0] - position) <= 1;
                if (t == 0) {
                    whole++;
                    whole_exact += p[0] == entry && p[1] == (entry % 2 ? 0 : 255) && p[2] == 0;
                }
            }
        EXPECT_GE(agree, w * h * 95 / 100) << c.args;
        EXPECT_EQ(whole_exact, whole) << c.args;
        if (c.xmax == 1.004) {
            EXPECT_GT(whole, 1000) << "samples settled at the first step, whose count is whole";
        }
    }
}
