#pragma once

#include "tarnwick/Limits.h"

#include <cstdint>

namespace NConvert {

// Every bound on untrusted input, in one place. Tests lower them.
struct Limits
{
    // Largest input file read.
    std::uint64_t maxFileBytes = Tarnwick::kMaxConvertedFileBytes;
    // Largest width and height of a picture, and its largest number of
    // pixels (four bytes each while decoded): the program's one picture limit,
    // so that what the extractor gives is never dropped here.
    std::uint32_t maxSide = Tarnwick::kMaxPictureSide;
    std::uint64_t maxPixels = Tarnwick::kMaxPicturePixels;
};

} // namespace NConvert
