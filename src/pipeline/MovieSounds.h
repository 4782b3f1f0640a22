#pragma once

#include "EmbeddedVideos.h"
#include "JobContext.h"
#include "MoviePart.h"
#include "VideoEncoding.h"

#include "tools/Command.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace Pipeline {

// The video's sound: files that are ready, or the mix fed to the encoder.
struct VideoSounds
{
    QStringList files;
    std::optional<Tools::Command> feed;
};

// One sound the encoder cannot decode would fail the whole video: a main
// MP3 stream the extraction found undecodable is left out and named instead.
void UseMp3(JobContext &job, MoviePart &movie, const QString &soundPath, const SoundCheck &check);

// Exports each sound the movie's timeline plays and plans how they are
// mixed; the soundtrack itself is written once the video's length is known.
void PlanMovieSound(JobContext &job, MoviePart &movie, const ExtractorRun &run);

// The video's one sound: a single movie's own sound, or each movie's sound
// laid over its own pictures, fed to the encoder as it is mixed. `movies`
// are the video's, laid out; the video lasts `videoSeconds`.
VideoSounds PlanVideoSounds(JobContext &job, const QList<MoviePart> &movies, double videoSeconds);

// Encodes into the video's temporary file (EncodeToTemporary). When the
// mix fed to the encoder failed and the encode failed with it, or the
// video's sound stops short, the video is made again without sound, as
// when a soundtrack cannot be made.
QString EncodeWithSoundOrWithout(JobContext &job, EncodeRequest &request, QString *reason);

} // namespace Pipeline
