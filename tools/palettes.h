// palettes.h -- palettes from .map files, given by file or by the name of one installed with the program
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int MAX_PALETTE_ENTRIES = 256;  // a .map file holds up to 256 colours

// Whether a --palette value names a file (it holds a '/' or ends in .map)
// rather than a palette installed with the program.
bool names_palette_file(const std::string &value);

// Reads a .map file: one colour a line, three whole numbers from 0 to 255
// (red, green, blue) with spaces or tabs before and between them, anything
// after them ignored; up to 256 lines, blank lines only at the end. The
// colours as RGB words (red in the low byte), or false with why naming
// the line that is wrong, or saying why the file cannot be read.
bool read_palette_file(const std::string &path, std::vector<std::uint32_t> &colours, std::string &why);

// The palette installed under name (name.map in the palette folders: the
// install's share folder found from the program's own path, the one of the
// prefix it was built for, and the source tree's), read; or false with
// why, which lists the names there are.
bool read_named_palette(const std::string &name, std::vector<std::uint32_t> &colours, std::string &why);

// Sets the palette the pictures are coloured with: entry i is colour
// i mod the number of colours, so a short palette cycles (the smooth and
// basin colourings then need prepare_colouring).
void use_palette(const std::vector<std::uint32_t> &colours);

// Whether the palette cycles to the explorer's own, entry for entry.
bool is_explorers_palette(const std::vector<std::uint32_t> &colours);
