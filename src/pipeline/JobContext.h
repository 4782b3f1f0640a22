#pragma once

#include "JobControls.h"
#include "Soundtrack.h"
#include "VideoCheck.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace Pipeline {

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

// The tools deployed into the work folder for one run.
struct ToolPaths
{
    QString extractor;
    QString converter;
    QString encoder;
};

// State of one run, set up at Start and replaced whole by the next.
struct JobRun
{
    JobChoices choices; // read once at Start
    QString encoder; // the system's encoder the tools link to
    ToolPaths tools;
    // "32" or "64": the word size of the system the tools were deployed
    // for (ToolSet::AddressWidth). Only 64-bit systems add the end frame.
    QString addressWidth;
    int quality = 1; // 1 (best) .. 31
    JobOutcome outcome;
};

// Where the numbered steps of the job report their failures.
inline constexpr char kJobLocation[] = "in Tarnwick2021/08/31.Form1.PushButton2_Click ";

// What every part of a job works with: the controls, the work folder and
// the run's state.
class JobContext
{
public:
    JobContext(JobControls &controls, QString workFolder, MediaReaders readers);

    JobControls &controls;
    const QString workFolder;
    const MediaReaders readers;
    JobRun run;

    const JobChoices &choices() const { return run.choices; }
    JobOutcome &outcome() { return run.outcome; }
    // A file in temp/, where the frames are staged, and in SWFPic/, where
    // the extractor writes the pictures.
    QString tempFile(const QString &name) const;
    QString pictureFile(const QString &name) const;
    // True once Cancel was pressed, which the outcome then says.
    bool cancelled();
    // A line of the summary's details about one movie.
    void note(const QString &source, const QString &text);
    // Shows `message` and marks the job refused; false.
    bool refuse(const QString &message);
    // One run of the extractor with the progress bar kept alive; returns
    // what it complained of.
    QString runExtractor(const QStringList &arguments);
};

// The delay check: true when the text is a number as a user would type it.
bool IsNumeric(const QString &text);
// That number; 0 when there is none.
double NumberOf(const QString &text);

} // namespace Pipeline
