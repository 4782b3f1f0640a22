#include "Convert.h"

#include "BmpDecoder.h"
#include "FileIo.h"
#include "GifDecoder.h"
#include "JpegCodec.h"
#include "PngDecoder.h"

#include <utility>

namespace NConvert {

namespace {

// Copying saves a decode and an encode, and a generation of loss.
std::optional<Result<Done>> CopyIfPassable(std::span<const std::uint8_t> bytes, const std::string &output,
                                           const Limits &limits)
{
    if (const std::optional<std::span<const std::uint8_t>> jpeg = PassableJpeg(bytes, limits))
        return WriteFileAtomically(output, *jpeg);
    return std::nullopt;
}

} // namespace

Result<Picture> DecodePicture(std::span<const std::uint8_t> bytes, const Limits &limits)
{
    if (LooksLikeJpeg(bytes))
        return DecodeJpeg(bytes, limits);
    if (LooksLikePng(bytes))
        return DecodePng(bytes, limits);
    if (LooksLikeGif(bytes))
        return DecodeGif(bytes, limits);
    if (LooksLikeBmp(bytes))
        return DecodeBmp(bytes, limits);
    return MakeError(ErrorCode::UnknownFormat, "not a picture format we read");
}

bool PassJpegInPlace(const std::string &path, const Limits &limits)
{
    const Result<std::vector<std::uint8_t>> bytes = ReadFileCapped(path, limits);
    if (!bytes)
        return false;
    const std::span<const std::uint8_t> whole(bytes.value());
    const std::optional<std::span<const std::uint8_t>> jpeg = PassableJpeg(whole, limits);
    if (!jpeg)
        return false;
    // Only a stray end marker makes the copy differ from the file.
    return jpeg->size() == whole.size() || WriteFileAtomically(path, *jpeg).ok();
}

Result<Done> ConvertToJpeg(const std::string &input, const std::string &output, int quality, const Limits &limits,
                           Rgb background)
{
    if (quality != kKeepQuality && (quality < 1 || quality > 100))
        return MakeError(ErrorCode::Unsupported, "quality must be 1 to 100");
    Result<std::vector<std::uint8_t>> bytes = ReadFileCapped(input, limits);
    if (!bytes)
        return bytes.error();
    // Copying saves a decode and an encode, and a generation of loss. Such
    // a JPEG is opaque, so the background does not matter.
    if (quality == kKeepQuality) {
        if (std::optional<Result<Done>> copied = CopyIfPassable(bytes.value(), output, limits))
            return std::move(*copied);
    }
    Result<Picture> picture = DecodePicture(bytes.value(), limits);
    if (!picture)
        return picture.error();
    std::vector<std::uint8_t>().swap(bytes.value()); // the file is no longer needed
    FlattenOnto(picture.value(), background);
    Result<std::vector<std::uint8_t>> jpeg = EncodeJpeg(picture.value(),
                                                        quality == kKeepQuality ? kDefaultQuality : quality);
    if (!jpeg)
        return jpeg.error();
    return WriteFileAtomically(output, jpeg.value());
}

} // namespace NConvert
