#pragma once

#include "Limits.h"
#include "Result.h"

#include "tarnwick/Rgb.h"

#include <cstdint>
#include <vector>

namespace NConvert {

// A decoded picture: rows of RGBA bytes, straight (not premultiplied) alpha.
struct Picture
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba;

    std::uint8_t *pixel(std::uint32_t x, std::uint32_t y) { return rgba.data() + (std::size_t(y) * width + x) * 4; }
};

// Whether a picture of that size may be decoded under the limits.
Result<Done> CheckPictureSize(std::uint64_t width, std::uint64_t height, const Limits &limits);

// Checks the size against the limits before anything is allocated, then
// makes a picture of that size filled with transparent black.
Result<Picture> AllocatePicture(std::uint64_t width, std::uint64_t height, const Limits &limits);

using Rgb = Tarnwick::Rgb;

// Composites the picture onto `background` (black by default): each colour
// channel is mixed with the background's by its alpha, rounded to the
// nearest, and the alpha becomes opaque.
void FlattenOnto(Picture &picture, Rgb background = {});

} // namespace NConvert
