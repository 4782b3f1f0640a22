#pragma once

#include "Limits.h"
#include "Picture.h"
#include "Result.h"

#include <cstdint>
#include <span>
#include <string>

namespace NConvert {

// The quality our frames are written with: high, so that the later redraw
// at 100 adds little loss.
inline constexpr int kDefaultQuality = 95;

// No quality asked for: a JPEG the video encoder reads as it is (see
// PassableJpeg) is copied unchanged, anything else is written at
// kDefaultQuality. An explicit quality always re-encodes.
inline constexpr int kKeepQuality = 0;

// Decodes a JPEG, PNG, GIF (first frame) or Windows bitmap, recognised by
// its first bytes whatever the file is called.
Result<Picture> DecodePicture(std::span<const std::uint8_t> bytes, const Limits &limits);

// Reads the picture at `input`, composites any transparency onto
// `background` and writes it to `output` as a true-colour JPEG at `quality`
// (1..100, or kKeepQuality). On failure nothing is written and an existing
// `output` stays as it was.
Result<Done> ConvertToJpeg(const std::string &input, const std::string &output, int quality = kKeepQuality,
                           const Limits &limits = Limits(), Rgb background = {});

} // namespace NConvert
