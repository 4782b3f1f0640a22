#include "PngDecoder.h"

#include <png.h>

#include <algorithm>
#include <string>

namespace NConvert {

namespace {

// Frees libpng's state whichever way the decode ends.
struct ImageGuard
{
    png_image &image;
    ~ImageGuard() { png_image_free(&image); }
};

std::string PngMessage(const png_image &image)
{
    return std::string("PNG: ") + image.message;
}

} // namespace

bool LooksLikePng(std::span<const std::uint8_t> bytes)
{
    static constexpr std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::equal(signature, signature + 8, bytes.begin());
}

Result<Picture> DecodePng(std::span<const std::uint8_t> bytes, const Limits &limits)
{
    if (!LooksLikePng(bytes))
        return MakeError(ErrorCode::UnknownFormat, "not a PNG file");
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    const ImageGuard guard{image};
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        return MakeError(ErrorCode::Malformed, PngMessage(image));

    Result<Picture> made = AllocatePicture(image.width, image.height, limits);
    if (!made)
        return made;
    Picture &picture = made.value();
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr))
        return MakeError(ErrorCode::Malformed, PngMessage(image));
    return made;
}

} // namespace NConvert
