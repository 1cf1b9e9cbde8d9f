// options.h -- rootzoom-render's command line
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern const char usage_text[];  // the usage that --help prints
extern const char help_hint[];   // the line that follows every refusal of the command line, pointing at --help

constexpr int MAX_THREADS = 256;  // the most threads --threads may ask for

// What the command line asks for.
struct options {
    std::string output = "rootzoom.png";
    bool has_output = false;
    int mode = 0;
    bool has_mode = false;
    bool has_centre = false;
    double centre[2] = {0, 0};
    double centre_lo[2] = {0, 0};  // what the decimals of --c hold beyond the doubles in centre
    double half_width = 0;         // --half-width: the parameter-plane view's half-width
    bool has_half_width = false;
    int precision = 0;             // a precision_choice: --precision, else auto
    bool has_precision = false;
    double z0[2] = {0, 0};
    bool has_z0 = false;
    bool coarse = false;
    double width = 1024;  // the whole picture
    bool has_width = false;
    int tiles = 1;  // the picture is tiles x tiles frames; 0 for a size that is no such picture
    bool has_tiles = false;
    int size[2] = {1024, 768};  // the picture's width and height in pixels
    std::string palette_source;          // --palette: a .map file or the name of an installed palette
    std::vector<std::uint32_t> palette;  // its colours once read (read_palette), or none for the explorer's
    bool has_palette = false;
    int colouring = 0;  // a colouring_id: --colouring, else by count
    bool has_colouring = false;
    bool logo = true;
    int threads = 0;  // 0: every CPU the process may run on
    bool stats = false;
    bool help = false;  // --help: print the usage, nothing else
    bool version = false;  // --version: print the version, nothing else
    int supersample = 1;  // each pixel the mean of supersample x supersample pixels of a larger picture
    bool has_supersample = false;
    std::vector<double> numbers;  // none, or xmax xmin ymax ymin maxiter
    std::string from;             // --from: start from this picture's view and options
    std::string args_of;          // --args-of: print the explorer's numbers for this picture, nothing else
    bool from_window = false;     // --from-window: start from the view on the explorer's window
    bool args_of_window = false;  // --args-of-window: print the explorer's numbers for that view, nothing else
    unsigned long window = 0;     // their window's id; 0: the one window titled rootzoom
    int zoom_button = 0;          // a zoom sequence: 1 in, 4 out (the explorer's held button); 0 none
    int zoom_steps = 0;           // its zoom steps, from 1 to MAX_ZOOM_STEPS
    int every = 1;                // a frame every so many steps
    bool has_every = false;
    std::string frames;           // the sequence's folder
    bool aim = false;             // --aim: the centre moved onto a boundary whose detail lasts first
    double limit = 0;             // --limit: the view's iteration limit, as the fifth number sets it (limit_in_range)
    bool has_limit = false;
    double limit_end = 0;         // --limit-end: the last frame's limit, those between growing geometrically
    bool has_limit_end = false;
    bool overwrite = false;       // --overwrite: frames of another sequence in the folder replaced or removed
    int part = 1, parts = 1;      // --part I/N: only the frames n with n mod N = I - 1
    bool has_part = false;
};

constexpr int MAX_SUPERSAMPLE = 8;   // the most --supersample may ask for
constexpr int MAX_ZOOM_STEPS = 99999;  // so that frame numbers keep their five digits
constexpr int MAX_PARTS = 99999;       // the most parts --part may split a sequence into

// Whether the picture is made of the explorer's own frames, k x k of
// them, each rendered twice with its passes as the window renders it: the
// count colouring at a size of k x (1024 x 768). Every other picture has
// every pixel computed once, at its place on the picture's own grid.
bool explorer_frames(const options &o);

// Reads the palette --palette names into o.palette; false, with why, for
// a file that cannot be read or is malformed, or a name not installed.
bool read_palette(options &o, std::string &why);

// Whether --half-width takes w: above 0 and below 1e300.
bool half_width_in_range(double w);

// Reads the command line into o. False, with a message in error, for an
// unknown option, a bad value, a count of numbers other than 0 or 5, or
// options that do not go together.
bool parse_options(int argc, char **argv, options &o, std::string &error);
