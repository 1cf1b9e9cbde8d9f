// palette.h -- the cyclic 256-colour palette that colours iteration counts
#pragma once

#include <cstdint>

constexpr int PALETTE_CONTROLS = 13;  // control colours, the last equal to the first

extern const int otab[PALETTE_CONTROLS];          // palette position of each control colour
extern const std::int8_t rtab[PALETTE_CONTROLS];  // red level of each control colour, 0..63
extern const std::int8_t gtab[PALETTE_CONTROLS];  // green level of each control colour, 0..63
extern const std::int8_t btab[PALETTE_CONTROLS];  // blue level of each control colour, 0..63
extern std::uint32_t mycoltab[256];               // the palette as RGBA words, alpha 0; make_palette

// Builds mycoltab by running linearly from one control colour to the next.
void make_palette();
