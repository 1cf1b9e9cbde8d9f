// progress.cpp -- the progress line rootzoom-render draws on a terminal
#include "tools/progress.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cstdio>

// Minutes and seconds, held to 9999 minutes, so an early estimate that is
// still wild never reaches an int conversion out of range.
std::string clock_text(double seconds)
{
    const double held = seconds > 0 ? (seconds < 599999 ? seconds : 599999) : 0;
    const int whole = static_cast<int>(held);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", whole / 60, whole % 60);
    return text;
}

void frame_costs::add(double limit, double seconds)
{
    lowest = n == 0 ? limit : std::min(lowest, limit);
    highest = n == 0 ? limit : std::max(highest, limit);
    n++;
    sum_l += limit, sum_ll += limit * limit, sum_t += seconds, sum_tl += seconds * limit;
}

// The least-squares line, held to a >= 0 and b >= 0: where its slope would
// be negative (or the limits all alike) the mean, where it would start
// below zero the line through the origin. A slope fitted over a narrow
// range of limits says little about limits far beyond it, so past the
// highest limit seen the line bends over: the frames still to come cost
// at most as much more than the latest as the frames so far grew across
// their limits.
double frame_costs::expected(double limit) const
{
    if (n == 0)
        return 0;
    const double spread = n * sum_ll - sum_l * sum_l;
    double b = spread > 1e-9 * n * sum_ll ? (n * sum_tl - sum_t * sum_l) / spread : 0;
    double a = (sum_t - b * sum_l) / n;
    if (b < 0)
        b = 0, a = sum_t / n;
    if (a < 0)
        a = 0, b = sum_ll > 0 ? sum_tl / sum_ll : 0;
    if (!(limit > highest))
        return a + b * limit;
    const double span = highest - lowest, beyond = limit - highest;
    return a + b * highest + b * span * (beyond / (span + beyond));
}

std::string fit_line(std::vector<line_part> parts, int columns)
{
    auto joined = [&] {
        std::string line;
        for (std::size_t i = 0; i < parts.size(); i++)
            line += (i == 0 ? "" : parts[i - 1].label ? " " : ", ") + parts[i].text;
        return line;
    };
    std::string line = joined();
    while (columns > 0 && line.size() >= std::size_t(columns) && parts.size() > 1) {
        parts.erase(std::min_element(parts.begin(), parts.end(),
                                     [](const line_part &a, const line_part &b) { return a.need < b.need; }));
        line = joined();
    }
    if (columns > 0 && line.size() >= std::size_t(columns))
        line.resize(std::size_t(columns - 1));
    return line;
}

int terminal_columns(int fd)
{
    winsize size = {};
    return ioctl(fd, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}
