#pragma once

#include "MovieFacts.h"

#include "tarnwick/Limits.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace Render {

// Why a recording ended.
enum class StopReason {
    Finished, // the movie played to its end (see RecordResult::ended)
    FrameCap, // the length cap was reached first
    Cancelled, // the cancel flag was set
    StepTimeout, // one step took longer than the watchdog allows
    PlayerDied, // Chromium ended or the page failed
    Failed, // nothing usable: see RecordResult::error
};

// Which of the player's renderers draws the movie.
enum class Renderer {
    Auto, // the full one for movies with filters, blend modes or bitmap fills
    Canvas, // 2D canvas: fast, but without filters and blend modes
    Full, // WebGL 2, drawn on the processor by SwiftShader
};

struct RecordRequest
{
    QString swfPath;
    QString outputPath; // the MP4 to write
    QString workFolder; // Chromium's folders and the temporary files
    QString assetsFolder; // the page and the player: <data folder>/render
    MovieFacts movie; // from the extractor's timeline report
    int crf = 23;
    double fpsOverride = 0; // 0: the movie's own frame rate
    int playHeight = 720; // one of PlayHeights
    double maxSeconds = Tarnwick::kMaxVideoSeconds;
    Renderer renderer = Renderer::Auto;
    // Watchdog. A step fails when the player spends this much processor
    // time on it (a script stuck in a loop), or takes many times as long
    // in all; the start may take its own, longer time. Judging by the
    // player's own work keeps a busy machine from failing a recording.
    int stepTimeoutMs = 10000;
    int startTimeoutMs = 120000;
    // Called on the calling thread after every frame: frames recorded and
    // planned (the plan grows while the movie goes on).
    std::function<void(int recorded, int total)> progress;
    const std::atomic_bool *cancel = nullptr;
};

struct RecordResult
{
    bool ok = false; // an MP4 was written
    int framesRecorded = 0;
    double seconds = 0; // length of the video written
    int width = 0;
    int height = 0;
    double frameRate = 0;
    bool hasSound = false;
    bool fullRenderer = false; // drawn with WebGL
    StopReason stop = StopReason::Failed;
    QString ended; // why the recording ended where it did, for the details
    QString error; // why nothing was made, when !ok
    QStringList notes; // for the details: where it stopped, presses, adjustments
    // What the player and the encoder used (sampled from their process groups).
    double cpuSeconds = 0;
    double peakMemoryMb = 0;
};

// Records a movie as it plays, frame by frame on a stepped clock, with its
// sound, into an MP4, for as long as RecordLength says. Blocks the calling
// thread (running its own event loop) until the recording ends.
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
