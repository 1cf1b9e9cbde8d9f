// options.h -- rootzoom-render's command line
#pragma once

#include <string>
#include <vector>

extern const char usage_text[];

constexpr int MAX_THREADS = 256;  // the most threads --threads may ask for  // the usage that --help and every refusal print

// What the command line asks for.
struct options {
    std::string output = "rootzoom.png";
    int mode = 0;
    bool has_centre = false;
    double centre[2] = {0, 0};
    double z0[2] = {0, 0};
    bool coarse = false;
    double width = 1024;  // the whole picture
    bool has_width = false;
    int tiles = 1;  // the picture is tiles x tiles frames
    bool has_tiles = false;
    bool logo = true;
    int threads = 0;  // 0: every CPU the process may run on
    bool stats = false;
    bool help = false;  // --help: print the usage, nothing else
    std::vector<double> numbers;  // none, or xmax xmin ymax ymin maxiter
};

// Reads the command line into o. False, with a message in error, for an
// unknown option, a bad value or a count of numbers other than 0 or 5.
bool parse_options(int argc, char **argv, options &o, std::string &error);
