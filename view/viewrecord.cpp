// viewrecord.cpp -- the view record's text, written by rootzoom-render into its PNGs and by the explorer onto its window
//
// The record holds the view state itself, both views to the bit, and not
// only the five numbers: a view reached by zoom steps has no five numbers
// that the explorer's arithmetic turns into exactly it. Each number is the
// shortest text that reads back as the same double, so the text is
// readable and a picture made again from it carries the very same text.
// Version 1 is a picture of one sample per pixel; version 2 adds the
// supersample line, and is written only for a supersampled picture;
// version 3 adds the centres' low parts and the precision, and is written
// only for a view with low parts or a precision named; version 4 adds the
// colouring and the palette, and is written only for a picture of another
// size than k x (1024 x 768), another colouring than by count, or another
// palette than the explorer's. So every other picture, and the explorer's
// window, carries the very text it always has. A picture that auto
// computed by perturbation names perturbation, so that a record written
// before there was perturbation, whose auto computed a deep picture in
// double-double, still means that.
#include "view/viewrecord.h"

#include <charconv>
#include <cstdio>
#include <sstream>

#include "app/screen.h"
#include "engine/colouring.h"
#include "view/display.h"
#include "view/viewstate.h"

extern const char view_property[] = "ROOTZOOM_VIEW";

namespace {

// The view-state fields of each plane, in the record's order.
double *const parameter_fields[5] = {&xmit, &ymit, &xstep, &ystep, &maxit};
double *const dynamic_fields[5] = {&jxmit, &jymit, &jxstep, &jystep, &jmaxit};
double *const low_fields[4] = {&xmit_lo, &ymit_lo, &jxmit_lo, &jymit_lo};

const char *const precision_names[] = {"auto", "double", "double-double", "perturbation", "auto"};

std::string numbers_text(const double *v, int n)
{
    std::string text;
    for (int i = 0; i < n; i++)
        text += (i ? " " : "") + exact_text(v[i]);
    return text;
}

}  // namespace

std::string exact_text(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

void capture_views(picture_record &r)
{
    for (int i = 0; i < 5; i++) {
        r.parameter[i] = *parameter_fields[i];
        r.dynamic[i] = *dynamic_fields[i];
    }
    for (int i = 0; i < 4; i++)
        r.low[i] = *low_fields[i];
}

void restore_views(const picture_record &r)
{
    for (int i = 0; i < 5; i++) {
        *parameter_fields[i] = r.parameter[i];
        *dynamic_fields[i] = r.dynamic[i];
    }
    for (int i = 0; i < 4; i++)
        *low_fields[i] = r.low[i];
}

picture_size record_size(const picture_record &r)
{
    return {r.size[0], r.size[1]};
}

// Truncated toward zero, as iteration_limit takes it.
bool limit_in_range(double limit)
{
    return limit > -2147483649.0 && limit < 2147483648.0;
}

extern const char limit_range_text[] = "a finite number whose whole part fits an int, -2147483648 to 2147483647";

// The plane the mode shows, on the explorer's frames of the picture (its
// tiles and viewport) or on the grid of its own that another picture is
// computed on, supersampling included.
bool record_is_deep(const picture_record &r)
{
    const double *v = r.mode == 0 ? r.parameter : r.dynamic;
    if (r.tiles > 0 && r.colouring == COLOURING_COUNT) {
        const int k = r.tiles * r.supersample;
        int columns, rows;
        viewport_size(r.width, columns, rows);
        return grid_is_deep(v[0], v[1], v[2] / k, v[3] / k, columns, rows);
    }
    const int columns = r.size[0] * r.supersample, rows = r.size[1] * r.supersample;
    return grid_is_deep(v[0], v[1], v[2], grid_half_height(v[2], v[3], columns, rows), columns, rows);
}

int written_precision(const picture_record &r)
{
    return precision_used(r.precision, record_is_deep(r)) == PRECISION_PERTURBATION ? PRECISION_PERTURBATION
           : r.precision == PRECISION_AUTO_DOUBLE_DOUBLE                          ? PRECISION_AUTO
                                                                                  : r.precision;
}

int record_version(const picture_record &r)
{
    const bool low = r.low[0] != 0 || r.low[1] != 0 || r.low[2] != 0 || r.low[3] != 0;
    if (r.tiles == 0 || r.colouring != 0 || !r.palette.empty())
        return 4;
    return low || written_precision(r) != PRECISION_AUTO ? 3 : r.supersample > 1 ? 2 : 1;
}

// "explorer", or the colours as six hexadecimal digits each, red first.
std::string palette_text(const std::vector<std::uint32_t> &palette)
{
    if (palette.empty())
        return "explorer";
    std::string text = std::to_string(palette.size());
    for (const std::uint32_t c : palette) {
        char hex[8];
        std::snprintf(hex, sizeof hex, " %02x%02x%02x", unsigned(c & 0xff), unsigned(c >> 8 & 0xff), unsigned(c >> 16 & 0xff));
        text += hex;
    }
    return text;
}

const char *precision_name(int precision)
{
    return precision >= 0 && precision <= PRECISION_AUTO_DOUBLE_DOUBLE ? precision_names[precision] : "?";
}

std::string view_text(const picture_record &r)
{
    const int version = record_version(r);
    std::ostringstream s;
    s << "version " << version << "\nmode " << r.mode << "\nnumbers "
      << (r.has_numbers ? numbers_text(r.numbers, 5) : "none") << "\nparameter-plane " << numbers_text(r.parameter, 5)
      << "\ndynamic-plane " << numbers_text(r.dynamic, 5) << "\nz0 " << numbers_text(r.z0, 2) << "\nwidth "
      << exact_text(r.width) << "\ncoarse " << (r.coarse ? "yes" : "no") << "\nsize " << record_size(r).width << "x"
      << record_size(r).height << "\nlogo " << (r.logo ? "yes" : "no");
    if (version >= 2)
        s << "\nsupersample " << r.supersample;
    if (version >= 3)
        s << "\nlow-parts " << numbers_text(r.low, 4) << "\nprecision " << precision_name(written_precision(r));
    if (version >= 4)
        s << "\ncolouring " << colouring_name(r.colouring) << "\npalette " << palette_text(r.palette);
    return s.str();
}
