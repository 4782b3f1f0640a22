#pragma once

#include "tools/DataFolder.h"

#include <QString>

namespace Tools {
class ErrorReporter;
class ProgressSink;
} // namespace Tools

namespace Pipeline {

// Window pointer shapes.
enum class Pointer { Default = 0, Busy = 11, Hand = 99 };

// The choices and outputs a conversion job works with. The main window
// implements it over its controls and tarnwick-batch over its command line.
// The job reads the choices once, at Start (JobChoices); only the file list,
// locked by the busy pointer while the job runs, is read as it goes.
class JobControls
{
public:
    virtual ~JobControls() = default;

    virtual bool slowSelected() const = 0; // Option1: seconds per picture in slowText()
    virtual QString slowText() const = 0; // Text1
    virtual QString fastText() const = 0; // Text2: pictures per second
    // Option5: each picture shown when and as long as the movie shows it;
    // the delay boxes apply only to movies whose timeline shows no picture.
    virtual bool movieSelected() const { return false; }
    // Option6: each movie recorded as it plays; the delay boxes do not apply.
    virtual bool playSelected() const { return false; }
    // Frames per second for PLAY; 0: each movie's own rate.
    virtual double playFrameRate() const { return 0; }
    // PLAY's frame height (720, 1080, 1440 or 2160) and its cap in seconds
    // (0: only the 3-hour cap).
    virtual int playHeight() const { return 720; }
    virtual double playSeconds() const { return 0; }
    // The recorder's page and player.
    virtual QString playAssetsFolder() const { return Tools::DataFolder() + QStringLiteral("/render"); }
    virtual int qualityValue() const = 0; // Slider1 position
    virtual int qualityMaximum() const = 0;
    virtual bool eachFileSelected() const = 0; // Option7: one MP4 per SWF
    virtual bool combineSelected() const = 0; // Option8: all SWFs into one MP4
    virtual bool saveToFolderSelected() const = 0; // Option3: into folderText()
    virtual bool saveBesideSourceSelected() const = 0; // Option4: next to each SWF
    virtual QString folderText() const = 0; // Text3

    virtual int fileCount() const = 0;
    virtual QString fileAt(int position) const = 0; // 1-based, list order

    virtual Tools::ProgressSink &progress() = 0;
    virtual void setPointer(Pointer pointer) = 0;
    virtual Pointer pointer() const = 0;
    // Lets the window repaint and handle input during long work.
    virtual void yield() = 0;
    // A modal message with OK only, titled with the application title.
    virtual void showMessage(const QString &text) = 0;
    // The job's summary. `details` (may be empty) holds what a user needs
    // only when something went wrong: the tools' reasons, sounds left out.
    // `resultFolder` is where its videos went, empty when there is none to
    // show; a window may offer to open it.
    virtual void showSummary(const QString &text, const QString &details, const QString &resultFolder)
    {
        Q_UNUSED(details);
        Q_UNUSED(resultFolder);
        showMessage(text);
    }
    // Where unexpected failures of the job are reported.
    virtual Tools::ErrorReporter &errorReporter() = 0;
};

// The job's choices as they were when Start was pressed.
struct JobChoices
{
    bool slow = true;
    bool movie = false;
    bool play = false;
    double playFps = 0;
    int playHeight = 720;
    double playSeconds = 0;
    QString playAssets;
    QString slowText;
    QString fastText;
    int qualityValue = 0;
    int qualityMaximum = 100;
    bool eachFile = false;
    bool combine = false;
    bool saveToFolder = false;
    bool saveBeside = false;
    QString folder;

    static JobChoices ReadFrom(const JobControls &controls)
    {
        JobChoices c;
        c.slow = controls.slowSelected();
        c.movie = controls.movieSelected();
        c.play = controls.playSelected();
        c.playFps = controls.playFrameRate();
        c.playHeight = controls.playHeight();
        c.playSeconds = controls.playSeconds();
        c.playAssets = controls.playAssetsFolder();
        c.slowText = controls.slowText();
        c.fastText = controls.fastText();
        c.qualityValue = controls.qualityValue();
        c.qualityMaximum = controls.qualityMaximum();
        c.eachFile = controls.eachFileSelected();
        c.combine = controls.combineSelected();
        c.saveToFolder = controls.saveToFolderSelected();
        c.saveBeside = controls.saveBesideSourceSelected();
        c.folder = controls.folderText();
        return c;
    }
};

} // namespace Pipeline
