#pragma once

#include "Limits.h"
#include "Picture.h"
#include "Result.h"

#include <cstdint>
#include <span>

namespace NConvert {

// True when the bytes begin with a GIF signature.
bool LooksLikeGif(std::span<const std::uint8_t> bytes);

// Decodes the first frame of a GIF, placed on the logical screen (grown to
// hold the frame when the screen is declared smaller). Pixels outside the
// frame and transparent ones stay transparent. Image data that ends early or
// holds an invalid code leaves the rest of the frame transparent, as viewers
// show such files; a file without any frame is an error.
Result<Picture> DecodeGif(std::span<const std::uint8_t> bytes, const Limits &limits);

} // namespace NConvert
