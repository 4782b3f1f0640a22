#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace Render {

// Why a recording ended.
enum class StopReason {
    Finished, // the movie's whole length was recorded
    FrameCap, // the frame or length cap was reached first
    Cancelled, // the cancel flag was set
    StepTimeout, // one step took longer than the watchdog allows
    PlayerDied, // Chromium ended or the page failed
    Failed, // nothing usable: see RecordResult::error
};

struct RecordRequest
{
    QString swfPath;
    QString outputPath; // the MP4 to write
    QString workFolder; // Chromium's profile and the temporary files
    QString assetsFolder; // the page and the player: <data folder>/render
    int crf = 23;
    double fpsOverride = 0; // 0: the movie's own frame rate
    int frameCountOverride = 0; // 0: the frame count in the SWF header (e.g. a timeline report's)
    int maxFrames = 0; // 0: no cap beyond the length limit
    double maxSeconds = 3 * 3600;
    // Watchdog: longest a single step (or the player's start) may take.
    int stepTimeoutMs = 10000;
    int startTimeoutMs = 60000;
    // Called on the calling thread after every frame.
    std::function<void(int recorded, int total)> progress;
    const std::atomic_bool *cancel = nullptr;
};

struct RecordResult
{
    bool ok = false; // an MP4 was written
    int framesRecorded = 0;
    int framesPlanned = 0;
    double seconds = 0; // length of the video written
    int width = 0;
    int height = 0;
    double frameRate = 0;
    bool hasSound = false;
    StopReason stop = StopReason::Failed;
    QString error; // why nothing was made, when !ok
    QStringList notes; // for the details: where it stopped, presses, adjustments
    // What the player and the encoder used (sampled from their process groups).
    double cpuSeconds = 0;
    double peakMemoryMb = 0;
};

// Records a movie as it plays, frame by frame on a stepped clock, with its
// sound, into an MP4. Blocks the calling thread (running its own event loop)
// until the recording ends.
class MovieRecorder
{
public:
    // Empty when Chromium and the player are installed; otherwise what to
    // install, in words for the user.
    static QString MissingParts(const QString &assetsFolder);

    RecordResult record(const RecordRequest &request);
};

QString StopReasonText(StopReason reason);

} // namespace Render
