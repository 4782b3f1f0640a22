#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace Render {
struct MovieFacts;
}

namespace Pipeline {

struct TimelineReport;

// What the recorder needs of a movie, from its timeline report.
Render::MovieFacts MovieFactsFrom(const TimelineReport &report);
// Runs the extractor's --timeline on `swf`: false with `reason` when it
// cannot be read.
bool ReadMovieFacts(const QString &extractor, const QString &swf, Render::MovieFacts &facts, QString &reason);

// The PLAY choice's step: each movie recorded as it plays (Render::
// MovieRecorder) instead of having its pictures extracted. A recording goes
// to the work folder, and only a checked video replaces an output, through
// the same hidden temporary file as the other modes.
class PlayRecording
{
public:
    struct Setup
    {
        QString workFolder; // the job's scratch folder
        QString assetsFolder; // the recorder's page and player
        QString extractor; // for the timeline report's frame count
        QString encoder; // ffmpeg
        int crf = 23;
        double fpsOverride = 0; // 0: each movie's own rate
        int playHeight = 720; // the frame's height
        double playSeconds = 0; // 0: no cap below the 3 hours
    };

    // One movie recorded.
    struct Take
    {
        QString swf;
        QString file; // the recording in the work folder
        int frames = 0;
        double seconds = 0;
        double frameRate = 0;
        int width = 0;
        int height = 0;
        bool hasSound = false;
    };

    // Called after each frame: frames recorded and planned.
    using Progress = std::function<void(int recorded, int total)>;

    explicit PlayRecording(Setup setup);

    // Records `swf` as the `position`th movie of the job. False with `reason`
    // when nothing usable was recorded; `notes` gets lines for the details
    // (where a recording stopped, buttons pressed) either way.
    bool record(const QString &swf, int position, const Progress &progress, QStringList &notes, QString &reason);

    // The movies recorded so far, in order.
    const QList<Take> &takes() const { return m_takes; }
    void clear();

    // Writes the takes, one after the other, as `output`: into a hidden
    // temporary file beside it, checked, then moved over it. One take is
    // copied as it is; takes that differ in size, rate or sound are
    // re-encoded to the first one's size (scaled and padded) and rate.
    bool publish(const QString &output, QString &reason);

private:
    bool join(const QString &target, QString &reason) const;

    Setup m_setup;
    QList<Take> m_takes;
};

} // namespace Pipeline
