#include "pipeline/FrameNormalisation.h"
#include "pipeline/JpegReader.h"

#include "PictureImages.h"
#include "RecordingBar.h"
#include "RecordingReporter.h"
#include "TempFolder.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace Pipeline;

namespace {

// A different colour at every pixel, so a swapped channel, a wrong stride or
// a shifted row shows.
QImage Pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 5) & 0xFF, (y * 7) & 0xFF, ((x + y) * 3) & 0xFF));
    return image;
}

QByteArray Encode(const QImage &image, const char *format = "JPG", int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

int MaxDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -1;
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            most = std::max(
                {most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    return most;
}

std::optional<NConvert::Picture> Decode(const QByteArray &jpeg, const QSize &atLeast = QSize())
{
    NConvert::Picture picture;
    if (!DecodeJpeg(jpeg, atLeast, picture))
        return std::nullopt;
    return picture;
}

} // namespace

TEST(JpegReader, FullDecodeGivesTheSamePixelsAsQtsReader)
{
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_Grayscale8}) {
        SCOPED_TRACE(int(format));
        const QByteArray jpeg = Encode(Pattern(97, 61).convertToFormat(format));
        const QImage ours = ImageOf(Decode(jpeg).value());
        const QImage qt = QImage::fromData(jpeg, "JPG").convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(ours.size(), QSize(97, 61));
        EXPECT_EQ(ReadJpegSize(jpeg), QSize(97, 61));
        EXPECT_LE(MaxDifference(ours, qt), 1);
    }
}

TEST(JpegReader, ReducesToTheSmallestScaleThatStillCoversTheTarget)
{
    const QByteArray jpeg = Encode(Pattern(800, 600));
    struct Case
    {
        QSize atLeast;
        QSize decoded;
    };
    const Case cases[] = {
        {QSize(), QSize(800, 600)}, // no target: full size
        {QSize(801, 600), QSize(800, 600)}, // growing: full size
        {QSize(401, 300), QSize(800, 600)}, // just beyond a half
        {QSize(400, 300), QSize(400, 300)}, // exactly a half
        {QSize(150, 100), QSize(200, 150)}, // a quarter covers it, an eighth does not
        {QSize(100, 75), QSize(100, 75)}, // an eighth, the smallest offered
        {QSize(10, 10), QSize(100, 75)},    {QSize(100, 76), QSize(200, 150)}, // the height decides
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(c.atLeast.width()).arg(c.atLeast.height()).toStdString());
        const NConvert::Picture decoded = Decode(jpeg, c.atLeast).value();
        EXPECT_EQ(QSize(int(decoded.width), int(decoded.height)), c.decoded);
    }
    // A reduced decode is the picture, not a corner of it: a half of a
    // left-red, right-blue picture is still red on the left, blue on the right.
    QImage halves(800, 600, QImage::Format_RGB32);
    halves.fill(qRgb(220, 20, 20));
    for (int y = 0; y < 600; ++y)
        for (int x = 400; x < 800; ++x)
            halves.setPixel(x, y, qRgb(20, 20, 220));
    const QImage half = ImageOf(Decode(Encode(halves), QSize(400, 300)).value());
    ASSERT_EQ(half.size(), QSize(400, 300));
    EXPECT_GT(qRed(half.pixel(100, 150)), 180);
    EXPECT_GT(qBlue(half.pixel(300, 150)), 180);
}

TEST(JpegReader, RefusesWhatItCannotTurnIntoRgb)
{
    EXPECT_FALSE(Decode(QByteArray()));
    EXPECT_FALSE(Decode(Encode(Pattern(20, 10), "PNG")));
    EXPECT_FALSE(ReadJpegSize(Encode(Pattern(20, 10), "PNG")));
    EXPECT_FALSE(Decode(QByteArray("\xFF\xD8\xFF\xE0 not really", 15)));
    // Cut short, it decodes only with a warning: the frame path then takes
    // the converter's decoder, which draws what there is.
    const QByteArray jpeg = Encode(Pattern(64, 48));
    EXPECT_FALSE(Decode(jpeg.left(jpeg.size() / 2)));
}

TEST(FrameNormalisation, AFrameAtTheSizeIsLeftAsItIsAndABiggerOneIsRedrawnEvenWhenItHalvesExactly)
{
    TempFolder folder;
    folder.mkdir(QStringLiteral("temp"));
    const QString work = folder.path();
    const auto write = [&](int number, const QByteArray &bytes) {
        QFile file(FramePath(work, number));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    const auto read = [&](int number) {
        QFile file(FramePath(work, number));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray atSize = Encode(Pattern(80, 60), "JPG", 70);
    // Halving 160 x 120 in the decoder gives exactly the frame size: it must
    // still be drawn and saved, not mistaken for a frame already at the size.
    QImage big(160, 120, QImage::Format_RGB32);
    big.fill(qRgb(30, 200, 30));
    write(1, atSize);
    write(2, Encode(big));
    // A PNG in a .jpg file takes the general reader.
    write(3, Encode(Pattern(40, 30), "PNG"));
    // A JPEG cut short keeps what arrived: libjpeg-turbo warns and the
    // converter's decoder draws the rows there are.
    QImage detailed(160, 120, QImage::Format_RGB32);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            detailed.setPixel(x, y, qRgb((x * 5) & 0x3F, 200 + (x * y) % 50, (x + y) & 0x3F));
    const QByteArray whole = Encode(detailed);
    write(4, whole.left(whole.size() * 2 / 3));
    RecordingBar bar;
    RecordingReporter reporter;
    SetImagesSizes(work, 4, 60, 80, bar, reporter, Yield());
    EXPECT_TRUE(reporter.reports.empty());
    EXPECT_EQ(read(1), atSize) << "not decoded, not re-encoded";
    for (const int i : {2, 3, 4}) {
        SCOPED_TRACE(i);
        const QImage frame = QImage::fromData(read(i));
        ASSERT_EQ(frame.size(), QSize(80, 60));
        EXPECT_TRUE(read(i).startsWith("\xFF\xD8"));
        if (i != 3) {
            EXPECT_GT(qGreen(frame.pixel(40, 5)), 180);
        }
    }
    // The PNG grown to fill the frame: its corners keep the pattern's colours.
    const QImage grown = QImage::fromData(read(3));
    EXPECT_LT(MaxDifference(grown.copy(0, 0, 2, 2), Pattern(2, 2)), 24);
}
