#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

namespace Render {

struct RecordRequest;
struct SwfSummary;

// Limits on what one recording may be.
inline constexpr int MaxFrameSide = 4096;
inline constexpr qint64 MaxFramePixels = 8912896;
inline constexpr QSize SmallStageTarget{1280, 720};
inline constexpr double MinFrameRate = 0.01;
inline constexpr double MaxFrameRate = 120;
inline constexpr double FallbackFrameRate = 30;

// The frame: the stage scaled up to fit SmallStageTarget when it is smaller
// (vector art stays sharp), down to the caps when larger, both sides even.
// Empty for a stage with no area.
QSize FrameSizeFor(double stageWidth, double stageHeight);

// What will be recorded, worked out before the player starts.
struct RecordPlan
{
    bool ok = false;
    QString error;
    QSize frame;
    double frameRate = 0;
    int frames = 0;
    QStringList notes;
};

RecordPlan PlanRecording(const SwfSummary &movie, const RecordRequest &request);

} // namespace Render
