#pragma once

#include <cstdint>

// The bounds on pictures and video frames, defined once for every part that
// reads untrusted pictures: the extractor, the converter, frame
// normalisation and the frame reader.
namespace Tarnwick {

// Largest side of a picture decoded from a movie (libjpeg's own bound).
inline constexpr std::uint32_t kMaxPictureSide = 65500;
// Largest picture in pixels: 8192 x 8192, four bytes each while decoded
// (256 MiB), checked before any buffer for it is allocated.
inline constexpr std::uint64_t kMaxPicturePixels = 64ull << 20;
// Bytes of one decoded picture at that size, for readers that take an
// allocation limit.
inline constexpr std::uint64_t kMaxPictureBytes = kMaxPicturePixels * 4;

// Largest video frame: 4096 a side and the most pixels H.264 level 5.1
// allows in a frame (8,912,896 = 34,816 macroblocks), so that hardware
// players can play the video. A larger largest picture is scaled down to fit.
inline constexpr std::uint32_t kMaxFrameSide = 4096;
inline constexpr std::uint64_t kMaxFramePixels = 8'912'896;

// Longest video made, whatever the movie asks for.
inline constexpr double kMaxVideoSeconds = 3 * 60 * 60;

// Deepest DefineSprite nesting read. Players nest no sprite definitions at
// all; a crafted file nests them to exhaust a reader's stack.
inline constexpr int kMaxSpriteDepth = 16;

} // namespace Tarnwick
