#include "SwfTestKit.h"

#include "TempFolder.h"

#include "swfextract/lib/Extraction.h"
#include "swfextract/lib/Picture.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <array>
#include <cmath>

using namespace SwfTestKit;
using SwfBuild::BuildSwf;
using SwfBuild::SplitJpegTables;
using SwfBuild::Tags;
using SwfExtract::Limits;
using SwfExtract::Movie;
using SwfExtract::Result;

namespace {

using Argb = std::array<std::uint8_t, 4>;

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

const Bytes kEoiSoi = {0xFF, 0xD9, 0xFF, 0xD8};

// A JPEG with an APP1 (EXIF-like) segment after SOI whose payload holds the
// bytes FF D9 FF D8: a repair that searches bytes instead of walking markers
// would cut them and break the file.
Bytes WithAppSegmentHoldingEoiSoi(const Bytes &jpeg)
{
    const Bytes segment = {0xFF, 0xE1, 0x00, 0x0C, 'E', 'x', 'i', 'f', 0, 0, 0xFF, 0xD9, 0xFF, 0xD8};
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// Straight colour the PNG must hold for a premultiplied colour.
int Straight(int colour, int alpha)
{
    return alpha == 0 ? 0 : std::min(255, int(std::lround(colour * 255.0 / alpha)));
}

QImage Expected(int width, int height, const std::vector<Argb> &straightArgb)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int i = 0; i < width * height; ++i) {
        const Argb &p = straightArgb[std::size_t(i)];
        image.setPixel(i % width, i / width, qRgba(p[1], p[2], p[3], p[0]));
    }
    return image;
}

Movie LoadOrFail(const Bytes &file)
{
    Result<Movie> movie = LoadMovie(file);
    EXPECT_TRUE(movie.ok()) << (movie.ok() ? "" : movie.error().text());
    return movie.ok() ? std::move(*movie) : Movie();
}

} // namespace

TEST(JpegPictures, EveryJpegVariantDecodesToThePictureThatWentIn)
{
    const QImage source = Pattern(40, 24);
    const Bytes jpeg = EncodeJpeg(source);
    const QImage reference = Decode(jpeg);
    ASSERT_FALSE(reference.isNull());
    const auto [tables, image] = SplitJpegTables(jpeg);
    ASSERT_TRUE(Decode(image).isNull()) << "the image part alone must not be a JPEG";

    struct Case
    {
        const char *name;
        Tags tags;
        bool sameBytes; // the payload is already a clean JPEG: written unchanged
    };
    std::vector<Case> cases;
    cases.push_back({"DefineBits after JPEGTables", Tags().jpegTables(tables).defineBits(1, image).end(), false});
    cases.push_back({"DefineBits before JPEGTables", Tags().defineBits(1, image).jpegTables(tables).end(), false});
    cases.push_back({"DefineBits and JPEGTables with erroneous headers",
                     Tags().jpegTables(Join({kEoiSoi, tables})).defineBits(1, Join({kEoiSoi, image})).end(), false});
    cases.push_back({"JPEG2 clean", Tags().defineBitsJpeg2(1, jpeg).end(), true});
    cases.push_back(
        {"JPEG2 as FFmpeg writes it", Tags().defineBitsJpeg2(1, Join({{0xFF, 0xD8, 0xFF, 0xD9}, jpeg})).end(), false});
    cases.push_back({"JPEG2 tables and image glued", Tags().defineBitsJpeg2(1, Join({tables, image})).end(), false});
    cases.push_back({"JPEG2 erroneous header", Tags().defineBitsJpeg2(1, Join({kEoiSoi, jpeg})).end(), false});
    cases.push_back({"JPEG2 without EOI", Tags().defineBitsJpeg2(1, Bytes(jpeg.begin(), jpeg.end() - 2)).end(), false});
    cases.push_back(
        {"JPEG3 whose alpha plane has the wrong size", Tags().defineBitsJpeg3(1, jpeg, Bytes(7, 0x80)).end(), true});
    cases.push_back({"JPEG4 with an empty alpha plane", Tags().defineBitsJpeg4(1, jpeg, {}, 0x0100).end(), true});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Movie movie = LoadOrFail(BuildSwf(c.tags));
        ASSERT_EQ(movie.definitions.size(), 1u);
        const Result<Bytes> out = PictureBytes(movie, 0);
        ASSERT_TRUE(out.ok()) << out.error().text();
        const QImage decoded = Decode(*out);
        ASSERT_FALSE(decoded.isNull());
        EXPECT_EQ(MaxChannelDifference(decoded, reference), 0);
        if (c.sameBytes) {
            EXPECT_EQ(*out, jpeg);
        }
    }
}

TEST(JpegPictures, MarkersInsideSegmentsStayIntact)
{
    const Bytes jpeg = WithAppSegmentHoldingEoiSoi(EncodeJpeg(Pattern(16, 16)));
    ASSERT_FALSE(Decode(jpeg).isNull());
    for (const Bytes &payload : {jpeg, Join({kEoiSoi, jpeg})}) {
        const Movie movie = LoadOrFail(BuildSwf(Tags().defineBitsJpeg2(4, payload).end()));
        const Result<Bytes> out = PictureBytes(movie, 0);
        ASSERT_TRUE(out.ok());
        EXPECT_EQ(*out, jpeg);
    }
}

TEST(JpegPictures, PngAndGifPayloadsAreWrittenAsTheyAre)
{
    const Bytes png = EncodePng(Pattern(9, 7));
    // A 1x1 GIF89a, written by hand.
    const Bytes gif = {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xFF, 0, 0, 0,   0,
                       0,   0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 1, 0, 0x3B};
    struct Case
    {
        const char *name;
        Tags tags;
        Bytes expected;
        SwfExtract::PictureFormat format;
    };
    const Case cases[] = {
        {"PNG in JPEG2", Tags().defineBitsJpeg2(2, png).end(), png, SwfExtract::PictureFormat::Png},
        {"GIF in JPEG2", Tags().defineBitsJpeg2(2, gif).end(), gif, SwfExtract::PictureFormat::Gif},
        {"PNG in JPEG3 with alpha (ignored)", Tags().defineBitsJpeg3(2, png, Bytes(63, 0x10)).end(), png,
         SwfExtract::PictureFormat::Png},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Movie movie = LoadOrFail(BuildSwf(c.tags));
        const Result<SwfExtract::Picture> picture = SwfExtract::Picture::prepare(movie, movie.definitions[0], Limits());
        ASSERT_TRUE(picture.ok());
        EXPECT_EQ(picture->format(), c.format);
        EXPECT_FALSE(picture->decodedWithAlpha());
        const Result<Bytes> out = PictureBytes(movie, 0);
        ASSERT_TRUE(out.ok());
        EXPECT_EQ(*out, c.expected);
        EXPECT_FALSE(Decode(*out).isNull());
    }
    const Movie garbage = LoadOrFail(BuildSwf(Tags().defineBitsJpeg2(3, {1, 2, 3, 4, 5}).end()));
    EXPECT_FALSE(PictureBytes(garbage, 0).ok());
}

TEST(JpegPictures, AlphaPlaneMakesAPngWithThatAlpha)
{
    // Three bands: opaque, half transparent (colours stored premultiplied,
    // as Flash wants them), fully transparent.
    const int width = 48;
    const int height = 16;
    const QColor opaque(200, 100, 40);
    QImage colours(width, height, QImage::Format_RGB32);
    Bytes alpha;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int band = x / 16;
            const int a = band == 0 ? 255 : band == 1 ? 128 : 0;
            colours.setPixel(x, y, qRgb(opaque.red() * a / 255, opaque.green() * a / 255, opaque.blue() * a / 255));
            alpha.push_back(std::uint8_t(a));
        }
    const Bytes jpeg = EncodeJpeg(colours, 100);

    TempFolder tmp;
    for (const bool jpeg4 : {false, true}) {
        SCOPED_TRACE(jpeg4 ? "JPEG4" : "JPEG3");
        Tags tags;
        if (jpeg4)
            tags.defineBitsJpeg4(5, jpeg, alpha, 0x0080);
        else
            tags.defineBitsJpeg3(5, jpeg, alpha);
        const Movie movie = LoadOrFail(BuildSwf(tags.end()));
        SwfExtract::Request request;
        request.jpegIds = {5};
        request.out = (tmp.path() + QStringLiteral("/x_%d.jpg")).toStdString();
        const SwfExtract::ExtractionReport report = SwfExtract::Extract(movie, request, Limits());
        ASSERT_TRUE(report.ok()) << report.failures.front();
        ASSERT_EQ(report.written.size(), 1u);
        EXPECT_EQ(report.written[0], (tmp.path() + QStringLiteral("/x_5.png")).toStdString());
        EXPECT_FALSE(QFileInfo::exists(tmp.file(QStringLiteral("x_5.jpg"))));

        const QImage png = Decode(ReadFile(tmp.file(QStringLiteral("x_5.png")))).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(png.size(), QSize(width, height));
        for (int band = 0; band < 3; ++band) {
            SCOPED_TRACE(band);
            const QRgb p = png.pixel(band * 16 + 8, 8);
            const int a = band == 0 ? 255 : band == 1 ? 128 : 0;
            EXPECT_EQ(qAlpha(p), a);
            const int tolerance = a == 0 ? 0 : 6;
            EXPECT_NEAR(qRed(p), a ? opaque.red() : 0, tolerance);
            EXPECT_NEAR(qGreen(p), a ? opaque.green() : 0, tolerance);
            EXPECT_NEAR(qBlue(p), a ? opaque.blue() : 0, tolerance);
        }
    }
}

TEST(JpegPictures, OutputNameBecomesPngForAlphaPictures)
{
    const std::pair<const char *, const char *> names[] = {
        {"x_5.jpg", "x_5.png"}, {"X.JPEG", "X.png"}, {"a.jpe", "a.png"},
        {"pic", "pic.png"},     {"p.png", "p.png"},  {"dir.jpg/pic", "dir.jpg/pic.png"},
    };
    for (const auto &[in, out] : names)
        EXPECT_EQ(SwfExtract::WithPngExtension(in), out) << in;
    EXPECT_EQ(SwfExtract::OutputName("a_%d.jpg", 7, 1), "a_7.jpg");
    EXPECT_EQ(SwfExtract::OutputName("a_%d.jpg", 0, 3), "a_0.3.jpg");
    EXPECT_EQ(SwfExtract::OutputName("%d/%d", 12, 2), "12.2/12.2");
    EXPECT_EQ(SwfExtract::OutputName("plain.jpg", 12, 2), "plain.jpg");
}

TEST(LosslessPictures, EveryFormatComesOutExact)
{
    struct Case
    {
        std::string name;
        Tags tags;
        QImage expected;
        int tolerance = 0;
    };
    std::vector<Case> cases;

    // Palette pictures with widths that need 3, 2, 1 and 3 padding bytes.
    const std::vector<Argb> rgbPalette = {Argb{10, 20, 30, 0}, Argb{200, 0, 0, 0}, Argb{0, 200, 0, 0},
                                          Argb{0, 0, 200, 0}};
    for (std::uint16_t width : {1, 2, 3, 5}) {
        const std::uint16_t height = 3;
        std::vector<std::uint8_t> indices;
        std::vector<Argb> expected;
        for (int i = 0; i < width * height; ++i) {
            // Index 5 is past the 4-entry palette: black.
            const std::uint8_t index = i == width * height - 1 ? 5 : std::uint8_t((i + i / width) % 4);
            indices.push_back(index);
            const Argb entry = index < 4 ? rgbPalette[index] : Argb{0, 0, 0, 0};
            expected.push_back({255, entry[0], entry[1], entry[2]});
        }
        cases.push_back({"Lossless palette, width " + std::to_string(width),
                         Tags()
                             .defineBitsLossless(1, 3, width, height,
                                                 SwfBuild::EncodePalette(width, height, rgbPalette, indices, false), 3)
                             .end(),
                         Expected(width, height, expected)});
    }

    // 15-bit: odd widths carry two padding bytes per row.
    for (std::uint16_t width : {1, 3}) {
        const std::uint16_t height = 2;
        std::vector<std::uint16_t> words;
        std::vector<Argb> expected;
        for (int i = 0; i < width * height; ++i) {
            const int r = (i * 7) % 32, g = (i * 13 + 5) % 32, b = 31 - i % 32;
            words.push_back(std::uint16_t(r << 10 | g << 5 | b));
            auto widen = [](int v) { return std::uint8_t(std::lround(v * 255.0 / 31)); };
            expected.push_back({255, widen(r), widen(g), widen(b)});
        }
        cases.push_back(
            {"Lossless 15-bit, width " + std::to_string(width),
             Tags().defineBitsLossless(1, 4, width, height, SwfBuild::EncodeRgb15(width, height, words)).end(),
             Expected(width, height, expected), 1});
    }

    // 24-bit in 32: the first byte is reserved and ignored.
    const std::vector<Argb> xrgb = {Argb{0, 1, 2, 3}, Argb{77, 250, 128, 0}, Argb{0, 9, 99, 199}};
    std::vector<Argb> opaque = xrgb;
    for (Argb &p : opaque)
        p[0] = 255;
    cases.push_back({"Lossless 24-bit", Tags().defineBitsLossless(1, 5, 3, 1, SwfBuild::EncodeArgb(xrgb)).end(),
                     Expected(3, 1, opaque)});

    // Lossless2: colours are premultiplied; a colour above its alpha is
    // malformed and must not wrap around.
    const std::vector<Argb> argb = {Argb{255, 10, 20, 30}, Argb{0, 50, 60, 70}, Argb{128, 64, 32, 128},
                                    Argb{100, 200, 10, 100}, Argb{1, 1, 0, 1}};
    std::vector<Argb> straight;
    for (const Argb &p : argb)
        straight.push_back({p[0], std::uint8_t(Straight(p[1], p[0])), std::uint8_t(Straight(p[2], p[0])),
                            std::uint8_t(Straight(p[3], p[0]))});
    cases.push_back({"Lossless2 ARGB", Tags().defineBitsLossless2(1, 5, 5, 1, SwfBuild::EncodeArgb(argb)).end(),
                     Expected(5, 1, straight)});

    // Lossless2 palette: RGBA entries, premultiplied like ARGB pixels.
    std::vector<Argb> rgbaPalette;
    for (const Argb &p : argb)
        rgbaPalette.push_back({p[1], p[2], p[3], p[0]});
    const std::vector<std::uint8_t> indices = {0, 1, 2, 3, 4, 4, 3, 2, 1, 0, 9};
    std::vector<Argb> expected;
    for (std::uint8_t index : indices)
        expected.push_back(index < argb.size() ? straight[index] : Argb{0, 0, 0, 0});
    cases.push_back({"Lossless2 palette, index past the end transparent",
                     Tags()
                         .defineBitsLossless2(1, 3, 11, 1, SwfBuild::EncodePalette(11, 1, rgbaPalette, indices, true),
                                              std::uint8_t(rgbaPalette.size() - 1))
                         .end(),
                     Expected(11, 1, expected)});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Movie movie = LoadOrFail(BuildSwf(c.tags));
        const Result<Bytes> out = PictureBytes(movie, 0);
        ASSERT_TRUE(out.ok()) << out.error().text();
        const QImage decoded = Decode(*out);
        ASSERT_EQ(decoded.size(), c.expected.size());
        EXPECT_LE(MaxChannelDifference(decoded, c.expected), c.tolerance);
    }
}

TEST(LosslessPictures, SizeLimitAndBadHeadersAreRefusedBeforeDecoding)
{
    Limits limits;
    limits.maxPicturePixels = 100;
    const Bytes tiny = {0, 1, 2, 3};
    struct Case
    {
        const char *name;
        std::uint8_t format;
        std::uint16_t width;
        std::uint16_t height;
        bool lossless2;
        bool ok;
    };
    const Case cases[] = {
        {"cap - 1 pixels", 5, 11, 9, false, true},     {"cap pixels", 5, 10, 10, false, true},
        {"cap + 1 pixels", 5, 101, 1, false, false},   {"65535 x 65535", 5, 65535, 65535, false, false},
        {"zero width", 5, 0, 10, false, false},        {"zero height", 3, 10, 0, false, false},
        {"15-bit in Lossless2", 4, 2, 2, true, false}, {"format 6", 6, 2, 2, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Tags tags;
        if (c.lossless2)
            tags.defineBitsLossless2(1, c.format, c.width, c.height, tiny);
        else
            tags.defineBitsLossless(1, c.format, c.width, c.height, tiny);
        const Movie movie = LoadOrFail(BuildSwf(tags.end()));
        const Result<SwfExtract::Picture> picture = SwfExtract::Picture::prepare(movie, movie.definitions[0], limits);
        EXPECT_EQ(picture.ok(), c.ok) << (picture.ok() ? "" : picture.error().text());
    }
}

TEST(LosslessPictures, CutBitmapDataKeepsTheRowsThatArrived)
{
    const std::uint16_t width = 8, height = 6;
    std::vector<Argb> pixels(width * height, Argb{255, 90, 80, 70});
    const Bytes compressed = SwfBuild::ZlibCompress(SwfBuild::EncodeArgb(pixels));
    // The tag holds the header fields then a zlib stream cut in half.
    Bytes body = {7, 0, 5, width, 0, height, 0};
    body.insert(body.end(), compressed.begin(), compressed.begin() + std::ptrdiff_t(compressed.size() / 2));
    const Movie movie = LoadOrFail(BuildSwf(Tags().tag(36, body, true).end()));
    const Result<SwfExtract::Picture> picture = SwfExtract::Picture::prepare(movie, movie.definitions[0], Limits());
    ASSERT_TRUE(picture.ok());
    SwfExtract::VectorSink sink;
    bool partial = false;
    std::string note;
    ASSERT_TRUE(picture->write(movie, sink, partial, note).ok());
    EXPECT_TRUE(partial);
    EXPECT_NE(note.find("of 6"), std::string::npos) << note;
    const QImage decoded = Decode(sink.bytes).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(decoded.size(), QSize(width, height));
    EXPECT_EQ(decoded.pixel(0, height - 1), qRgba(0, 0, 0, 0));
}
