#pragma once

#include "swfextract/lib/Limits.h"
#include "swfextract/lib/MovieBody.h"
#include "swfextract/lib/ObjectClass.h"
#include "swfextract/lib/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace SwfExtract {

// A tag's body inside the movie body: `offset` counts from the stage RECT
// (logical file offset - 8).
struct TagRef
{
    std::uint16_t code = 0;
    std::size_t offset = 0;
    std::size_t length = 0;
};

// One definition of a character. The same ID may be defined again later
// (FFmpeg frees and redefines ID 0 for every picture); each is its own object.
struct Definition
{
    ObjectClass objectClass;
    std::uint16_t id = 0;
    TagRef tag;
};

// The sound stream of the main timeline when it is MP3: the MP3 bytes of each
// SoundStreamBlock (its sample-count and seek fields skipped), in file order.
struct Mp3Stream
{
    std::uint8_t formatByte = 0; // rate, size and channels as the head declares
    std::int16_t latencySeek = 0; // samples to drop from the decoded start
    std::uint32_t firstFrame = 0; // main-timeline frame of the first block
    std::vector<TagRef> blocks; // MP3 data only
};

// What a movie holds, found by one walk over its tags. Nothing is decoded:
// pictures and sounds are read on request.
class Movie
{
public:
    FileHeader header() const { return m_body.header; }
    Bytes body() const { return m_body.bytes(); }
    Bytes bytesOf(const TagRef &tag) const { return body().subspan(tag.offset, tag.length); }

    // Stage size in twips, frame rate as 8.8 fixed point, as the header says.
    std::int32_t stageWidthTwips = 0;
    std::int32_t stageHeightTwips = 0;
    std::uint16_t frameRate = 0;
    // ShowFrame tags of the main timeline (the header's count can be wrong).
    std::uint32_t frames = 0;
    std::vector<Definition> definitions;
    std::vector<TagRef> jpegTables;
    std::optional<Mp3Stream> mp3Stream;
    // Compression code of the main timeline's stream head when it is not MP3.
    std::optional<int> otherStreamCodec;

    // False when the file is cut or damaged; what could be read is listed.
    bool complete() const { return m_complete; }
    const std::vector<std::string> &warnings() const { return m_warnings; }

    // The JPEGTables that a DefineBits at `offset` uses: the last one before
    // it, else the first one after it; nullopt when the file has none.
    std::optional<TagRef> tablesFor(const TagRef &defineBits) const;

    // Reads and walks a movie. Fails only when nothing can be listed: not a
    // SWF, a limit exceeded, a read error or a header cut short.
    static Result<Movie> load(ByteSource &source, const Limits &limits);
    static Result<Movie> open(const std::string &path, const Limits &limits);

private:
    friend class TagWalker;
    void warn(std::string text, bool damage);

    MovieBody m_body;
    bool m_complete = true;
    std::vector<std::string> m_warnings;
};

} // namespace SwfExtract
