#pragma once

#include "tarnwick/Limits.h"

#include <cstdint>

namespace SwfExtract {

// Every bound on untrusted input the extractor obeys, its defaults from
// tarnwick/Limits.h. They are generous for real movies and small enough that
// a hostile file cannot exhaust memory; tests and the fuzz target lower them.
struct Limits
{
    // Largest SWF file read from disk (compressed or not).
    std::uint64_t maxFileBytes = Tarnwick::kMaxSwfFileBytes;
    // Largest movie body after decompression. The header's FileLength is
    // not trusted for this: a wrong one is read past, a huge one reserves
    // nothing.
    std::uint64_t maxBodyBytes = Tarnwick::kMaxSwfBodyBytes;
    // Largest LZMA dictionary a ZWS file may ask for (decoder memory).
    std::uint64_t maxLzmaMemory = Tarnwick::kMaxLzmaMemory;
    // Most tags walked in the whole file, sprites included.
    std::uint64_t maxTags = Tarnwick::kMaxSwfTags;
    // Deepest DefineSprite nesting walked.
    int maxSpriteDepth = Tarnwick::kMaxSpriteDepth;
    // Largest picture, in pixels, decoded or converted (checked before any
    // buffer for it is allocated), and its largest side: the program's one
    // picture limit.
    std::uint64_t maxPicturePixels = Tarnwick::kMaxPicturePixels;
    std::uint32_t maxPictureSide = Tarnwick::kMaxPictureSide;

    // The timeline report (--timeline) and the exports that use it.
    // Depths occupied at once on one display list.
    std::uint32_t maxTimelineDepths = Tarnwick::kMaxTimelineDepths;
    // Character definitions the walk remembers (redefinitions count again).
    std::uint32_t maxTimelineCharacters = Tarnwick::kMaxTimelineCharacters;
    // Links kept from shapes, sprites and buttons to what they use, in total.
    std::uint32_t maxTimelineLinks = Tarnwick::kMaxTimelineLinks;
    // Entries of each list in the report (pictures, sounds, starts, videos,
    // streams, placements, buttons, sprites, warnings); the rest is counted
    // in a warning.
    std::uint32_t maxReportEntries = Tarnwick::kMaxReportEntries;
    // Steps spent resolving what is on stage, over the whole walk.
    std::uint64_t maxTimelineWork = Tarnwick::kMaxTimelineWork;
};

} // namespace SwfExtract
