#pragma once

#include "SwfListing.h"

#include "tarnwick/Limits.h"
#include "tarnwick/Rgb.h"

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <optional>

namespace Pipeline {

// Bounds on what is kept of one report. The report comes from our own
// extractor, but about a file nobody here wrote: a hostile movie must not
// make the pipeline plan a million sounds.
struct TimelineReportLimits
{
    // The extractor's own output cap, and its cap on every list it reports:
    // what it may write is what is read.
    static constexpr qsizetype kMaxBytes = Tarnwick::kMaxCapturedBytes;
    static constexpr qsizetype kMaxPictures = Tarnwick::kMaxReportEntries;
    static constexpr qsizetype kMaxSounds = Tarnwick::kMaxReportEntries;
    static constexpr qsizetype kMaxSoundStarts = Tarnwick::kMaxReportEntries;
    static constexpr qsizetype kMaxSpriteStreams = Tarnwick::kMaxReportEntries;
    static constexpr qsizetype kMaxPlacements = Tarnwick::kMaxReportEntries; // per sprite stream
    static constexpr qsizetype kMaxVideos = Tarnwick::kMaxReportEntries;
    static constexpr qsizetype kMaxWarnings = Tarnwick::kMaxReportEntries;
    static constexpr qsizetype kMaxButtons = Tarnwick::kMaxReportEntries;
    static constexpr qsizetype kMaxSprites = Tarnwick::kMaxReportEntries;
    static constexpr double kMaxCoordinate = Tarnwick::kMaxStageCoordinate;
    // A SWF header's 8.8 rate cannot exceed this; frames and samples are
    // 32-bit counts in the file.
    static constexpr double kMaxFrameRate = 256;
    static constexpr qint64 kMaxCount = 0xFFFFFFFFLL;
    static constexpr int kMaxLoops = 65535; // StartSound's LoopCount is 16 bits
};

struct TimelinePicture
{
    PictureKey key; // character ID and definition number
    SwfListing::Kind kind = SwfListing::Kind::Jpeg;
    int width = 0;
    int height = 0;
    bool alpha = false;
    std::optional<qint64> firstFrame; // null: the timeline never shows it
    std::optional<qint64> lastFrame;
};

// A stream sound: the main timeline's (sprite 0) or a sprite's.
struct TimelineStream
{
    quint32 sprite = 0;
    QString format; // "mp3", "adpcm", ... or "code-N"
    int rate = 0;
    int channels = 0;
    int bits = 0;
    qint64 firstFrame = 0; // frames of its own timeline
    qint64 lastFrame = 0;
    qint64 blocks = 0;
    int latencySeek = 0;
    QList<qint64> placedAt; // sprites: main-timeline frames they are placed at
};

struct TimelineSound
{
    quint32 id = 0;
    QString format;
    int rate = 0;
    int channels = 0;
    int bits = 0;
    qint64 samples = 0;
    double seconds = 0;
    int seekSamples = 0; // MP3: the encoder's delay, decoded before the sound proper
};

struct SoundStart
{
    qint64 frame = 0; // main-timeline frame
    quint32 sound = 0;
    quint32 sprite = 0; // 0: the main timeline
    int loops = 1;
    bool stop = false;
    bool noMultiple = false;
    std::optional<qint64> inPoint; // samples
    std::optional<qint64> outPoint;
    bool envelope = false;
};

struct TimelineVideo
{
    quint32 id = 0;
    QString codec;
    int width = 0;
    int height = 0;
    qint64 frames = 0;
    std::optional<qint64> firstFrame;
    std::optional<qint64> lastFrame;
};

// A DefineSprite and the frames of its own timeline (its ShowFrame tags).
struct SpriteFrames
{
    quint32 id = 0;
    qint64 frames = 0;
};

// What the extractor's --timeline report says of one movie.
struct TimelineReport
{
    int version = 0;
    QString container;
    int stageWidth = 0; // pixels, rounded (the stage is in twips)
    int stageHeight = 0;
    double frameRate = 0; // 0 when the report gives none that is usable
    qint64 frameCount = 0; // ShowFrame tags on the main timeline
    std::optional<Tarnwick::Rgb> background;
    bool stops = false; // the movie stops at its last frame instead of looping
    QList<TimelinePicture> pictures;
    std::optional<TimelineStream> stream;
    QList<TimelineStream> spriteStreams;
    QList<TimelineSound> sounds;
    QList<SoundStart> soundStarts;
    QList<TimelineVideo> videos;
    bool actionScript3 = false;
    QList<QPointF> buttons; // stage pixels, first-placement order
    QList<SpriteFrames> sprites;
    // What a renderer of plain shapes and pictures would leave out.
    bool usesFilters = false;
    bool usesBlendModes = false;
    bool usesBitmapFills = false;
    QStringList warnings; // the extractor's, then what this parser tolerated or cut

    // Seconds from the movie's start to the start of `frame`; 0 without a
    // usable frame rate.
    double secondsAt(qint64 frame) const;
    const TimelineSound *sound(quint32 id) const;
    // What transparent pictures are laid on: the movie's background, black
    // when it sets none.
    Tarnwick::Rgb backdrop() const { return background.value_or(Tarnwick::Rgb{}); }
};

struct TimelineReportResult
{
    bool ok = false;
    QString error; // why nothing could be read, when !ok
    TimelineReport report;
};

// Parses the report. Keys not known here are ignored; a null or missing
// field, or one of the wrong type, keeps its default (an entry whose ID is
// unusable is dropped); lists longer than TimelineReportLimits are cut and
// the cut is added to the warnings. Fails only when the text is not one
// JSON object or is larger than kMaxBytes.
TimelineReportResult ParseTimelineReport(const QByteArray &json);

} // namespace Pipeline
