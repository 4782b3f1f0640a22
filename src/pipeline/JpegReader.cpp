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

} // namespace

QImage DecodeJpeg(const QByteArray &data, const QSize &atLeast)
{
    if (data.size() < 4 || quint8(data[0]) != 0xFF || quint8(data[1]) != 0xD8)
        return QImage();
    const std::unique_ptr<void, DecompressorCloser> decoder(tjInitDecompress());
    if (!decoder)
        return QImage();
    auto *bytes = reinterpret_cast<unsigned char *>(const_cast<char *>(data.constData()));
    const auto size = static_cast<unsigned long>(data.size());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(decoder.get(), bytes, size, &width, &height, &subsampling, &colourspace) != 0 || width <= 0
        || height <= 0)
        return QImage();
    // CMYK and YCCK need an inversion the general reader knows about.
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK)
        return QImage();
    const tjscalingfactor scale = ChooseScale(width, height, atLeast);
    try {
        // 32-bit RGB in memory is B, G, R, X on little-endian machines.
        QImage picture(TJSCALED(width, scale), TJSCALED(height, scale), QImage::Format_RGB32);
        if (picture.isNull())
            return picture;
        const int format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;
        if (tjDecompress2(decoder.get(), bytes, size, picture.bits(), picture.width(), int(picture.bytesPerLine()),
                          picture.height(), format, 0)
            != 0)
            return QImage();
        return picture;
    } catch (const std::bad_alloc &) {
        return QImage();
    }
}

} // namespace Pipeline
