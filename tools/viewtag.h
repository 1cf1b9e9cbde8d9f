// viewtag.h -- the view a picture shows, kept in its PNG as a text chunk, so that it can be made again
#pragma once

#include <png.h>

#include <string>

struct options;

extern const char view_keyword[];  // the keyword of the PNG text chunk that holds the view

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
    int tiles = 1;
    bool logo = true;
    int supersample = 1;  // each pixel the mean of supersample x supersample pixels
};

// A double as the shortest text that reads back as exactly that double:
// "1.4", "-0", "5e-324", "inf", "-nan".
std::string exact_text(double value);

// The same double, or both not a number: pictures do not tell NaNs apart.
bool same_double(double a, double b);

// Whether the explorer's setkoords turns the record's five numbers into
// exactly its two views.
bool numbers_make_views(const picture_record &r);

// The record of the picture the view state and the options now describe;
// the five numbers come from the command line, or else from the file the
// view was taken from (null when none).
picture_record describe_picture(const options &o, const picture_record *from);

// Both views of the view state into the record, and back.
void capture_views(picture_record &r);
void restore_views(const picture_record &r);

// The record as the chunk's text, and back. The text is read strictly: every
// line in its place, every number written as exact_text writes it; false,
// with the reason in why, for anything else.
std::string view_text(const picture_record &r);
bool parse_view_text(const std::string &text, picture_record &r, std::string &why);

// Reads the record from a PNG file. False, with why, for a file that cannot
// be read, is no PNG or a damaged one, holds no view or a damaged one.
bool read_view_file(const std::string &path, picture_record &r, std::string &why);

// The text chunks of a PNG about to be written: Software and the view.
void add_view_chunks(png_structp png, png_infop info, const std::string &text);

// Takes into o what the file says and the command line does not: the mode,
// z0, width, size, supersampling, --coarse and --no-logo. A viewport width belongs to a
// picture of one frame, so a size or supersampling given drops the file's
// width, and a width given drops the file's size and supersampling.
void take_from(options &o, const picture_record &file);
