#include "JpegReader.h"

#include <turbojpeg.h>

#include <memory>
#include <new>

namespace Pipeline {

namespace {

struct DecompressorCloser
{
    void operator()(void *handle) const { tjDestroy(handle); }
};
using Decompressor = std::unique_ptr<void, DecompressorCloser>;

// The reductions used, largest first; each must be one the decoder offers.
constexpr tjscalingfactor kReductions[] = {{1, 2}, {1, 4}, {1, 8}};

tjscalingfactor ChooseScale(int width, int height, const QSize &atLeast)
{
    tjscalingfactor chosen{1, 1};
    if (!atLeast.isValid())
        return chosen;
    for (const tjscalingfactor factor : kReductions) {
        if (TJSCALED(width, factor) < atLeast.width() || TJSCALED(height, factor) < atLeast.height())
            break;
        chosen = factor;
    }
    return chosen;
}

unsigned char *BytesOf(const QByteArray &data)
{
    return reinterpret_cast<unsigned char *>(const_cast<char *>(data.constData()));
}

struct Header
{
    int width = 0;
    int height = 0;
    int colourspace = 0;
};

std::optional<Header> ReadHeader(void *decoder, const QByteArray &data)
{
    if (!decoder || data.size() < 4 || quint8(data[0]) != 0xFF || quint8(data[1]) != 0xD8)
        return std::nullopt;
    Header header;
    int subsampling = 0;
    if (tjDecompressHeader3(decoder, BytesOf(data), static_cast<unsigned long>(data.size()), &header.width,
                            &header.height, &subsampling, &header.colourspace)
            != 0
        || header.width <= 0 || header.height <= 0)
        return std::nullopt;
    return header;
}

} // namespace

std::optional<QSize> ReadJpegSize(const QByteArray &data)
{
    const Decompressor decoder(tjInitDecompress());
    const std::optional<Header> header = ReadHeader(decoder.get(), data);
    if (!header)
        return std::nullopt;
    return QSize(header->width, header->height);
}

bool DecodeJpeg(const QByteArray &data, const QSize &atLeast, NConvert::Picture &into)
{
    const Decompressor decoder(tjInitDecompress());
    const std::optional<Header> header = ReadHeader(decoder.get(), data);
    // CMYK and YCCK need an inversion the converter's decoder knows about.
    if (!header || header->colourspace == TJCS_CMYK || header->colourspace == TJCS_YCCK)
        return false;
    const tjscalingfactor scale = ChooseScale(header->width, header->height, atLeast);
    try {
        into.width = std::uint32_t(TJSCALED(header->width, scale));
        into.height = std::uint32_t(TJSCALED(header->height, scale));
        into.rgba.resize(std::size_t(into.width) * into.height * 4);
        return tjDecompress2(decoder.get(), BytesOf(data), static_cast<unsigned long>(data.size()), into.rgba.data(),
                             int(into.width), int(into.width) * 4, int(into.height), TJPF_RGBA, 0)
               == 0;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

} // namespace Pipeline
