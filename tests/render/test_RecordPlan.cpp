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

// `levels` sprites, each defined inside the one before, with a StartSound in
// the outermost and a SoundStreamHead in the innermost. Written front to
// back: wrapping each level in the next would take quadratic time.
QByteArray NestedSprites(int levels)
{
    SwfBuild::Bytes body;
    const auto u16 = [&body](unsigned v) {
        body.push_back(std::uint8_t(v & 0xff));
        body.push_back(std::uint8_t(v >> 8));
    };
    u16(1); // the outermost sprite's ID and frame count
    u16(1);
    u16(15 << 6 | 3); // StartSound of sound 1, no sound info
    u16(1);
    body.push_back(0);
    const std::uint32_t innermost = 2 + 4 + 2; // SoundStreamHead and End
    for (int level = 2; level <= levels; ++level) {
        const std::uint32_t length = 4 + 10 * std::uint32_t(levels - level) + innermost;
        u16(39 << 6 | 0x3f);
        u16(length & 0xffff);
        u16(length >> 16);
        u16(unsigned(level));
        u16(1);
    }
    u16(18 << 6 | 4);
    u16(0);
    u16(0);
    u16(0);
    return Bytes(SwfBuild::BuildSwf(SwfBuild::Tags().tag(39, body, true).showFrame().end(), SwfBuild::Container::Fws));
}

} // namespace

TEST(FrameSize, SmallStagesGrowToFitTheTargetLargeOnesShrinkToTheCaps)
{
    EXPECT_EQ(FrameSizeFor(320, 240), QSize(960, 720));
    EXPECT_EQ(FrameSizeFor(550, 400), QSize(990, 720));
    EXPECT_EQ(FrameSizeFor(1280, 720), QSize(1280, 720));
    EXPECT_EQ(FrameSizeFor(1920, 1080), QSize(1920, 1080)); // larger than the target: kept
    EXPECT_EQ(FrameSizeFor(333, 101), QSize(1280, 388)); // odd results made even
    EXPECT_EQ(FrameSizeFor(8000, 1000), QSize(4096, 512)); // side cap
    const QSize big = FrameSizeFor(4000, 4000); // area cap
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

TEST(SwfSummary, SpritesNestedPastTheExtractorsDepthAreNotRead)
{
    const SwfSummary atCap = ReadSwfSummary(NestedSprites(16));
    ASSERT_TRUE(atCap.ok) << atCap.error.toStdString();
    EXPECT_TRUE(atCap.eventSounds);
    EXPECT_TRUE(atCap.streamSound);

    const SwfSummary beyond = ReadSwfSummary(NestedSprites(17));
    ASSERT_TRUE(beyond.ok);
    EXPECT_TRUE(beyond.eventSounds);
    EXPECT_FALSE(beyond.streamSound);

    // Half a million levels once ran the reader out of stack.
    const SwfSummary deep = ReadSwfSummary(NestedSprites(500000));
    ASSERT_TRUE(deep.ok);
    EXPECT_TRUE(deep.eventSounds);
    EXPECT_FALSE(deep.streamSound);
}

TEST(SwfSummary, PlacementCutShortAtTheEndIsIgnored)
{
    SwfBuild::Tags tags;
    SwfBuild::AddRectShape(tags, 1, 0, 0, 100, 100, {1, 2, 3});
    tags.defineButton2(2, {SwfBuild::ButtonRecord{1, 1, 0x01}});
    for (const std::uint16_t code : {26, 70}) {
        SCOPED_TRACE(code);
        SwfBuild::Tags cut = tags;
        cut.placeObject2(1, 2).tag(code, {});
        const SwfSummary s = ReadSwfSummary(Bytes(SwfBuild::BuildSwf(cut, SwfBuild::Container::Fws)));
        ASSERT_TRUE(s.ok);
        EXPECT_EQ(s.buttons.size(), 1) << "the whole placement before it still counts";
    }
}
