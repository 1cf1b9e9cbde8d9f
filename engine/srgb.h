// srgb.h -- the sRGB transfer function and its inverse, for colours mixed and averaged in linear light
#pragma once

#include <cmath>
#include <cstdint>

// The standard's transfer function and its inverse, on values from 0 to 1.
inline double linear_of(double encoded)
{
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

inline double encoded_of(double linear)
{
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

// A linear value as the nearest 8-bit sRGB value.
inline std::uint8_t srgb_byte(double linear)
{
    const double v = std::round(encoded_of(linear) * 255);
    return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}
