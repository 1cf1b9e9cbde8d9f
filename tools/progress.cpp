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
