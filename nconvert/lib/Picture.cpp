#include "Picture.h"

#include <new>
#include <string>

namespace NConvert {

Result<Done> CheckPictureSize(std::uint64_t width, std::uint64_t height, const Limits &limits)
{
    if (width == 0 || height == 0)
        return MakeError(ErrorCode::Malformed, "the picture has no pixels");
    if (width > limits.maxSide || height > limits.maxSide || width * height > limits.maxPixels)
        return MakeError(ErrorCode::TooLarge,
                         "the picture is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    return Done{};
}

Result<Picture> AllocatePicture(std::uint64_t width, std::uint64_t height, const Limits &limits)
{
    if (Result<Done> fits = CheckPictureSize(width, height, limits); !fits)
        return fits.error();
    Picture picture;
    picture.width = std::uint32_t(width);
    picture.height = std::uint32_t(height);
    try {
        picture.rgba.assign(std::size_t(width * height * 4), 0);
    } catch (const std::bad_alloc &) {
        return MakeError(ErrorCode::OutOfMemory, "not enough memory for the picture");
    }
    return picture;
}

void FlattenOnto(Picture &picture, Rgb background)
{
    const unsigned under[3] = {background.red, background.green, background.blue};
    for (std::size_t i = 0; i + 3 < picture.rgba.size(); i += 4) {
        const unsigned alpha = picture.rgba[i + 3];
        if (alpha == 255)
            continue;
        for (int c = 0; c < 3; ++c)
            picture.rgba[i + c] = std::uint8_t((picture.rgba[i + c] * alpha + under[c] * (255 - alpha) + 127) / 255);
        picture.rgba[i + 3] = 255;
    }
}

} // namespace NConvert
