#pragma once

#include "JobControls.h"
#include "MovieExtraction.h"
#include "MovieTiming.h"
#include "Soundtrack.h"
#include "TimelineReport.h"
#include "VideoEncoding.h"

#include <QMap>
#include <QSize>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace Tools {
class ReportingTrap;
}

namespace Pipeline {

class PlayRecording;
template <typename T>
class SideTask;

// What one run of the job made and missed, for callers that report it
// other than through the summary message (tarnwick-batch's exit status).
struct JobOutcome
{
    bool refused = false; // a check failed before any work
    bool cancelled = false; // stopped by Cancel before its end
    QStringList made; // MP4 files written
    QStringList failed; // MP4 files that could not be made
    QMap<QString, QString> reasons; // why, for each of `failed`
    QStringList noPictures; // SWF files that gave no pictures
    QStringList partlyRead; // SWF files cut or damaged that still gave pictures
    QStringList details; // lines for the summary's details
};

// How the job reads the sounds it is given and the videos it makes: in this
// process, with FFmpeg's libraries; its fast tests put stand-ins here.
struct MediaReaders
{
    PacketReader video = CountPackets;
    SoundChecker sound = CheckSound;
};

// The Start button's work: checks the choices, deploys the tools, extracts
// every SWF's pictures and sound, stages them as numbered frames, brings
// them to one even size, encodes each MP4 and reports one summary.
class ConversionJob
{
public:
    // `workFolder` is the program's private scratch folder.
    ConversionJob(JobControls &controls, QString workFolder, MediaReaders readers = {});
    ~ConversionJob();

    // Runs the job; a call while a job runs returns at once.
    void PushButton2_Click();

    bool converting() const { return m_converting; }
    const JobOutcome &outcome() const { return m_outcome; }

private:
    struct ToolPaths
    {
        QString extractor;
        QString converter;
        QString encoder;
    };

    // One movie's part of the video being made: its timeline, its sound
    // and where its frames sit in temp/.
    struct MoviePart
    {
        QString source;
        int position = 0;
        std::optional<TimelineReport> report;
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

    // A video being checked while the next file's work goes on.
    struct CheckedVideo
    {
        bool whole = false; // the check found nothing missing
        bool made = false; // and it replaced the output
        QString problem;
    };
    struct PendingVideo
    {
        EncodeRequest request;
        QString target; // its hidden temporary file
        qsizetype detailsAt = 0; // its note's place among the details noted at once
        std::unique_ptr<SideTask<CheckedVideo>> check;
    };

    // A movie being extracted beside the work on the ones before it.
    struct PendingExtraction
    {
        int position = 0;
        std::unique_ptr<SideTask<ExtractedMovie>> task;
    };

    // The video's sound: files that are ready, or the mix fed to the encoder.
    struct VideoSounds
    {
        QStringList files;
        std::optional<Tools::Command> feed;
    };

    bool checkChoices(Tools::ReportingTrap &trap);
    void setUpTools(Tools::ReportingTrap &trap);
    void convertFile(Tools::ReportingTrap &trap, int position);
    void makeCombinedVideo(Tools::ReportingTrap &trap);
    void clearScratch();
    void finishJob(Tools::ReportingTrap &trap);
    bool refuse(const QString &message);
    bool checkOutputFolder(const QString &folder);
    void fail(const QString &output, const QString &reason);
    bool cancelled();
    void extractAhead(int position);
    ExtractedMovie takeExtraction(int position);
    bool extractedAhead(const QString &name) const;
    void extractPictures(const QString &path, int position);
    QString runExtractor(const QStringList &arguments);
    void useMp3(MoviePart &movie, const QString &soundPath, const SoundCheck &check);
    void planSound(MoviePart &movie, const std::function<void(const QStringList &)> &run);
    QString movieSoundtrack(const MoviePart &movie, double seconds);
    void planVideoSounds();
    QString encodeToTemporary(EncodeRequest &request, QString *reason);
    void planTiming(MoviePart &movie);
    void decodeVideos(MoviePart &movie, const std::function<void(const QStringList &)> &run);
    int stageVideoFrames(MoviePart &movie, int after);
    QStringList picturesToStage(const QString &stem) const;
    void convertPictures(const QStringList &pictures, const QStringList &options);
    void stageFrames(int position);
    void layOutMovies();
    bool writeFrameList(EncodeRequest &request);
    void appendEndFrame();
    void evenFrameSize();
    bool anyPictureFrame() const;
    void layOutVideo();
    void encode(const QString &outputPath);
    void settleVideo();
    void recordVideo(const EncodeRequest &request, bool made, const QString &reason,
                     std::optional<qsizetype> detailsAt = std::nullopt);
    void outputSteps(const QString &outputPath);
    void recordPlaying(const QString &path, int position, const QString &outputPath);
    void publishPlaying(const QString &outputPath);
    QString claimOutput(const QString &path);
    QString summary() const;
    QString resultFolder() const;
    QString details() const;
    QString tempFile(const QString &name) const;
    QString pictureFile(const QString &name) const;

    JobControls &m_controls;
    JobChoices m_choices; // read once at Start
    QString m_workFolder;
    MediaReaders m_readers;
    bool m_converting = false;

    // State of one run.
    QString m_encoder; // the system's encoder the tools link to
    ToolPaths m_tools;
    QString m_addressWidth;
    QString m_rate;
    double m_frameSeconds = 0;
    double m_videoSeconds = 0; // the video's length, set before its sound is made
    int m_quality = 1;
    int m_frameCount = 0; // frames in temp/, the end frame included
    int m_pictureFrames = 0; // of those, frames made from the movies' pictures
    QSize m_frameSize; // the video's frame, once the frames are fitted
    bool m_encoderFits = false; // some frames are left for the encoder to grow
    QByteArray m_endFrame; // the end frame, once converted
    QList<MoviePart> m_movies; // of the video being made
    bool m_readInPart = false; // the current SWF is cut or damaged
    QSet<QString> m_passable; // its pictures that need no conversion
    QSet<int> m_passableFrames; // frames in temp/ made from such pictures
    QString m_extractorReason; // the extractor's last word on it
    QSet<QString> m_claimedOutputs;
    std::unique_ptr<PlayRecording> m_play; // PLAY: the movies recorded
    std::deque<PendingExtraction> m_extractions; // in file order
    std::unique_ptr<PendingVideo> m_pendingVideo;
    std::optional<VideoSounds> m_sounds; // from the layout until the encode
    int m_detailsInserted = 0; // details noted after later ones, in their place
    JobOutcome m_outcome;
};

// The delay check: true when the text is a number as a user would type it.
bool IsNumeric(const QString &text);

// Quality 1 (best) .. 31 from the slider: (maximum - value) x 10 / 32,
// rounded with ties to even, at least 1.
int QualityFromSlider(int value, int maximum);

} // namespace Pipeline
