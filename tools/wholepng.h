// wholepng.h -- whether a PNG file is whole: every chunk's checksum right and its end chunk there
#pragma once

#include <cstdio>
#include <string>

// True when the file is a PNG signature followed by chunks, each with the
// right CRC, the first IHDR and the last IEND, with nothing after it. Reads
// the whole file; false for one that cannot be read.
bool png_is_whole(const std::string &path);

// The same for a file already open, read from its start.
bool png_is_whole(std::FILE *f);
