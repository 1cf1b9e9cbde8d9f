// tiles.cpp -- cuts a large picture into frames of the explorer's size and renders them one at a time
//
// Every tile is an ordinary frame: its view is set in the view state, and
// describe_frame and render_frame make it as they make every frame, so a
// tile is what the explorer would show for that view.
#include "tools/tiles.h"

#include <cstring>

#include "app/logo.h"
#include "app/screen.h"
#include "engine/dd.h"
#include "engine/frame.h"
#include "engine/kernels.h"
#include "view/display.h"
#include "view/viewstate.h"

std::atomic<int> tile_render;

namespace {

// The view-state fields of the plane a mode displays. In mode 0 that is the
// parameter-plane view. In modes 1 and 2 it is the dynamic-plane view; the
// parameter-plane view is left whole, because the strip renderer takes the
// dynamic plane's c from its centre, and every tile must show the dynamic
// plane of the whole picture's c, not of a c that moves from tile to tile.
struct plane_fields {
    double *mit[2], *step[2], *low[2];
};

plane_fields displayed_plane(int mode)
{
    if (mode == 0)
        return {{&xmit, &ymit}, {&xstep, &ystep}, {&xmit_lo, &ymit_lo}};
    return {{&jxmit, &jymit}, {&jxstep, &jystep}, {&jxmit_lo, &jymit_lo}};
}

// The centre of part i of k equal parts of the interval from mid - step to
// mid + step, counted from mid - step (the left edge in x, the top edge in
// y), whole: its high part is the double sum the parts have always had,
// and its low part the rest, for deep views. The middle part keeps mid
// itself, so that one part is the whole view to the bit, signed zero
// included.
dd<double> part_centre(double mid, double low, double part_step, int i, int k)
{
    const int n = 2 * i + 1 - k;
    if (n == 0)
        return {mid, low};
    const dd<double> sum = two_sum(mid, n * part_step);
    return quick_two_sum(sum.hi, sum.lo + low);
}

}  // namespace

// One to nine digits and nothing else, so no sign, no fraction and nothing
// too large for an int.
bool read_count(const char *text, int *count)
{
    const std::size_t digits = std::strspn(text, "0123456789");
    if (digits == 0 || digits > 9 || text[digits] != '\0')
        return false;
    *count = 0;
    for (std::size_t i = 0; i < digits; i++)
        *count = *count * 10 + (text[i] - '0');
    return true;
}

bool read_picture_size(const char *text, int size[2], std::string *why)
{
    const std::string name = text;
    if (name == "hd" || name == "4k") {
        size[0] = name == "hd" ? 1920 : 3840, size[1] = name == "hd" ? 1080 : 2160;
        return true;
    }
    const char *x = std::strchr(text, 'x');
    int w = 0, h = 0;
    if (!x || !read_count(std::string(text, x).c_str(), &w) || !read_count(x + 1, &h)) {
        *why = "size must be WIDTHxHEIGHT such as 1920x1080, or hd or 4k, not '" + name + "'";
        return false;
    }
    if (w < MIN_PICTURE_SIDE || h < MIN_PICTURE_SIDE || w > MAX_PICTURE_SIDE || h > MAX_PICTURE_SIDE) {
        *why = "size " + std::to_string(w) + "x" + std::to_string(h) + ": the width and the height must each be from " +
               std::to_string(MIN_PICTURE_SIDE) + " to " + std::to_string(MAX_PICTURE_SIDE) + " pixels";
        return false;
    }
    size[0] = w, size[1] = h;
    return true;
}

int tile_factor(int w, int h)
{
    const int k = w / SCREEN_W;
    return w % SCREEN_W == 0 && h == k * SCREEN_H && k >= 1 && k <= MAX_TILE_FACTOR ? k : 0;
}

int scale_factor(const char *text, std::string *why)
{
    int k = 0;
    if (!read_count(text, &k) || k < 1 || k > MAX_TILE_FACTOR) {
        *why = std::string("scale must be a whole number from 1 to 16, not '") + text + "'";
        return 0;
    }
    return k;
}

picture_view current_view()
{
    const plane_fields p = displayed_plane(do_julia);
    return {do_julia, {*p.mit[0], *p.mit[1]}, {*p.step[0], *p.step[1]}, {*p.low[0], *p.low[1]}};
}

// Each tile's half-extents are the whole view's divided by k, so describe_frame
// gives it the k-th of the whole view's pixel steps; its first column and
// bottom row then lie where the whole view's grid puts them, up to rounding.
void aim_tile(const picture_view &whole, int k, int tx, int ty)
{
    const plane_fields p = displayed_plane(whole.mode);
    const int part[2] = {tx, ty};
    for (int axis = 0; axis < 2; axis++) {
        const double part_step = whole.step[axis] / k;
        const dd<double> centre = part_centre(whole.mit[axis], whole.low[axis], part_step, part[axis], k);
        *p.mit[axis] = centre.hi, *p.low[axis] = centre.lo;
        *p.step[axis] = part_step;
    }
}

// A tile's pixels are the whole picture's; the whole picture's centre
// stands for every tile's.
int picture_precision(const picture_view &whole, int k)
{
    return precision_used(precision, view_is_deep(whole.mit[0], whole.mit[1], whole.step[0] / k, whole.step[1] / k));
}

// The zeroed buffer and setsize are how the tool starts a plain render, so
// no tile sees anything an earlier tile left, the slack included.
void render_tile(double width, render_counts *counts)
{
    std::memset(screen, 0, SCREEN_PIXELS * sizeof *screen);
    setsize(width);
    for (int render = 0; render < 2; render++) {
        tile_render.store(render, std::memory_order_relaxed);
        kernel_samples = kernel_steps = kernel_fallbacks = 0;
        render_frame(describe_frame());
        counts->samples[render] += kernel_samples;
        counts->steps[render] += kernel_steps;
        counts->fallbacks += kernel_fallbacks;
    }
}

namespace {

// One channel of the logo over a pixel, with the logo's alpha, as
// print_logo blends it in the window.
std::uint8_t over_logo(unsigned under, std::uint32_t logo, int channel)
{
    const unsigned a = logo >> 24, over = logo >> (8 * channel) & 0xff;
    return std::uint8_t((over * a + under * (255 - a) + 127) / 255);
}

}  // namespace

// Buffer row 767 is the top row; the logo is blended over the frame's
// pixels, and everywhere else the pixel is copied as it is.
void copy_tile(std::uint8_t *band, int band_width, int tx, bool logo)
{
    for (int row = 0; row < SCREEN_H; row++) {
        std::uint8_t *out = band + (std::size_t(SCREEN_H - 1 - row) * band_width + std::size_t(tx) * SCREEN_W) * 3;
        for (int col = 0; col < SCREEN_W; col++, out += 3) {
            const std::uint32_t p = screen[row * SCREEN_W + col];
            const bool under_logo = logo && col < LOGO_W && row < LOGO_H;
            for (int c = 0; c < 3; c++)
                out[c] = under_logo ? over_logo(p >> (8 * c) & 0xff, snap_long[row * LOGO_W + col], c)
                                    : std::uint8_t(p >> (8 * c));
        }
    }
}

void blend_logo_row(std::uint8_t *row, int from_bottom, int columns)
{
    if (from_bottom < 0 || from_bottom >= LOGO_H)
        return;
    for (int col = 0; col < LOGO_W && col < columns; col++)
        for (int c = 0; c < 3; c++)
            row[col * 3 + c] = over_logo(row[col * 3 + c], snap_long[from_bottom * LOGO_W + col], c);
}
