#pragma once

#include "JobContext.h"
#include "MoviePart.h"

#include <QStringList>

#include <functional>

namespace Pipeline {

// Runs the extractor on the movie; it notes what the extractor complained
// of as the movie's reason.
using ExtractorRun = std::function<void(const QStringList &arguments)>;

// As in the movie, each embedded video on stage is written out by the
// extractor and decoded by the encoder into numbered pictures in SWFPic/
// beside the movie's, with the time of each (into `movie.videos`). One that
// gives no picture is left out and named in the details.
void DecodeEmbeddedVideos(JobContext &job, MoviePart &movie, const ExtractorRun &run);

// Moves the movie's decoded video frames into the frame sequence in temp/
// after frame `after`; returns how many. A movie shown with a fixed delay
// takes none: it would hold each video frame for that delay.
int StageVideoFrames(JobContext &job, MoviePart &movie, int after);

} // namespace Pipeline
