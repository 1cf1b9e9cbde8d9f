// viewtag.h -- the view a picture shows, kept in its PNG as a text chunk, so that it can be made again
#pragma once

#include <png.h>

#include <cstdio>
#include <string>

#include "view/viewrecord.h"

struct options;

extern const char view_keyword[];  // the keyword of the PNG text chunk that holds the view

// The same double, or both not a number: pictures do not tell NaNs apart.
bool same_double(double a, double b);

// Whether the explorer's setkoords turns the record's five numbers into
// exactly its two views.
bool numbers_make_views(const picture_record &r);

// The record of the picture the view state and the options now describe;
// the five numbers come from the command line, or else from the file the
// view was taken from (null when none).
picture_record describe_picture(const options &o, const picture_record *from);

// The record's text (view_text) read back. The text is read strictly: every
// line in its place, every number written as exact_text writes it; false,
// with the reason in why, for anything else.
bool parse_view_text(const std::string &text, picture_record &r, std::string &why);

// Whether a record whose every line reads holds together: no viewport
// width with several frames or supersampling, every iteration limit
// (limit_in_range). False, with why, for the first thing it finds. The one
// place where a record's values are held against each other and their
// ranges: a new line of the record gets its check here.
bool record_in_range(const picture_record &r, std::string &why);

// Reads the record from a PNG file. False, with why, for a file that cannot
// be read, is no PNG or a damaged one, holds no view or a damaged one.
bool read_view_file(const std::string &path, picture_record &r, std::string &why);

// The same from a file open at its start, called path in messages; size,
// when given, gets the image's width and height from its header (once the
// chunks in front of the image data are read, whether or not the view is).
bool read_view_stream(std::FILE *f, const std::string &path, picture_record &r, std::string &why,
                      picture_size *size = nullptr);

// The text chunks of a PNG about to be written: Software and the view.
void add_view_chunks(png_structp png, png_infop info, const std::string &text);

// Takes into o what the file says and the command line does not: the mode,
// z0, width, size, supersampling, colouring, palette, --coarse and
// --no-logo. A viewport width belongs to a picture of one frame, so a size
// or supersampling given drops the file's width, and a width given drops
// the file's size, supersampling and colouring; a viewport and the coarse
// pass belong to the explorer's frames, so another size or colouring
// drops them.
void take_from(options &o, const picture_record &file);
