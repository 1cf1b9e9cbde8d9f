// cmdline.cpp -- the usage line and the reading of command-line numbers
#include "app/cmdline.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Only a backslash separates folders here, a slash does not; a '.' in front
// of the name (in a folder) leaves the name whole, so "./viewer" names the
// empty string and "/usr/bin/viewer" names itself.
std::string usage_name(const char *argv0)
{
    const char *backslash = std::strrchr(argv0, '\\');
    const char *start = backslash ? backslash + 1 : argv0;
    const char *dot = std::strrchr(argv0, '.');
    const char *end = (dot && dot >= start) ? dot : argv0 + std::strlen(argv0);
    return std::string(start, end);
}

void print_usage(std::FILE *out, const char *argv0)
{
    std::fprintf(out, "Usage: %s [xmax xmin ymax ymin maxiter]\n", usage_name(argv0).c_str());
}

bool read_number(const char *text, double *value)
{
    char *end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || *end != '\0')
        return false;
    *value = v;
    return true;
}

command_line_verdict read_command_line(int argc, char **argv, double numbers[5], int *bad)
{
    if (argc != 1 && argc != 6)
        return COMMAND_LINE_USAGE;
    for (int i = 1; i < argc; i++) {
        if (!read_number(argv[i], &numbers[i - 1])) {
            *bad = i;
            return COMMAND_LINE_NOT_A_NUMBER;
        }
    }
    return COMMAND_LINE_OK;
}
