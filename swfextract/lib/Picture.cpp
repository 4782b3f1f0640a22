#include "swfextract/lib/Picture.h"

#include "swfextract/lib/Inflater.h"
#include "swfextract/lib/PngWriter.h"
#include "swfextract/lib/TagCode.h"
#include "tarnwick/ByteReader.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstring>

namespace SwfExtract {

using Tarnwick::ByteReader;

namespace {

constexpr std::uint8_t kFormatPalette = 3;
constexpr std::uint8_t kFormatRgb15 = 4;
constexpr std::uint8_t kFormatRgb24 = 5;

std::string NameOf(const Definition &definition)
{
    return std::string(TagName(definition.tag.code)) + " " + std::to_string(definition.id);
}

std::string SizeText(std::uint64_t width, std::uint64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

// Checked before anything the size of the picture is allocated.
Status CheckSize(std::uint64_t width, std::uint64_t height, const Limits &limits)
{
    if (width == 0 || height == 0)
        return MakeError(ErrorCode::Unsupported, "the picture is empty (" + SizeText(width, height) + ")");
    if (width > limits.maxPictureSide || height > limits.maxPictureSide || width * height > limits.maxPicturePixels)
        return MakeError(ErrorCode::TooLarge, "the picture (" + SizeText(width, height) + ") is larger than the "
                                                  + std::to_string(limits.maxPicturePixels) + "-pixel limit");
    return Done{};
}

std::size_t Ceil4(std::size_t value)
{
    return (value + 3) & ~std::size_t(3);
}

std::uint8_t Widen5(unsigned value)
{
    return std::uint8_t((value << 3) | (value >> 2));
}

struct TurboJpeg
{
    tjhandle handle = tjInitDecompress();
    ~TurboJpeg()
    {
        if (handle)
            tjDestroy(handle);
    }
};

std::vector<std::uint8_t> Concatenate(const Pieces &pieces)
{
    std::vector<std::uint8_t> joined;
    joined.reserve(TotalSize(pieces));
    for (const Bytes &piece : pieces)
        joined.insert(joined.end(), piece.begin(), piece.end());
    return joined;
}

// The image and the zlib-compressed alpha plane of a DefineBitsJPEG2/3/4:
// ID, then for 3 and 4 the alpha offset (and for 4 the deblocking strength),
// then the image data. `reader` stands after the ID.
struct JpegParts
{
    Bytes image;
    Bytes alpha;
};

Result<JpegParts> SplitJpegTag(const Definition &definition, ByteReader &reader, std::vector<std::string> &warnings)
{
    const TagCode code = TagCode(definition.tag.code);
    JpegParts parts;
    if (code == TagCode::DefineBitsJpeg2) {
        parts.image = reader.rest();
        return parts;
    }
    const std::uint32_t alphaOffset = reader.u32();
    if (code == TagCode::DefineBitsJpeg4)
        reader.skip(2);
    if (!reader.ok())
        return MakeError(ErrorCode::Malformed, NameOf(definition) + " is too short");
    if (alphaOffset > reader.remaining()) {
        warnings.push_back("the alpha offset points past the tag; alpha ignored");
        parts.image = reader.rest();
    } else {
        parts.image = reader.take(alphaOffset);
        parts.alpha = reader.rest();
    }
    return parts;
}

// Unpremultiplied colours by [alpha][colour]: a division per channel would
// cost more than all the rest of a pixel's conversion.
using UnpremultiplyTable = std::uint8_t[256][256];

const UnpremultiplyTable &Straight()
{
    struct Table
    {
        UnpremultiplyTable value;
        Table()
        {
            for (unsigned a = 0; a < 256; ++a)
                for (unsigned c = 0; c < 256; ++c)
                    value[a][c] = a == 0 ? 0 : std::uint8_t(std::min<unsigned>(255, (c * 255 + a / 2) / a));
        }
    };
    static const Table table;
    return table.value;
}

// How the rows of a lossless bitmap are stored: colour-mapped (one index a
// pixel), PIX15 or PIX24/ARGB, each row padded to 32 bits.
struct LosslessRows
{
    std::uint8_t format;
    bool withAlpha; // DefineBitsLossless2
    std::size_t width;

    std::size_t channels() const { return withAlpha ? 4 : 3; }
    std::size_t stride() const
    {
        if (format == kFormatPalette)
            return Ceil4(width);
        if (format == kFormatRgb15)
            return Ceil4(2 * width);
        return 4 * width;
    }
};

// Palette as RGBA, straight alpha; indices past its end are black
// (Lossless) or transparent (Lossless2).
using Palette = std::uint8_t[256][4];

// Reads the palette that starts the bitmap data; false when the data ends
// before it does (the palette then stays all zero).
bool ReadPalette(Inflater &inflater, std::uint32_t size, bool withAlpha, Palette &palette)
{
    const std::size_t entry = withAlpha ? 4 : 3;
    std::uint8_t raw[256 * 4];
    if (inflater.read(raw, size * entry) != size * entry)
        return false;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t *p = raw + i * entry;
        const std::uint8_t a = withAlpha ? p[3] : 255;
        for (int c = 0; c < 3; ++c)
            palette[i][c] = withAlpha ? Unpremultiply(p[c], a) : p[c];
        palette[i][3] = a;
    }
    return true;
}

// The stored rows one at a time, inflated many per call: zlib's fast path
// wants large outputs.
class StoredRows
{
public:
    StoredRows(Inflater &inflater, std::size_t stride, std::size_t height, bool dataEnded)
        : m_inflater(inflater)
        , m_stride(stride)
        , m_rowsLeft(height)
        , m_dataEnded(dataEnded)
        , m_chunk(std::min<std::size_t>(std::max<std::size_t>(1, (256 * 1024) / stride), height) * stride)
    {
    }

    // The next row, or null once the data has ended before it.
    const std::uint8_t *next()
    {
        if (m_chunkRow == m_rowsInChunk && !m_dataEnded) {
            const std::size_t want = std::min(m_chunk.size(), m_rowsLeft * m_stride);
            const std::size_t got = m_inflater.read(m_chunk.data(), want);
            m_rowsInChunk = got / m_stride;
            m_chunkRow = 0;
            m_dataEnded = got < want;
        }
        --m_rowsLeft;
        const bool haveRow = m_chunkRow < m_rowsInChunk;
        const std::uint8_t *row = m_chunk.data() + m_chunkRow * m_stride;
        ++m_chunkRow;
        return haveRow ? row : nullptr;
    }

private:
    Inflater &m_inflater;
    std::size_t m_stride;
    std::size_t m_rowsLeft;
    bool m_dataEnded;
    std::vector<std::uint8_t> m_chunk;
    std::size_t m_rowsInChunk = 0;
    std::size_t m_chunkRow = 0;
};

// One stored row as PNG pixels: RGB, or RGBA with straight alpha.
void ConvertRow(const LosslessRows &layout, const Palette &palette, const std::uint8_t *stored, std::uint8_t *row)
{
    const UnpremultiplyTable &straight = Straight();
    const std::size_t channels = layout.channels();
    for (std::size_t x = 0; x < layout.width; ++x) {
        std::uint8_t *out = row + x * channels;
        if (layout.format == kFormatPalette) {
            std::memcpy(out, palette[stored[x]], channels);
        } else if (layout.format == kFormatRgb15) {
            // PIX15 is a bit-field record: big-endian, bit 15 reserved.
            const unsigned v = (unsigned(stored[2 * x]) << 8) | stored[2 * x + 1];
            out[0] = Widen5((v >> 10) & 0x1F);
            out[1] = Widen5((v >> 5) & 0x1F);
            out[2] = Widen5(v & 0x1F);
        } else {
            const std::uint8_t *p = stored + 4 * x; // A/reserved, R, G, B
            if (layout.withAlpha) {
                const std::uint8_t *fromAlpha = straight[p[0]];
                out[0] = fromAlpha[p[1]];
                out[1] = fromAlpha[p[2]];
                out[2] = fromAlpha[p[3]];
                out[3] = p[0];
            } else {
                std::memcpy(out, p + 1, 3);
            }
        }
    }
}

} // namespace

std::uint8_t Unpremultiply(std::uint8_t colour, std::uint8_t alpha)
{
    return Straight()[alpha][colour];
}

Result<Picture> Picture::prepare(const Movie &movie, const Definition &definition, const Limits &limits)
{
    ByteReader reader(movie.bytesOf(definition.tag));
    reader.skip(2); // character ID
    switch (TagCode(definition.tag.code)) {
    case TagCode::DefineBits: return prepareDefineBits(movie, definition, reader);
    case TagCode::DefineBitsJpeg2:
    case TagCode::DefineBitsJpeg3:
    case TagCode::DefineBitsJpeg4: return prepareJpeg(definition, reader, limits);
    case TagCode::DefineBitsLossless:
    case TagCode::DefineBitsLossless2: return prepareLossless(definition, reader, limits);
    default: return MakeError(ErrorCode::Unsupported, NameOf(definition) + " is not a picture");
    }
}

Result<Picture> Picture::prepareDefineBits(const Movie &movie, const Definition &definition, ByteReader &reader)
{
    Picture picture;
    const std::optional<TagRef> tables = movie.tablesFor(definition.tag);
    if (!tables)
        picture.m_warnings.push_back("the movie has no JPEGTables; the picture is written as it is");
    picture.m_pieces = MergeJpegTables(tables ? movie.bytesOf(*tables) : Bytes(), reader.rest());
    return picture;
}

Result<Picture> Picture::prepareLossless(const Definition &definition, ByteReader &reader, const Limits &limits)
{
    Picture picture;
    picture.m_source = Source::Lossless;
    picture.m_format = PictureFormat::Png;
    picture.m_tagCode = definition.tag.code;
    picture.m_bitmapFormat = reader.u8();
    picture.m_width = reader.u16();
    picture.m_height = reader.u16();
    if (picture.m_bitmapFormat == kFormatPalette)
        picture.m_paletteSize = std::uint32_t(reader.u8()) + 1;
    if (!reader.ok())
        return MakeError(ErrorCode::Malformed, NameOf(definition) + " is too short");
    const bool knownFormat = picture.m_bitmapFormat == kFormatPalette || picture.m_bitmapFormat == kFormatRgb24
                             || (picture.m_bitmapFormat == kFormatRgb15
                                 && TagCode(definition.tag.code) == TagCode::DefineBitsLossless);
    if (!knownFormat)
        return MakeError(ErrorCode::Unsupported,
                         NameOf(definition) + " has unknown bitmap format " + std::to_string(picture.m_bitmapFormat));
    if (Status size = CheckSize(picture.m_width, picture.m_height, limits); !size)
        return size.error();
    picture.m_zlibData = TagRef{definition.tag.code, definition.tag.offset + reader.position(), reader.remaining()};
    return picture;
}

Result<Picture> Picture::prepareJpeg(const Definition &definition, ByteReader &reader, const Limits &limits)
{
    Picture picture;
    const Result<JpegParts> parts = SplitJpegTag(definition, reader, picture.m_warnings);
    if (!parts)
        return parts.error();
    switch (DetectPayload(parts->image)) {
    case PayloadKind::Png:
        picture.m_format = PictureFormat::Png;
        picture.m_pieces = {parts->image};
        return picture;
    case PayloadKind::Gif:
        picture.m_format = PictureFormat::Gif;
        picture.m_pieces = {parts->image};
        return picture;
    case PayloadKind::Unknown:
        return MakeError(ErrorCode::Unsupported, NameOf(definition) + " holds neither JPEG, PNG nor GIF data");
    case PayloadKind::Jpeg: break;
    }
    picture.m_pieces = NormaliseJpeg(parts->image);
    if (!parts->alpha.empty())
        picture.decodeWithAlpha(parts->alpha, limits);
    return picture;
}

void Picture::decodeWithAlpha(Bytes alphaData, const Limits &limits)
{
    // A JPEG cannot carry transparency: decode it and write PNG with the alpha.
    const std::vector<std::uint8_t> jpeg = Concatenate(m_pieces);
    TurboJpeg tj;
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (!tj.handle
        || tjDecompressHeader3(tj.handle, jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colourspace) != 0) {
        m_warnings.push_back(std::string("cannot read the JPEG header (") + tjGetErrorStr2(tj.handle)
                             + "); written without alpha");
        return;
    }
    if (Status size = CheckSize(std::uint64_t(width), std::uint64_t(height), limits); !size) {
        m_warnings.push_back(size.error().message + "; written without alpha");
        return;
    }
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    // One byte more than needed tells a too-long plane from a fitting one.
    std::vector<std::uint8_t> alpha = Inflater::inflateAll(alphaData, pixels + 1);
    if (alpha.size() != pixels) {
        m_warnings.push_back("the alpha plane holds " + std::to_string(alpha.size()) + " bytes, not "
                             + std::to_string(pixels) + "; written without alpha");
        return;
    }
    std::vector<std::uint8_t> rgb(pixels * 3);
    if (tjDecompress2(tj.handle, jpeg.data(), jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB, TJFLAG_LIMITSCANS)
            != 0
        && tjGetErrorCode(tj.handle) != TJERR_WARNING) {
        m_warnings.push_back(std::string("cannot decode the JPEG (") + tjGetErrorStr2(tj.handle)
                             + "); written without alpha");
        return;
    }
    m_source = Source::DecodedWithAlpha;
    m_format = PictureFormat::Png;
    m_width = std::uint32_t(width);
    m_height = std::uint32_t(height);
    m_rgb = std::move(rgb);
    m_alpha = std::move(alpha);
    m_pieces.clear();
}

Status Picture::write(const Movie &movie, ByteSink &sink, bool &partial, std::string &partialNote) const
{
    partial = false;
    switch (m_source) {
    case Source::JpegPieces:
        for (const Bytes &piece : m_pieces)
            if (!sink.write(piece))
                return MakeError(ErrorCode::WriteFailed, "cannot write the output file");
        return Done{};
    case Source::DecodedWithAlpha: return writeDecoded(sink);
    case Source::Lossless: return writeLossless(movie, sink, partial, partialNote);
    }
    return Done{};
}

Status Picture::writeDecoded(ByteSink &sink) const
{
    PngWriter png(sink, m_width, m_height, true);
    const UnpremultiplyTable &straight = Straight();
    std::vector<std::uint8_t> row(std::size_t(m_width) * 4);
    for (std::size_t y = 0; y < m_height; ++y) {
        const std::uint8_t *rgb = m_rgb.data() + y * m_width * 3;
        const std::uint8_t *alpha = m_alpha.data() + y * m_width;
        for (std::size_t x = 0; x < m_width; ++x) {
            const std::uint8_t a = alpha[x];
            // Flash treats these colours as premultiplied and clamps them to
            // the alpha first; some writers store straight colours.
            for (int c = 0; c < 3; ++c)
                row[x * 4 + c] = straight[a][std::min(rgb[x * 3 + c], a)];
            row[x * 4 + 3] = a;
        }
        if (!png.writeRow(row.data()))
            return MakeError(ErrorCode::WriteFailed, png.error());
    }
    if (!png.finish())
        return MakeError(ErrorCode::WriteFailed, png.error());
    return Done{};
}

Status Picture::writeLossless(const Movie &movie, ByteSink &sink, bool &partial, std::string &partialNote) const
{
    const LosslessRows layout{m_bitmapFormat, TagCode(m_tagCode) == TagCode::DefineBitsLossless2, m_width};
    Inflater inflater(movie.bytesOf(m_zlibData));
    Palette palette = {};
    bool dataEnded = false;
    if (m_bitmapFormat == kFormatPalette)
        dataEnded = !ReadPalette(inflater, m_paletteSize, layout.withAlpha, palette);

    PngWriter png(sink, m_width, m_height, layout.withAlpha);
    StoredRows stored(inflater, layout.stride(), m_height, dataEnded);
    std::vector<std::uint8_t> row(layout.width * layout.channels());
    std::size_t rowsRead = 0;
    for (std::size_t y = 0; y < m_height; ++y) {
        if (const std::uint8_t *data = stored.next()) {
            ++rowsRead;
            ConvertRow(layout, palette, data, row.data());
        } else {
            std::fill(row.begin(), row.end(), 0);
        }
        if (!png.writeRow(row.data()))
            return MakeError(ErrorCode::WriteFailed, png.error());
    }
    if (!png.finish())
        return MakeError(ErrorCode::WriteFailed, png.error());
    if (rowsRead < m_height) {
        partial = true;
        partialNote = "the bitmap data ends after row " + std::to_string(rowsRead) + " of " + std::to_string(m_height)
                      + "; the missing rows are left " + (layout.withAlpha ? "transparent" : "black");
    }
    return Done{};
}

} // namespace SwfExtract
