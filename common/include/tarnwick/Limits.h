#pragma once

#include <cstdint>

// Every bound on untrusted input and every cap on what the programs make,
// defined once: each part's own Limits takes its defaults from here, so the
// same thing is held to the same number wherever it is read.
namespace Tarnwick {

// The extractor's bounds on a SWF file (SwfExtract::Limits).
// Largest SWF file read from disk (compressed or not), and largest movie
// body after decompression.
inline constexpr std::uint64_t kMaxSwfFileBytes = 512ull << 20;
inline constexpr std::uint64_t kMaxSwfBodyBytes = 512ull << 20;
// Largest LZMA dictionary a ZWS file may ask for (decoder memory).
inline constexpr std::uint64_t kMaxLzmaMemory = 256ull << 20;
// Most tags walked in the whole file, sprites included.
inline constexpr std::uint64_t kMaxSwfTags = 16ull << 20;
// The timeline walk: depths on one display list, character definitions
// remembered, links from shapes, sprites and buttons to what they use,
// entries of each list in the report, steps resolving what is on stage.
inline constexpr std::uint32_t kMaxTimelineDepths = 16384;
inline constexpr std::uint32_t kMaxTimelineCharacters = 1u << 20;
inline constexpr std::uint32_t kMaxTimelineLinks = 1u << 22;
inline constexpr std::uint32_t kMaxReportEntries = 1u << 16;
inline constexpr std::uint64_t kMaxTimelineWork = 1ull << 26;
// Button centres beyond this many pixels from the stage's origin are not
// where anyone could press.
inline constexpr double kMaxStageCoordinate = 1 << 20;

// Largest file the converter reads.
inline constexpr std::uint64_t kMaxConvertedFileBytes = 256ull << 20;

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

// Longest video made: a movie's timing, its sound or a recording past this
// is cut there (a movie that loops would otherwise never end).
inline constexpr double kMaxVideoSeconds = 3 * 60 * 60;
// Frames one video of pictures can hold: the frame count is a 16-bit number
// downstream.
inline constexpr int kMaxVideoFrames = 32767;
// Frames decoded of one embedded video: a long one must leave room in the
// video for the movie's pictures and other videos.
inline constexpr int kMaxEmbeddedVideoFrames = 8192;
// Most pictures in one timed sequence: a short loop repeated under a long
// soundtrack must not become millions of list lines.
inline constexpr std::int64_t kMaxTimedFrames = 200000;
// Frame rates a video may have, a movie's own or one asked for; outside
// them (none, or a movie's absurd one) the fallback is used.
inline constexpr double kMinFrameRate = 0.01;
inline constexpr double kMaxFrameRate = 120;
inline constexpr double kFallbackFrameRate = 30;

// Most sound plays mixed into one soundtrack; a movie that starts a click
// sound thousands of times keeps the first ones.
inline constexpr std::int64_t kMaxSoundPlays = 512;

// Most bytes of a tool's output kept; a tool that talks more than this is
// cut off there and stopped, so a runaway child cannot exhaust memory.
inline constexpr std::int64_t kMaxCapturedBytes = 16 << 20;
// Bytes of a tool's standard error kept: its last lines, where a tool
// writes why it failed.
inline constexpr std::int64_t kMaxErrorTailBytes = 4096;

// Deepest DefineSprite nesting read. Players nest no sprite definitions at
// all; a crafted file nests them to exhaust a reader's stack.
inline constexpr int kMaxSpriteDepth = 16;

} // namespace Tarnwick
