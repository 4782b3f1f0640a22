#include "RecordPlan.h"

#include "MovieRecorder.h"

#include "tarnwick/Limits.h"

#include <algorithm>
#include <cmath>

namespace Render {

namespace {

// The player mixes its sound in buffers of this many samples, whatever the rate.
constexpr int MixBufferSamples = 2048;
// Below this the sound would lose its highest notes.
constexpr double LowestAudioRate = 40000;

} // namespace

QSize FrameSizeFor(double stageWidth, double stageHeight, int height)
{
    if (!(stageWidth >= 1 && stageHeight >= 1))
        return {};
    const double side = Tarnwick::kMaxFrameSide;
    const double scale = std::min({height / stageHeight, side / stageWidth, side / stageHeight,
                                   std::sqrt(double(Tarnwick::kMaxFramePixels) / (stageWidth * stageHeight))});
    const auto even = [](double v) { return std::max(2, int(std::floor(v + 1e-6)) / 2 * 2); };
    return {even(stageWidth * scale), even(stageHeight * scale)};
}

int UsablePlayHeight(int height)
{
    return std::find(std::begin(PlayHeights), std::end(PlayHeights), height) != std::end(PlayHeights) ? height
                                                                                                      : PlayHeights[0];
}

double AudioRateFor(double frameRate)
{
    const double perFrame = MixBufferSamples * frameRate;
    return std::round(perFrame * std::ceil(LowestAudioRate / perFrame - 1e-9));
}

RecordPlan PlanRecording(const MovieFacts &movie, const RecordRequest &request)
{
    RecordPlan plan;
    plan.frame = FrameSizeFor(movie.widthPx, movie.heightPx, UsablePlayHeight(request.playHeight));
    if (plan.frame.isEmpty()) {
        plan.error = QStringLiteral("the movie's stage has no area (%1 x %2)").arg(movie.widthPx).arg(movie.heightPx);
        return plan;
    }
    double rate = request.fpsOverride > 0 ? request.fpsOverride : movie.frameRate;
    if (!(rate >= Tarnwick::kMinFrameRate && rate <= Tarnwick::kMaxFrameRate)) {
        plan.notes << QStringLiteral("frame rate %1 is out of range; recorded at %2 frames a second")
                          .arg(rate)
                          .arg(Tarnwick::kFallbackFrameRate);
        rate = Tarnwick::kFallbackFrameRate;
    }
    plan.frameRate = rate;
    plan.audioRate = AudioRateFor(rate);
    plan.capSeconds = Tarnwick::kMaxVideoSeconds;
    if (request.maxSeconds > 0 && request.maxSeconds < plan.capSeconds)
        plan.capSeconds = request.maxSeconds;
    switch (request.renderer) {
    case Renderer::Auto: plan.fullRenderer = movie.needsFullRenderer; break;
    case Renderer::Canvas: plan.fullRenderer = false; break;
    case Renderer::Full: plan.fullRenderer = true; break;
    }
    plan.ok = true;
    return plan;
}

} // namespace Render
