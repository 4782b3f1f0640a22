#include "pipeline/FrameNormalisation.h"
#include "pipeline/Resampling.h"

#include "tools/Failure.h"
#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"

#include "PictureImages.h"
#include "RecordingBar.h"
#include "RecordingReporter.h"
#include "TempFolder.h"

#include <QFile>
#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

using namespace Pipeline;

namespace {

// The frames of one video in a WorkFolder of their own.
class Frames
{
public:
    Frames() { m_folder.mkdir(QStringLiteral("temp")); }

    QString workFolder() const { return m_folder.path(); }
    QString path(int number) const { return FramePath(workFolder(), number); }

    // Writes frame `number` as a real JPEG filled with one colour.
    void add(int number, int width, int height, QRgb colour = qRgb(200, 40, 40)) const
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(path(number), "JPG", 95));
    }
    QByteArray bytes(int number) const
    {
        QFile file(path(number));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QImage read(int number) const { return QImageReader(path(number)).read(); }

    // Measures, rounds down to even as the caller does, and redraws.
    QSize normalise(qint16 count, RecordingBar &bar, RecordingReporter &reporter, int *yields = nullptr) const
    {
        qint32 height = 0;
        qint32 width = 0;
        const Yield yield = [yields] {
            if (yields)
                ++*yields;
        };
        MeasureLargestFrame(workFolder(), count, height, width, yield);
        height -= height % 2;
        width -= width % 2;
        SetImagesSizes(workFolder(), count, height, width, bar, reporter, yield);
        return QSize(width, height);
    }

private:
    TempFolder m_folder;
};

bool IsBlack(QRgb pixel)
{
    return qRed(pixel) < 16 && qGreen(pixel) < 16 && qBlue(pixel) < 16;
}

Tools::Failure MeasureFailure(const Frames &frames, qint16 count, qint32 &height, qint32 &width)
{
    try {
        MeasureLargestFrame(frames.workFolder(), count, height, width, Yield());
    } catch (const Tools::Failure &failure) {
        return failure;
    }
    ADD_FAILURE() << "no failure raised";
    return Tools::Failure(0, QString());
}

} // namespace

TEST(FrameNormalisation, SmallerFramesOfTheSameShapeFillTheLargestWithoutBars)
{
    Frames frames;
    frames.add(1, 640, 480);
    frames.add(2, 800, 600);
    frames.add(3, 400, 300);
    RecordingBar bar;
    RecordingReporter reporter;
    EXPECT_EQ(frames.normalise(3, bar, reporter), QSize(800, 600));
    EXPECT_EQ(reporter.reports.size(), 0u);
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        const QImage frame = frames.read(i);
        ASSERT_EQ(frame.size(), QSize(800, 600));
        for (const QPoint corner : {QPoint(0, 0), QPoint(799, 0), QPoint(0, 599), QPoint(799, 599)})
            EXPECT_FALSE(IsBlack(frame.pixel(corner)));
    }
}

TEST(FrameNormalisation, EqualAreasKeepTheFirstAndTheOtherIsPillarboxed)
{
    Frames frames;
    frames.add(1, 800, 600);
    frames.add(2, 600, 800);
    const QByteArray first = frames.bytes(1);
    RecordingBar bar;
    RecordingReporter reporter;
    EXPECT_EQ(frames.normalise(2, bar, reporter), QSize(800, 600));

    EXPECT_EQ(frames.bytes(1), first) << "a frame already of the target size is not encoded again";
    const QImage second = frames.read(2);
    ASSERT_EQ(second.size(), QSize(800, 600));
    // Drawn 450 x 600 at x = 175: bars left and right, picture between.
    for (const int x : {0, 172})
        EXPECT_TRUE(IsBlack(second.pixel(x, 300))) << x;
    for (const int x : {178, 400, 621})
        EXPECT_FALSE(IsBlack(second.pixel(x, 300))) << x;
    for (const int x : {628, 799})
        EXPECT_TRUE(IsBlack(second.pixel(x, 300))) << x;
    EXPECT_FALSE(IsBlack(second.pixel(400, 0)));
    EXPECT_FALSE(IsBlack(second.pixel(400, 599)));
}

TEST(FrameNormalisation, AnOddLargestFrameIsRoundedToEvenAndRedrawnToTheEdges)
{
    Frames frames;
    frames.add(1, 641, 481);
    frames.add(2, 320, 240);
    qint32 height = 0;
    qint32 width = 0;
    MeasureLargestFrame(frames.workFolder(), 2, height, width, Yield());
    EXPECT_EQ(width, 641);
    EXPECT_EQ(height, 481);

    RecordingBar bar;
    RecordingReporter reporter;
    EXPECT_EQ(frames.normalise(2, bar, reporter), QSize(640, 480));
    for (int i = 1; i <= 2; ++i) {
        const QImage frame = frames.read(i);
        ASSERT_EQ(frame.size(), QSize(640, 480));
        EXPECT_FALSE(IsBlack(frame.pixel(639, 240))) << "frame " << i << ": the sliver of x = 0.17 rounds away";
        EXPECT_FALSE(IsBlack(frame.pixel(0, 479))) << "frame " << i;
    }
}

TEST(FrameNormalisation, ASingleFrameIsRedrawnAtItsEvenSize)
{
    Frames frames;
    frames.add(1, 333, 201);
    RecordingBar bar;
    RecordingReporter reporter;
    EXPECT_EQ(frames.normalise(1, bar, reporter), QSize(332, 200));
    EXPECT_EQ(frames.read(1).size(), QSize(332, 200));
    EXPECT_EQ(bar.values, std::vector<double>{100.0});
}

TEST(FrameNormalisation, ACountOfZeroTouchesNothing)
{
    Frames frames;
    frames.add(1, 64, 48);
    frames.add(2, 32, 24);
    const QByteArray second = frames.bytes(2);
    RecordingBar bar;
    RecordingReporter reporter;
    int yields = 0;
    qint32 height = 0;
    qint32 width = 0;
    MeasureLargestFrame(frames.workFolder(), 0, height, width, [&] { ++yields; });
    SetImagesSizes(frames.workFolder(), 0, 48, 64, bar, reporter, [&] { ++yields; });
    SetImagesSizes(frames.workFolder(), -3, 48, 64, bar, reporter, [&] { ++yields; });
    EXPECT_EQ(height, 0);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(yields, 0);
    EXPECT_TRUE(bar.values.empty());
    EXPECT_TRUE(bar.captions.isEmpty());
    EXPECT_EQ(frames.bytes(2), second);
}

TEST(FrameNormalisation, FortyFramesRaiseTheBarByTwoAndAHalfAndNameEachFile)
{
    Frames frames;
    for (int i = 1; i <= 40; ++i)
        frames.add(i, i % 2 ? 16 : 8, i % 2 ? 12 : 6);
    RecordingBar bar;
    RecordingReporter reporter;
    int yields = 0;
    frames.normalise(40, bar, reporter, &yields);
    ASSERT_EQ(bar.values.size(), 40u);
    ASSERT_EQ(bar.captions.size(), 40);
    for (int i = 1; i <= 40; ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(bar.values[std::size_t(i - 1)], 2.5 * i);
        EXPECT_EQ(bar.captions[i - 1], QStringLiteral("Processing: image%1.jpg").arg(i));
    }
    EXPECT_EQ(yields, 80) << "once per frame when measuring and once when redrawing";
    EXPECT_EQ(bar.caption(), QStringLiteral("Processing: image40.jpg"));
}

TEST(FrameNormalisation, AFrameThatCannotBeLoadedIsReportedAndBecomesBlack)
{
    Frames frames;
    frames.add(1, 80, 60, qRgb(40, 200, 40));
    frames.add(2, 80, 60);
    QFile::remove(frames.path(2));
    frames.add(3, 40, 30, qRgb(40, 40, 200));
    {
        QFile damaged(frames.path(3));
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write("this is no picture");
    }
    frames.add(4, 40, 30, qRgb(40, 40, 200));
    RecordingBar bar;
    RecordingReporter reporter;
    SetImagesSizes(frames.workFolder(), 4, 60, 80, bar, reporter, Yield());

    ASSERT_EQ(reporter.reports.size(), 2u);
    EXPECT_EQ(reporter.reports[0].location, QLatin1String(kSetImagesSizesLocation));
    EXPECT_EQ(reporter.reports[0].step, 112);
    EXPECT_EQ(reporter.reports[0].description, QStringLiteral("File not found"));
    EXPECT_EQ(reporter.reports[1].step, 112);
    EXPECT_EQ(reporter.reports[1].description, QStringLiteral("Invalid picture"));
    for (const int i : {2, 3}) {
        SCOPED_TRACE(i);
        const QImage frame = frames.read(i);
        ASSERT_EQ(frame.size(), QSize(80, 60)) << "the numbering stays whole";
        EXPECT_TRUE(IsBlack(frame.pixel(40, 30))) << "never the previous frame's picture";
    }
    EXPECT_GT(qBlue(frames.read(4).pixel(40, 30)), 150) << "the pass goes on";
}

TEST(FrameNormalisation, AnUnusableTargetSizeIsReportedPerFrameAndChangesNothing)
{
    Frames frames;
    frames.add(1, 20, 10);
    const QByteArray before = frames.bytes(1);
    RecordingBar bar;
    RecordingReporter reporter;
    SetImagesSizes(frames.workFolder(), 1, 0, 0, bar, reporter, Yield());
    SetImagesSizes(frames.workFolder(), 1, 60000, 60000, bar, reporter, Yield());
    ASSERT_EQ(reporter.reports.size(), 2u);
    EXPECT_EQ(reporter.reports[0].step, 130);
    EXPECT_EQ(reporter.reports[1].step, 130);
    EXPECT_EQ(reporter.reports[1].description, QStringLiteral("Out of memory"));
    EXPECT_EQ(frames.bytes(1), before);
}

TEST(MeasureLargestFrame, AnUnreadableFrameEndsTheMeasurementWithWhatWasFound)
{
    Frames frames;
    frames.add(1, 64, 48);
    frames.add(3, 640, 480);
    qint32 height = 0;
    qint32 width = 0;
    const Tools::Failure missing = MeasureFailure(frames, 3, height, width);
    EXPECT_EQ(missing.number(), 53);
    EXPECT_EQ(QSize(width, height), QSize(64, 48));

    height = 50000;
    width = 50000;
    const Tools::Failure overflow = MeasureFailure(frames, 1, height, width);
    EXPECT_EQ(overflow.description(), QStringLiteral("Overflow"));
}

TEST(ResamplePicture, ShrinkingAveragesAreasInsteadOfPickingPixels)
{
    // One-pixel stripes: any pixel-picking filter shows stripes or a solid
    // colour; averaging gives even grey at every reduction.
    QImage stripes(1600, 1200, QImage::Format_RGB32);
    for (int y = 0; y < stripes.height(); ++y)
        for (int x = 0; x < stripes.width(); ++x)
            stripes.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    for (const QSize size : {QSize(800, 600), QSize(533, 400), QSize(100, 75)}) {
        SCOPED_TRACE(size.width());
        NConvert::Picture resampled;
        ASSERT_TRUE(ResamplePicture(PictureOf(stripes), size.width(), size.height(), resampled));
        const QImage small = ImageOf(resampled);
        ASSERT_EQ(small.size(), size);
        int spread = 0;
        for (int y = 1; y < size.height() - 1; y += 7)
            for (int x = 1; x < size.width() - 1; x += 7)
                spread = std::max(spread, std::abs(qGray(small.pixel(x, y)) - 128));
        EXPECT_LE(spread, 20) << "an odd box over a checkerboard is at most 5:4";
    }
    NConvert::Picture same;
    ASSERT_TRUE(ResamplePicture(PictureOf(stripes), 1600, 1200, same));
    EXPECT_EQ(ImageOf(same), stripes);
    EXPECT_FALSE(ResamplePicture(PictureOf(stripes), 0, 10, same));
    EXPECT_FALSE(ResamplePicture(NConvert::Picture(), 10, 10, same));
}

TEST(ResamplePicture, GrowsWithACubicAndLaysTransparencyOnBlack)
{
    // A 2 x 1 picture, black then white, grown to 4 x 1: pixel centres at
    // -0.25, 0.25, 0.75 and 1.25 of the source. The cubic's weights there
    // give 0 (its undershoot clamped), 52, 203 and 255: steeper than the 64
    // and 191 of linear interpolation, and the edges keep their colours.
    NConvert::Picture pair;
    pair.width = 2;
    pair.height = 1;
    pair.rgba = {0, 0, 0, 255, 255, 255, 255, 255};
    NConvert::Picture grown;
    ASSERT_TRUE(ResamplePicture(pair, 4, 1, grown));
    ASSERT_EQ(grown.rgba.size(), 16u);
    EXPECT_EQ(grown.rgba[0], 0);
    EXPECT_EQ(grown.rgba[4], 52);
    EXPECT_EQ(grown.rgba[8], 203);
    EXPECT_EQ(grown.rgba[12], 255);

    // Grown along one axis and shrunk along the other: a flat colour stays
    // exactly flat to the last row and column.
    NConvert::Picture flat;
    flat.width = 7;
    flat.height = 40;
    flat.rgba.assign(7 * 40 * 4, 255);
    for (std::size_t i = 0; i < flat.rgba.size(); i += 4)
        flat.rgba[i] = 90;
    NConvert::Picture reshaped;
    ASSERT_TRUE(ResamplePicture(flat, 23, 9, reshaped));
    for (std::size_t i = 0; i < reshaped.rgba.size(); i += 4)
        ASSERT_EQ(reshaped.rgba[i], 90) << "pixel " << i / 4;

    // Half-transparent white on black is mid grey, and the result is opaque.
    NConvert::Picture faint;
    faint.width = 1;
    faint.height = 1;
    faint.rgba = {255, 255, 255, 128};
    NConvert::Picture drawn;
    ASSERT_TRUE(ResamplePicture(faint, 2, 2, drawn));
    for (std::size_t i = 0; i < drawn.rgba.size(); i += 4) {
        EXPECT_EQ(drawn.rgba[i], 128);
        EXPECT_EQ(drawn.rgba[i + 3], 255);
    }
}

TEST(FrameNormalisation, FrameSizeIsKeptWithinTheFrameLimits)
{
    // Within the limits: unchanged, even if odd (the caller rounds).
    EXPECT_EQ(LimitFrameSize(QSize(640, 480)), QSize(640, 480));
    EXPECT_EQ(LimitFrameSize(QSize(4096, 2176)), QSize(4096, 2176)); // exactly 8,912,896 pixels
    // Too many pixels: scaled by the square root, sides even, aspect kept.
    EXPECT_EQ(LimitFrameSize(QSize(8000, 6000)), QSize(3446, 2584));
    // Too long a side: the side decides.
    EXPECT_EQ(LimitFrameSize(QSize(20000, 1000)), QSize(4096, 204));
    EXPECT_EQ(LimitFrameSize(QSize(1001, 30001)), QSize(136, 4096));
    for (const QSize size : {QSize(8000, 6000), QSize(20000, 1000), QSize(4097, 4097), QSize(65500, 3)}) {
        const QSize limited = LimitFrameSize(size);
        EXPECT_LE(limited.width(), 4096);
        EXPECT_LE(limited.height(), 4096);
        EXPECT_LE(qint64(limited.width()) * limited.height(), 8'912'896);
        EXPECT_EQ(limited.width() % 2, 0);
        EXPECT_EQ(limited.height() % 2, 0);
        EXPECT_GE(limited.height(), 2);
    }
}

TEST(FrameNormalisation, OnlySmallerJpegsTheEncoderReadsAsTheyAreAreLeftToItToGrow)
{
    Frames frames;
    frames.add(1, 80, 60, qRgb(40, 200, 40));
    frames.add(2, 40, 30, qRgb(40, 40, 200));
    // Wider than the frame although smaller in area: it must shrink.
    frames.add(3, 90, 40);
    // A JPEG cut in its picture data: its header reads, its pixels do not.
    frames.add(4, 40, 30, qRgb(40, 40, 200));
    QByteArray cut = frames.bytes(4);
    cut.chop(cut.size() / 3);
    // A PNG under the frame's name.
    QImage png(40, 30, QImage::Format_RGB32);
    png.fill(qRgb(40, 40, 200));
    ASSERT_TRUE(png.save(frames.path(5), "PNG"));
    {
        QFile damaged(frames.path(4));
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write(cut);
    }
    const QByteArray first = frames.bytes(1);
    const QByteArray second = frames.bytes(2);
    RecordingBar bar;
    RecordingReporter reporter;
    EXPECT_EQ(SetImagesSizes(frames.workFolder(), 5, 60, 80, bar, reporter, Yield(), Growing::Encoder), 1);
    EXPECT_EQ(frames.bytes(1), first);
    EXPECT_EQ(frames.bytes(2), second) << "left for the encoder as it was";
    for (const int i : {3, 4, 5}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frames.read(i).size(), QSize(80, 60)) << "redrawn here";
    }
    EXPECT_EQ(bar.captions.size(), 5) << "every frame still shows its progress";

    RecordingBar again;
    EXPECT_EQ(SetImagesSizes(frames.workFolder(), 2, 60, 80, again, reporter, Yield()), 0);
    EXPECT_EQ(frames.read(2).size(), QSize(80, 60)) << "the default redraws every frame";
    ASSERT_EQ(reporter.reports.size(), 1u) << "the cut frame, as any frame that cannot be loaded";
    EXPECT_EQ(reporter.reports[0].step, 112);
}
