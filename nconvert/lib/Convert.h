#pragma once

#include "Limits.h"
#include "Picture.h"
#include "Result.h"

#include <cstdint>
#include <optional>
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

// The converter's pass-through with no quality asked for, in place: true
// when the picture at `path` is a JPEG the video encoder reads as it is
// (PassableJpeg), the file then holding exactly what ConvertToJpeg would
// copy (a stray end marker before its start is cut off). False, with the
// file untouched, when the picture must be decoded or cannot be read;
// ConvertToJpeg then converts it or says why not. A caller that would run
// the converter on the picture can use the file itself when this is true.
bool PassJpegInPlace(const std::string &path, const Limits &limits = Limits());

// Reads the picture at `input`, composites any transparency onto
// `background` and writes it to `output` as a true-colour JPEG at `quality`
// (1..100, or kKeepQuality). On failure nothing is written and an existing
// `output` stays as it was.
Result<Done> ConvertToJpeg(const std::string &input, const std::string &output, int quality = kKeepQuality,
                           const Limits &limits = Limits(), Rgb background = {});

} // namespace NConvert
