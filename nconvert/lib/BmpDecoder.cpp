#include "BmpDecoder.h"

#include "tarnwick/ByteReader.h"

#include <algorithm>
#include <bit>
#include <string>

namespace NConvert {

using Tarnwick::ByteReader;

namespace {

constexpr std::size_t kFileHeaderBytes = 14;

enum class HeaderSize : std::uint32_t {
    Core = 12,
    Info = 40,
    // 52, 56, 64, 108 and 124 extend Info; the masks sit at its end.
};

enum class Compression : std::uint32_t {
    Rgb = 0,
    Rle8 = 1,
    Rle4 = 2,
    BitFields = 3,
    Jpeg = 4,
    Png = 5,
    AlphaBitFields = 6,
};

// One colour channel packed in a 16- or 32-bit pixel.
struct Channel
{
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint64_t max = 0;

    explicit Channel(std::uint32_t m = 0)
        : mask(m)
    {
        if (mask) {
            shift = std::countr_zero(mask);
            max = (std::uint64_t(1) << std::popcount(mask >> shift)) - 1;
        }
    }
    std::uint8_t extract(std::uint32_t pixel, std::uint8_t absent) const
    {
        if (!mask)
            return absent;
        const std::uint64_t value = std::min<std::uint64_t>((pixel & mask) >> shift, max);
        return std::uint8_t((value * 255 + max / 2) / max);
    }
};

struct Header
{
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitsPerPixel = 0;
    Compression compression = Compression::Rgb;
    std::uint32_t coloursUsed = 0;
    std::uint32_t masks[4] = {}; // red, green, blue, alpha
    std::size_t paletteOffset = 0;
    std::size_t paletteEntryBytes = 4;
};

Result<Header> ReadHeader(ByteReader &reader)
{
    Header header;
    const std::uint32_t size = reader.u32();
    if (size == std::uint32_t(HeaderSize::Core)) {
        header.width = reader.u16();
        header.height = reader.u16();
        reader.skip(2);
        header.bitsPerPixel = reader.u16();
        header.paletteEntryBytes = 3;
    } else if (size >= std::uint32_t(HeaderSize::Info) && size <= 1024) {
        header.width = reader.i32();
        header.height = reader.i32();
        reader.skip(2);
        header.bitsPerPixel = reader.u16();
        header.compression = Compression(reader.u32());
        reader.skip(12); // image size and resolution: not needed to decode
        header.coloursUsed = reader.u32();
        reader.skip(4);
        const bool bitFields = header.compression == Compression::BitFields
                               || header.compression == Compression::AlphaBitFields;
        // A plain info header is followed by its masks; the longer headers
        // hold them (and from 56 bytes on, the alpha mask) themselves.
        const std::size_t maskCount = size >= 56                                          ? 4
                                      : size >= 52                                        ? 3
                                      : !bitFields                                        ? 0
                                      : header.compression == Compression::AlphaBitFields ? 4
                                                                                          : 3;
        for (std::size_t i = 0; i < maskCount; ++i)
            header.masks[i] = reader.u32();
        if (!bitFields)
            header.masks[0] = header.masks[1] = header.masks[2] = header.masks[3] = 0;
    } else {
        return MakeError(ErrorCode::Unsupported, "unknown bitmap header of " + std::to_string(size) + " bytes");
    }
    if (!reader.ok())
        return MakeError(ErrorCode::Malformed, "the bitmap header ends early");
    header.paletteOffset = std::max(reader.position(), kFileHeaderBytes + size);
    return header;
}

// Refuses the compressions and depths the decoder does not read, and a
// bitmap without pixels.
Result<Done> CheckDecodable(const Header &header)
{
    switch (header.compression) {
    case Compression::Rgb:
    case Compression::BitFields:
    case Compression::AlphaBitFields: break;
    case Compression::Rle8:
    case Compression::Rle4:
    case Compression::Jpeg:
    case Compression::Png:
    default:
        return MakeError(ErrorCode::Unsupported,
                         "unsupported bitmap compression " + std::to_string(std::uint32_t(header.compression)));
    }
    const std::uint32_t bpp = header.bitsPerPixel;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return MakeError(ErrorCode::Unsupported, "unsupported bitmap depth " + std::to_string(bpp));
    if (header.width <= 0 || header.height == 0)
        return MakeError(ErrorCode::Malformed, "the bitmap has no pixels");
    return Done{};
}

// The colour table of a bitmap of 8 bits or fewer: as many entries as
// declared (all the depth allows when none are), never more than 256;
// indices beyond it are black.
struct Palette
{
    std::span<const std::uint8_t> entries;
    std::uint32_t size = 0;
};

Result<Palette> ReadPalette(std::span<const std::uint8_t> bytes, const Header &header)
{
    Palette palette;
    const std::uint32_t bpp = header.bitsPerPixel;
    if (bpp > 8)
        return palette;
    palette.size = header.coloursUsed ? std::min<std::uint32_t>(header.coloursUsed, 1u << bpp) : 1u << bpp;
    ByteReader paletteReader(bytes);
    paletteReader.seek(header.paletteOffset);
    palette.entries = paletteReader.take(std::size_t(palette.size) * header.paletteEntryBytes);
    if (!paletteReader.ok())
        return MakeError(ErrorCode::Malformed, "the bitmap palette ends early");
    return palette;
}

// The channels of a 16- or 32-bit pixel: the header's masks, else the
// depth's standard layout (5-5-5, or 8-8-8 with the top byte unused).
void ChooseChannels(const Header &header, Channel (&channels)[4])
{
    const std::uint32_t bpp = header.bitsPerPixel;
    if (bpp != 16 && bpp != 32)
        return;
    const bool masked = header.masks[0] | header.masks[1] | header.masks[2];
    if (masked) {
        for (int c = 0; c < 4; ++c)
            channels[c] = Channel(header.masks[c]);
    } else if (bpp == 16) {
        channels[0] = Channel(0x7C00);
        channels[1] = Channel(0x03E0);
        channels[2] = Channel(0x001F);
    } else {
        channels[0] = Channel(0x00FF0000);
        channels[1] = Channel(0x0000FF00);
        channels[2] = Channel(0x000000FF);
    }
}

// Everything one row of pixels is read with.
struct RowDecoder
{
    const Header &header;
    const Palette &palette;
    const Channel (&channels)[4];

    void decode(const std::uint8_t *in, std::uint64_t width, std::uint32_t y, Picture &picture) const
    {
        const std::uint32_t bpp = header.bitsPerPixel;
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t *out = picture.pixel(x, y);
            out[3] = 255;
            if (bpp <= 8) {
                const std::uint32_t bit = x * bpp;
                const std::uint32_t index = (in[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                if (index < palette.size) {
                    const std::uint8_t *entry = palette.entries.data() + index * header.paletteEntryBytes;
                    out[0] = entry[2];
                    out[1] = entry[1];
                    out[2] = entry[0];
                }
            } else if (bpp == 24) {
                out[0] = in[x * 3 + 2];
                out[1] = in[x * 3 + 1];
                out[2] = in[x * 3];
            } else {
                const std::uint8_t *p = in + x * (bpp / 8);
                const std::uint32_t pixel = bpp == 16 ? std::uint32_t(p[0] | p[1] << 8)
                                                      : std::uint32_t(p[0] | p[1] << 8 | p[2] << 16)
                                                            | std::uint32_t(p[3]) << 24;
                for (int c = 0; c < 4; ++c)
                    out[c] = channels[c].extract(pixel, c == 3 ? 255 : 0);
            }
        }
    }
};

// Many writers declare an alpha mask yet leave every alpha byte 0; such a
// bitmap is meant opaque, as viewers show it.
void OpaqueWhenAlphaUnused(Picture &picture)
{
    for (std::size_t i = 3; i < picture.rgba.size(); i += 4)
        if (picture.rgba[i] != 0)
            return;
    for (std::size_t i = 3; i < picture.rgba.size(); i += 4)
        picture.rgba[i] = 255;
}

} // namespace

bool LooksLikeBmp(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

Result<Picture> DecodeBmp(std::span<const std::uint8_t> bytes, const Limits &limits)
{
    if (!LooksLikeBmp(bytes))
        return MakeError(ErrorCode::UnknownFormat, "not a bitmap file");
    ByteReader reader(bytes);
    reader.skip(10);
    const std::uint32_t pixelOffset = reader.u32();
    Result<Header> read = ReadHeader(reader);
    if (!read)
        return read.error();
    const Header &header = read.value();
    if (Result<Done> decodable = CheckDecodable(header); !decodable)
        return decodable.error();

    const std::uint32_t bpp = header.bitsPerPixel;
    const bool topDown = header.height < 0;
    const std::uint64_t width = std::uint64_t(header.width);
    const std::uint64_t height = std::uint64_t(topDown ? -header.height : header.height);
    Result<Picture> made = AllocatePicture(width, height, limits);
    if (!made)
        return made;
    Picture &picture = made.value();

    Result<Palette> palette = ReadPalette(bytes, header);
    if (!palette)
        return palette.error();

    const std::uint64_t rowBytes = (width * bpp + 7) / 8;
    const std::uint64_t stride = (width * bpp + 31) / 32 * 4;
    // Some writers leave out the padding of the last row.
    const std::uint64_t needed = stride * (height - 1) + rowBytes;
    if (pixelOffset > bytes.size() || needed > bytes.size() - pixelOffset)
        return MakeError(ErrorCode::Malformed, "the bitmap pixels end early");

    Channel channels[4];
    ChooseChannels(header, channels);
    const RowDecoder rows{header, palette.value(), channels};
    for (std::uint64_t row = 0; row < height; ++row) {
        const std::uint32_t y = std::uint32_t(topDown ? row : height - 1 - row);
        rows.decode(bytes.data() + pixelOffset + row * stride, width, y, picture);
    }
    if (channels[3].mask)
        OpaqueWhenAlphaUnused(picture);
    return made;
}

} // namespace NConvert
