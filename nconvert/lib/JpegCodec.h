#pragma once

#include "Limits.h"
#include "Picture.h"
#include "Result.h"

#include <cstdint>
#include <span>
#include <vector>

namespace NConvert {

// True when the bytes begin with a JPEG start-of-image marker, or with the
// end-of-image + start-of-image pair that old SWF tools put before it.
bool LooksLikeJpeg(std::span<const std::uint8_t> bytes);

// Decodes a baseline or progressive JPEG (greyscale, YCbCr, RGB, CMYK or
// YCCK). The size is checked against the limits before any pixel memory is
// taken. Data that ends early still gives the picture the decoder made of it.
Result<Picture> DecodeJpeg(std::span<const std::uint8_t> bytes, const Limits &limits);

// Encodes the picture's colours (alpha ignored) as a true-colour JPEG with
// full-resolution chroma at the given quality (1..100).
Result<std::vector<std::uint8_t>> EncodeJpeg(const Picture &picture, int quality);

} // namespace NConvert
