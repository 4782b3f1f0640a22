#include "JpegCodec.h"

#include <turbojpeg.h>

#include <memory>
#include <new>
#include <string>

namespace NConvert {

namespace {

struct HandleCloser
{
    void operator()(void *handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct BufferFreer
{
    void operator()(unsigned char *buffer) const { tjFree(buffer); }
};

bool HasStrayEndMarker(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD9 && bytes[2] == 0xFF && bytes[3] == 0xD8;
}

std::string DecoderMessage(tjhandle handle)
{
    return std::string("JPEG: ") + tjGetErrorStr2(handle);
}

} // namespace

bool LooksLikeJpeg(std::span<const std::uint8_t> bytes)
{
    return (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) || HasStrayEndMarker(bytes);
}

Result<Picture> DecodeJpeg(std::span<const std::uint8_t> bytes, const Limits &limits)
{
    // Pictures from SWF files written by early Flash tools start with an
    // end-of-image marker before the real start; decoders stop at it.
    if (HasStrayEndMarker(bytes))
        bytes = bytes.subspan(2);
    if (!LooksLikeJpeg(bytes))
        return MakeError(ErrorCode::UnknownFormat, "not a JPEG file");

    const Handle handle(tjInitDecompress());
    if (!handle)
        return MakeError(ErrorCode::OutOfMemory, "cannot start the JPEG decoder");
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    auto *data = const_cast<unsigned char *>(bytes.data());
    const unsigned long size = static_cast<unsigned long>(bytes.size());
    if (tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling, &colourspace) != 0)
        return MakeError(ErrorCode::Malformed, DecoderMessage(handle.get()));

    Result<Picture> made = AllocatePicture(std::uint64_t(std::max(width, 0)), std::uint64_t(std::max(height, 0)), limits);
    if (!made)
        return made;
    Picture &picture = made.value();

    // A progressive file with thousands of tiny scans costs minutes to
    // decode; the scan limit refuses it.
    const int flags = TJFLAG_LIMITSCANS;
    const bool cmyk = colourspace == TJCS_CMYK || colourspace == TJCS_YCCK;
    const int format = cmyk ? TJPF_CMYK : TJPF_RGBA;
    if (tjDecompress2(handle.get(), data, size, picture.rgba.data(), width, 0, height, format, flags) != 0) {
        // A warning (data ended early, a corrupt stretch) still leaves a
        // usable picture; an error does not.
        if (tjGetErrorCode(handle.get()) != TJERR_WARNING)
            return MakeError(ErrorCode::Malformed, DecoderMessage(handle.get()));
    }
    if (cmyk) {
        // Adobe writes CMYK inverted, which is how every such JPEG in the
        // wild is stored: the values are already 255 - ink.
        for (std::size_t i = 0; i + 3 < picture.rgba.size(); i += 4) {
            const unsigned k = picture.rgba[i + 3];
            for (int c = 0; c < 3; ++c)
                picture.rgba[i + c] = std::uint8_t((picture.rgba[i + c] * k + 127) / 255);
            picture.rgba[i + 3] = 255;
        }
    }
    return made;
}

Result<std::vector<std::uint8_t>> EncodeJpeg(const Picture &picture, int quality)
{
    if (picture.width == 0 || picture.height == 0 || picture.rgba.size() != std::size_t(picture.width) * picture.height * 4)
        return MakeError(ErrorCode::Malformed, "no picture to encode");
    const Handle handle(tjInitCompress());
    if (!handle)
        return MakeError(ErrorCode::OutOfMemory, "cannot start the JPEG encoder");
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(handle.get(), picture.rgba.data(), int(picture.width), 0, int(picture.height),
                                   TJPF_RGBX, &buffer, &size, TJSAMP_444, quality, TJFLAG_ACCURATEDCT);
    const std::unique_ptr<unsigned char, BufferFreer> owned(buffer);
    if (status != 0)
        return MakeError(ErrorCode::WriteFailed, DecoderMessage(handle.get()));
    try {
        return std::vector<std::uint8_t>(buffer, buffer + size);
    } catch (const std::bad_alloc &) {
        return MakeError(ErrorCode::OutOfMemory, "not enough memory for the JPEG");
    }
}

} // namespace NConvert
