#pragma once

#include "Limits.h"
#include "Picture.h"
#include "Result.h"

#include <cstdint>
#include <span>

namespace NConvert {

// True when the bytes begin with the PNG signature.
bool LooksLikePng(std::span<const std::uint8_t> bytes);

// Decodes any PNG (palette, grey, colour, 16-bit, with or without alpha or a
// transparent colour) to 8-bit sRGB with straight alpha. The size is checked
// against the limits before any pixel memory is taken.
Result<Picture> DecodePng(std::span<const std::uint8_t> bytes, const Limits &limits);

} // namespace NConvert
