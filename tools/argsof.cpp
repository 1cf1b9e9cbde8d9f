// argsof.cpp -- the five numbers that open the explorer on a picture's view, and what else it would need
//
// The explorer takes its view from bounds through setkoords, centre =
// (min + max) * 0.5 and half-extent = (min - max) * 0.5, both rounded. A
// view reached by zoom steps need not be the rounded image of any bounds,
// so the bounds are searched near the obvious ones (centre minus and plus
// half-extent) and tried through setkoords itself; the closest are taken
// when none is exact.
#include "tools/argsof.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "tools/options.h"
#include "tools/printable.h"
#include "tools/viewtag.h"
#include "view/viewstate.h"

// libquadmath's formatter (part of GCC), declared here rather than through
// its header, which only GCC's own include folder holds.
extern "C" int quadmath_snprintf(char *text, std::size_t size, const char *format, ...);

namespace {

// Bounds of one axis: lo is xmin or ymin, hi is xmax or ymax.
struct axis_fit {
    double lo, hi;
    bool exact;
    long double off;
};

// The centre and half-extent that setkoords makes of bounds on one axis.
std::pair<double, double> through_setkoords(int axis, double lo, double hi)
{
    if (axis == 0) {
        setkoords(lo, hi, 0, 0, 0, 0);
        return {xmit, xstep};
    }
    setkoords(0, 0, lo, hi, 0, 0);
    return {ymit, ystep};
}

// How far the edges of view (m, s) lie from those of (want_m + want_low,
// want_s), in the explorer's pixels along an axis of the given count;
// infinite when the wanted view has no finite pixel. In quadruple
// precision, which holds a deep view's centre whole and its edges apart.
long double edges_off(double m, double s, double want_m, double want_low, double want_s, int pixels)
{
    using quad = __float128;
    const quad want = quad(want_m) + want_low;
    const quad pixel = 2 * (want_s < 0 ? -quad(want_s) : quad(want_s)) / pixels;
    const quad low = (quad(m) - s) - (want - want_s), high = (quad(m) + s) - (want + want_s);
    const quad off = std::max(low < 0 ? -low : low, high < 0 ? -high : high) / pixel;
    return std::isfinite(double(off)) ? (long double)off : INFINITY;
}

double ulps_away(double x, int n)
{
    for (; n > 0; n--)
        x = std::nextafter(x, INFINITY);
    for (; n < 0; n++)
        x = std::nextafter(x, -INFINITY);
    return x;
}

// Tries the given bounds first, then the obvious ones, then bounds a few
// units in the last place around them: one bound moved, the other derived
// from it through either of setkoords' sums and moved in turn, which also
// finds bounds where one of the sums cancels.
axis_fit fit_axis(int axis, double m, double low, double s, int pixels, const double *given)
{
    std::vector<std::pair<double, double>> tries;
    if (given)
        tries.push_back({given[0], given[1]});
    const double lo0 = m + s, hi0 = m - s;
    tries.push_back({lo0, hi0});
    for (int d = -4; d <= 4; d++) {
        const double hi = ulps_away(hi0, d), lo = ulps_away(lo0, d);
        for (int e = -2; e <= 2; e++) {
            tries.push_back({ulps_away(2 * m - hi, e), hi});
            tries.push_back({ulps_away(2 * s + hi, e), hi});
            tries.push_back({lo, ulps_away(2 * m - lo, e)});
            tries.push_back({lo, ulps_away(lo - 2 * s, e)});
        }
    }
    axis_fit best = {lo0, hi0, false, INFINITY};
    for (const auto &[lo, hi] : tries) {
        const auto [got_m, got_s] = through_setkoords(axis, lo, hi);
        if (same_double(got_m, m) && same_double(got_s, s) && low == 0)
            return {lo, hi, true, 0};
        const long double off = edges_off(got_m, got_s, m, low, s, pixels);
        if (off < best.off)
            best = {lo, hi, false, off};
    }
    return best;
}

// A double-double centre as the decimals --c reads back to it: its sum
// fits the 113 bits of quadruple precision, whose 36 significant digits
// read back to the same sum.
std::string whole_decimal(double hi, double lo)
{
    char text[64];
    quadmath_snprintf(text, sizeof text, "%.36Qg", __float128(hi) + lo);
    return text;
}

// A file name as one word of a shell's command line: as it is when it
// holds nothing a shell reads otherwise, else in single quotes.
std::string shell_word(const std::string &text)
{
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char ch) {
        return std::isalnum(ch) || (ch && std::strchr("_./+-=:,@%", ch));
    });
    if (plain)
        return text;
    std::string word = "'";
    for (char ch : text)
        word += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return word + "'";
}

}  // namespace

explorer_numbers numbers_for(const picture_record &r)
{
    const double *view = r.mode == 0 ? r.parameter : r.dynamic, *low = r.mode == 0 ? r.low : r.low + 2;
    const double given_x[2] = {r.numbers[1], r.numbers[0]}, given_y[2] = {r.numbers[3], r.numbers[2]};
    const axis_fit x = fit_axis(0, view[0], low[0], view[2], 1024, r.has_numbers ? given_x : nullptr);
    const axis_fit y = fit_axis(1, view[1], low[1], view[3], 768, r.has_numbers ? given_y : nullptr);
    return {{x.hi, x.lo, y.hi, y.lo, r.parameter[4]}, x.exact && y.exact, double(std::max(x.off, y.off))};
}

std::string cannot_carry(const picture_record &r, const explorer_numbers &n, const std::string &name,
                         const std::string &again)
{
    const double *low = r.mode == 0 ? r.low : r.low + 2;
    const bool deep = low[0] != 0 || low[1] != 0;
    if (!deep && (n.exact || n.off < 1))
        return "";
    std::string note = "five numbers cannot carry the view of " + name + ": ";
    if (deep) {
        note += "its centre needs more digits than a double holds";
    } else {
        char off[64];
        std::snprintf(off, sizeof off, "%.3g", n.off);
        note += std::isfinite(n.off) ? std::string("the closest put its edges ") + off + " pixels off"
                                     : std::string("doubles cannot tell its edges apart");
    }
    note += "; rootzoom-render " + again + " makes it again";
    // --half-width makes the half-height 3/4 of the half-width; other
    // views it cannot name, nor a half-width it does not take: the
    // command printed is always one the tool runs.
    if (r.mode == 0 && std::fabs(r.parameter[3]) == 0.75 * std::fabs(r.parameter[2]) &&
        half_width_in_range(std::fabs(r.parameter[2]))) {
        note += ", and rootzoom-render --c " + whole_decimal(r.parameter[0], r.low[0]) + "," +
                whole_decimal(r.parameter[1], r.low[1]) + " --half-width " + exact_text(std::fabs(r.parameter[2]));
        // --half-width takes the half-width's size; the numbers after it
        // give only the orientation, which it keeps, and the iteration
        // limit.
        note += r.parameter[2] < 0 ? " 3 -3" : " -3 3";
        note += r.parameter[3] < 0 ? " 2.25 -2.25 " : " -2.25 2.25 ";
        note += exact_text(r.parameter[4]) + " names it";
    }
    return note;
}

std::vector<std::string> explorer_notes(const picture_record &r, const explorer_numbers &n, const std::string &name)
{
    std::vector<std::string> notes;
    if (!n.exact) {
        std::string note = "no five numbers give rootzoom exactly the view of " + name + "; these are the closest";
        if (n.off < 0.001) {
            note += ", with the edges off by less than a thousandth of a pixel";
        } else if (std::isfinite(n.off)) {
            char off[64];
            std::snprintf(off, sizeof off, "%.3g", n.off);
            note += std::string(", with the edges up to ") + off + " pixels off";
        }
        notes.push_back(note);
    }
    if (r.mode != 0) {
        notes.push_back(name + " shows the dynamic plane in mode " + std::to_string(r.mode) +
                        "; rootzoom starts in mode 0, the parameter plane, and takes no mode from its command line: "
                        "press space " + (r.mode == 1 ? "once" : "twice"));
        setkoords(n.numbers[1], n.numbers[0], n.numbers[3], n.numbers[2], n.numbers[4], 1);
        if (!same_double(xmit, r.parameter[0]) || !same_double(ymit, r.parameter[1]))
            notes.push_back(name + " shows the dynamic plane of c = " + exact_text(r.parameter[0]) + "," +
                            exact_text(r.parameter[1]) + ", which is not its view's centre; rootzoom takes c from "
                            "the centre and cannot take another from its command line");
    }
    if (r.mode == 0 && (r.z0[0] != 0 || r.z0[1] != 0))
        notes.push_back(name + " has the start value z0 = " + exact_text(r.z0[0]) + "," + exact_text(r.z0[1]) +
                        "; rootzoom starts from 0,0 and takes no start value from its command line "
                        "(a drag with two buttons moves it)");
    if (r.coarse)
        notes.push_back(name + " is the coarse picture; rootzoom shows it refined once no button is held");
    if (r.width != 1024)
        notes.push_back(name + " has a viewport " + exact_text(r.width) + " pixels wide; rootzoom's is 1024");
    if (r.tiles > 1)
        notes.push_back(name + " is " + std::to_string(r.tiles) + " x " + std::to_string(r.tiles) +
                        " frames; rootzoom shows its view in one frame of 1024 x 768");
    const std::string size = std::to_string(r.size[0]) + " x " + std::to_string(r.size[1]);
    if (r.tiles == 0 && r.size[0] * 3 != r.size[1] * 4)
        notes.push_back(name + " is " + size + ", another shape than rootzoom's 1024 x 768: rootzoom shows the "
                        "view about the same centre and as wide, in its own shape");
    else if (r.tiles == 0)
        notes.push_back(name + " is " + size + "; rootzoom shows its view in one frame of 1024 x 768");
    if (r.colouring != 0)
        notes.push_back(name + " is coloured " + (r.colouring == 1 ? "smooth" : "by basin") +
                        "; rootzoom colours by the iteration count");
    if (!r.palette.empty())
        notes.push_back(name + " has a palette of its own; rootzoom colours with its own");
    return notes;
}

int print_args_of(const std::string &path)
{
    picture_record r;
    std::string why;
    if (!read_view_file(path, r, why)) {
        std::fprintf(stderr, "rootzoom-render: %s\n", why.c_str());
        return 2;
    }
    return print_args(r, printable(path), "--from " + shell_word(printable(path)));
}

int print_args(const picture_record &r, const std::string &name, const std::string &again)
{
    const explorer_numbers n = numbers_for(r);
    const std::string refusal = cannot_carry(r, n, name, again);
    if (!refusal.empty()) {
        std::fprintf(stderr, "rootzoom-render: %s; no numbers are printed\n", refusal.c_str());
        return 1;
    }
    for (int i = 0; i < 5; i++)
        std::printf("%s%s", i ? " " : "", exact_text(n.numbers[i]).c_str());
    std::printf("\n");
    for (const std::string &note : explorer_notes(r, n, name))
        std::fprintf(stderr, "rootzoom-render: %s\n", note.c_str());
    return 0;
}
