#pragma once

#include "TimelineReport.h"

#include "tools/Command.h"

#include "tarnwick/Limits.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace Tools {
class ProgressSink;
}

namespace Pipeline {

inline constexpr qsizetype kMaxSoundPlays = Tarnwick::kMaxSoundPlays;
// The soundtrack's format. Soundtracks are written losslessly (FLAC), which
// takes a fraction of the time AAC does; the encoder makes the video's one
// AAC track at kSoundtrackBitrate while it encodes the pictures.
inline constexpr int kSoundtrackRate = 44100;
inline constexpr char kSoundtrackBitrate[] = "192k";
inline constexpr char kSoundtrackSuffix[] = ".flac";

// The encoder's arguments for the video's sound track.
QStringList SoundtrackCodecArguments();
// A soundtrack file the job made, which the encoder encodes (an MP3 stream
// is copied as it is).
bool IsSoundtrackFile(const QString &path);

// One sound file the extractor exported for a movie.
struct SoundSource
{
    enum class Kind { Event, MainStream, SpriteStream };
    Kind kind = Kind::Event;
    quint32 id = 0; // the sound's ID, or the sprite's (0 for the main stream)
    QString path;
};

// An export to run: the extractor's arguments (after the program) and what
// it writes.
struct SoundExport
{
    SoundSource source;
    QStringList arguments;
};

// The exports the movie's soundtrack needs, as audio-only FLV files in
// `folder` named after `stem`: each event sound some start plays, the main
// stream, each placed sprite's stream.
QList<SoundExport> SoundExports(const TimelineReport &report, const QString &swfPath, const QString &folder,
                                const QString &stem);

// True when the movie's only sound is its main MP3 stream from frame 0:
// that MP3 is used as it is (extracted with -m and copied into the video).
bool IsPlainMp3Stream(const TimelineReport &report);

// Whether FFmpeg decodes a sound file, and how long it plays.
struct SoundCheck
{
    bool decodes = false;
    double seconds = 0;
    QString reason; // FFmpeg's first complaint when it does not decode
    int rate = 0; // samples per second; 0 when not known
    int channels = 0; // 0 when not known
};
// Decodes the file's first audio stream in this process, with FFmpeg's
// libraries.
SoundCheck CheckSound(const QString &path);
// CheckSound, or what stands in for it.
using SoundChecker = std::function<SoundCheck(const QString &path)>;

// One sound placed in the soundtrack.
struct SoundPlay
{
    int input = 0; // index into SoundtrackPlan::inputs
    bool stream = false; // a stream: its gaps are kept as silence
    double start = 0; // seconds into the movie
    std::optional<qint64> fromSample; // samples skipped: inPoint, or an MP3 stream's latency
    std::optional<qint64> toSample; // event sounds: outPoint, or the sound's sample count
    double playSeconds = 0; // one play
    int plays = 1; // loops
    std::optional<double> stopAt; // a SyncStop ends it here (movie seconds)

    // Where it ends with all its plays, before the video's end cuts it.
    double end() const;
};

struct SoundtrackPlan
{
    QStringList inputs; // the decodable files, each given once
    QList<SoundPlay> plays; // in start order
    double end = 0; // where the last sound ends, a looped one counted once
    // Whether some sound it plays is stereo (or of unknown channels): the
    // soundtrack is then stereo, and otherwise mono, which costs the AAC
    // encoder less than half as much.
    bool stereo = false;
    QStringList leftOut; // "sound 5 (reason)" for each sound that was left out
    QStringList notes; // other things the summary's details should say

    bool silent() const { return plays.isEmpty(); }
};

// Plans the movie's soundtrack from its report and the exported files (a
// missing or undecodable file is left out and named); `check` tells which
// decode and how long each plays.
SoundtrackPlan PlanSoundtrack(const TimelineReport &report, const QList<SoundSource> &sources,
                              const SoundChecker &check = CheckSound);

// The FFmpeg arguments that write the plan's soundtrack, `seconds` long, as
// FLAC into `target`, reading the filter graph from `graphPath`; and that
// graph.
QString SoundtrackGraph(const SoundtrackPlan &plan, double seconds);
QStringList SoundtrackArguments(const SoundtrackPlan &plan, const QString &graphPath, const QString &target);

// The progress caption while a movie's soundtrack is made.
QString SoundtrackCaption(const QString &fileName);

// Writes the soundtrack (the graph beside the target). Returns whether the
// target was made; a silent plan makes nothing.
bool WriteSoundtrack(const QString &ffmpeg, const SoundtrackPlan &plan, double seconds, const QString &target,
                     Tools::ProgressSink *bar = nullptr, const QString &caption = QString());

// One movie's span in a combined video, with its soundtrack (none: silence)
// and that sound's sample rate and channels (0: not known).
struct MovieSoundSpan
{
    QString soundtrack;
    double start = 0;
    double end = 0;
    int rate = 0;
    int channels = 0; // 0: not known
};

// The rate a combined soundtrack is mixed at: the highest of its sounds',
// at most kSoundtrackRate; kSoundtrackRate when one is not known. A higher
// rate would only add silence above the sounds' own bandwidth, and the AAC
// encoder's work grows with the rate.
int CombinedSoundtrackRate(const QList<MovieSoundSpan> &spans);

// The filter graph that lays each movie's soundtrack over its own span, cut
// or padded with silence to fit, into one track. Empty: no span has a length.
QString CombinedSoundtrackGraph(const QList<MovieSoundSpan> &spans);

// The encoder reads the combined soundtrack as it is mixed, through a pipe:
// raw samples in a container that needs no seeking. 24 bits keep all that a
// lossless file of the mix held.
inline constexpr char kSoundFeedFormat[] = "nut";

// The FFmpeg command that writes the combined soundtrack to its standard
// output (kSoundFeedFormat), reading the graph from `graphPath`, where it
// is written first; nothing when the graph is empty or cannot be written.
std::optional<Tools::Command> CombinedSoundtrackFeed(const QString &ffmpeg, const QList<MovieSoundSpan> &spans,
                                                     const QString &graphPath);

} // namespace Pipeline
