#pragma once

#include "SwfListing.h"
#include "TimelineReport.h"

#include "tarnwick/Limits.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Pipeline {

// Longest video made with the movies' own timing, however many it holds.
inline constexpr double kMaxTimedVideoSeconds = Tarnwick::kMaxVideoSeconds;
inline constexpr qsizetype kMaxTimedFrames = Tarnwick::kMaxTimedFrames;
// A timed video shorter than this shows next to nothing in most players
// (a one-frame movie lasts 1/24 s): such a movie falls back to the delay.
inline constexpr double kMinTimedVideoSeconds = 1;
// The delay when a movie shows no picture on its timeline and no positive
// delay was given.
inline constexpr double kDefaultFallbackDelay = 3;

// One decoded frame of an embedded video: the video's ID and the frame's
// place in decoding order.
struct VideoFrameKey
{
    quint32 id = 0;
    int index = 0;
    auto operator<=>(const VideoFrameKey &) const = default;
};

// An embedded video on stage from `firstFrame` (a main-timeline frame), with
// the presentation time of each decoded frame in seconds.
struct VideoOnStage
{
    quint32 id = 0;
    qint64 firstFrame = 0;
    QList<double> frameTimes;
};

// One picture, video frame or the background colour on screen from `start`
// to `end`, seconds from the movie's start.
struct TimedFrame
{
    std::optional<PictureKey> picture;
    std::optional<VideoFrameKey> video; // neither: the movie's background colour
    double start = 0;
    double end = 0;
};

struct MovieTiming
{
    // The timeline shows none of the pictures: make this movie as with a
    // fixed delay of `fallbackDelay` seconds a picture instead.
    bool fallBack = false;
    double fallbackDelay = 0;
    QList<TimedFrame> frames; // in time order, back to back from 0 to length
    double length = 0;
    QStringList notes; // for the summary's details
};

// When and how long each picture is on screen, as the movie shows it.
// `soundtrackEnd` is where the movie's soundtrack ends (looped sounds
// counted once), 0 without sound; `delay` is the fixed delay to fall back
// on (kDefaultFallbackDelay when it is not a positive number). Embedded
// videos' frames take their turns at their own times.
MovieTiming PlanMovieTiming(const TimelineReport &report, double soundtrackEnd, double delay,
                            const QList<VideoOnStage> &videos = {});

// One movie's stretch of a video in which movies follow one another.
struct MovieSpan
{
    double start = 0;
    double seconds = 0; // 0 for a movie that shows nothing
    bool cut = false; // the video ends during this movie
    bool leftOut = false; // the video ended before this movie's turn
    QString note; // for the summary's details, when cut or left out
};

// Each movie after the one before it, for its length in `lengths`, in a
// video that stops at kMaxTimedVideoSeconds however many movies it holds.
QList<MovieSpan> FollowOneAnother(const QList<double> &lengths);

// One line pair of a concat list: a picture file shown from start to end
// (seconds from the video's start).
struct ConcatEntry
{
    QString file;
    double start = 0;
    double end = 0;
};

// The concat demuxer's list for the entries, which must be back to back.
// Durations are written as differences of whole microseconds of the
// entries' absolute times, so a long sequence does not drift; the last file
// is repeated as the demuxer needs to give the last picture its duration.
QString ConcatList(const QList<ConcatEntry> &entries);

// A "file" line of a concat list, the path quoted as the demuxer reads it.
QString ConcatFileLine(const QString &path);

// The encoder's input arguments for such a list, and the output arguments
// that keep each picture's own duration (no frames duplicated to a fixed rate).
QStringList ConcatInputArguments(const QString &listPath);
QStringList VariableFrameArguments();

} // namespace Pipeline
