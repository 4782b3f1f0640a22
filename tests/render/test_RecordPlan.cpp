#include "render/MovieRecorder.h"
#include "render/RecordPlan.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Render;

TEST(FrameSize, TheStageFitsThePlayHeightWithinTheCaps)
{
    EXPECT_EQ(FrameSizeFor(320, 240), QSize(960, 720));
    EXPECT_EQ(FrameSizeFor(550, 400), QSize(990, 720));
    EXPECT_EQ(FrameSizeFor(550, 400, 1080), QSize(1484, 1080));
    EXPECT_EQ(FrameSizeFor(550, 400, 2160), QSize(2970, 2160));
    EXPECT_EQ(FrameSizeFor(1920, 1080), QSize(1280, 720)); // larger stages are drawn smaller
    EXPECT_EQ(FrameSizeFor(333, 101), QSize(2372, 720)); // odd results made even
    EXPECT_EQ(FrameSizeFor(8000, 1000), QSize(4096, 512)); // side cap
    const QSize big = FrameSizeFor(4000, 3000, 2160); // area cap
    EXPECT_LE(qint64(big.width()) * big.height(), qint64(Tarnwick::kMaxFramePixels));
    EXPECT_EQ(big.width() % 2, 0);
    EXPECT_EQ(big.height() % 2, 0);
    EXPECT_TRUE(FrameSizeFor(0, 240).isEmpty());
    EXPECT_EQ(FrameSizeFor(1, 1), QSize(720, 720));

    EXPECT_EQ(UsablePlayHeight(1440), 1440);
    EXPECT_EQ(UsablePlayHeight(1000), 720);
}

TEST(AudioRate, EveryFrameHoldsWholeMixingBuffersAtFullSoundQuality)
{
    for (double fps : {8.0, 10.0, 12.0, 15.0, 20.0, 24.0, 25.0, 29.97, 30.0, 60.0, 120.0}) {
        const double rate = AudioRateFor(fps);
        EXPECT_GE(rate, 40000) << fps;
        const double buffersPerFrame = rate / fps / 2048;
        EXPECT_NEAR(buffersPerFrame, std::round(buffersPerFrame), 1e-3) << fps;
        EXPECT_GE(std::round(buffersPerFrame), 1) << fps;
    }
    EXPECT_EQ(AudioRateFor(30), 61440);
    EXPECT_EQ(AudioRateFor(20), 40960);
}

TEST(RecordPlan, FrameRateRendererAndCaps)
{
    MovieFacts movie;
    movie.widthPx = 550;
    movie.heightPx = 400;
    movie.frameRate = 24;
    movie.frameCount = 240;
    RecordRequest request;
    RecordPlan plan = PlanRecording(movie, request);
    ASSERT_TRUE(plan.ok);
    EXPECT_DOUBLE_EQ(plan.frameRate, 24);
    EXPECT_DOUBLE_EQ(plan.capSeconds, Tarnwick::kMaxVideoSeconds);
    EXPECT_FALSE(plan.fullRenderer);
    EXPECT_TRUE(plan.notes.isEmpty());

    request.fpsOverride = 12;
    request.maxSeconds = 5;
    request.playHeight = 1080;
    plan = PlanRecording(movie, request);
    EXPECT_DOUBLE_EQ(plan.frameRate, 12);
    EXPECT_DOUBLE_EQ(plan.capSeconds, 5);
    EXPECT_EQ(plan.frame, QSize(1484, 1080));

    // Filters, blend modes or bitmap fills bring the full renderer.
    movie.needsFullRenderer = true;
    EXPECT_TRUE(PlanRecording(movie, RecordRequest{}).fullRenderer);
    request = RecordRequest{};
    request.renderer = Renderer::Canvas;
    EXPECT_FALSE(PlanRecording(movie, request).fullRenderer);

    // Absurd rates are replaced, and say so.
    for (double rate : {0.0, 240.0}) {
        movie.frameRate = rate;
        plan = PlanRecording(movie, RecordRequest{});
        EXPECT_DOUBLE_EQ(plan.frameRate, Tarnwick::kFallbackFrameRate);
        EXPECT_EQ(plan.notes.size(), 1);
    }

    movie.widthPx = 0;
    EXPECT_FALSE(PlanRecording(movie, RecordRequest{}).ok);
}
