// sequence.cpp -- zoom sequences: one picture per zoom step of the explorer, numbered in a folder
//
// A frame's view is what the explorer's view is after that many steps of
// the left (or the right) button held alone, so frame n of a sequence with
// --every N is the explorer's view after n * N steps, to the bit.
#include "tools/sequence.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/options.h"
#include "tools/printable.h"
#include "tools/viewtag.h"
#include "view/idle.h"
#include "view/viewstate.h"

int frame_count(const options &o)
{
    return o.zoom_button ? o.zoom_steps / o.every + 1 : 1;
}

// Five digits, as many as the largest count of steps needs, so that the
// names sort in order and video tools find them by one pattern.
std::string frame_path(const options &o, int n)
{
    if (!o.zoom_button)
        return o.output;
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", n);
    return o.frames + "/" + name;
}

bool make_frame_folder(const std::string &dir, std::string &why)
{
    struct stat s;
    if (mkdir(dir.c_str(), 0777) == 0 || (errno == EEXIST && stat(dir.c_str(), &s) == 0 && S_ISDIR(s.st_mode)))
        return true;
    why = "cannot make the folder " + printable(dir) + ": " + std::strerror(errno == EEXIST ? ENOTDIR : errno);
    return false;
}

// Rounded to a whole number, so that a longer sequence whose limits grow
// at the same rate gives its frames the very same limits. A first limit
// below 1 (every sample stops at its first step, as at 1) or past the int
// range grows from the nearest limit the kernels tell apart.
double sequence_limit(const options &o, double first, int step)
{
    if (step == 0)
        return first;
    const double from = first >= 1 ? std::min(first, 2147483647.0) : 1.0;
    const double limit = std::round(from * std::pow(o.limit_end / from, double(step) / o.zoom_steps));
    return std::clamp(limit, 1.0, 2147483647.0);
}

void next_frame(picture_record &r, const options &o, double first_limit, int n)
{
    restore_views(r);
    do_julia = r.mode;
    for (int step = 0; step < o.every; step++)
        zoom_step(o.zoom_button);
    capture_views(r);
    if (o.has_limit_end)
        r.parameter[4] = sequence_limit(o, first_limit, n * o.every);
    r.has_numbers = false;
}
