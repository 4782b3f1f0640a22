#pragma once

#include "Limits.h"
#include "Picture.h"
#include "Result.h"

#include <cstdint>
#include <optional>
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

// The JPEG stream within `bytes` (a stray leading end-of-image marker left
// out) when it can go to the video encoder as it is: Huffman-coded baseline
// or progressive, 8 bits, three YCbCr components, no Exif block (whose
// orientation readers may apply), within the limits, and it decodes without
// any error or warning. Nothing for anything else, which must be decoded.
std::optional<std::span<const std::uint8_t>> PassableJpeg(std::span<const std::uint8_t> bytes, const Limits &limits);

// Encodes the picture's colours (alpha ignored) as a true-colour JPEG with
// full-resolution chroma at the given quality (1..100).
Result<std::vector<std::uint8_t>> EncodeJpeg(const Picture &picture, int quality);

} // namespace NConvert
