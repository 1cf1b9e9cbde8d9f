// supersample.h -- averages blocks of K x K pixels of a large picture, in linear light, into a picture K times smaller
#pragma once

#include <cstdint>
#include <vector>

// Takes the rows of the large picture one by one, top row first, each
// K * width RGB pixels, and gives a row of width pixels for every K of them:
// each pixel the mean of its block, the 8-bit sRGB values decoded with the
// standard transfer function, summed row by row and left to right within
// the block, divided by K * K, encoded and rounded to the nearest value.
class supersampler {
public:
    supersampler(int k, int width);

    // Adds a row; true when it completed a row of the small picture, which
    // is then in out (width RGB pixels).
    bool add_row(const std::uint8_t *row, std::uint8_t *out);

private:
    const int k_, width_;
    int rows_ = 0;              // rows of the current block added so far
    std::vector<double> sums_;  // per pixel and channel of the small row
};
