#pragma once

#include "swfextract/lib/ByteSink.h"
#include "swfextract/lib/JpegData.h"
#include "swfextract/lib/Limits.h"
#include "swfextract/lib/Movie.h"
#include "swfextract/lib/Result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Tarnwick {
class ByteReader;
}

namespace SwfExtract {

enum class PictureFormat { Jpeg, Png, Gif };

// A picture made ready to write: what its file will hold is known before the
// file is named, so a JPEG with an alpha plane can be named .png.
class Picture
{
public:
    PictureFormat format() const { return m_format; }
    // True for a JPEG whose alpha plane made it a PNG.
    bool decodedWithAlpha() const { return m_source == Source::DecodedWithAlpha; }
    // Tolerated defects found while preparing ("alpha plane ignored: ...").
    const std::vector<std::string> &warnings() const { return m_warnings; }

    // Reads the picture a definition describes. Fails for a definition that
    // is not a picture, data that is neither JPEG, PNG nor GIF, a lossless
    // picture of an unknown format or beyond the size limit.
    static Result<Picture> prepare(const Movie &movie, const Definition &definition, const Limits &limits);

    // Writes the file. `partial` is set when the picture's data ended early
    // and the missing rows were left transparent (or black); the file is
    // still whole and readable. Fails when the sink fails or the data
    // cannot be decoded at all.
    Status write(const Movie &movie, ByteSink &sink, bool &partial, std::string &partialNote) const;

private:
    enum class Source { JpegPieces, DecodedWithAlpha, Lossless };

    // The steps of prepare(), by tag; `reader` stands after the character ID.
    static Result<Picture> prepareDefineBits(const Movie &movie, const Definition &definition,
                                             Tarnwick::ByteReader &reader);
    static Result<Picture> prepareJpeg(const Definition &definition, Tarnwick::ByteReader &reader,
                                       const Limits &limits);
    static Result<Picture> prepareLossless(const Definition &definition, Tarnwick::ByteReader &reader,
                                           const Limits &limits);
    // Decodes the JPEG pieces and pairs them with the alpha plane; on any
    // failure the picture stays a JPEG and a warning says why.
    void decodeWithAlpha(Bytes alphaData, const Limits &limits);

    Status writeDecoded(ByteSink &sink) const;
    Status writeLossless(const Movie &movie, ByteSink &sink, bool &partial, std::string &partialNote) const;

    Source m_source = Source::JpegPieces;
    PictureFormat m_format = PictureFormat::Jpeg;
    Pieces m_pieces;
    std::vector<std::string> m_warnings;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    // Decoded JPEG (RGB) and its alpha plane.
    std::vector<std::uint8_t> m_rgb;
    std::vector<std::uint8_t> m_alpha;
    // Lossless: tag, bitmap format, palette size and the zlib data.
    std::uint16_t m_tagCode = 0;
    std::uint8_t m_bitmapFormat = 0;
    std::uint32_t m_paletteSize = 0;
    TagRef m_zlibData;
};

// Straight colour from premultiplied: c * 255 / a, rounded, at most 255
// (malformed data can hold c > a); a = 0 gives 0.
std::uint8_t Unpremultiply(std::uint8_t colour, std::uint8_t alpha);

} // namespace SwfExtract
