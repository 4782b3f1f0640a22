#pragma once

#include <cstdint>

namespace NConvert {

// Every bound on untrusted input, in one place. Tests lower them.
struct Limits
{
    // Largest input file read.
    std::uint64_t maxFileBytes = 256u * 1024 * 1024;
    // Largest width and height of a picture.
    std::uint32_t maxSide = 16384;
    // Largest number of pixels of a picture (four bytes each while decoded).
    std::uint64_t maxPixels = 50'000'000;
};

} // namespace NConvert
