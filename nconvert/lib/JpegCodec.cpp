#include "JpegCodec.h"

#include "tarnwick/JpegCompress.h"

#include <turbojpeg.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace NConvert {

namespace {

struct HandleCloser
{
    void operator()(void *handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

bool HasStrayEndMarker(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD9 && bytes[2] == 0xFF && bytes[3] == 0xD8;
}

std::string DecoderMessage(tjhandle handle)
{
    return std::string("JPEG: ") + tjGetErrorStr2(handle);
}

struct Header
{
    int width = 0;
    int height = 0;
    int colourspace = 0;
};

// The size and colourspace from the frame header; nothing when the decoder
// cannot read it (DecoderMessage says why).
std::optional<Header> ReadHeader(tjhandle handle, std::span<const std::uint8_t> bytes)
{
    Header header;
    int subsampling = 0;
    if (tjDecompressHeader3(handle, bytes.data(), static_cast<unsigned long>(bytes.size()), &header.width,
                            &header.height, &subsampling, &header.colourspace)
        != 0)
        return std::nullopt;
    return header;
}

// Reads the marker segments from the start of the image to the first scan:
// true when exactly one frame header comes first and it is an 8-bit,
// three-component baseline or progressive Huffman frame, and no Exif block
// nor arithmetic-coding table is on the way.
bool HasPassableHeaders(std::span<const std::uint8_t> bytes)
{
    std::size_t at = 2; // after the start-of-image marker
    bool sawFrame = false;
    while (at + 4 <= bytes.size()) {
        if (bytes[at] != 0xFF)
            return false;
        const std::uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        // Segment-less markers (start, end, restarts) have no place before
        // the first scan.
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9))
            return false;
        const std::size_t length = std::size_t(bytes[at + 2]) << 8 | bytes[at + 3];
        if (length < 2 || at + 2 + length > bytes.size())
            return false;
        const std::span<const std::uint8_t> body = bytes.subspan(at + 4, length - 2);
        switch (marker) {
        case 0xC0: // baseline
        case 0xC2: // progressive
            if (sawFrame || body.size() != 6 + 3 * 3 || body[0] != 8 || body[5] != 3)
                return false;
            sawFrame = true;
            break;
        case 0xC1: // extended sequential
        case 0xC3: // lossless
        case 0xC5:
        case 0xC6:
        case 0xC7: // hierarchical
        case 0xC9:
        case 0xCA:
        case 0xCB: // arithmetic-coded
        case 0xCC: // arithmetic-coding conditioning
        case 0xCD:
        case 0xCE:
        case 0xCF: // arithmetic-coded hierarchical
            return false;
        case 0xE1:
            if (body.size() >= 6 && std::memcmp(body.data(), "Exif\0", 6) == 0)
                return false;
            break;
        case 0xDA: // the first scan
            return sawFrame;
        default: break;
        }
        at += 2 + length;
    }
    return false;
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
    auto *data = const_cast<unsigned char *>(bytes.data());
    const unsigned long size = static_cast<unsigned long>(bytes.size());
    const std::optional<Header> header = ReadHeader(handle.get(), bytes);
    if (!header)
        return MakeError(ErrorCode::Malformed, DecoderMessage(handle.get()));
    const int width = header->width;
    const int height = header->height;
    const int colourspace = header->colourspace;

    Result<Picture> made = AllocatePicture(std::uint64_t(std::max(width, 0)), std::uint64_t(std::max(height, 0)),
                                           limits);
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

std::optional<std::span<const std::uint8_t>> PassableJpeg(std::span<const std::uint8_t> bytes, const Limits &limits)
{
    if (HasStrayEndMarker(bytes))
        bytes = bytes.subspan(2);
    if (!LooksLikeJpeg(bytes) || !HasPassableHeaders(bytes))
        return std::nullopt;

    const Handle handle(tjInitDecompress());
    if (!handle)
        return std::nullopt;
    auto *data = const_cast<unsigned char *>(bytes.data());
    const unsigned long size = static_cast<unsigned long>(bytes.size());
    // The colourspace also tells YCbCr from RGB (an Adobe block or R, G, B
    // component names).
    const std::optional<Header> header = ReadHeader(handle.get(), bytes);
    if (!header || header->colourspace != TJCS_YCbCr
        || !CheckPictureSize(std::uint64_t(std::max(header->width, 0)), std::uint64_t(std::max(header->height, 0)),
                             limits))
        return std::nullopt;
    const int width = header->width;
    const int height = header->height;

    // Damage shows while the entropy-coded data is read, at any scale; the
    // smallest one skips most of the decoder's work and memory. Only a
    // clean decode passes: a warning means the encoder would meet the same
    // damage and may read it otherwise than this decoder.
    constexpr tjscalingfactor kEighth{1, 8};
    const int scaledWidth = TJSCALED(width, kEighth);
    const int scaledHeight = TJSCALED(height, kEighth);
    std::vector<unsigned char> luma;
    try {
        luma.resize(std::size_t(scaledWidth) * std::size_t(scaledHeight));
    } catch (const std::bad_alloc &) {
        return std::nullopt;
    }
    if (tjDecompress2(handle.get(), data, size, luma.data(), scaledWidth, 0, scaledHeight, TJPF_GRAY,
                      TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING)
        != 0)
        return std::nullopt;
    return bytes;
}

Result<std::vector<std::uint8_t>> EncodeJpeg(const Picture &picture, int quality)
{
    if (picture.width == 0 || picture.height == 0
        || picture.rgba.size() != std::size_t(picture.width) * picture.height * 4)
        return MakeError(ErrorCode::Malformed, "no picture to encode");
    const Tarnwick::PixelRows rows{picture.rgba.data(), int(picture.width), int(picture.height),
                                   std::size_t(picture.width) * 4, Tarnwick::PixelLayout::Rgbx};
    const auto jpeg = Tarnwick::CompressJpeg(rows, quality);
    if (!jpeg) {
        if (jpeg.error().failure == Tarnwick::JpegFailure::NoEncoder)
            return MakeError(ErrorCode::OutOfMemory, "cannot start the JPEG encoder");
        return MakeError(ErrorCode::WriteFailed, "JPEG: " + jpeg.error().message);
    }
    try {
        return std::vector<std::uint8_t>(jpeg->bytes().begin(), jpeg->bytes().end());
    } catch (const std::bad_alloc &) {
        return MakeError(ErrorCode::OutOfMemory, "not enough memory for the JPEG");
    }
}

} // namespace NConvert
