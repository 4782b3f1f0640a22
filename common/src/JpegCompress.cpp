#include "tarnwick/JpegCompress.h"

#include <turbojpeg.h>

namespace Tarnwick {

namespace {

struct CompressorCloser
{
    void operator()(void *handle) const { tjDestroy(handle); }
};

} // namespace

void JpegBytes::Free::operator()(unsigned char *data) const
{
    tjFree(data);
}

Result<JpegBytes, JpegError> CompressJpeg(const PixelRows &pixels, int quality)
{
    const std::unique_ptr<void, CompressorCloser> compressor(tjInitCompress());
    if (!compressor)
        return JpegError{JpegFailure::NoEncoder, tjGetErrorStr2(nullptr)};
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    const int pixelFormat = pixels.layout == PixelLayout::Bgrx ? TJPF_BGRX : TJPF_RGBX;
    const int status = tjCompress2(compressor.get(), pixels.data, pixels.width, int(pixels.stride), pixels.height,
                                   pixelFormat, &buffer, &size, TJSAMP_444, quality, TJFLAG_ACCURATEDCT);
    JpegBytes jpeg;
    jpeg.m_data.reset(buffer);
    jpeg.m_size = std::size_t(size);
    if (status != 0)
        return JpegError{JpegFailure::Refused, tjGetErrorStr2(compressor.get())};
    return jpeg;
}

} // namespace Tarnwick
