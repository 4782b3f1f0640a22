#include "render/MovieRecorder.h"
#include "render/RecordPlan.h"
#include "render/SwfSummary.h"

#include "QtPrinters.h"
#include "VectorSwf.h"

#include <QByteArray>

#include <gtest/gtest.h>

using namespace Render;

namespace {

QByteArray Bytes(const SwfBuild::Bytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), qsizetype(b.size()));
}

SwfBuild::MovieOptions Options(std::uint16_t w, std::uint16_t h, double fps, std::uint16_t frames)
{
    SwfBuild::MovieOptions o;
    o.widthPx = w;
    o.heightPx = h;
    o.frameRate = std::uint16_t(fps * 256);
    o.frameCount = frames;
    return o;
}

} // namespace

TEST(FrameSize, SmallStagesGrowToFitTheTargetLargeOnesShrinkToTheCaps)
{
    EXPECT_EQ(FrameSizeFor(320, 240), QSize(960, 720));
    EXPECT_EQ(FrameSizeFor(550, 400), QSize(990, 720));
    EXPECT_EQ(FrameSizeFor(1280, 720), QSize(1280, 720));
    EXPECT_EQ(FrameSizeFor(1920, 1080), QSize(1920, 1080)); // larger than the target: kept
    EXPECT_EQ(FrameSizeFor(333, 101), QSize(1280, 388));    // odd results made even
    EXPECT_EQ(FrameSizeFor(8000, 1000), QSize(4096, 512));  // side cap
    const QSize big = FrameSizeFor(4000, 4000);             // area cap
    EXPECT_LE(qint64(big.width()) * big.height(), MaxFramePixels);
    EXPECT_EQ(big.width() % 2, 0);
    EXPECT_EQ(big.width(), big.height());
    EXPECT_TRUE(FrameSizeFor(0, 240).isEmpty());
    EXPECT_EQ(FrameSizeFor(1, 1), QSize(720, 720));
}

TEST(SwfSummary, ReadsHeaderInEveryContainerAndFindsSoundsAndButtons)
{
    SwfBuild::ColourMovie movie;
    movie.frames = 12;
    movie.framesPerSecond = 15;
    movie.stopWithButton = true;
    movie.beepFrame = 3;
    movie.beepPcm = SwfBuild::Bytes(200, 0);
    const SwfBuild::Bytes fws = SwfBuild::ColourStepMovie(movie);
    const SwfSummary plain = ReadSwfSummary(Bytes(fws));
    ASSERT_TRUE(plain.ok) << plain.error.toStdString();
    EXPECT_DOUBLE_EQ(plain.widthPx, 320);
    EXPECT_DOUBLE_EQ(plain.heightPx, 240);
    EXPECT_DOUBLE_EQ(plain.frameRate, 15);
    EXPECT_EQ(plain.frameCount, 12);
    EXPECT_TRUE(plain.eventSounds);
    EXPECT_FALSE(plain.streamSound);
    EXPECT_EQ(plain.background, QStringLiteral("#202020"));
    // The button is the centred quarter-size white square.
    ASSERT_EQ(plain.buttons.size(), 1);
    EXPECT_NEAR(plain.buttons[0].x(), 160, 0.01);
    EXPECT_NEAR(plain.buttons[0].y(), 120, 0.01);

    // The same movie compressed both ways reads the same.
    SwfBuild::Tags tags;
    SwfBuild::AddRectShape(tags, 1, 0, 0, 100, 100, {1, 2, 3});
    tags.showFrame().end();
    for (auto container : {SwfBuild::Container::Cws, SwfBuild::Container::Zws}) {
        const SwfSummary s = ReadSwfSummary(Bytes(SwfBuild::BuildSwf(tags, container, Options(640, 360, 24.5, 7))));
        ASSERT_TRUE(s.ok) << s.error.toStdString();
        EXPECT_DOUBLE_EQ(s.frameRate, 24.5);
        EXPECT_EQ(s.frameCount, 7);
        EXPECT_DOUBLE_EQ(s.widthPx, 640);
        EXPECT_TRUE(s.buttons.isEmpty());
        EXPECT_FALSE(s.eventSounds);
    }
}

TEST(SwfSummary, RefusesWhatIsNoMovie)
{
    EXPECT_FALSE(ReadSwfSummary(QByteArray("GIF89a...")).ok);
    EXPECT_FALSE(ReadSwfSummary(QByteArray()).ok);
    QByteArray lying = Bytes(SwfBuild::BuildSwf(SwfBuild::Tags().end(), SwfBuild::Container::Fws));
    lying[4] = lying[5] = lying[6] = lying[7] = char(0xff); // 4 GB claimed
    const SwfSummary s = ReadSwfSummary(lying);
    EXPECT_FALSE(s.ok);
    EXPECT_FALSE(s.error.isEmpty());
    // A compressed body cut short still gives its header.
    SwfBuild::Tags tags;
    for (int i = 0; i < 50; ++i)
        SwfBuild::AddRectShape(tags, std::uint16_t(i + 1), 0, 0, 100 + i, 100, {9, 9, 9});
    const QByteArray cws = Bytes(SwfBuild::BuildSwf(tags.end(), SwfBuild::Container::Cws, Options(100, 50, 12, 3)));
    const SwfSummary cut = ReadSwfSummary(cws.left(cws.size() / 2));
    ASSERT_TRUE(cut.ok) << cut.error.toStdString();
    EXPECT_EQ(cut.frameCount, 3);
}

TEST(RecordPlan, FrameRateOverrideCapsAndNotes)
{
    SwfSummary movie;
    movie.ok = true;
    movie.widthPx = 550;
    movie.heightPx = 400;
    movie.frameRate = 24;
    movie.frameCount = 240;
    RecordRequest request;
    RecordPlan plan = PlanRecording(movie, request);
    ASSERT_TRUE(plan.ok);
    EXPECT_EQ(plan.frames, 240);
    EXPECT_DOUBLE_EQ(plan.frameRate, 24);
    EXPECT_TRUE(plan.notes.isEmpty());

    request.fpsOverride = 12;
    request.maxSeconds = 5;
    plan = PlanRecording(movie, request);
    EXPECT_DOUBLE_EQ(plan.frameRate, 12);
    EXPECT_EQ(plan.frames, 60);
    EXPECT_EQ(plan.notes.size(), 1);

    // Absurd rates are replaced, and say so.
    for (double rate : {0.0, 240.0}) {
        movie.frameRate = rate;
        plan = PlanRecording(movie, RecordRequest{});
        EXPECT_DOUBLE_EQ(plan.frameRate, FallbackFrameRate);
        EXPECT_EQ(plan.notes.size(), 1);
    }

    // A timeline report's length wins over the header's; the frame cap over both.
    movie.frameRate = 10;
    request = RecordRequest{};
    request.frameCountOverride = 400;
    EXPECT_EQ(PlanRecording(movie, request).frames, 400);
    request.maxFrames = 50;
    EXPECT_EQ(PlanRecording(movie, request).frames, 50);

    movie.widthPx = 0;
    EXPECT_FALSE(PlanRecording(movie, RecordRequest{}).ok);
}
