#include "RecorderRun.h"

#include "ColourFrames.h"
#include "VectorSwf.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Render;

namespace {

// The colour of pixel (x, y) of the video's last frame.
SwfBuild::Rgb LastFramePixel(const QString &video, int x, int y, const TempFolder &work)
{
    const std::vector<SwfBuild::Rgb> colours = PixelPerFrame(video, x, y, work);
    EXPECT_FALSE(colours.empty());
    return colours.empty() ? SwfBuild::Rgb{} : colours.back();
}

double Distance(const SwfBuild::Rgb &a, const SwfBuild::Rgb &b)
{
    return std::hypot(std::hypot(a[0] - b[0], a[1] - b[1]), a[2] - b[2]);
}

// On a white 160 x 120 stage: a red square blurred by 8 px on the left,
// and on the right a yellow square multiplied over a cyan one.
SwfBuild::Bytes EffectsMovie()
{
    using namespace SwfBuild;
    Tags tags;
    tags.setBackgroundColor(255, 255, 255);
    AddRectShape(tags, 1, 0, 0, 40 * 20, 40 * 20, {255, 0, 0});
    AddRectShape(tags, 2, 0, 0, 40 * 20, 40 * 20, {0, 255, 255});
    AddRectShape(tags, 3, 0, 0, 40 * 20, 40 * 20, {255, 255, 0});
    AddPlaceWithEffects(tags, 1, 1, 20 * 20, 40 * 20, 8, 0);
    AddPlace(tags, 2, 2, false, 90 * 20, 40 * 20);
    AddPlaceWithEffects(tags, 3, 3, 110 * 20, 60 * 20, 0, kBlendMultiply);
    tags.showFrame();
    MovieOptions options;
    options.widthPx = 160;
    options.heightPx = 120;
    options.frameRate = 10 << 8;
    options.frameCount = 1;
    return BuildSwf(tags.end(), Container::Fws, options);
}

} // namespace

TEST(PlayPicture, FiltersAndBlendModesAreDrawnByTheFullRenderer)
{
    if (ChromiumMissing())
        GTEST_SKIP() << "chromium is not installed";
    TempFolder work;
    RecordRequest r = RequestFor(EffectsMovie(), work);
    EXPECT_TRUE(r.movie.needsFullRenderer) << "the report names the filter and the blend mode";
    const RecordResult result = MovieRecorder().record(r);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    ASSERT_TRUE(result.fullRenderer) << result.notes.join(QLatin1Char('\n')).toStdString();
    // The frame is 960 x 720: six video pixels to a stage pixel.
    const auto at = [&](double x, double y) { return LastFramePixel(r.outputPath, int(x * 6), int(y * 6), work); };

    // Blurred: the red runs past the square's edge (x = 20) and its own
    // edge is no longer pure red.
    const SwfBuild::Rgb outside = at(18, 60), edge = at(20.5, 60), middle = at(40, 60);
    EXPECT_LT(outside[1], 245) << "red blurred past the edge";
    EXPECT_LT(Distance(middle, {255, 0, 0}), 40);
    EXPECT_GT(Distance(edge, {255, 0, 0}), 40);
    // Multiplied: yellow over cyan gives green; cyan alone and yellow alone stay.
    EXPECT_LT(Distance(at(120, 70), {0, 255, 0}), 40);
    EXPECT_LT(Distance(at(95, 45), {0, 255, 255}), 40);
    EXPECT_LT(Distance(at(140, 95), {255, 255, 0}), 40);

    // The canvas renderer draws no blur: what the full one is there for.
    RecordRequest canvas = RequestFor(EffectsMovie(), work, QStringLiteral("canvas"));
    canvas.renderer = Renderer::Canvas;
    const RecordResult plain = MovieRecorder().record(canvas);
    ASSERT_TRUE(plain.ok) << plain.error.toStdString();
    EXPECT_FALSE(plain.fullRenderer);
    EXPECT_GT(LastFramePixel(canvas.outputPath, 18 * 6, 60 * 6, work)[1], 245);
    EXPECT_LT(Distance(LastFramePixel(canvas.outputPath, int(20.5 * 6), 60 * 6, work), {255, 0, 0}), 40);
}
