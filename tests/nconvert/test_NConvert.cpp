#include "lib/Convert.h"

#include "PictureBuilders.h"
#include "TempFolder.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QProcess>

#include <gtest/gtest.h>

#include <random>
#include <span>
#include <string>

using namespace NConvert;

namespace {

constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kGreen = 0xFF00FF00;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;

std::span<const std::uint8_t> Bytes(const QByteArray &bytes)
{
    return {reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())};
}

std::string Text(const QString &text)
{
    return text.toStdString();
}

// 40 x 30 in four quadrants: red, green / blue, white.
QImage Quadrants(QImage::Format format = QImage::Format_RGB32)
{
    QImage image(40, 30, format);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(0, 0, 20, 15, QColor::fromRgba(kRed));
    painter.fillRect(20, 0, 20, 15, QColor::fromRgba(kGreen));
    painter.fillRect(0, 15, 20, 15, QColor::fromRgba(kBlue));
    painter.fillRect(20, 15, 20, 15, QColor::fromRgba(kWhite));
    return image;
}

struct Expected
{
    int x;
    int y;
    QRgb colour;
};

const std::vector<Expected> kQuadrantCentres = {{10, 7, kRed}, {30, 7, kGreen}, {10, 22, kBlue}, {30, 22, kWhite}};

QRgb PixelOf(const Picture &picture, int x, int y)
{
    const std::uint8_t *p = picture.rgba.data() + (std::size_t(y) * picture.width + std::size_t(x)) * 4;
    return qRgba(p[0], p[1], p[2], p[3]);
}

void ExpectNear(QRgb actual, QRgb expected, int tolerance)
{
    EXPECT_NEAR(qRed(actual), qRed(expected), tolerance);
    EXPECT_NEAR(qGreen(actual), qGreen(expected), tolerance);
    EXPECT_NEAR(qBlue(actual), qBlue(expected), tolerance);
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString EndFrameBitmapPath()
{
    return QStringLiteral(TARNWICK_BIN_DIR "/../resources/custom/104.bmp");
}

GifSpec QuadrantGif()
{
    GifSpec spec;
    spec.screenWidth = spec.width = 40;
    spec.screenHeight = spec.height = 30;
    spec.globalColours = {kRed, kGreen, kBlue, kWhite};
    spec.minCodeSize = 2;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            spec.indices.push_back(std::uint8_t((y >= 15 ? 2 : 0) + (x >= 20 ? 1 : 0)));
    return spec;
}

BmpSpec QuadrantBmp(int bitsPerPixel)
{
    BmpSpec spec;
    spec.width = 40;
    spec.height = 30;
    spec.bitsPerPixel = bitsPerPixel;
    const QImage image = Quadrants();
    if (bitsPerPixel <= 8)
        spec.palette = {kRed, kGreen, kBlue, kWhite};
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const QRgb c = image.pixel(x, y);
            if (bitsPerPixel <= 8)
                spec.values.push_back(std::uint32_t((y >= 15 ? 2 : 0) + (x >= 20 ? 1 : 0)));
            else if (bitsPerPixel == 16)
                spec.values.push_back(std::uint32_t((qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | qBlue(c) >> 3));
            else
                spec.values.push_back(c & 0xFFFFFF);
        }
    }
    return spec;
}

struct Fixture
{
    const char *name;
    QByteArray bytes;
};

// One valid file of every kind the converter reads.
std::vector<Fixture> AllFormats()
{
    QImage alpha = Quadrants(QImage::Format_ARGB32);
    return {
        {"JPEG", Encode(Quadrants(), "JPG", 100)}, {"PNG", Encode(Quadrants(), "PNG")},
        {"PNG with alpha", Encode(alpha, "PNG")},  {"GIF", BuildGif(QuadrantGif())},
        {"BMP 24-bit", BuildBmp(QuadrantBmp(24))}, {"BMP 8-bit", BuildBmp(QuadrantBmp(8))},
        {"BMP 4-bit", BuildBmp(QuadrantBmp(4))},   {"BMP 16-bit", BuildBmp(QuadrantBmp(16))},
    };
}

} // namespace

TEST(Convert, EveryFormatReadByContentBecomesAJpegOfTheSamePicture)
{
    TempFolder folder;
    for (const Fixture &fixture : AllFormats()) {
        SCOPED_TRACE(fixture.name);
        // Named .jpg whatever it holds, as the end-frame bitmap is.
        const QString input = folder.write(QStringLiteral("input.jpg"), fixture.bytes);
        const QString output = folder.file(QStringLiteral("output.jpg"));
        const Result<Done> done = ConvertToJpeg(Text(input), Text(output));
        ASSERT_TRUE(done.ok()) << done.error().message;

        QImageReader reader(output);
        EXPECT_EQ(reader.format(), QByteArray("jpeg"));
        const QImage result = reader.read();
        ASSERT_EQ(result.size(), QSize(40, 30));
        for (const Expected &e : kQuadrantCentres)
            ExpectNear(result.pixel(e.x, e.y), e.colour, 6);
        QFile::remove(input);
    }
}

TEST(Convert, TransparencyIsCompositedOntoBlack)
{
    TempFolder folder;
    QImage image(4, 2, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixel(1, 0, qRgba(255, 255, 255, 128));
    image.setPixel(2, 0, qRgba(0, 255, 0, 255));
    const QString input = folder.write(QStringLiteral("a.png"), Encode(image, "PNG"));
    const QString output = folder.file(QStringLiteral("a.jpg"));
    ASSERT_TRUE(ConvertToJpeg(Text(input), Text(output)).ok());
    const QImage result(output);
    ExpectNear(result.pixel(0, 1), kBlack, 4);
    ExpectNear(result.pixel(1, 0), qRgb(128, 128, 128), 12);

    Result<Picture> picture = DecodePicture(Bytes(Encode(image, "PNG")), Limits());
    ASSERT_TRUE(picture.ok());
    FlattenOnto(picture.value());
    EXPECT_EQ(PixelOf(picture.value(), 1, 0), qRgba(128, 128, 128, 255));
    EXPECT_EQ(PixelOf(picture.value(), 0, 0), kBlack);
    EXPECT_EQ(PixelOf(picture.value(), 2, 0), kGreen);
}

// A movie's background under its transparent pictures: each channel is
// mixed by the alpha and rounded to the nearest.
TEST(Convert, TransparencyIsCompositedOntoAGivenColour)
{
    QImage image(3, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(200, 100, 0, 64));
    image.setPixel(1, 0, qRgba(90, 180, 30, 0));
    image.setPixel(2, 0, qRgba(10, 20, 30, 255));
    const QByteArray png = Encode(image, "PNG");
    const Rgb background{20, 40, 250};

    Result<Picture> picture = DecodePicture(Bytes(png), Limits());
    ASSERT_TRUE(picture.ok());
    FlattenOnto(picture.value(), background);
    // (200 * 64 + 20 * 191) / 255 = 65.2, (100 * 64 + 40 * 191) / 255 = 55.1,
    // (0 * 64 + 250 * 191) / 255 = 187.3.
    EXPECT_EQ(PixelOf(picture.value(), 0, 0), qRgba(65, 55, 187, 255));
    EXPECT_EQ(PixelOf(picture.value(), 1, 0), qRgba(20, 40, 250, 255));
    EXPECT_EQ(PixelOf(picture.value(), 2, 0), qRgba(10, 20, 30, 255));

    // The same through the whole conversion, on a picture large enough for
    // the JPEG to keep its colours.
    TempFolder folder;
    QImage clear(32, 32, QImage::Format_ARGB32);
    clear.fill(qRgba(255, 255, 255, 0));
    const QString input = folder.write(QStringLiteral("clear.png"), Encode(clear, "PNG"));
    const QString output = folder.file(QStringLiteral("clear.jpg"));
    ASSERT_TRUE(ConvertToJpeg(Text(input), Text(output), kKeepQuality, Limits(), background).ok());
    ExpectNear(QImage(output).pixel(16, 16), qRgb(20, 40, 250), 4);
}

TEST(Convert, TheEndFrameBitmapBecomesABlackJpeg)
{
    TempFolder folder;
    const QString output = folder.file(QStringLiteral("image9.jpg"));
    ASSERT_TRUE(ConvertToJpeg(Text(EndFrameBitmapPath()), Text(output)).ok());
    const QImage result(output);
    ASSERT_EQ(result.size(), QSize(128, 128));
    for (const QPoint p : {QPoint(0, 0), QPoint(127, 127), QPoint(64, 40)})
        ExpectNear(result.pixel(p), kBlack, 1);
}

TEST(Convert, UnreadableInputWritesNothingAndKeepsAnExistingOutput)
{
    TempFolder folder;
    const QByteArray png = Encode(Quadrants(), "PNG");
    const struct
    {
        const char *name;
        QString path;
        ErrorCode code;
    } cases[] = {
        {"missing", folder.file(QStringLiteral("missing.png")), ErrorCode::Unreadable},
        {"folder", folder.mkdir(QStringLiteral("sub")), ErrorCode::Unreadable},
        {"empty", folder.write(QStringLiteral("empty.png")), ErrorCode::UnknownFormat},
        {"text", folder.write(QStringLiteral("text.png"), "hello, world"), ErrorCode::UnknownFormat},
        {"cut PNG", folder.write(QStringLiteral("cut.png"), png.left(40)), ErrorCode::Malformed},
        {"GIF without frame", folder.write(QStringLiteral("x.gif"), QByteArray("GIF89a\1\0\1\0\0\0\0\x3B", 14)),
         ErrorCode::Malformed},
        {"RLE bitmap",
         folder.write(QStringLiteral("rle.bmp"),
                      [] {
                          BmpSpec spec = QuadrantBmp(8);
                          spec.compression = 1;
                          return BuildBmp(spec);
                      }()),
         ErrorCode::Unsupported},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString fresh = folder.file(QStringLiteral("fresh.jpg"));
        const Result<Done> done = ConvertToJpeg(Text(c.path), Text(fresh));
        ASSERT_FALSE(done.ok());
        EXPECT_EQ(done.error().code, c.code) << done.error().message;
        EXPECT_FALSE(QFile::exists(fresh));

        const QString existing = folder.write(QStringLiteral("existing.jpg"), "old frame");
        EXPECT_FALSE(ConvertToJpeg(Text(c.path), Text(existing)).ok());
        EXPECT_EQ(ReadAll(existing), QByteArray("old frame"));
    }
    EXPECT_EQ(QDir(folder.path()).entryList(QStringList{QStringLiteral("*.jpg.*")}, QDir::Files), QStringList())
        << "no temporary file may stay behind";
}

TEST(Convert, AnOutputInAMissingFolderFailsCleanly)
{
    TempFolder folder;
    const QString input = folder.write(QStringLiteral("a.png"), Encode(Quadrants(), "PNG"));
    const Result<Done> done = ConvertToJpeg(Text(input), Text(folder.file(QStringLiteral("no/such/out.jpg"))));
    ASSERT_FALSE(done.ok());
    EXPECT_EQ(done.error().code, ErrorCode::WriteFailed);
}

TEST(Limits, SizesAreCheckedBeforeDecodingAtCapAndBeyond)
{
    Limits limits;
    limits.maxSide = 20;
    limits.maxPixels = 200;
    const auto solid = [](int w, int h) {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(Qt::red);
        return image;
    };
    const auto gif = [](int w, int h) {
        GifSpec spec;
        spec.screenWidth = spec.width = w;
        spec.screenHeight = spec.height = h;
        spec.globalColours = {kRed, kGreen};
        spec.indices.assign(std::size_t(w * h), 0);
        return BuildGif(spec);
    };
    const struct
    {
        int width;
        int height;
        bool fits;
    } sizes[] = {{19, 10, true}, {20, 10, true}, {21, 5, false}, {10, 20, true}, {10, 21, false}, {15, 14, false}};
    for (const auto &size : sizes) {
        for (const char *format : {"JPG", "PNG", "BMP", "GIF"}) {
            SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height) + " " + format);
            const QByteArray bytes = std::string(format) == "GIF" ? gif(size.width, size.height)
                                                                  : Encode(solid(size.width, size.height), format);
            const Result<Picture> picture = DecodePicture(Bytes(bytes), limits);
            EXPECT_EQ(picture.ok(), size.fits);
            if (!size.fits && !picture.ok()) {
                EXPECT_EQ(picture.error().code, ErrorCode::TooLarge);
            }
        }
    }
}

TEST(Limits, FileSizeAtCapAndBeyond)
{
    TempFolder folder;
    const QByteArray png = Encode(Quadrants(), "PNG");
    const QString input = folder.write(QStringLiteral("a.png"), png);
    const QString output = folder.file(QStringLiteral("a.jpg"));
    Limits limits;
    limits.maxFileBytes = std::uint64_t(png.size());
    EXPECT_TRUE(ConvertToJpeg(Text(input), Text(output), kDefaultQuality, limits).ok());
    limits.maxFileBytes = std::uint64_t(png.size()) - 1;
    const Result<Done> refused = ConvertToJpeg(Text(input), Text(output), kDefaultQuality, limits);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, ErrorCode::TooLarge);
}

TEST(Damage, EveryPrefixAndFlippedByteGivesAPictureOrAnError)
{
    std::mt19937 random(4);
    for (const Fixture &fixture : AllFormats()) {
        SCOPED_TRACE(fixture.name);
        const Result<Picture> whole = DecodePicture(Bytes(fixture.bytes), Limits());
        ASSERT_TRUE(whole.ok());
        for (qsizetype length = 0; length < fixture.bytes.size(); ++length) {
            const Result<Picture> cut = DecodePicture(Bytes(fixture.bytes.left(length)), Limits());
            if (cut.ok()) {
                EXPECT_EQ(cut.value().rgba.size(), std::size_t(cut.value().width) * cut.value().height * 4);
            }
        }
        for (int round = 0; round < 300; ++round) {
            QByteArray damaged = fixture.bytes;
            const int at = int(random() % std::uint32_t(damaged.size()));
            damaged[at] = char(damaged[at] ^ char(1 << (random() % 8)));
            const Result<Picture> picture = DecodePicture(Bytes(damaged), Limits());
            if (picture.ok()) {
                EXPECT_EQ(picture.value().rgba.size(), std::size_t(picture.value().width) * picture.value().height * 4);
            }
        }
    }
}

TEST(Gif, LzwRoundTripsExactlyThroughFullTablesAndInterlacing)
{
    std::mt19937 random(7);
    std::vector<QRgb> colours;
    for (int i = 0; i < 256; ++i)
        colours.push_back(qRgb(i, 255 - i, (i * 7) & 0xFF));
    for (const bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced ? "interlaced" : "progressive rows");
        GifSpec spec;
        spec.screenWidth = spec.width = 160;
        spec.screenHeight = spec.height = 100;
        spec.globalColours = colours;
        spec.interlaced = interlaced;
        // Runs of repeated values and noise: long strings and a table that
        // fills and is cleared several times.
        for (int i = 0; i < 160 * 100; ++i)
            spec.indices.push_back(std::uint8_t(i % 3 == 0 ? random() % 256 : (i / 40) % 256));
        const QByteArray gif = BuildGif(spec);
        const Result<Picture> picture = DecodePicture(Bytes(gif), Limits());
        ASSERT_TRUE(picture.ok()) << picture.error().message;
        // Qt's own GIF reader is the independent judge of the test's encoder.
        const QImage reference = QImage::fromData(gif, "GIF").convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(reference.size(), QSize(160, 100));
        int wrong = 0;
        int wrongReference = 0;
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 160; ++x) {
                const QRgb expected = colours[spec.indices[std::size_t(y * 160 + x)]];
                wrong += PixelOf(picture.value(), x, y) != expected;
                wrongReference += reference.pixel(x, y) != expected;
            }
        }
        EXPECT_EQ(wrongReference, 0);
        EXPECT_EQ(wrong, 0);
    }
}

TEST(Gif, FramePlacementTransparencyAndColourTables)
{
    GifSpec spec;
    spec.screenWidth = 8;
    spec.screenHeight = 6;
    spec.left = 2;
    spec.top = 1;
    spec.width = 3;
    spec.height = 2;
    spec.globalColours = {kRed, kGreen};
    spec.localColours = {kBlue, kWhite};
    spec.transparentIndex = 0;
    spec.minCodeSize = 2;
    spec.indices = {1, 0, 1, 0, 1, 3};
    const Result<Picture> result = DecodePicture(Bytes(BuildGif(spec)), Limits());
    ASSERT_TRUE(result.ok()) << result.error().message;
    const Picture &picture = result.value();
    EXPECT_EQ(picture.width, 8u);
    EXPECT_EQ(picture.height, 6u);
    EXPECT_EQ(qAlpha(PixelOf(picture, 0, 0)), 0) << "outside the frame";
    EXPECT_EQ(PixelOf(picture, 2, 1), kWhite) << "the local table wins";
    EXPECT_EQ(qAlpha(PixelOf(picture, 3, 1)), 0) << "transparent index";
    EXPECT_EQ(qAlpha(PixelOf(picture, 4, 2)), 0) << "index beyond the table";

    // A frame reaching past a declared screen grows the picture.
    spec.screenWidth = 1;
    spec.screenHeight = 1;
    const Result<Picture> grown = DecodePicture(Bytes(BuildGif(spec)), Limits());
    ASSERT_TRUE(grown.ok());
    EXPECT_EQ(grown.value().width, 5u);
    EXPECT_EQ(grown.value().height, 3u);
}

TEST(Bmp, DepthsMasksAndRowOrder)
{
    const std::vector<QRgb> palette = {kRed, kGreen, kBlue, kWhite};
    const struct
    {
        const char *name;
        int bits;
        std::uint32_t compression;
        std::uint32_t masks[4];
        bool topDown;
        std::vector<std::uint32_t> values; // 2 x 2, top row first
        std::vector<QRgb> expected;
    } cases[] = {
        {"1-bit", 1, 0, {}, false, {0, 1, 1, 0}, {kRed, kGreen, kGreen, kRed}},
        {"4-bit", 4, 0, {}, false, {3, 2, 1, 0}, {kWhite, kBlue, kGreen, kRed}},
        {"8-bit top-down", 8, 0, {}, true, {2, 3, 0, 9}, {kBlue, kWhite, kRed, kBlack}},
        {"16-bit 5-5-5", 16, 0, {}, false, {0x7C00, 0x03E0, 0x001F, 0x7FFF}, {kRed, kGreen, kBlue, kWhite}},
        {"16-bit 5-6-5",
         16,
         3,
         {0xF800, 0x07E0, 0x001F, 0},
         false,
         {0xF800, 0x07E0, 0x001F, 0x0000},
         {kRed, kGreen, kBlue, kBlack}},
        {"24-bit",
         24,
         0,
         {},
         true,
         {0xFF0000, 0x00FF00, 0x0000FF, 0x808080},
         {kRed, kGreen, kBlue, qRgb(128, 128, 128)}},
        {"32-bit, no alpha",
         32,
         0,
         {},
         false,
         {0x00FF0000, 0xFF00FF00, 0x000000FF, 0x00FFFFFF},
         {kRed, kGreen, kBlue, kWhite}},
        {"32-bit with alpha mask",
         32,
         3,
         {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
         false,
         {0xFFFF0000, 0x0000FF00, 0x800000FF, 0xFFFFFFFF},
         {kRed, qRgba(0, 255, 0, 0), qRgba(0, 0, 255, 128), kWhite}},
        {"32-bit with alpha mask, every alpha 0",
         32,
         3,
         {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
         false,
         {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF},
         {kRed, kGreen, kBlue, kWhite}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        BmpSpec spec;
        spec.width = 2;
        spec.height = 2;
        spec.bitsPerPixel = c.bits;
        spec.compression = c.compression;
        spec.topDown = c.topDown;
        std::copy(std::begin(c.masks), std::end(c.masks), spec.masks);
        if (c.bits <= 8)
            spec.palette = palette;
        spec.values = c.values;
        const Result<Picture> picture = DecodePicture(Bytes(BuildBmp(spec)), Limits());
        ASSERT_TRUE(picture.ok()) << picture.error().message;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(PixelOf(picture.value(), i % 2, i / 2), c.expected[std::size_t(i)]) << "pixel " << i;
    }
}

TEST(Jpeg, ALeadingEndMarkerFromOldSwfToolsIsSkipped)
{
    const QByteArray jpeg = Encode(Quadrants(), "JPG", 100);
    const Result<Picture> picture = DecodePicture(Bytes(QByteArray("\xFF\xD9", 2) + jpeg), Limits());
    ASSERT_TRUE(picture.ok()) << picture.error().message;
    EXPECT_EQ(picture.value().width, 40u);
}

// The built program, as the conversion runs it.
TEST(Program, ExitStatusTellsWhetherTheJpegWasWritten)
{
    TempFolder folder;
    const QString program = QStringLiteral(TARNWICK_BIN_DIR "/nconvert");
    const QString good = folder.write(QStringLiteral("good_1.png"), Encode(Quadrants(), "PNG"));
    const QString bad = folder.write(QStringLiteral("bad_2.png"), "not a picture");
    const auto run = [&](const QStringList &arguments) {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(20000);
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    };
    const QString out1 = folder.file(QStringLiteral("image1.jpg"));
    const QString out2 = folder.file(QStringLiteral("image2.jpg"));
    const QStringList form = {QStringLiteral("-out"), QStringLiteral("jpeg"), QStringLiteral("-truecolors"),
                              QStringLiteral("-o")};
    EXPECT_EQ(run(form + QStringList{out1, good}), 0);
    EXPECT_EQ(QImage(out1).size(), QSize(40, 30));
    EXPECT_EQ(run(form + QStringList{out2, bad}), 1);
    EXPECT_FALSE(QFile::exists(out2));
    EXPECT_EQ(run({QStringLiteral("-out"), QStringLiteral("png"), QStringLiteral("-o"), out2, good}), 2);
    EXPECT_EQ(run({QStringLiteral("-o"), out2}), 2);
    EXPECT_FALSE(QFile::exists(out2));

    // -bgcolor R G B: what a transparent picture is laid on; black without it.
    QImage clear(32, 32, QImage::Format_ARGB32);
    clear.fill(qRgba(0, 0, 0, 0));
    const QString transparent = folder.write(QStringLiteral("clear_3.png"), Encode(clear, "PNG"));
    EXPECT_EQ(run(form
                  + QStringList{out2, QStringLiteral("-bgcolor"), QStringLiteral("0"), QStringLiteral("128"),
                                QStringLiteral("255"), transparent}),
              0);
    ExpectNear(QImage(out2).pixel(16, 16), qRgb(0, 128, 255), 4);
    EXPECT_EQ(run(form + QStringList{out1, transparent}), 0);
    ExpectNear(QImage(out1).pixel(16, 16), kBlack, 4);
    const QString out3 = folder.file(QStringLiteral("image3.jpg"));
    for (const QStringList &wrong : {QStringList{QStringLiteral("1"), QStringLiteral("2")},
                                     QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("256")},
                                     QStringList{QStringLiteral("1"), QStringLiteral("-2"), QStringLiteral("3")},
                                     QStringList{QStringLiteral("red"), QStringLiteral("0"), QStringLiteral("0")}}) {
        SCOPED_TRACE(wrong.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(run(form + QStringList{out3, transparent, QStringLiteral("-bgcolor")} + wrong), 2);
    }
    EXPECT_FALSE(QFile::exists(out3));
}
