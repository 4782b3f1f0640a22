// JPEGs the video encoder reads as they are leave the converter unchanged;
// every other JPEG, and every JPEG that is damaged, is still decoded.
#include "lib/Convert.h"
#include "lib/JpegCodec.h"

#include "TempFolder.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>
#include <random>
#include <span>
#include <string>
#include <turbojpeg.h>

using namespace NConvert;

namespace {

std::span<const std::uint8_t> Bytes(const QByteArray &bytes)
{
    return {reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())};
}

std::string Text(const QString &text)
{
    return text.toStdString();
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// 64 x 48: a gradient with a red disc, so that a re-encode changes bytes.
QImage Scene()
{
    QImage image(64, 48, QImage::Format_RGBX8888);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 64, 48);
    gradient.setColorAt(0, Qt::blue);
    gradient.setColorAt(1, Qt::yellow);
    painter.fillRect(image.rect(), gradient);
    painter.setBrush(Qt::red);
    painter.drawEllipse(QPoint(32, 24), 14, 14);
    return image;
}

// libjpeg-turbo's own encoder, as the TurboJPEG interface drives it.
QByteArray TurboJpeg(int subsampling, int flags = 0, bool cmyk = false)
{
    const QImage image = Scene();
    std::vector<unsigned char> pixels;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (cmyk) { // inverted, as Adobe writes it: 255 - ink
                pixels.insert(pixels.end(),
                              {std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)), std::uint8_t(qBlue(c)), 255});
            } else {
                pixels.insert(pixels.end(), {std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)), std::uint8_t(qBlue(c))});
            }
        }
    }
    tjhandle handle = tjInitCompress();
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(handle, pixels.data(), image.width(), 0, image.height(), cmyk ? TJPF_CMYK : TJPF_RGB,
                                   &buffer, &size, subsampling, 90, flags);
    QByteArray bytes = status == 0 ? QByteArray(reinterpret_cast<const char *>(buffer), qsizetype(size)) : QByteArray();
    tjFree(buffer);
    tjDestroy(handle);
    return bytes;
}

// The libjpeg interface, for what TurboJPEG does not write: RGB components
// (with Adobe's marker) and arithmetic coding.
QByteArray Libjpeg(J_COLOR_SPACE colourspace, bool arithmetic)
{
    const QImage image = Scene();
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(image.width());
    info.image_height = JDIMENSION(image.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, colourspace);
    info.arith_code = arithmetic ? TRUE : FALSE;
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(std::size_t(image.width()) * 3);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            row[std::size_t(x) * 3] = std::uint8_t(qRed(c));
            row[std::size_t(x) * 3 + 1] = std::uint8_t(qGreen(c));
            row[std::size_t(x) * 3 + 2] = std::uint8_t(qBlue(c));
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

// One picture of FFmpeg's test source through one of its JPEG encoders.
QByteArray Ffmpeg(const QString &folder, const QString &codec, const QString &pixelFormat)
{
    const QString path = folder + QStringLiteral("/ffmpeg-") + codec + QStringLiteral(".jpg");
    QProcess process;
    process.start(QStringLiteral("ffmpeg"),
                  {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                   QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                   QStringLiteral("testsrc2=size=64x48"), QStringLiteral("-frames:v"), QStringLiteral("1"),
                   QStringLiteral("-c:v"), codec, QStringLiteral("-pix_fmt"), pixelFormat, path});
    process.waitForFinished(60000);
    return ReadAll(path);
}

qsizetype FindMarker(const QByteArray &jpeg, std::uint8_t marker)
{
    return jpeg.indexOf(QByteArray("\xFF", 1) + char(marker));
}

// A copy with an Exif block (a minimal TIFF header saying orientation 6,
// "rotate right") right after the start-of-image marker.
QByteArray WithExif(const QByteArray &jpeg)
{
    const QByteArray tiff("MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 26);
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(body.size()) + 2;
    return jpeg.left(2) + QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + body + jpeg.mid(2);
}

// Whether libjpeg-turbo decodes all of it at full size with no warning.
bool DecodesCleanly(const QByteArray &jpeg)
{
    tjhandle handle = tjInitDecompress();
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    auto *data = reinterpret_cast<unsigned char *>(const_cast<char *>(jpeg.constData()));
    bool clean = tjDecompressHeader3(handle, data, (unsigned long)jpeg.size(), &width, &height, &subsampling,
                                     &colourspace)
                 == 0;
    if (clean) {
        std::vector<unsigned char> pixels(std::size_t(width) * std::size_t(height) * 4);
        clean = tjDecompress2(handle, data, (unsigned long)jpeg.size(), pixels.data(), width, 0, height, TJPF_RGBA,
                              TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS)
                == 0;
    }
    tjDestroy(handle);
    return clean;
}

int Colourspace(const QByteArray &jpeg)
{
    tjhandle handle = tjInitDecompress();
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = -1;
    tjDecompressHeader3(handle, reinterpret_cast<unsigned char *>(const_cast<char *>(jpeg.constData())),
                        (unsigned long)jpeg.size(), &width, &height, &subsampling, &colourspace);
    tjDestroy(handle);
    return colourspace;
}

void ExpectNear(QRgb actual, QRgb expected, int tolerance)
{
    EXPECT_NEAR(qRed(actual), qRed(expected), tolerance);
    EXPECT_NEAR(qGreen(actual), qGreen(expected), tolerance);
    EXPECT_NEAR(qBlue(actual), qBlue(expected), tolerance);
}

} // namespace

TEST(JpegPassThrough, YCbCrBaselineAndProgressiveAreCopiedByteForByte)
{
    TempFolder folder;
    const QByteArray ffmpeg420 = Ffmpeg(folder.path(), QStringLiteral("mjpeg"), QStringLiteral("yuvj420p"));
    const struct
    {
        const char *name;
        QByteArray jpeg;
    } cases[] = {
        {"FFmpeg baseline 4:2:0", ffmpeg420},
        {"FFmpeg baseline 4:4:4", Ffmpeg(folder.path(), QStringLiteral("mjpeg"), QStringLiteral("yuvj444p"))},
        {"libjpeg-turbo baseline 4:2:2", TurboJpeg(TJSAMP_422)},
        {"libjpeg-turbo progressive 4:2:0", TurboJpeg(TJSAMP_420, TJFLAG_PROGRESSIVE)},
        {"libjpeg-turbo progressive 4:4:4", TurboJpeg(TJSAMP_444, TJFLAG_PROGRESSIVE)},
        {"libjpeg YCbCr", Libjpeg(JCS_YCbCr, false)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.jpeg.isEmpty());
        const QString input = folder.write(QStringLiteral("in.jpg"), c.jpeg);
        const QString output = folder.file(QStringLiteral("out.jpg"));
        const Result<Done> done = ConvertToJpeg(Text(input), Text(output));
        ASSERT_TRUE(done.ok()) << done.error().message;
        EXPECT_EQ(ReadAll(output), c.jpeg);
        QFile::remove(output);
    }

    // The stray end marker old SWF tools put first is no part of the copy:
    // the encoder reads the stream that follows it.
    const QString stray = folder.write(QStringLiteral("stray.jpg"), QByteArray("\xFF\xD9", 2) + ffmpeg420);
    ASSERT_TRUE(ConvertToJpeg(Text(stray), Text(folder.file(QStringLiteral("stray-out.jpg")))).ok());
    EXPECT_EQ(ReadAll(folder.file(QStringLiteral("stray-out.jpg"))), ffmpeg420);

    // An explicit quality asks for a re-encode.
    const QString input = folder.write(QStringLiteral("in.jpg"), ffmpeg420);
    ASSERT_TRUE(ConvertToJpeg(Text(input), Text(folder.file(QStringLiteral("q.jpg"))), 60).ok());
    const QByteArray requantised = ReadAll(folder.file(QStringLiteral("q.jpg")));
    EXPECT_NE(requantised, ffmpeg420);
    EXPECT_EQ(QImage::fromData(requantised).size(), QSize(64, 48));
}

TEST(JpegPassThrough, OtherKindsOfJpegAreStillConverted)
{
    TempFolder folder;
    const QByteArray baseline = TurboJpeg(TJSAMP_420);
    const struct
    {
        const char *name;
        QByteArray jpeg;
        QRgb centre; // of the decoded picture, colours as Scene() has them unless the kind alters them
    } cases[] = {
        {"greyscale", TurboJpeg(TJSAMP_GRAY), qRgb(76, 76, 76)},
        {"CMYK (YCCK)", TurboJpeg(TJSAMP_444, 0, true), qRgb(255, 0, 0)},
        {"RGB components", Libjpeg(JCS_RGB, false), qRgb(255, 0, 0)},
        {"arithmetic-coded", Libjpeg(JCS_YCbCr, true), qRgb(255, 0, 0)},
        {"Exif block", WithExif(baseline), qRgb(255, 0, 0)},
        {"PNG",
         [] {
             QByteArray png;
             QBuffer buffer(&png);
             buffer.open(QIODevice::WriteOnly);
             Scene().save(&buffer, "PNG");
             return png;
         }(),
         qRgb(255, 0, 0)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.jpeg.isEmpty());
        EXPECT_FALSE(PassableJpeg(Bytes(c.jpeg), Limits()).has_value());
        const QString input = folder.write(QStringLiteral("in.jpg"), c.jpeg);
        const QString output = folder.file(QStringLiteral("out.jpg"));
        const Result<Done> done = ConvertToJpeg(Text(input), Text(output));
        ASSERT_TRUE(done.ok()) << done.error().message;
        const QByteArray written = ReadAll(output);
        EXPECT_NE(written, c.jpeg);
        EXPECT_EQ(Colourspace(written), TJCS_YCbCr) << "the converter writes true-colour YCbCr";
        EXPECT_TRUE(DecodesCleanly(written));
        const QImage result = QImage::fromData(written);
        ASSERT_EQ(result.size(), QSize(64, 48));
        ExpectNear(result.pixel(32, 24), c.centre, 24);
        QFile::remove(output);
    }
}

TEST(JpegPassThrough, JpegsOurDecoderRefusesStillFailAndWriteNothing)
{
    TempFolder folder;
    QByteArray twelveBit = TurboJpeg(TJSAMP_420);
    twelveBit[FindMarker(twelveBit, 0xC0) + 4] = 12; // the frame's sample precision
    const QByteArray baseline = TurboJpeg(TJSAMP_420);
    QByteArray twoFrames = baseline; // a second frame header after the first
    const qsizetype sof = FindMarker(baseline, 0xC0);
    const int sofLength = (std::uint8_t(baseline[sof + 2]) << 8) | std::uint8_t(baseline[sof + 3]);
    twoFrames.insert(sof, baseline.mid(sof, sofLength + 2));
    QByteArray strangeScan = TurboJpeg(TJSAMP_420);
    const qsizetype sos = FindMarker(strangeScan, 0xDA);
    strangeScan[sos + 5] = char(0x7E); // the scan's first component: none the frame has
    const struct
    {
        const char *name;
        QByteArray jpeg;
    } cases[] = {
        {"lossless", Ffmpeg(folder.path(), QStringLiteral("ljpeg"), QStringLiteral("bgr24"))},
        {"12-bit", twelveBit},
        {"scan names an unknown component", strangeScan},
        {"two frame headers", twoFrames},
        {"headers only", baseline.left(FindMarker(baseline, 0xDA))},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.jpeg.isEmpty());
        EXPECT_FALSE(PassableJpeg(Bytes(c.jpeg), Limits()).has_value());
        const QString input = folder.write(QStringLiteral("in.jpg"), c.jpeg);
        const QString output = folder.file(QStringLiteral("out.jpg"));
        const Result<Done> done = ConvertToJpeg(Text(input), Text(output));
        EXPECT_FALSE(done.ok());
        EXPECT_FALSE(QFile::exists(output));
    }
}

TEST(JpegPassThrough, ADamagedJpegIsNeverCopied)
{
    TempFolder folder;
    const QByteArray jpeg = Ffmpeg(folder.path(), QStringLiteral("mjpeg"), QStringLiteral("yuvj420p"));
    ASSERT_FALSE(jpeg.isEmpty());
    const qsizetype scan = FindMarker(jpeg, 0xDA);

    // Ends early, or an end marker in the middle of the scan: the decoder
    // warns and fills in the rest; the frame is that decoded picture.
    const QByteArray cut = jpeg.left(scan + (jpeg.size() - scan) * 2 / 3);
    for (const QByteArray &damaged : {cut, cut + QByteArray("\xFF\xD9", 2)}) {
        EXPECT_FALSE(PassableJpeg(Bytes(damaged), Limits()).has_value());
        const QString input = folder.write(QStringLiteral("cut.jpg"), damaged);
        const QString output = folder.file(QStringLiteral("cut-out.jpg"));
        ASSERT_TRUE(ConvertToJpeg(Text(input), Text(output)).ok());
        const QByteArray written = ReadAll(output);
        EXPECT_NE(written, damaged);
        EXPECT_TRUE(DecodesCleanly(written));
        EXPECT_EQ(QImage::fromData(written).size(), QSize(64, 48));
    }

    // Whatever the damage, a copied stream is one the full decode reads
    // with no complaint: the quick check at one eighth misses nothing.
    std::mt19937 random(11);
    int copied = 0;
    const auto check = [&](const QByteArray &damaged) {
        if (PassableJpeg(Bytes(damaged), Limits())) {
            ++copied;
            EXPECT_TRUE(DecodesCleanly(damaged));
        }
    };
    for (qsizetype length = 0; length < jpeg.size(); ++length)
        check(jpeg.left(length));
    for (int round = 0; round < 400; ++round) {
        QByteArray damaged = jpeg;
        const int at = int(random() % std::uint32_t(damaged.size()));
        damaged[at] = char(damaged[at] ^ char(1 << (random() % 8)));
        check(damaged);
    }
    EXPECT_GT(copied, 0) << "some flips land where they harm nothing (comments, unused table entries)";
}

TEST(JpegPassThrough, SizeLimitsHoldForCopiesToo)
{
    const QByteArray jpeg = TurboJpeg(TJSAMP_420); // 64 x 48
    Limits limits;
    limits.maxSide = 64;
    limits.maxPixels = 64 * 48;
    EXPECT_TRUE(PassableJpeg(Bytes(jpeg), limits).has_value());
    limits.maxPixels = 64 * 48 - 1;
    EXPECT_FALSE(PassableJpeg(Bytes(jpeg), limits).has_value());
    limits.maxPixels = 64 * 48;
    limits.maxSide = 63;
    EXPECT_FALSE(PassableJpeg(Bytes(jpeg), limits).has_value());

    TempFolder folder;
    const QString input = folder.write(QStringLiteral("big.jpg"), jpeg);
    const QString output = folder.file(QStringLiteral("big-out.jpg"));
    const Result<Done> refused = ConvertToJpeg(Text(input), Text(output), kKeepQuality, limits);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, ErrorCode::TooLarge);
    EXPECT_FALSE(QFile::exists(output));
}

// A caller may skip the converter whenever PassJpegInPlace is true: the file
// is then exactly what the converter writes. Everything else is left to the
// converter, with the file untouched.
TEST(JpegPassThrough, ThePassInPlaceKeepsJustWhatTheConverterCopies)
{
    TempFolder folder;
    const QByteArray ffmpeg420 = Ffmpeg(folder.path(), QStringLiteral("mjpeg"), QStringLiteral("yuvj420p"));
    ASSERT_FALSE(ffmpeg420.isEmpty());
    const struct
    {
        const char *name;
        QByteArray bytes;
        bool passed;
    } cases[] = {
        {"FFmpeg baseline", ffmpeg420, true},
        {"libjpeg-turbo progressive", TurboJpeg(TJSAMP_444, TJFLAG_PROGRESSIVE), true},
        {"stray end marker first", QByteArray("\xFF\xD9", 2) + ffmpeg420, true},
        {"greyscale", TurboJpeg(TJSAMP_GRAY), false},
        {"Exif block", WithExif(ffmpeg420), false},
        {"cut short", ffmpeg420.left(ffmpeg420.size() * 2 / 3), false},
        {"not a picture", QByteArray("GIF? no"), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString input = folder.write(QStringLiteral("in.jpg"), c.bytes);
        const QString converted = folder.file(QStringLiteral("converted.jpg"));
        if (c.passed) {
            ASSERT_TRUE(ConvertToJpeg(Text(input), Text(converted)).ok());
        }
        EXPECT_EQ(PassJpegInPlace(Text(input)), c.passed);
        EXPECT_EQ(ReadAll(input), c.passed ? ReadAll(converted) : c.bytes);
        QFile::remove(converted);
    }
    EXPECT_FALSE(PassJpegInPlace(Text(folder.file(QStringLiteral("missing.jpg")))));
}

// The built program: copies by default, re-encodes when -q is given, and
// keeps an existing output when the input is broken.
TEST(JpegPassThrough, TheProgramCopiesUnlessAQualityIsGiven)
{
    TempFolder folder;
    const QByteArray jpeg = TurboJpeg(TJSAMP_420, TJFLAG_PROGRESSIVE);
    const QString input = folder.write(QStringLiteral("in.jpg"), jpeg);
    const auto run = [&](const QStringList &arguments) {
        QProcess process;
        process.start(QStringLiteral(TARNWICK_BIN_DIR "/nconvert"), arguments);
        process.waitForFinished(20000);
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    };
    const QString copy = folder.file(QStringLiteral("copy.jpg"));
    const QString coded = folder.file(QStringLiteral("coded.jpg"));
    EXPECT_EQ(run({QStringLiteral("-out"), QStringLiteral("jpeg"), QStringLiteral("-truecolors"), QStringLiteral("-o"),
                   copy, input}),
              0);
    EXPECT_EQ(ReadAll(copy), jpeg);
    EXPECT_EQ(run({QStringLiteral("-out"), QStringLiteral("jpeg"), QStringLiteral("-q"), QStringLiteral("80"),
                   QStringLiteral("-o"), coded, input}),
              0);
    EXPECT_NE(ReadAll(coded), jpeg);
    EXPECT_EQ(QImage(coded).size(), QSize(64, 48));

    const QString broken = folder.write(QStringLiteral("broken.jpg"), jpeg.left(FindMarker(jpeg, 0xDA)));
    EXPECT_EQ(run({QStringLiteral("-out"), QStringLiteral("jpeg"), QStringLiteral("-o"), copy, broken}), 1);
    EXPECT_EQ(ReadAll(copy), jpeg);
}
