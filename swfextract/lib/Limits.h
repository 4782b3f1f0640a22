#pragma once

#include "tarnwick/Limits.h"

#include <cstdint>

namespace SwfExtract {

// Every bound on untrusted input, in one place. The defaults are generous for
// real movies and small enough that a hostile file cannot exhaust memory;
// tests and the fuzz target lower them.
struct Limits
{
    // Largest SWF file read from disk (compressed or not).
    std::uint64_t maxFileBytes = 512ull << 20;
    // Largest movie body after decompression. The header's FileLength is
    // not trusted for this: a wrong one is read past, a huge one reserves
    // nothing.
    std::uint64_t maxBodyBytes = 512ull << 20;
    // Largest LZMA dictionary a ZWS file may ask for (decoder memory).
    std::uint64_t maxLzmaMemory = 256ull << 20;
    // Most tags walked in the whole file, sprites included.
    std::uint64_t maxTags = 16ull << 20;
    // Deepest DefineSprite nesting walked.
    int maxSpriteDepth = Tarnwick::kMaxSpriteDepth;
    // Largest picture, in pixels, decoded or converted (checked before any
    // buffer for it is allocated), and its largest side: the program's one
    // picture limit.
    std::uint64_t maxPicturePixels = Tarnwick::kMaxPicturePixels;
    std::uint32_t maxPictureSide = Tarnwick::kMaxPictureSide;

    // The timeline report (--timeline) and the exports that use it.
    // Depths occupied at once on one display list.
    std::uint32_t maxTimelineDepths = 16384;
    // Character definitions the walk remembers (redefinitions count again).
    std::uint32_t maxTimelineCharacters = 1u << 20;
    // Links kept from shapes, sprites and buttons to what they use, in total.
    std::uint32_t maxTimelineLinks = 1u << 22;
    // Entries of each list in the report (pictures, sounds, starts, videos,
    // streams, placements, buttons, sprites, warnings); the rest is counted
    // in a warning.
    std::uint32_t maxReportEntries = 1u << 16;
    // Steps spent resolving what is on stage, over the whole walk.
    std::uint64_t maxTimelineWork = 1ull << 26;
};

} // namespace SwfExtract
