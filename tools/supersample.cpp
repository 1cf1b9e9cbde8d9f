// supersample.cpp -- averages blocks of K x K pixels of a large picture, in linear light, into a picture K times smaller
//
// Averaging the 8-bit values themselves would darken every fine boundary
// between a light and a dark colour: the eye sees the mean of the light,
// and sRGB values are not proportional to it.
#include "tools/supersample.h"

#include "engine/srgb.h"

namespace {

// The 256 linear values of the 8-bit ones, computed once.
const double *linear_table()
{
    static const std::vector<double> table = [] {
        std::vector<double> t(256);
        for (int v = 0; v < 256; v++)
            t[v] = linear_of(v / 255.0);
        return t;
    }();
    return table.data();
}

}  // namespace

supersampler::supersampler(int k, int width) : k_(k), width_(width), sums_(std::size_t(width) * 3, 0.0) {}

bool supersampler::add_row(const std::uint8_t *row, std::uint8_t *out)
{
    const double *linear = linear_table();
    for (int x = 0; x < width_; x++)
        for (int dx = 0; dx < k_; dx++)
            for (int c = 0; c < 3; c++)
                sums_[std::size_t(x) * 3 + c] += linear[row[(std::size_t(x) * k_ + dx) * 3 + c]];
    if (++rows_ < k_)
        return false;
    const double count = double(k_) * k_;
    for (std::size_t i = 0; i < sums_.size(); i++) {
        out[i] = srgb_byte(sums_[i] / count);
        sums_[i] = 0;
    }
    rows_ = 0;
    return true;
}
