#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

namespace Render {

struct MovieFacts;
struct RecordRequest;

// The frame heights a recording may be made at, smallest first; the first
// is the default.
inline constexpr int PlayHeights[] = {720, 1080, 1440, 2160};

// The frame: the stage scaled to `height` pixels high, narrowed to the
// frame caps when that is too large, both sides even. Empty for a stage
// with no area.
QSize FrameSizeFor(double stageWidth, double stageHeight, int height = PlayHeights[0]);
// `height` when it is one of PlayHeights, else the default.
int UsablePlayHeight(int height);

// The sound's sample rate for a frame rate: a whole number of the player's
// mixing buffers in every frame, so that each frame's sounds start at a
// fixed place in the recording.
double AudioRateFor(double frameRate);

// What will be recorded, worked out before the player starts.
struct RecordPlan
{
    bool ok = false;
    QString error;
    QSize frame;
    double frameRate = 0;
    double audioRate = 0;
    double capSeconds = 0; // the recording ends here at the latest
    bool fullRenderer = false;
    QStringList notes;
};

RecordPlan PlanRecording(const MovieFacts &movie, const RecordRequest &request);

} // namespace Render
