// The timeline report: which pictures are on stage in which frames, the
// sounds and their starts, the streams and videos, and its caps.
#include "SwfTestKit.h"

#include "MediaProbe.h"
#include "TempFolder.h"

#include "VectorSwf.h"

#include "swfextract/lib/Timeline.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace SwfTestKit;
using SwfBuild::BuildSwf;
using SwfBuild::ButtonRecord;
using SwfBuild::SoundInfo;
using SwfBuild::Tags;
using SwfExtract::FrameSpan;
using SwfExtract::Limits;
using SwfExtract::Movie;
using SwfExtract::Result;
using SwfExtract::Timeline;

namespace {

using Span = std::pair<std::optional<std::uint32_t>, std::optional<std::uint32_t>>;
const Span kNever{std::nullopt, std::nullopt};

Span Frames(std::uint32_t first, std::uint32_t last)
{
    return {first, last};
}

Span Of(const FrameSpan &span)
{
    return {span.first, span.last};
}

// A 4 x 3 lossless picture; `shade` tells pictures apart.
Tags &Bitmap(Tags &tags, std::uint16_t id, std::uint8_t shade = 0x80)
{
    std::vector<std::array<std::uint8_t, 4>> pixels(12, {0xFF, shade, 0x20, 0x40});
    return tags.defineBitsLossless(id, 5, 4, 3, SwfBuild::EncodeArgb(pixels));
}

Timeline Read(const Tags &tags, const Limits &limits = Limits())
{
    const Result<Movie> movie = LoadMovie(BuildSwf(tags), limits);
    EXPECT_TRUE(movie.ok()) << movie.error().text();
    return movie ? Timeline::read(*movie, limits) : Timeline();
}

// Where each picture ID (first definition) is on stage.
std::map<std::uint16_t, Span> SpansById(const Timeline &timeline)
{
    std::map<std::uint16_t, Span> spans;
    for (const SwfExtract::StagedPicture &picture : timeline.pictures)
        if (picture.definition == 1)
            spans[picture.id] = Of(picture.onStage);
    return spans;
}

bool Mentions(const std::vector<std::string> &warnings, const std::string &text)
{
    for (const std::string &warning : warnings)
        if (warning.find(text) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(Timeline, ShapePlacedAndRemovedShowsItsBitmapInBetween)
{
    Tags tags;
    Bitmap(tags, 1);
    Bitmap(tags, 2); // never used
    tags.defineBitmapShape(10, 1).showFrame().showFrame();
    tags.placeObject(10, 1).showFrame().showFrame().showFrame(); // frames 2-4
    tags.removeObject(10, 1).showFrame().showFrame().end();
    const Timeline timeline = Read(tags);
    EXPECT_EQ(timeline.frames, 7u);
    ASSERT_EQ(timeline.pictures.size(), 2u);
    const SwfExtract::StagedPicture &picture = timeline.pictures[0];
    EXPECT_EQ(picture.id, 1);
    EXPECT_FALSE(picture.jpeg);
    EXPECT_EQ(picture.width, 4u);
    EXPECT_EQ(picture.height, 3u);
    EXPECT_FALSE(picture.alpha);
    EXPECT_EQ(Of(picture.onStage), Frames(2, 4));
    EXPECT_EQ(Of(timeline.pictures[1].onStage), kNever);
    EXPECT_TRUE(timeline.warnings.empty());
    EXPECT_FALSE(timeline.damaged);
}

TEST(Timeline, EveryShapeKindFindsItsBitmapFills)
{
    struct Case
    {
        const char *name;
        std::function<void(Tags &)> define;
        bool second; // bitmap 2 used too
    };
    const Case cases[] = {
        {"DefineShape", [](Tags &t) { t.defineBitmapShape(10, 1, 1); }, false},
        {"DefineShape2", [](Tags &t) { t.defineBitmapShape(10, 1, 2); }, false},
        {"DefineShape3", [](Tags &t) { t.defineBitmapShape(10, 1, 3); }, false},
        {"DefineShape4", [](Tags &t) { t.defineBitmapShape(10, 1, 4); }, false},
        {"DefineShape2 new styles", [](Tags &t) { t.defineBitmapShape(10, 1, 2, 2); }, true},
        {"DefineShape3 new styles", [](Tags &t) { t.defineBitmapShape(10, 1, 3, 2); }, true},
        {"DefineShape4 new styles", [](Tags &t) { t.defineBitmapShape(10, 1, 4, 2); }, true},
        {"DefineMorphShape", [](Tags &t) { t.defineBitmapMorphShape(10, 1, 1); }, false},
        {"DefineMorphShape2", [](Tags &t) { t.defineBitmapMorphShape(10, 1, 2); }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Tags tags;
        Bitmap(tags, 1);
        Bitmap(tags, 2);
        c.define(tags);
        tags.showFrame().placeObject2(1, 10).showFrame().showFrame().end();
        const Timeline timeline = Read(tags);
        EXPECT_FALSE(timeline.damaged);
        std::map<std::uint16_t, Span> spans = SpansById(timeline);
        EXPECT_EQ(spans[1], Frames(1, 2));
        EXPECT_EQ(spans[2], c.second ? Frames(1, 2) : kNever);
    }
}

TEST(Timeline, DisplayListFollowsMovesReplacementsAndRemovals)
{
    Tags tags;
    Bitmap(tags, 1);
    Bitmap(tags, 2);
    Bitmap(tags, 3);
    tags.defineBitmapShape(11, 1).defineBitmapShape(12, 2).defineBitmapShape(13, 3, 3);
    tags.placeObject2(1, 11).showFrame(); // 0: 11
    tags.placeObject2(1, std::nullopt, true).showFrame(); // 1: moved, still 11
    tags.placeObject3(1, 12, true).showFrame(); // 2: replaced by 12
    tags.placeObject3(2, 13, false, "Pic").showFrame(); // 3: 12 and 13
    tags.placeObject(11, 1).showFrame(); // 4: 11 replaces 12 again
    tags.removeObject2(2).removeObject2(7).showFrame(); // 5: 11 only
    tags.removeObject2(1).showFrame().end(); // 6: nothing
    const Timeline timeline = Read(tags);
    std::map<std::uint16_t, Span> spans = SpansById(timeline);
    EXPECT_EQ(spans[1], Frames(0, 5));
    EXPECT_EQ(spans[2], Frames(2, 3));
    EXPECT_EQ(spans[3], Frames(3, 4));
    EXPECT_EQ(timeline.frames, 7u);
}

TEST(Timeline, SpritesAndButtonsShowWhatTheyHold)
{
    Tags inner;
    inner.showFrame().placeObject2(1, 10).showFrame().end(); // the shape comes in its second frame
    Tags outer;
    outer.placeObject2(1, 20).showFrame().end();
    Tags tags;
    Bitmap(tags, 1);
    Bitmap(tags, 2);
    Bitmap(tags, 3);
    Bitmap(tags, 4);
    tags.defineBitmapShape(10, 1).defineBitmapShape(11, 2).defineBitmapShape(12, 3).defineBitmapShape(13, 4);
    tags.defineSprite(20, 2, inner).defineSprite(21, 1, outer);
    // Up state shows 11; 12 is only the hit area, never drawn.
    tags.defineButton2(30, {ButtonRecord{11, 1, 0x01}, ButtonRecord{12, 2, 0x08}});
    tags.defineButton(31, {ButtonRecord{13, 1, 0x04}});
    tags.placeObject2(1, 21).showFrame().showFrame().showFrame(); // 0-2
    tags.removeObject2(1).placeObject2(2, 30).showFrame(); // 3
    tags.placeObject2(3, 31).showFrame().end(); // 4
    const Timeline timeline = Read(tags);
    std::map<std::uint16_t, Span> spans = SpansById(timeline);
    EXPECT_EQ(spans[1], Frames(0, 2));
    EXPECT_EQ(spans[2], Frames(3, 4));
    EXPECT_EQ(spans[3], kNever);
    EXPECT_EQ(spans[4], Frames(4, 4));
    EXPECT_FALSE(timeline.damaged);
}

TEST(Timeline, SpriteCyclesEndAndDeepNestingIsCut)
{
    // Sprite 40 places itself and a shape: the walk must end.
    Tags self;
    self.placeObject2(1, 40).placeObject2(2, 10).showFrame().end();
    // 50 holds 51 holds ... 59, which holds the shape of bitmap 2.
    Tags tags;
    Bitmap(tags, 1);
    Bitmap(tags, 2);
    tags.defineBitmapShape(10, 1).defineBitmapShape(11, 2).defineSprite(40, 1, self);
    for (std::uint16_t id = 59; id >= 50; --id) {
        Tags chain;
        chain.placeObject2(1, id == 59 ? 11 : std::uint16_t(id + 1)).showFrame().end();
        tags.defineSprite(id, 1, chain);
    }
    tags.placeObject2(1, 40).placeObject2(2, 50).showFrame().end();

    const Timeline whole = Read(tags);
    EXPECT_EQ(SpansById(whole)[1], Frames(0, 0));
    EXPECT_EQ(SpansById(whole)[2], Frames(0, 0));

    Limits shallow;
    shallow.maxSpriteDepth = 4;
    const Timeline cut = Read(tags, shallow);
    EXPECT_EQ(SpansById(cut)[1], Frames(0, 0));
    EXPECT_EQ(SpansById(cut)[2], kNever);
    EXPECT_TRUE(Mentions(cut.warnings, "deeper than 4")) << ::testing::PrintToString(cut.warnings);
}

TEST(Timeline, BitmapRedefinedUnderOnePlacedShapeIsResolvedWhenShown)
{
    // As FFmpeg writes a slide show: one shape filled with bitmap 0, and
    // bitmap 0 freed and defined anew for every frame.
    const Bytes jpeg = EncodeJpeg(Pattern(16, 8));
    Tags tags;
    tags.defineBitsJpeg2(0, jpeg).defineBitmapShape(1, 0).placeObject(1, 1).showFrame();
    for (int frame = 1; frame < 4; ++frame)
        tags.freeCharacter(0).defineBitsJpeg2(0, jpeg).showFrame();
    tags.end();
    const Timeline timeline = Read(tags);
    ASSERT_EQ(timeline.pictures.size(), 4u);
    for (std::uint32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(timeline.pictures[i].definition, int(i + 1));
        EXPECT_TRUE(timeline.pictures[i].jpeg);
        EXPECT_EQ(timeline.pictures[i].width, 16u);
        EXPECT_EQ(timeline.pictures[i].height, 8u);
        EXPECT_EQ(Of(timeline.pictures[i].onStage), Frames(i, i));
    }
}

TEST(Timeline, FfmpegSlideShowHasEachPictureInItsOwnFrame)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed";
    TempFolder tmp;
    const QString swf = tmp.file(QStringLiteral("slides.swf"));
    ASSERT_TRUE(MakeFfmpegSwf(swf, 48, 32, 5));
    const Result<Movie> movie = Movie::open(swf.toStdString(), Limits());
    ASSERT_TRUE(movie.ok());
    const Timeline timeline = Timeline::read(*movie, Limits());
    EXPECT_EQ(timeline.frames, 5u);
    ASSERT_EQ(timeline.pictures.size(), 5u);
    for (std::uint32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(timeline.pictures[i].definition, int(i + 1));
        EXPECT_EQ(timeline.pictures[i].width, 48u);
        EXPECT_EQ(timeline.pictures[i].height, 32u);
        EXPECT_EQ(Of(timeline.pictures[i].onStage), Frames(i, i));
    }
}

TEST(TimelineSounds, StartsCarryTheirSoundInfoAndSpriteFrames)
{
    SoundInfo looped;
    looped.loops = 1000;
    SoundInfo stop;
    stop.syncStop = true;
    SoundInfo trimmed;
    trimmed.noMultiple = true;
    trimmed.inPoint = 100;
    trimmed.outPoint = 2000;
    trimmed.envelope = {{0, 32768, 32768}, {1000, 0, 0}};
    Tags sprite;
    sprite.showFrame().showFrame().startSound(4).showFrame().end(); // its frame 2

    Tags tags;
    tags.defineSound(3, 0x3E, 4410, Bytes(8820, 0)).defineSound(4, 0x3E, 441, Bytes(882, 0));
    tags.defineSprite(9, 3, sprite);
    tags.showFrame().showFrame().startSound(3, looped).showFrame(); // 2
    tags.placeObject2(1, 9).showFrame(); // 3: sprite start at 5
    tags.startSound(3, stop).startSound2("Music", trimmed).showFrame(); // 4
    tags.startSound2("Nobody").placeObject2(2, 9).showFrame(); // 5: sprite start at 7
    tags.symbolClass({{4, "Music"}}).end();
    const Timeline timeline = Read(tags);

    struct Expected
    {
        std::uint32_t frame;
        std::optional<std::uint16_t> sound;
        std::uint16_t sprite;
        std::uint32_t loops;
        bool stop;
    };
    const Expected expected[] = {
        {2, 3, 0, 1000, false},         {5, 4, 9, 1, false}, {4, 3, 0, 1, true}, {4, 4, 0, 1, false},
        {5, std::nullopt, 0, 1, false}, {7, 4, 9, 1, false},
    };
    ASSERT_EQ(timeline.starts.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const SwfExtract::SoundStartEvent &start = timeline.starts[i];
        EXPECT_EQ(start.frame, expected[i].frame);
        EXPECT_EQ(start.sound, expected[i].sound);
        EXPECT_EQ(start.sprite, expected[i].sprite);
        EXPECT_EQ(start.loops, expected[i].loops);
        EXPECT_EQ(start.stop, expected[i].stop);
    }
    const SwfExtract::SoundStartEvent &music = timeline.starts[3];
    EXPECT_EQ(music.className, "Music");
    EXPECT_TRUE(music.noMultiple);
    EXPECT_EQ(music.inPoint, 100u);
    EXPECT_EQ(music.outPoint, 2000u);
    EXPECT_TRUE(music.envelope);
    EXPECT_FALSE(timeline.starts[0].envelope);
    EXPECT_EQ(timeline.starts[0].inPoint, std::nullopt);
    EXPECT_TRUE(Mentions(timeline.warnings, "\"Nobody\""));
}

TEST(TimelineSounds, FormatsRatesAndLengths)
{
    struct Case
    {
        std::uint8_t formatByte;
        const char *format;
        std::uint32_t rate;
        int channels;
        int bits;
    };
    const Case cases[] = {
        {0x03, "pcm", 5512, 2, 16},
        {0x1A, "adpcm", 22050, 1, 16},
        {0x2F, "mp3", 44100, 2, 16},
        {0x34, "pcm-le", 11025, 1, 8},
        {0x42, "nellymoser-16k", 16000, 1, 16},
        {0x52, "nellymoser-8k", 8000, 1, 16},
        {0x6A, "nellymoser", 22050, 1, 16},
        {0x7A, "alaw", 22050, 1, 16},
        {0x8A, "mulaw", 22050, 1, 16},
        {0xB2, "speex", 16000, 1, 16},
        {0xE2, "mp3-8k", 8000, 1, 16},
        {0x9E, "code-9", 44100, 1, 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(SwfExtract::SoundFormatName(c.formatByte >> 4), c.format);
        EXPECT_EQ(SwfExtract::SoundRate(c.formatByte), c.rate);
        EXPECT_EQ(SwfExtract::SoundChannels(c.formatByte), c.channels);
        EXPECT_EQ(SwfExtract::SoundBits(c.formatByte), c.bits);
    }
    Tags tags;
    tags.defineSound(1, 0x2E, 22050, {0x40, 0x02, 0xFF, 0xFB}).defineSound(2, 0x16, 11025, {1, 2, 3}).end();
    const Timeline timeline = Read(tags);
    ASSERT_EQ(timeline.sounds.size(), 2u);
    EXPECT_EQ(timeline.sounds[0].samples, 22050u);
    EXPECT_EQ(timeline.sounds[0].seekSamples, std::int16_t(0x0240));
    EXPECT_EQ(timeline.sounds[1].seekSamples, std::nullopt);
}

TEST(TimelineStreams, MainAndSpriteStreamsKeepTheirFramesAndGaps)
{
    Tags sprite;
    sprite.soundStreamHead2(0x2A, 576, std::int16_t(336));
    sprite.soundStreamBlock(576, 0, {0xFF, 0xF3, 0x10, 0xC4}).showFrame();
    sprite.showFrame().soundStreamBlock(576, 0, {0xFF, 0xF3, 0x10, 0xC4}).showFrame().end();
    Tags tags;
    tags.defineSprite(9, 3, sprite);
    tags.soundStreamHead(0x16, 2048).showFrame(); // 0: no block
    tags.soundStreamData({1, 2, 3}).placeObject2(1, 9).showFrame(); // 1
    tags.soundStreamData({4, 5, 6}).showFrame(); // 2
    tags.removeObject2(1).showFrame(); // 3: gap
    tags.soundStreamData({7, 8, 9}).placeObject2(1, 9).showFrame().end(); // 4
    const Timeline timeline = Read(tags);
    ASSERT_TRUE(timeline.stream);
    EXPECT_EQ(timeline.stream->formatByte, 0x16);
    EXPECT_EQ(timeline.stream->blockCount, 3u);
    EXPECT_EQ(Of(timeline.stream->frames), Frames(1, 4));
    ASSERT_EQ(timeline.stream->blocks.size(), 3u);
    EXPECT_EQ(timeline.stream->blocks[2].frame, 4u);
    EXPECT_EQ(timeline.stream->blocks[2].data.length, 3u);

    ASSERT_EQ(timeline.spriteStreams.size(), 1u);
    const SwfExtract::StreamTrack &inner = timeline.spriteStreams[0];
    EXPECT_EQ(inner.sprite, 9);
    EXPECT_EQ(inner.latencySeek, 336);
    EXPECT_EQ(inner.blockCount, 2u);
    EXPECT_EQ(Of(inner.frames), Frames(0, 2));
    EXPECT_EQ(inner.blocks[0].data.length, 4u); // MP3 data after the 4-byte header
    EXPECT_EQ(inner.placedAt, (std::vector<std::uint32_t>{1, 4}));
}

TEST(Timeline, StopsBackgroundAndVideos)
{
    struct Case
    {
        const char *name;
        Tags tags;
        bool stops;
    };
    const Case cases[] = {
        {"stop in the last frame", Tags().showFrame().doAction({SwfBuild::kActionStop}).showFrame().end(), true},
        {"stop in an earlier frame", Tags().doAction({SwfBuild::kActionStop}).showFrame().showFrame().end(), false},
        {"play only", Tags().showFrame().doAction({SwfBuild::kActionPlay}).showFrame().end(), false},
        {"stop after the last frame", Tags().showFrame().doAction({SwfBuild::kActionStop}).end(), false},
        {"ActionScript 3", Tags().fileAttributes(SwfBuild::kFileAttributesAs3).showFrame().end(), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(c.tags).stops(), c.stops);
    }

    Tags tags;
    tags.setBackgroundColor(0x12, 0xAB, 0x0F).defineVideoStream(5, 3, 160, 120, 2).showFrame();
    tags.placeObject2(1, 5).videoFrame(5, 0, {1, 2, 3}).showFrame();
    tags.videoFrame(5, 1, {4, 5}).showFrame().removeObject2(1).showFrame().end();
    const Timeline timeline = Read(tags);
    EXPECT_EQ(timeline.background, 0x12AB0Fu);
    ASSERT_EQ(timeline.videos.size(), 1u);
    EXPECT_EQ(timeline.videos[0].frameCount, 2u);
    EXPECT_EQ(timeline.videos[0].width, 160);
    EXPECT_EQ(Of(timeline.videos[0].onStage), Frames(1, 2));
    EXPECT_EQ(Read(Tags().showFrame().end()).background, std::nullopt);
}

TEST(Timeline, CapsKeepAHostileReportSmall)
{
    Tags tags;
    tags.defineBitmapShape(100, 1);
    for (std::uint16_t id = 1; id <= 10; ++id)
        Bitmap(tags, id).startSound(id).placeObject2(id, 100);
    tags.showFrame();
    for (int i = 0; i < 200; ++i)
        tags.placeObject2(1, i % 2 ? 100 : 101).showFrame();
    tags.end();

    Limits limits;
    limits.maxReportEntries = 3;
    limits.maxTimelineDepths = 2;
    limits.maxTimelineWork = 100;
    const Timeline timeline = Read(tags, limits);
    EXPECT_EQ(timeline.pictures.size(), 3u);
    EXPECT_EQ(timeline.starts.size(), 3u);
    EXPECT_LE(timeline.warnings.size(), 3u);
    EXPECT_EQ(timeline.frames, 201u);
    const Timeline open = Read(tags, Limits{});
    EXPECT_EQ(open.pictures.size(), 10u);
    EXPECT_EQ(open.starts.size(), 10u);

    limits.maxReportEntries = 100;
    const Timeline capped = Read(tags, limits);
    EXPECT_TRUE(Mentions(capped.warnings, "more than 2 depths")) << ::testing::PrintToString(capped.warnings);
    EXPECT_TRUE(Mentions(capped.warnings, "too complex")) << ::testing::PrintToString(capped.warnings);
    limits.maxTimelineWork = 1 << 20;
    limits.maxReportEntries = 5;
    EXPECT_TRUE(Mentions(Read(tags, limits).warnings, "5 more pictures not reported"));

    // Twenty shapes cut short, each a warning, and sprite definitions the
    // movie's own walk warns of: the list keeps its cap and says what it left out.
    Tags broken;
    for (std::uint8_t id = 0; id < 20; ++id)
        broken.tag(22, {id, 0, 0x00, 0x01, 0x41});
    for (std::uint16_t id = 30; id < 35; ++id)
        broken.defineSprite(id, 1, Tags().defineShape(std::uint16_t(id + 10)).showFrame().end());
    limits.maxReportEntries = 4;
    const Timeline many = Read(broken.end(), limits);
    ASSERT_EQ(many.warnings.size(), 4u);
    // The five sprites are a list over its cap too, which takes one more line.
    EXPECT_EQ(many.warnings.back(), "23 more warnings not reported (the limit is 4)");
    EXPECT_TRUE(Mentions(many.warnings, "1 more sprites not reported"));
    EXPECT_TRUE(many.damaged);
}

TEST(TimelineDrawing, ButtonCentresGoThroughTheirRecordsAndPlacements)
{
    Tags tags;
    SwfBuild::AddRectShape(tags, 1, 0, 0, 2000, 1000, {9, 9, 9});
    SwfBuild::AddRectShape(tags, 2, -400, -400, 800, 800, {9, 9, 9});
    SwfBuild::AddRectShape(tags, 3, 0, 0, 100000, 100000, {9, 9, 9});
    // Up state: shape 1 moved by (400, 200), so (400..2400, 200..1200).
    SwfBuild::AddPlayButton(tags, 10, 1, 400, 200);
    // Shape 2 in the up state; shape 3 only in the hit test, not drawn.
    tags.defineButton(11, {ButtonRecord{2, 1, 0x01}, ButtonRecord{3, 2, 0x08}});
    // No known shape: pressed at its origin.
    tags.defineButton2(12, {ButtonRecord{99, 1, 0x0F}});
    tags.defineSprite(20, 1, Tags().placeObject2(1, 12).showFrame().end());
    // Scaled by (2, 0.5), moved by (1000, 2000): centre (3800, 2350) twips.
    SwfBuild::AddPlaceWithMatrix(tags, 1, 10, {2, 0.5, 0, 0, 1000, 2000});
    tags.placeObject2(2, 20).showFrame(); // button 12 only inside a sprite
    SwfBuild::AddPlace(tags, 3, 11, false, 600, 800);
    SwfBuild::AddPlace(tags, 4, 10, false, 5000, 5000); // placed again: its first placement counts
    tags.placeObject(12, 5);
    tags.showFrame().end();

    const Timeline timeline = Read(tags);
    ASSERT_EQ(timeline.buttons.size(), 3u);
    EXPECT_EQ(timeline.buttons[0].id, 10);
    EXPECT_DOUBLE_EQ(timeline.buttons[0].x, 3800);
    EXPECT_DOUBLE_EQ(timeline.buttons[0].y, 2350);
    EXPECT_EQ(timeline.buttons[1].id, 11);
    EXPECT_DOUBLE_EQ(timeline.buttons[1].x, 600);
    EXPECT_DOUBLE_EQ(timeline.buttons[1].y, 800);
    EXPECT_EQ(timeline.buttons[2].id, 12);
    EXPECT_DOUBLE_EQ(timeline.buttons[2].x, 0);

    // The list keeps its cap and says what it left out.
    Limits limits;
    limits.maxReportEntries = 2;
    const Timeline capped = Read(tags, limits);
    EXPECT_EQ(capped.buttons.size(), 2u);
    EXPECT_TRUE(Mentions(capped.warnings, "1 more buttons not reported")) << ::testing::PrintToString(capped.warnings);
}

TEST(TimelineDrawing, SpritesGiveTheFramesTheirTimelinesHold)
{
    Tags tags;
    SwfBuild::AddRectShape(tags, 1, 0, 0, 200, 200, {1, 2, 3});
    SwfBuild::AddMovingSprite(tags, 10, 1, 5, 20, 0, true);
    // The header's frame count is not what is counted.
    tags.defineSprite(11, 99, Tags().showFrame().showFrame().end());
    tags.defineSprite(12, 3, Tags().end());
    tags.placeObject2(1, 10).showFrame().end();
    const Timeline timeline = Read(tags);
    ASSERT_EQ(timeline.sprites.size(), 3u);
    EXPECT_EQ(timeline.sprites[0].id, 10);
    EXPECT_EQ(timeline.sprites[0].frames, 5u);
    EXPECT_EQ(timeline.sprites[1].id, 11);
    EXPECT_EQ(timeline.sprites[1].frames, 2u);
    EXPECT_EQ(timeline.sprites[2].frames, 0u);

    Limits limits;
    limits.maxReportEntries = 1;
    EXPECT_EQ(Read(tags, limits).sprites.size(), 1u);
}

TEST(TimelineDrawing, EffectsAreFoundWhereverTheyAre)
{
    using SwfBuild::AddPlaceWithEffects;
    struct Case
    {
        const char *name;
        std::function<void(Tags &)> add;
        bool filters, blendModes, bitmapFills;
    };
    const Case cases[] = {
        {"plain shapes, a normal blend mode and an empty filter list",
         [](Tags &t) {
             AddPlaceWithEffects(t, 1, 1, 0, 0, 0, SwfBuild::kBlendNormal);
             t.tag(70, {0x06, 0x03, 2, 0, 1, 0, 0x00, 0x00, 0x00}); // no filters, blend mode 0
         },
         false, false, false},
        {"a blur", [](Tags &t) { AddPlaceWithEffects(t, 1, 1, 100, 100, 4, 0); }, true, false, false},
        {"a multiply", [](Tags &t) { AddPlaceWithEffects(t, 1, 1, 0, 0, 0, SwfBuild::kBlendMultiply); }, false, true,
         false},
        {"both, inside a sprite",
         [](Tags &t) {
             Tags inner;
             AddPlaceWithEffects(inner, 1, 1, 0, 0, 2.5, SwfBuild::kBlendMultiply);
             t.defineSprite(5, 1, inner.showFrame().end());
         },
         true, true, false},
        {"a bitmap fill",
         [](Tags &t) {
             SwfBuild::AddCheckerBitmap(t, 7, 4, 4, {0, 0, 0}, {255, 255, 255});
             SwfBuild::AddBitmapRectShape(t, 8, 7, 0, 0, 800, 800);
         },
         false, false, true},
        {"a morph shape's bitmap fill", [](Tags &t) { t.defineBitmapMorphShape(8, 7, 2); }, false, false, true},
        {"a button record with a blur and a multiply",
         [](Tags &t) {
             // DefineButton2 6: up state of shape 1 with a filter list (one
             // blur) and blend mode 3.
             t.tag(34, {6, 0, 0x00, 0, 0, 0x31, 1, 0, 1, 0, 0x00, 0x00, 1, 1, 0, 0, 4, 0, 0, 0, 4, 0, 0x08, 3, 0x00});
         },
         true, true, false},
        {"a hit-test-only button record with a multiply",
         [](Tags &t) { t.tag(34, {6, 0, 0x00, 0, 0, 0x28, 1, 0, 1, 0, 0x00, 0x00, 3, 0x00}); }, false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Tags tags;
        SwfBuild::AddRectShape(tags, 1, 0, 0, 400, 400, {200, 0, 0});
        tags.placeObject2(9, 1);
        c.add(tags);
        const Timeline timeline = Read(tags.showFrame().end());
        EXPECT_EQ(timeline.effects.filters, c.filters);
        EXPECT_EQ(timeline.effects.blendModes, c.blendModes);
        EXPECT_EQ(timeline.effects.bitmapFills, c.bitmapFills);
        EXPECT_TRUE(timeline.warnings.empty()) << ::testing::PrintToString(timeline.warnings);
    }
}

namespace {

QJsonObject RunTimeline(const QString &swf, int expectedExit)
{
    const ProgramRun run = RunExtractor({QStringLiteral("--timeline"), swf});
    EXPECT_EQ(run.exitCode, expectedExit) << run.err.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    return document.object();
}

void ExpectKeys(const QJsonObject &object, const QStringList &keys)
{
    for (const QString &key : keys)
        EXPECT_TRUE(object.contains(key)) << key.toStdString();
}

bool FrameOrNull(const QJsonValue &value)
{
    return value.isNull() || (value.isDouble() && value.toDouble() >= 0 && value.toDouble() == value.toInt());
}

} // namespace

TEST(TimelineProgram, PrintsOneDocumentWithEveryKey)
{
    TempFolder tmp;
    Tags sprite;
    sprite.soundStreamHead2(0x1A, 2048).soundStreamData({1, 2}).showFrame().end();
    Tags tags;
    tags.setBackgroundColor(1, 2, 3).defineSound(3, 0x3E, 10, Bytes(20, 0));
    Bitmap(tags, 1).defineBitmapShape(10, 1).defineSprite(9, 1, sprite).defineVideoStream(5, 1, 8, 8, 2);
    tags.soundStreamHead(0x1A, 2048).soundStreamData({1, 2}).startSound(3).placeObject2(1, 10).placeObject2(2, 9);
    tags.showFrame().end();
    SwfBuild::MovieOptions options;
    options.frameRate = 0x1DF7; // 29.96...
    const QString swf = tmp.write(QStringLiteral("all.swf"), ToQt(BuildSwf(tags, SwfBuild::Container::Cws, options)));
    const QJsonObject root = RunTimeline(swf, 0);
    ExpectKeys(root, {QStringLiteral("version"), QStringLiteral("container"), QStringLiteral("stage"),
                      QStringLiteral("frameRate"), QStringLiteral("frameCount"), QStringLiteral("background"),
                      QStringLiteral("stops"), QStringLiteral("pictures"), QStringLiteral("stream"),
                      QStringLiteral("spriteStreams"), QStringLiteral("sounds"), QStringLiteral("soundStarts"),
                      QStringLiteral("videos"), QStringLiteral("actionScript3"), QStringLiteral("buttons"),
                      QStringLiteral("sprites"), QStringLiteral("effects"), QStringLiteral("warnings")});
    EXPECT_EQ(root.value(QStringLiteral("container")).toString(), QStringLiteral("CWS"));
    EXPECT_EQ(root.value(QStringLiteral("version")).toInt(), 10);
    EXPECT_DOUBLE_EQ(root.value(QStringLiteral("frameRate")).toDouble(), 0x1DF7 / 256.0);
    EXPECT_EQ(root.value(QStringLiteral("frameCount")).toInt(), 1);
    EXPECT_EQ(root.value(QStringLiteral("background")).toString(), QStringLiteral("#010203"));
    EXPECT_EQ(root.value(QStringLiteral("stage")).toObject().value(QStringLiteral("width")).toInt(), 320);
    EXPECT_FALSE(root.value(QStringLiteral("stops")).toBool(true));

    const QJsonObject picture = root.value(QStringLiteral("pictures")).toArray().at(0).toObject();
    ExpectKeys(picture, {QStringLiteral("id"), QStringLiteral("definition"), QStringLiteral("kind"),
                         QStringLiteral("width"), QStringLiteral("height"), QStringLiteral("alpha"),
                         QStringLiteral("firstFrame"), QStringLiteral("lastFrame")});
    EXPECT_EQ(picture.value(QStringLiteral("kind")).toString(), QStringLiteral("png"));
    EXPECT_EQ(picture.value(QStringLiteral("firstFrame")).toInt(-1), 0);

    const QStringList streamKeys{QStringLiteral("format"), QStringLiteral("rate"),       QStringLiteral("channels"),
                                 QStringLiteral("bits"),   QStringLiteral("firstFrame"), QStringLiteral("lastFrame"),
                                 QStringLiteral("blocks"), QStringLiteral("latencySeek")};
    const QJsonObject stream = root.value(QStringLiteral("stream")).toObject();
    ExpectKeys(stream, streamKeys);
    EXPECT_EQ(stream.value(QStringLiteral("format")).toString(), QStringLiteral("adpcm"));
    EXPECT_EQ(stream.value(QStringLiteral("rate")).toInt(), 22050);
    const QJsonObject spriteStream = root.value(QStringLiteral("spriteStreams")).toArray().at(0).toObject();
    ExpectKeys(spriteStream, streamKeys + QStringList{QStringLiteral("sprite"), QStringLiteral("placedAt")});
    EXPECT_EQ(spriteStream.value(QStringLiteral("placedAt")).toArray(), QJsonArray({0}));

    const QJsonObject sound = root.value(QStringLiteral("sounds")).toArray().at(0).toObject();
    ExpectKeys(sound,
               {QStringLiteral("id"), QStringLiteral("format"), QStringLiteral("rate"), QStringLiteral("channels"),
                QStringLiteral("bits"), QStringLiteral("samples"), QStringLiteral("seconds")});
    EXPECT_EQ(sound.value(QStringLiteral("format")).toString(), QStringLiteral("pcm-le"));
    EXPECT_NEAR(sound.value(QStringLiteral("seconds")).toDouble(), 10 / 44100.0, 1e-9);
    const QJsonObject start = root.value(QStringLiteral("soundStarts")).toArray().at(0).toObject();
    ExpectKeys(start, {QStringLiteral("frame"), QStringLiteral("sound"), QStringLiteral("sprite"),
                       QStringLiteral("loops"), QStringLiteral("stop"), QStringLiteral("noMultiple"),
                       QStringLiteral("inPoint"), QStringLiteral("outPoint"), QStringLiteral("envelope")});
    EXPECT_TRUE(start.value(QStringLiteral("inPoint")).isNull());
    const QJsonObject video = root.value(QStringLiteral("videos")).toArray().at(0).toObject();
    ExpectKeys(video, {QStringLiteral("id"), QStringLiteral("codec"), QStringLiteral("width"), QStringLiteral("height"),
                       QStringLiteral("frames"), QStringLiteral("firstFrame"), QStringLiteral("lastFrame")});
    EXPECT_EQ(video.value(QStringLiteral("codec")).toString(), QStringLiteral("h263"));
    EXPECT_TRUE(video.value(QStringLiteral("firstFrame")).isNull());
    EXPECT_TRUE(root.value(QStringLiteral("warnings")).toArray().isEmpty());
}

TEST(TimelineProgram, ButtonsSpritesAndEffectsOfAnAs3Movie)
{
    TempFolder tmp;
    Tags tags;
    tags.fileAttributes(SwfBuild::kFileAttributesAs3);
    SwfBuild::AddRectShape(tags, 1, 0, 0, 2000, 1000, {9, 9, 9});
    SwfBuild::AddPlayButton(tags, 2, 1);
    SwfBuild::AddMovingSprite(tags, 3, 1, 4, 20, 20, false);
    SwfBuild::AddCheckerBitmap(tags, 4, 2, 2, {0, 0, 0}, {255, 255, 255});
    SwfBuild::AddBitmapRectShape(tags, 5, 4, 0, 0, 400, 400);
    SwfBuild::AddPlaceWithMatrix(tags, 1, 2, {0.5, 0.5, 0, 0, 200, 300});
    SwfBuild::AddPlaceWithEffects(tags, 2, 3, 0, 0, 4, SwfBuild::kBlendMultiply);
    tags.showFrame().end();
    const QString swf = tmp.write(QStringLiteral("as3.swf"), ToQt(BuildSwf(tags)));
    const QJsonObject root = RunTimeline(swf, 0);
    EXPECT_TRUE(root.value(QStringLiteral("actionScript3")).toBool());
    // The button's centre (1000, 500) twips, halved and moved: 35 x 27.5 px.
    const QJsonArray buttons = root.value(QStringLiteral("buttons")).toArray();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_DOUBLE_EQ(buttons.at(0).toObject().value(QStringLiteral("x")).toDouble(), 35);
    EXPECT_DOUBLE_EQ(buttons.at(0).toObject().value(QStringLiteral("y")).toDouble(), 27.5);
    EXPECT_EQ(root.value(QStringLiteral("sprites")).toArray(),
              QJsonArray({QJsonObject{{QStringLiteral("id"), 3}, {QStringLiteral("frames"), 4}}}));
    const QJsonObject effects = root.value(QStringLiteral("effects")).toObject();
    EXPECT_EQ(effects, (QJsonObject{{QStringLiteral("filters"), true},
                                    {QStringLiteral("blendModes"), true},
                                    {QStringLiteral("bitmapFills"), true}}));

    // A movie with none of them, and a header whose FileLength is 0.
    Tags plain;
    SwfBuild::AddRectShape(plain, 1, 0, 0, 2000, 1000, {9, 9, 9});
    plain.placeObject2(1, 1).showFrame().end();
    SwfBuild::MovieOptions options;
    options.fileLength = 0;
    const QString none =
        tmp.write(QStringLiteral("plain.swf"), ToQt(BuildSwf(plain, SwfBuild::Container::Cws, options)));
    const QJsonObject bare = RunTimeline(none, 0);
    EXPECT_FALSE(bare.value(QStringLiteral("actionScript3")).toBool(true));
    EXPECT_TRUE(bare.value(QStringLiteral("buttons")).toArray().isEmpty());
    EXPECT_TRUE(bare.value(QStringLiteral("sprites")).toArray().isEmpty());
    EXPECT_EQ(bare.value(QStringLiteral("effects")).toObject(), (QJsonObject{{QStringLiteral("filters"), false},
                                                                             {QStringLiteral("blendModes"), false},
                                                                             {QStringLiteral("bitmapFills"), false}}));
    EXPECT_EQ(bare.value(QStringLiteral("frameCount")).toInt(), 1);
    const QJsonArray warnings = bare.value(QStringLiteral("warnings")).toArray();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.at(0).toString().contains(QStringLiteral("FileLength"))) << warnings.at(0).toString().toStdString();
}

TEST(TimelineProgram, DamagedFileGivesWhatCouldBeReadAndStatus1)
{
    TempFolder tmp;
    Tags tags;
    Bitmap(tags, 1).defineBitmapShape(10, 1).placeObject2(1, 10).showFrame().showFrame();
    // A shape cut inside its records, then a StartSound2 with a class name
    // that is not UTF-8.
    tags.tag(22, {11, 0, 0x00, 0x01, 0x41});
    tags.startSound2("\xC3(\xFF");
    Bytes file = BuildSwf(tags.showFrame().end());
    file.resize(file.size() - 1); // the End tag cut
    const QString swf = tmp.write(QStringLiteral("cut.swf"), ToQt(file));
    const QJsonObject root = RunTimeline(swf, 1);
    EXPECT_EQ(root.value(QStringLiteral("frameCount")).toInt(), 3);
    const QJsonObject picture = root.value(QStringLiteral("pictures")).toArray().at(0).toObject();
    EXPECT_EQ(picture.value(QStringLiteral("firstFrame")).toInt(-1), 0);
    EXPECT_EQ(picture.value(QStringLiteral("lastFrame")).toInt(-1), 2);
    const QJsonArray warnings = root.value(QStringLiteral("warnings")).toArray();
    EXPECT_GE(warnings.size(), 2);
    const QString className = root.value(QStringLiteral("soundStarts"))
                                  .toArray()
                                  .at(0)
                                  .toObject()
                                  .value(QStringLiteral("className"))
                                  .toString();
    EXPECT_EQ(className, QStringLiteral("\uFFFD(\uFFFD"));
}

TEST(TimelineProgram, RealFilesMatchTheirIndependentCounts)
{
    const QString folder = QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/realswf/");
    QFile table(folder + QStringLiteral("TIMELINE.tsv"));
    ASSERT_TRUE(table.open(QIODevice::ReadOnly));
    const QStringList header = QString::fromUtf8(table.readLine()).trimmed().split(QLatin1Char('\t'));
    const auto column = [&](const char *prefix) {
        for (int i = 0; i < header.size(); ++i)
            if (header[i].startsWith(QLatin1String(prefix)))
                return i;
        ADD_FAILURE() << prefix;
        return 0;
    };
    int files = 0;
    while (!table.atEnd()) {
        const QStringList row = QString::fromUtf8(table.readLine()).trimmed().split(QLatin1Char('\t'));
        if (row.size() < header.size())
            continue;
        SCOPED_TRACE(row[0].toStdString());
        ++files;
        const QJsonObject root = RunTimeline(folder + row[0], 0);
        EXPECT_DOUBLE_EQ(root.value(QStringLiteral("frameRate")).toDouble(), row[column("frame_rate")].toDouble());
        EXPECT_EQ(root.value(QStringLiteral("frameCount")).toInt(), row[column("frame_count")].toInt());
        const QString background = row[column("background")];
        EXPECT_EQ(root.value(QStringLiteral("background")).toString(QStringLiteral("None")), background);

        const QJsonArray pictures = root.value(QStringLiteral("pictures")).toArray();
        EXPECT_EQ(pictures.size(), row[column("pictures")].toInt());
        QStringList onStage;
        for (const QJsonValue &value : pictures) {
            const QJsonObject picture = value.toObject();
            EXPECT_TRUE(FrameOrNull(picture.value(QStringLiteral("firstFrame"))));
            if (!picture.value(QStringLiteral("firstFrame")).isNull())
                onStage << QStringLiteral("%1:%2-%3")
                               .arg(picture.value(QStringLiteral("id")).toInt())
                               .arg(picture.value(QStringLiteral("firstFrame")).toInt())
                               .arg(picture.value(QStringLiteral("lastFrame")).toInt());
        }
        EXPECT_EQ(onStage.isEmpty() ? QStringLiteral("-") : onStage.join(QLatin1Char(' ')),
                  row[column("pictures_on_timeline")]);

        const QJsonValue stream = root.value(QStringLiteral("stream"));
        const QString streamText = stream.isNull()
                                       ? QStringLiteral("-")
                                       : QStringLiteral("%1 %2 %3")
                                             .arg(stream.toObject().value(QStringLiteral("format")).toString())
                                             .arg(stream.toObject().value(QStringLiteral("firstFrame")).toInt())
                                             .arg(stream.toObject().value(QStringLiteral("blocks")).toInt());
        EXPECT_EQ(streamText, row[column("stream")]);

        QStringList sounds;
        for (const QJsonValue &value : root.value(QStringLiteral("sounds")).toArray()) {
            const QJsonObject sound = value.toObject();
            sounds << QStringLiteral("%1:%2 %3 %4")
                          .arg(sound.value(QStringLiteral("id")).toInt())
                          .arg(sound.value(QStringLiteral("format")).toString())
                          .arg(sound.value(QStringLiteral("rate")).toInt())
                          .arg(sound.value(QStringLiteral("samples")).toInt());
        }
        EXPECT_EQ(sounds.isEmpty() ? QStringLiteral("-") : sounds.join(QLatin1Char(' ')), row[column("event_sounds")]);

        // The independent count has StartSound on the main timeline only.
        QStringList starts;
        for (const QJsonValue &value : root.value(QStringLiteral("soundStarts")).toArray()) {
            const QJsonObject start = value.toObject();
            if (start.value(QStringLiteral("sprite")).toInt() != 0 || start.contains(QStringLiteral("className")))
                continue;
            starts << QStringLiteral("%1:%2x%3")
                          .arg(start.value(QStringLiteral("frame")).toInt())
                          .arg(start.value(QStringLiteral("sound")).toInt())
                          .arg(start.value(QStringLiteral("loops")).toInt());
        }
        EXPECT_EQ(starts.isEmpty() ? QStringLiteral("-") : starts.join(QLatin1Char(' ')),
                  row[column("starts_on_main_timeline")]);
    }
    EXPECT_EQ(files, 8);
}
