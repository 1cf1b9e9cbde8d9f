// viewrecord.h -- the record of the view a picture shows, as text: a PNG's view chunk and the explorer's window property
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern const char view_property[];  // the explorer's window property that holds the record of the frame on screen

// Everything a picture is made from: the view state the renderer used, to
// the bit, and the options that shape the picture.
struct picture_record {
    int mode = 0;
    double parameter[5] = {};  // xmit ymit xstep ystep maxit
    double dynamic[5] = {};    // jxmit jymit jxstep jystep jmaxit
    double z0[2] = {};
    bool has_numbers = false;  // the views were set from five numbers and not zoomed since
    double numbers[5] = {};    // xmax xmin ymax ymin maxiter
    double width = 1024;
    bool coarse = false;
    int tiles = 1;              // the picture is tiles x tiles frames of the explorer's; 0 for another size
    int size[2] = {1024, 768};  // its width and height in pixels
    bool logo = true;
    int supersample = 1;  // each pixel the mean of supersample x supersample pixels
    double low[4] = {};   // the centres' low parts: xmit_lo ymit_lo jxmit_lo jymit_lo
    int precision = 0;    // a precision_choice: auto (or the older auto of a record read), or one forced
    int colouring = 0;    // a colouring_id: by count, smooth or by basin
    std::vector<std::uint32_t> palette;  // its colours, cycled; none for the explorer's own
};

// A double as the shortest text that reads back as exactly that double:
// "1.4", "-0", "5e-324", "inf", "-nan".
std::string exact_text(double value);

// Both views of the view state into the record, and back, low parts
// included.
void capture_views(picture_record &r);
void restore_views(const picture_record &r);

// The picture a record describes, in pixels: its size line.
struct picture_size {
    int width, height;
};
picture_size record_size(const picture_record &r);

// Whether rootzoom-render takes an iteration limit: a finite number whose
// whole part fits an int. The explorer holds any limit to that range
// (iteration_limit); rootzoom-render refuses one outside it wherever it
// reads one, so that no record or command line asks for more than is done.
bool limit_in_range(double limit);
extern const char limit_range_text[];  // what limit_in_range takes, for messages

// Whether the picture's own view is deeper than doubles resolve, on the
// pixels it is computed on (supersampling included).
bool record_is_deep(const picture_record &r);

// The precision the record names: perturbation where auto computed the
// picture by perturbation, auto for the older auto, else the choice.
int written_precision(const picture_record &r);

// The version of the record's text: 1, 2 with supersampling, 3 with low
// parts or a precision named other than auto, 4 with a size other than
// k x (1024 x 768), a colouring other than by count or a palette of its own.
int record_version(const picture_record &r);

// A palette as the record writes it: "explorer" for none, else the count
// of colours and each as six hexadecimal digits, red first.
std::string palette_text(const std::vector<std::uint32_t> &palette);

// "auto", "double", "double-double" or "perturbation", as the record and
// --precision write it ("auto" for the older auto too).
const char *precision_name(int precision);

// The record as text, one item a line; rootzoom-render's parse_view_text
// (tools/viewtag.h) reads it back.
std::string view_text(const picture_record &r);
