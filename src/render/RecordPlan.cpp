#include "RecordPlan.h"

#include "MovieRecorder.h"
#include "SwfSummary.h"

#include <algorithm>
#include <cmath>

namespace Render {

QSize FrameSizeFor(double stageWidth, double stageHeight)
{
    if (!(stageWidth >= 1 && stageHeight >= 1))
        return {};
    double scale = 1;
    if (stageWidth <= SmallStageTarget.width() && stageHeight <= SmallStageTarget.height())
        scale = std::min(SmallStageTarget.width() / stageWidth, SmallStageTarget.height() / stageHeight);
    scale = std::min({scale, MaxFrameSide / stageWidth, MaxFrameSide / stageHeight,
                      std::sqrt(double(MaxFramePixels) / (stageWidth * stageHeight))});
    const auto even = [](double v) { return std::max(2, int(std::floor(v + 1e-6)) / 2 * 2); };
    return {even(stageWidth * scale), even(stageHeight * scale)};
}

RecordPlan PlanRecording(const SwfSummary &movie, const RecordRequest &request)
{
    RecordPlan plan;
    plan.frame = FrameSizeFor(movie.widthPx, movie.heightPx);
    if (plan.frame.isEmpty()) {
        plan.error = QStringLiteral("the movie's stage has no area (%1 x %2)").arg(movie.widthPx).arg(movie.heightPx);
        return plan;
    }
    double rate = request.fpsOverride > 0 ? request.fpsOverride : movie.frameRate;
    if (!(rate >= MinFrameRate && rate <= MaxFrameRate)) {
        plan.notes << QStringLiteral("frame rate %1 is out of range; recorded at %2 frames a second")
                          .arg(rate)
                          .arg(FallbackFrameRate);
        rate = FallbackFrameRate;
    }
    plan.frameRate = rate;
    qint64 frames = request.frameCountOverride > 0 ? request.frameCountOverride : movie.frameCount;
    frames = std::max<qint64>(frames, 1);
    const qint64 lengthCap = std::max<qint64>(1, qint64(std::floor(request.maxSeconds * rate + 1e-9)));
    if (frames > lengthCap) {
        plan.notes << QStringLiteral("recording stops at the length limit of %1 s").arg(request.maxSeconds);
        frames = lengthCap;
    }
    if (request.maxFrames > 0 && frames > request.maxFrames)
        frames = request.maxFrames;
    plan.frames = int(frames);
    plan.ok = true;
    return plan;
}

} // namespace Render
