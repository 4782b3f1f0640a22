#include "tarnwick/JpegCompress.h"

#include <turbojpeg.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace Tarnwick;

namespace {

constexpr int kWidth = 24;
constexpr int kHeight = 16;

// Red across, green down, blue in stripes, in four-byte pixels of the given
// layout, rows `stride` bytes apart with 0xEE in the padding.
std::vector<std::uint8_t> Pattern(PixelLayout layout, std::size_t stride)
{
    std::vector<std::uint8_t> pixels(stride * kHeight, 0xEE);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t *p = pixels.data() + std::size_t(y) * stride + std::size_t(x) * 4;
            const std::uint8_t red = std::uint8_t(x * 10);
            const std::uint8_t blue = (x / 4) % 2 ? 200 : 40;
            p[0] = layout == PixelLayout::Rgbx ? red : blue;
            p[1] = std::uint8_t(y * 15);
            p[2] = layout == PixelLayout::Rgbx ? blue : red;
            p[3] = 0x5A; // ignored
        }
    }
    return pixels;
}

struct Decoded
{
    int width = 0;
    int height = 0;
    int subsampling = -1;
    std::vector<std::uint8_t> rgb;
};

Decoded Decode(std::span<const std::uint8_t> jpeg)
{
    Decoded decoded;
    const std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
    int colourspace = 0;
    auto *data = const_cast<unsigned char *>(jpeg.data());
    if (tjDecompressHeader3(handle.get(), data, jpeg.size(), &decoded.width, &decoded.height, &decoded.subsampling,
                            &colourspace)
        != 0)
        return decoded;
    decoded.rgb.resize(std::size_t(decoded.width) * std::size_t(decoded.height) * 3);
    if (tjDecompress2(handle.get(), data, jpeg.size(), decoded.rgb.data(), decoded.width, 0, decoded.height, TJPF_RGB,
                      0)
        != 0)
        decoded.rgb.clear();
    return decoded;
}

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t> &pixels, PixelLayout layout, std::size_t stride,
                                   int quality = 100)
{
    const auto jpeg = CompressJpeg(PixelRows{pixels.data(), kWidth, kHeight, stride, layout}, quality);
    EXPECT_TRUE(jpeg.ok());
    if (!jpeg)
        return {};
    return {jpeg->bytes().begin(), jpeg->bytes().end()};
}

} // namespace

TEST(CompressJpeg, DecodesToThePixelsAtFullColourResolution)
{
    const std::vector<std::uint8_t> pixels = Pattern(PixelLayout::Rgbx, kWidth * 4);
    const Decoded decoded = Decode(Compress(pixels, PixelLayout::Rgbx, kWidth * 4));
    ASSERT_EQ(decoded.width, kWidth);
    ASSERT_EQ(decoded.height, kHeight);
    EXPECT_EQ(decoded.subsampling, TJSAMP_444);
    ASSERT_FALSE(decoded.rgb.empty());
    int largest = 0;
    for (std::size_t i = 0; i < std::size_t(kWidth) * kHeight; ++i)
        for (std::size_t c = 0; c < 3; ++c)
            largest = std::max(largest, std::abs(int(decoded.rgb[i * 3 + c]) - int(pixels[i * 4 + c])));
    // Quality 100 with 4:4:4 keeps the blue stripes' sharp edges too.
    EXPECT_LE(largest, 6);
}

TEST(CompressJpeg, LayoutAndRowPaddingDoNotChangeTheFile)
{
    const std::size_t tight = kWidth * 4;
    const std::vector<std::uint8_t> reference = Compress(Pattern(PixelLayout::Rgbx, tight), PixelLayout::Rgbx, tight);
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(Compress(Pattern(PixelLayout::Bgrx, tight), PixelLayout::Bgrx, tight), reference);
    EXPECT_EQ(Compress(Pattern(PixelLayout::Rgbx, tight + 12), PixelLayout::Rgbx, tight + 12), reference);
    // Reading BGRX pixels as RGBX swaps red and blue, which must show.
    EXPECT_NE(Compress(Pattern(PixelLayout::Bgrx, tight), PixelLayout::Rgbx, tight), reference);
}

TEST(CompressJpeg, LowerQualityMakesASmallerFile)
{
    const std::vector<std::uint8_t> pixels = Pattern(PixelLayout::Rgbx, kWidth * 4);
    EXPECT_LT(Compress(pixels, PixelLayout::Rgbx, kWidth * 4, 30).size(),
              Compress(pixels, PixelLayout::Rgbx, kWidth * 4, 100).size());
}

TEST(CompressJpeg, RefusalsCarryTheEncodersWords)
{
    const std::vector<std::uint8_t> pixels = Pattern(PixelLayout::Rgbx, kWidth * 4);
    const PixelRows rows{pixels.data(), kWidth, kHeight, kWidth * 4, PixelLayout::Rgbx};
    PixelRows empty = rows;
    empty.width = 0;
    PixelRows none = rows;
    none.data = nullptr;
    const struct
    {
        const char *name;
        PixelRows rows;
        int quality;
    } cases[] = {{"no columns", empty, 90}, {"no pixels", none, 90}, {"quality 101", rows, 101}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto jpeg = CompressJpeg(c.rows, c.quality);
        ASSERT_FALSE(jpeg.ok());
        EXPECT_EQ(jpeg.error().failure, JpegFailure::Refused);
        EXPECT_FALSE(jpeg.error().message.empty());
    }
}
