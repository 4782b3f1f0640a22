#include "pipeline/TimelineReport.h"

#include "QtPrinters.h"
#include "SwfTestKit.h"
#include "TempFolder.h"
#include "VectorSwf.h"

#include <gtest/gtest.h>

using namespace Pipeline;
using Limits = TimelineReportLimits;

namespace {

// A report as the extractor prints it, with keys this parser does not know.
const char kFullReport[] = R"({
  "version": 8, "container": "CWS", "stage": {"width": 550, "height": 400, "depth": 3},
  "frameRate": 24.5, "frameCount": 120, "background": "#1a2B3c", "stops": true, "future": [1, 2],
  "pictures": [
    {"id": 3, "definition": 1, "kind": "jpeg", "width": 64, "height": 48, "alpha": false, "firstFrame": 0, "lastFrame": 23},
    {"id": 3, "definition": 2, "kind": "png", "width": 32, "height": 16, "alpha": true, "firstFrame": null, "lastFrame": null},
    {"id": 9, "definition": 1, "kind": "jpeg", "width": 8, "height": 8, "alpha": false, "firstFrame": 24, "lastFrame": 71, "x": "y"}
  ],
  "stream": {"format": "mp3", "rate": 44100, "channels": 2, "bits": 16, "firstFrame": 48, "lastFrame": 119,
             "blocks": 72, "latencySeek": -1152},
  "spriteStreams": [{"sprite": 12, "format": "adpcm", "rate": 22050, "channels": 1, "bits": 16, "firstFrame": 2,
                     "lastFrame": 30, "blocks": 29, "placedAt": [10, 50]}],
  "sounds": [{"id": 5, "format": "nellymoser", "rate": 22050, "channels": 1, "bits": 16, "samples": 44100, "seconds": 2.0,
              "seekSamples": 576}],
  "soundStarts": [
    {"frame": 36, "sound": 5, "sprite": 0, "loops": 2, "stop": false, "noMultiple": true, "inPoint": 100,
     "outPoint": null, "envelope": true, "className": "Song"},
    {"frame": 72, "sound": 5, "sprite": 12, "loops": 1, "stop": true, "noMultiple": false, "inPoint": null,
     "outPoint": 22050, "envelope": false}
  ],
  "videos": [{"id": 20, "codec": "h263", "width": 320, "height": 240, "frames": 30, "firstFrame": 5, "lastFrame": 34}],
  "actionScript3": true,
  "buttons": [{"x": 275.5, "y": -12}, {"x": 10, "y": 20}],
  "sprites": [{"id": 12, "frames": 31}, {"id": 13, "frames": 0}],
  "effects": {"filters": true, "blendModes": false, "bitmapFills": true},
  "warnings": ["File length in the header is wrong."]
})";

TimelineReport Parsed(const QByteArray &json)
{
    const TimelineReportResult result = ParseTimelineReport(json);
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    return result.report;
}

// A report with `count` copies of `entry` in the list `key`.
QByteArray WithEntries(const char *key, const QByteArray &entry, qsizetype count)
{
    QByteArray list;
    for (qsizetype i = 0; i < count; ++i)
        list += (i ? "," : "") + entry;
    return "{\"frameRate\": 12, \"" + QByteArray(key) + "\": [" + list + "]}";
}

} // namespace

TEST(TimelineReport, EveryFieldOfAFullReport)
{
    const TimelineReport r = Parsed(kFullReport);
    EXPECT_EQ(r.version, 8);
    EXPECT_EQ(r.container, QStringLiteral("CWS"));
    EXPECT_EQ(r.stageWidth, 550);
    EXPECT_EQ(r.stageHeight, 400);
    EXPECT_DOUBLE_EQ(r.frameRate, 24.5);
    EXPECT_EQ(r.frameCount, 120);
    ASSERT_TRUE(r.background.has_value());
    EXPECT_EQ(*r.background, (Tarnwick::Rgb{0x1A, 0x2B, 0x3C}));
    EXPECT_EQ(r.backdrop(), *r.background);
    EXPECT_TRUE(r.stops);

    ASSERT_EQ(r.pictures.size(), 3);
    EXPECT_EQ(r.pictures[1].key, (PictureKey{3, 2}));
    EXPECT_EQ(r.pictures[1].kind, SwfListing::Kind::Png);
    EXPECT_TRUE(r.pictures[1].alpha);
    EXPECT_FALSE(r.pictures[1].firstFrame.has_value());
    EXPECT_EQ(r.pictures[2].firstFrame, 24);
    EXPECT_EQ(r.pictures[2].lastFrame, 71);

    ASSERT_TRUE(r.stream.has_value());
    EXPECT_EQ(r.stream->format, QStringLiteral("mp3"));
    EXPECT_EQ(r.stream->firstFrame, 48);
    EXPECT_EQ(r.stream->latencySeek, -1152);
    ASSERT_EQ(r.spriteStreams.size(), 1);
    EXPECT_EQ(r.spriteStreams[0].sprite, 12u);
    EXPECT_EQ(r.spriteStreams[0].placedAt, (QList<qint64>{10, 50}));

    ASSERT_EQ(r.sounds.size(), 1);
    ASSERT_NE(r.sound(5), nullptr);
    EXPECT_EQ(r.sound(5)->samples, 44100);
    EXPECT_EQ(r.sound(5)->seekSamples, 576);
    EXPECT_EQ(r.sound(6), nullptr);

    ASSERT_EQ(r.soundStarts.size(), 2);
    const SoundStart &first = r.soundStarts[0];
    EXPECT_EQ(first.frame, 36);
    EXPECT_EQ(first.loops, 2);
    EXPECT_TRUE(first.noMultiple);
    EXPECT_EQ(first.inPoint, 100);
    EXPECT_FALSE(first.outPoint.has_value());
    EXPECT_TRUE(first.envelope);
    EXPECT_TRUE(r.soundStarts[1].stop);
    EXPECT_EQ(r.soundStarts[1].sprite, 12u);
    EXPECT_EQ(r.soundStarts[1].outPoint, 22050);

    ASSERT_EQ(r.videos.size(), 1);
    EXPECT_EQ(r.videos[0].codec, QStringLiteral("h263"));
    EXPECT_EQ(r.videos[0].firstFrame, 5);
    EXPECT_EQ(r.warnings, QStringList{QStringLiteral("File length in the header is wrong.")});
    EXPECT_DOUBLE_EQ(r.secondsAt(49), 2.0);

    EXPECT_TRUE(r.actionScript3);
    EXPECT_EQ(r.buttons, (QList<QPointF>{{275.5, -12}, {10, 20}}));
    ASSERT_EQ(r.sprites.size(), 2);
    EXPECT_EQ(r.sprites[0].id, 12u);
    EXPECT_EQ(r.sprites[0].frames, 31);
    EXPECT_EQ(r.sprites[1].frames, 0);
    EXPECT_TRUE(r.usesFilters);
    EXPECT_FALSE(r.usesBlendModes);
    EXPECT_TRUE(r.usesBitmapFills);
}

TEST(TimelineReport, NotAReportFails)
{
    for (const QByteArray &text : {QByteArray(), QByteArray("Failed to create process"), QByteArray("[1, 2]"),
                                   QByteArray("{\"frameRate\": 12"), QByteArray("\"text\"")}) {
        SCOPED_TRACE(text.toStdString());
        const TimelineReportResult result = ParseTimelineReport(text);
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.isEmpty());
    }
    QByteArray huge = "{\"x\": \"" + QByteArray(Limits::kMaxBytes, 'a') + "\"}";
    EXPECT_FALSE(ParseTimelineReport(huge).ok);
}

TEST(TimelineReport, NullsWrongTypesAndOutOfRangeValuesKeepDefaults)
{
    const TimelineReport r = Parsed(R"({
      "frameRate": "24", "frameCount": -5, "background": "#12345", "stops": "true", "stage": null,
      "pictures": [{"id": 70000}, {"id": "1"}, {"id": 4, "definition": 0, "firstFrame": 1.5, "lastFrame": 9},
                   {"id": 5, "firstFrame": 9, "lastFrame": 2}, null, 7],
      "stream": null, "spriteStreams": {"sprite": 1},
      "sounds": [{"id": 2, "samples": -1, "seconds": "long"}],
      "soundStarts": [{"frame": 3, "sound": null}, {"frame": null, "sound": 2},
                      {"frame": 4, "sound": 2, "loops": 0, "inPoint": -3},
                      {"frame": 5, "sound": 2, "loops": 70000}],
      "warnings": [1, "kept", null],
      "actionScript3": 1, "effects": {"filters": "yes", "blendModes": null},
      "buttons": [{"x": 1}, {"x": "1", "y": 2}, {"x": 1e300, "y": 0}, null, {"x": 3, "y": 4}],
      "sprites": [{"id": -1, "frames": 2}, {"frames": 2}, {"id": 7, "frames": -4}, {"id": 8, "frames": 1.5}]
    })");
    EXPECT_EQ(r.frameRate, 0);
    EXPECT_EQ(r.secondsAt(100), 0);
    EXPECT_EQ(r.frameCount, 0);
    EXPECT_FALSE(r.background.has_value());
    EXPECT_EQ(r.backdrop(), Tarnwick::Rgb{});
    EXPECT_FALSE(r.stops);
    EXPECT_EQ(r.stageWidth, 0);

    // Entries without a usable ID are dropped; the rest keep defaults.
    ASSERT_EQ(r.pictures.size(), 2);
    EXPECT_EQ(r.pictures[0].key, (PictureKey{4, 1}));
    EXPECT_FALSE(r.pictures[0].firstFrame.has_value());
    EXPECT_FALSE(r.pictures[0].lastFrame.has_value());
    // A last frame before the first is not believed.
    EXPECT_EQ(r.pictures[1].lastFrame, 9);

    EXPECT_FALSE(r.stream.has_value());
    EXPECT_TRUE(r.spriteStreams.isEmpty());
    ASSERT_EQ(r.sounds.size(), 1);
    EXPECT_EQ(r.sounds[0].samples, 0);
    EXPECT_EQ(r.sounds[0].seconds, 0);

    // A start that names no sound, or no frame, cannot be placed.
    ASSERT_EQ(r.soundStarts.size(), 2);
    EXPECT_EQ(r.soundStarts[0].loops, 1);
    EXPECT_FALSE(r.soundStarts[0].inPoint.has_value());
    EXPECT_EQ(r.soundStarts[1].loops, 1);

    EXPECT_FALSE(r.actionScript3);
    EXPECT_FALSE(r.usesFilters);
    EXPECT_FALSE(r.usesBlendModes);
    EXPECT_FALSE(r.usesBitmapFills);
    // A centre needs both coordinates, on any stage a movie can have.
    EXPECT_EQ(r.buttons, QList<QPointF>{QPointF(3, 4)});
    ASSERT_EQ(r.sprites.size(), 2);
    EXPECT_EQ(r.sprites[0].id, 7u);
    EXPECT_EQ(r.sprites[0].frames, 0);
    EXPECT_EQ(r.sprites[1].frames, 0);

    ASSERT_GE(r.warnings.size(), 2);
    EXPECT_EQ(r.warnings[0], QStringLiteral("kept"));
    EXPECT_TRUE(r.warnings.last().contains(QStringLiteral("frame rate")));

    // The stage is in twips: a side of 550.05 pixels is real.
    const TimelineReport odd = Parsed(R"({"stage": {"width": 550.05, "height": 399.5}})");
    EXPECT_EQ(odd.stageWidth, 550);
    EXPECT_EQ(odd.stageHeight, 400);

    for (const char *rate : {"0", "-1", "256.5", "1e30"}) {
        SCOPED_TRACE(rate);
        EXPECT_EQ(Parsed("{\"frameRate\": " + QByteArray(rate) + "}").frameRate, 0);
    }
    EXPECT_EQ(Parsed("{\"frameRate\": 0.5}").frameRate, 0.5);
}

TEST(TimelineReport, ListsAreCutAtTheirCapsAndTheCutIsNoted)
{
    const QByteArray start = R"({"frame": 1, "sound": 2})";
    for (const qsizetype count : {Limits::kMaxSoundStarts - 1, Limits::kMaxSoundStarts, Limits::kMaxSoundStarts + 1}) {
        SCOPED_TRACE(count);
        const TimelineReport r = Parsed(WithEntries("soundStarts", start, count));
        EXPECT_EQ(r.soundStarts.size(), std::min(count, Limits::kMaxSoundStarts));
        EXPECT_EQ(r.warnings.size(), count > Limits::kMaxSoundStarts ? 1 : 0);
    }
    const TimelineReport pictures = Parsed(
        WithEntries("pictures", R"({"id": 1, "firstFrame": 0})", Limits::kMaxPictures + 5));
    EXPECT_EQ(pictures.pictures.size(), Limits::kMaxPictures);

    QByteArray placed = "[";
    for (qsizetype i = 0; i <= Limits::kMaxPlacements; ++i)
        placed += (i ? "," : "") + QByteArray::number(i);
    const TimelineReport sprites = Parsed("{\"spriteStreams\": [{\"sprite\": 4, \"placedAt\": " + placed + "]}]}");
    ASSERT_EQ(sprites.spriteStreams.size(), 1);
    EXPECT_EQ(sprites.spriteStreams[0].placedAt.size(), Limits::kMaxPlacements);
    EXPECT_TRUE(sprites.warnings.join(QLatin1Char(' ')).contains(QStringLiteral("Sprite 4")));

    const TimelineReport buttons = Parsed(WithEntries("buttons", R"({"x": 1, "y": 2})", Limits::kMaxButtons + 1));
    EXPECT_EQ(buttons.buttons.size(), Limits::kMaxButtons);
    EXPECT_TRUE(buttons.warnings.join(QLatin1Char(' ')).contains(QStringLiteral("buttons")));
    const TimelineReport defined = Parsed(WithEntries("sprites", R"({"id": 1, "frames": 2})", Limits::kMaxSprites + 1));
    EXPECT_EQ(defined.sprites.size(), Limits::kMaxSprites);
    EXPECT_EQ(defined.warnings.size(), 1);

    const TimelineReport warned = Parsed(WithEntries("warnings", "\"w\"", Limits::kMaxWarnings * 3));
    EXPECT_EQ(warned.warnings.size(), Limits::kMaxWarnings + 1);
}

TEST(TimelineReport, EveryPrefixOfAReportParsesOrFails)
{
    const QByteArray full(kFullReport);
    for (qsizetype length = 0; length < full.size(); ++length) {
        const TimelineReportResult result = ParseTimelineReport(full.left(length));
        // Only a whole object parses; a cut one is refused, never half-read.
        ASSERT_EQ(result.ok, false) << length;
    }
}

TEST(TimelineReport, ReadsBackWhatTheExtractorWrites)
{
    using namespace SwfBuild;
    Tags tags;
    tags.fileAttributes(kFileAttributesAs3);
    AddRectShape(tags, 1, 0, 0, 400, 400, {9, 9, 9});
    AddPlayButton(tags, 2, 1);
    AddMovingSprite(tags, 3, 1, 6, 20, 0, true);
    AddCheckerBitmap(tags, 4, 2, 2, {0, 0, 0}, {255, 255, 255});
    AddBitmapRectShape(tags, 5, 4, 0, 0, 400, 400);
    AddPlace(tags, 1, 2, false, 2000, 1000);
    AddPlaceWithEffects(tags, 2, 3, 0, 0, 3, kBlendMultiply);
    tags.showFrame().end();
    TempFolder tmp;
    const QString swf = tmp.write(QStringLiteral("movie.swf"), SwfTestKit::ToQt(BuildSwf(tags)));
    const SwfTestKit::ProgramRun run = SwfTestKit::RunExtractor({QStringLiteral("--timeline"), swf});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const TimelineReport r = Parsed(run.out.toUtf8());
    EXPECT_EQ(r.stageWidth, 320);
    EXPECT_TRUE(r.actionScript3);
    EXPECT_EQ(r.buttons, QList<QPointF>{QPointF(110, 60)});
    ASSERT_EQ(r.sprites.size(), 1);
    EXPECT_EQ(r.sprites[0].id, 3u);
    EXPECT_EQ(r.sprites[0].frames, 6);
    EXPECT_TRUE(r.usesFilters);
    EXPECT_TRUE(r.usesBlendModes);
    EXPECT_TRUE(r.usesBitmapFills);
    EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join(QLatin1Char(' ')).toStdString();
}
