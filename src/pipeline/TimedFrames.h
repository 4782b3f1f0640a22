#pragma once

#include "StagedFrames.h"

namespace Pipeline {

// AS IN MOVIE: each picture the timeline shows, and each frame of its
// embedded videos, when and as long as the movie shows it, through a concat
// list of the staged frames; the movies follow one another.
class TimedFrames : public StagedFrames
{
public:
    using StagedFrames::StagedFrames;

protected:
    void readMovie(MoviePart &movie, const ExtractorRun &run) override;
    QStringList picturesToStage(const QStringList &pictures, const QString &stem) override;
    int stageMore(MoviePart &movie, int after) override { return StageVideoFrames(m_job, movie, after); }
    void layOutMovies() override;
    bool frameTiming(EncodeRequest &request) override;

private:
    void planTiming(MoviePart &movie);
};

} // namespace Pipeline
