// progress.cpp -- the progress line rootzoom-render draws on a terminal
#include "tools/progress.h"

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
