#pragma once

#include "swfextract/lib/Limits.h"
#include "swfextract/lib/Movie.h"

#include <cstdint>
#include <string>
#include <vector>

namespace SwfExtract {

// What to write: pictures and event sounds by ID, and/or the MP3 stream.
struct Request
{
    std::vector<std::uint16_t> jpegIds;
    std::vector<std::uint16_t> pngIds;
    std::vector<std::uint16_t> soundIds;
    bool mp3 = false;
    // Output path; "%d" in it stands for each object's ID (ID.2, ID.3, ...
    // for later definitions of the same ID).
    std::string out;
};

struct ExtractionReport
{
    std::vector<std::string> written; // paths, in file order
    std::vector<std::string> failures; // one line each: what was not (fully) written and why
    std::vector<std::string> warnings; // tolerated defects of what was written
    bool ok() const { return failures.empty(); }
};

// Writes what `request` asks for. An ID that is not of the asked kind is a
// failure for that ID; the others are still written. Several objects with
// an output path without "%d" is a failure that writes nothing.
ExtractionReport Extract(const Movie &movie, const Request &request, const Limits &limits);

// Writes the stream sound of `sprite` (0: the main timeline), or the video
// stream `id`, as an FLV file at `out`.
ExtractionReport ExtractStreamFlv(const Movie &movie, std::uint16_t sprite, const std::string &out,
                                  const Limits &limits);
ExtractionReport ExtractVideoFlv(const Movie &movie, std::uint16_t id, const std::string &out, const Limits &limits);

// True for an output name ending in .flv (any case): event sounds of any
// format are then written as FLV.
bool IsFlvName(const std::string &name);

// `pattern` with every "%d" replaced by the ID, or by "ID.N" for the Nth
// definition of that ID (N >= 2).
std::string OutputName(const std::string &pattern, std::uint16_t id, int definitionNumber);

// The name a picture gets when it must be written as PNG: a .jpg/.jpeg/.jpe
// extension (any case) is replaced by .png, any other name gets .png added.
std::string WithPngExtension(const std::string &name);

} // namespace SwfExtract
