#pragma once

#include "swfextract/lib/ByteSource.h"
#include "swfextract/lib/ByteSpan.h"
#include "swfextract/lib/Limits.h"
#include "swfextract/lib/Result.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace SwfExtract {

enum class Container { Fws, Cws, Zws };

// The eight bytes every SWF file starts with.
struct FileHeader
{
    Container container = Container::Fws;
    std::uint8_t version = 0;
    std::uint32_t fileLength = 0; // claimed size of the uncompressed movie, header included
};

// The movie from logical offset 8 on (the stage RECT first), decompressed.
// The bytes live in one block grown with realloc, so a large body is never
// copied while it grows.
class MovieBody
{
public:
    FileHeader header;
    // False when the data ended early: a cut file, a damaged compressed
    // stream. What did decompress is kept.
    bool complete = true;
    // Tolerated defects, one line each.
    std::vector<std::string> warnings;

    Bytes bytes() const { return {m_data.get(), m_size}; }

    // Appends room for at least `count` more bytes, never more than `cap`
    // in total; returns the writable tail, or an empty span at the cap or
    // when memory runs out.
    std::span<std::uint8_t> grow(std::size_t count, std::size_t cap);
    void commit(std::size_t count) { m_size += count; }
    // Drops what lies beyond `size`.
    void truncate(std::size_t size) { m_size = std::min(m_size, size); }

private:
    struct Free
    {
        void operator()(std::uint8_t *p) const;
    };
    std::unique_ptr<std::uint8_t, Free> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

// Reads the header and the whole movie body from `source`, decompressing
// CWS (zlib) and ZWS (LZMA). A cut or damaged compressed stream is not an
// error: the body holds what decompressed and `complete` is false (an LZMA
// stream that stops with its data may lack only its optional end marker, so
// there the movie's tags tell whether it is cut). A
// FileLength that is wrong (0, 4 GiB, too short, too long) is not one
// either: the movie is read as far as its data goes, with a warning. Fails
// for a file that is not a SWF, one beyond the limits, or a read error.
Result<MovieBody> LoadMovieBody(ByteSource &source, const Limits &limits);

} // namespace SwfExtract
