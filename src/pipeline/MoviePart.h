#pragma once

#include "MovieTiming.h"
#include "Soundtrack.h"
#include "TimelineReport.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

#include <optional>

namespace Pipeline {

// One movie's part of the video being made: what its extraction found, its
// timeline, its sound and where its frames sit in temp/. Filled step by
// step as the movie is read, staged and laid out.
struct MoviePart
{
    QString source;
    int position = 0;
    std::optional<TimelineReport> report;
    bool readInPart = false; // the movie is cut or damaged
    QString reason; // the extractor's last word on it
    QSet<QString> passable; // its pictures that need no conversion
    QString mp3; // its main MP3 stream, copied as it is
    double mp3Seconds = 0;
    int mp3Rate = 0; // its sample rate, as decoded; 0 when not known
    int mp3Channels = 0; // 0 when not known
    SoundtrackPlan plan; // otherwise the soundtrack made from its sounds
    int firstFrame = 0; // frames before this movie's in temp/
    int frames = 0; // this movie's picture frames
    // As in the movie: when each picture is on screen, and the frame in
    // temp/ each picture was staged as.
    std::optional<MovieTiming> timing;
    QMap<PictureKey, int> frameOf;
    QList<VideoOnStage> videos; // embedded videos, decoded
    QMap<VideoFrameKey, int> videoFrameOf; // and staged
    double start = 0; // its span in the video, in seconds
    double seconds = 0;

    double soundEnd() const { return mp3.isEmpty() ? plan.end : mp3Seconds; }
};

} // namespace Pipeline
