#pragma once

#include "tarnwick/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace Tarnwick {

// The order of the four bytes of each pixel handed to the encoder; the
// fourth byte is ignored.
enum class PixelLayout { Rgbx, Bgrx };

// Rows of four-byte pixels, `stride` bytes apart.
struct PixelRows
{
    const std::uint8_t *data = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    PixelLayout layout = PixelLayout::Rgbx;
};

enum class JpegFailure {
    NoEncoder, // the encoder could not start (out of memory)
    Refused, // the encoder refused the pixels
};

struct JpegError
{
    JpegFailure failure;
    std::string message; // the encoder's own words
};

// A JPEG file the encoder made in memory.
class JpegBytes
{
public:
    std::span<const std::uint8_t> bytes() const { return {m_data.get(), m_size}; }

private:
    friend Result<JpegBytes, JpegError> CompressJpeg(const PixelRows &pixels, int quality);
    struct Free
    {
        void operator()(unsigned char *data) const;
    };
    std::unique_ptr<unsigned char, Free> m_data;
    std::size_t m_size = 0;
};

// Encodes the pixels as a true-colour JPEG with full-resolution colour
// (4:4:4) and the accurate DCT, at `quality` 1..100 (100 is the encoder's
// best). Fails when the encoder cannot start or refuses the pixels.
Result<JpegBytes, JpegError> CompressJpeg(const PixelRows &pixels, int quality);

} // namespace Tarnwick
