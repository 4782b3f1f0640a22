#include "pipeline/JpegWriter.h"

#include "tools/Failure.h"

#include "PictureImages.h"
#include "TempFolder.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <gtest/gtest.h>

using namespace Pipeline;

namespace {

QImage Gradient(QImage::Format format = QImage::Format_RGB32)
{
    QImage image(64, 48, format);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) & 0xFF));
    return image;
}

// The largest channel difference between two pictures of the same size.
int LargestDifference(const QImage &a, const QImage &b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest = std::max(
                {largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return largest;
}

QString SaveFailureText(const NConvert::Picture &picture, const QString &path, quint8 quality)
{
    try {
        SaveJpeg(picture, path, quality);
    } catch (const Tools::Failure &failure) {
        EXPECT_EQ(failure.number(), kSaveFailureNumber);
        return failure.description();
    }
    return QStringLiteral("saved");
}

} // namespace

TEST(SaveJpeg, WritesAJpegThatDecodesToThePictureWhateverItsAlpha)
{
    TempFolder folder;
    const QImage picture = Gradient();
    for (const int alpha : {255, 0}) {
        SCOPED_TRACE(alpha);
        NConvert::Picture pixels = PictureOf(picture);
        for (std::size_t i = 3; i < pixels.rgba.size(); i += 4)
            pixels.rgba[i] = std::uint8_t(alpha);
        const QString path = folder.file(QStringLiteral("frame.jpg"));
        SaveJpeg(pixels, path, 100);
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), QByteArray("jpeg"));
        const QImage read = reader.read();
        ASSERT_EQ(read.size(), picture.size());
        EXPECT_LE(LargestDifference(read, picture), 6);
    }
}

TEST(SaveJpeg, QualityHundredIsTheBestSetting)
{
    TempFolder folder;
    const QImage picture = Gradient();
    const QString best = folder.file(QStringLiteral("best.jpg"));
    const QString lower = folder.file(QStringLiteral("lower.jpg"));
    SaveJpeg(PictureOf(picture), best, 100);
    SaveJpeg(PictureOf(picture), lower, 75);
    EXPECT_GT(QFile(best).size(), QFile(lower).size());
    EXPECT_LT(LargestDifference(QImage(best), picture), LargestDifference(QImage(lower), picture));
}

TEST(SaveJpeg, ReplacesTheFileThePictureCameFrom)
{
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("image1.jpg"));
    QImage red(8, 8, QImage::Format_RGB32);
    red.fill(Qt::red);
    SaveJpeg(PictureOf(red), path, 100);
    QImage loaded(path);
    QPainter(&loaded).fillRect(0, 0, 8, 8, Qt::blue);
    SaveJpeg(PictureOf(loaded), path, 100);
    EXPECT_LT(qRed(QImage(path).pixel(4, 4)), 10);
    EXPECT_GT(qBlue(QImage(path).pixel(4, 4)), 245);
}

TEST(SaveJpeg, FailuresCarryTheTextAndTheWriterStatus)
{
    TempFolder folder;
    const QString existing = folder.write(QStringLiteral("keep.jpg"), "old");
    EXPECT_EQ(SaveFailureText(PictureOf(Gradient()), folder.file(QStringLiteral("no/such/folder/x.jpg")), 100),
              QStringLiteral("Cannot save the image. GDI+ Error:7"));
    EXPECT_EQ(SaveFailureText({}, existing, 100), QStringLiteral("Cannot save the image. GDI+ Error:2"));
    NConvert::Picture cut = PictureOf(Gradient());
    cut.rgba.resize(cut.rgba.size() - 4);
    EXPECT_EQ(SaveFailureText(cut, existing, 100), QStringLiteral("Cannot save the image. GDI+ Error:2"))
        << "fewer pixels than the size says";
    EXPECT_EQ(SaveFailureText(PictureOf(Gradient()), existing, 101),
              QStringLiteral("Cannot save the image. GDI+ Error:2"));
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("old")) << "a failed save leaves the file as it was";
}
