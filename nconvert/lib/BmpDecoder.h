#pragma once

#include "Limits.h"
#include "Picture.h"
#include "Result.h"

#include <cstdint>
#include <span>

namespace NConvert {

// True when the bytes begin with the "BM" signature of a Windows bitmap.
bool LooksLikeBmp(std::span<const std::uint8_t> bytes);

// Decodes an uncompressed Windows bitmap: 1, 4 and 8 bits per pixel with a
// palette, 16 and 32 bits with or without bit-field masks, 24 bits; bottom-up
// or top-down rows. Run-length and embedded JPEG/PNG bitmaps are refused.
Result<Picture> DecodeBmp(std::span<const std::uint8_t> bytes, const Limits &limits);

} // namespace NConvert
