#pragma once

#include "EmbeddedVideos.h"
#include "ExtractionsAhead.h"
#include "FrameMaking.h"
#include "MoviePart.h"
#include "MovieSounds.h"

#include <QList>
#include <QSet>
#include <QSize>
#include <QStringList>

#include <optional>

namespace Pipeline {

// The ways that make frames of the movies' own pictures: each movie is
// extracted (the next one beside it), its pictures converted and staged as
// numbered frames in temp/, brought to one even size and encoded. The
// slide show and the timed way differ only in the hooks below.
class StagedFrames : public FrameMaking
{
public:
    using FrameMaking::FrameMaking;

    bool takeFile(Tools::ReportingTrap &trap, int position, const QString &path, const QString &output) override;
    void makeFileVideo(Tools::ReportingTrap &trap, const QString &path, const QString &output) override;
    void makeCombinedVideo(Tools::ReportingTrap &trap, const QString &output) override;
    void finish() override { m_extractions.clear(); }
    void clearScratch() override;

protected:
    // The video being made, replaced whole for each video.
    struct VideoFrames
    {
        QList<MoviePart> movies;
        int frameCount = 0; // frames in temp/, the end frame included
        int pictureFrames = 0; // of those, frames made from the movies' pictures
        QSet<int> passableFrames; // frames in temp/ made from passable pictures
        QSize frameSize; // the video's frame, once the frames are fitted
        bool encoderFits = false; // some frames are left for the encoder to grow
        double seconds = 0; // the video's length, set before its sound is made
        std::optional<VideoSounds> sounds; // from the layout until the encode
    };

    // After the movie's extraction and sound: what the way reads of it.
    virtual void readMovie(MoviePart &movie, const ExtractorRun &run)
    {
        Q_UNUSED(movie);
        Q_UNUSED(run);
    }
    // Of the movie's extracted pictures, in picture order, those to stage;
    // the others are removed.
    virtual QStringList picturesToStage(const QStringList &pictures, const QString &stem);
    // Frames staged after the movie's pictures, from frame `after`.
    virtual int stageMore(MoviePart &movie, int after)
    {
        Q_UNUSED(movie);
        Q_UNUSED(after);
        return 0;
    }
    // Step 130: the frame after the movies', when the way has one.
    virtual void appendEndFrame() { }
    // Where each movie sits in the video, and the video's length.
    virtual void layOutMovies() = 0;
    // The request's frames and timing; false when they cannot be given.
    virtual bool frameTiming(EncodeRequest &request) = 0;

    VideoFrames m_video;

private:
    MovieToExtract movieToExtract(int position) const;
    void extractAhead(int position);
    void extractPictures(const QString &path, int position);
    void convertPictures(const QStringList &pictures, const QStringList &options, const MoviePart &movie);
    void stageFrames(int position);
    void evenFrameSize();
    bool anyPictureFrame() const;
    void encode(const QString &output);
    void outputSteps(const QString &output);

    ExtractionsAhead m_extractions;
};

} // namespace Pipeline
