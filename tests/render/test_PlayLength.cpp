#include "PlayMovies.h"
#include "RecorderRun.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace Render;
using PlayMovies::Codec;

namespace {

class PlayLength : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (ChromiumMissing())
            GTEST_SKIP() << "chromium is not installed";
        ASSERT_EQ(MovieRecorder::MissingParts(RenderAssets), QString());
    }

    // Records `swf`; the video's length, or -1.
    double recordedSeconds(const SwfBuild::Bytes &swf)
    {
        RecordRequest r = RequestFor(swf, work);
        r.progress = [this](int done, int total) { lastProgress = {done, total}; };
        result = MovieRecorder().record(r);
        EXPECT_TRUE(result.ok) << result.error.toStdString();
        const MediaProbe probe = ProbeMedia(r.outputPath);
        EXPECT_TRUE(probe.ok);
        EXPECT_NEAR(probe.duration, result.seconds, 0.1);
        // The caption counted against the plan, which ended as the video.
        EXPECT_EQ(lastProgress.first, result.framesRecorded);
        EXPECT_EQ(lastProgress.second, result.framesRecorded);
        return result.ok ? probe.duration : -1;
    }

    // As long as it plays: within 0.5 s or 2 %.
    static double Tolerance(double seconds) { return std::max(0.5, seconds * 0.02); }

    TempFolder work;
    RecordResult result;
    std::pair<int, int> lastProgress;
};

} // namespace

TEST_F(PlayLength, ALoopShorterThanItsSongLastsTheSong)
{
    EXPECT_NEAR(recordedSeconds(PlayMovies::LoopUnderSong(4.0)), 4.0, Tolerance(4.0));
    EXPECT_EQ(result.ended, QStringLiteral("the sound ended at 4.0 s"));
    EXPECT_TRUE(result.notes.contains(QStringLiteral("recorded 4.0 s: the sound ended at 4.0 s")))
        << result.notes.join(QLatin1Char('\n')).toStdString();
}

TEST_F(PlayLength, AShortMovieThatStartsALongMp3LastsTheMp3)
{
    // Frame 8 of 12 a second starts 5 s of MP3.
    const double plays = 8 / 12.0 + 5.0;
    EXPECT_NEAR(recordedSeconds(PlayMovies::ShortMovieStartingAnMp3(5.0, work)), plays, Tolerance(plays));
    EXPECT_TRUE(result.ended.startsWith(QStringLiteral("the sound ended at"))) << result.ended.toStdString();
}

TEST_F(PlayLength, AOneFrameMovieAnimatingInASpriteLastsUntilItStandsStill)
{
    // 36 sprite frames at 12 fps: it stands still from 3 s on.
    EXPECT_NEAR(recordedSeconds(PlayMovies::SpriteAnimationThatStops(36)), 3.0, Tolerance(3.0));
    EXPECT_EQ(result.ended, QStringLiteral("stood still from 3.0 s"));
}

TEST_F(PlayLength, AMenuWhoseMusicLoopsAThousandTimesGetsOnePass)
{
    EXPECT_NEAR(recordedSeconds(PlayMovies::MenuWithEndlessMusic(3.0)), 3.0, Tolerance(3.0));
    EXPECT_EQ(result.ended, QStringLiteral("one pass of the looping music (3.0 s)"));
}

TEST_F(PlayLength, PlaySecondsCutsAndSaysWhere)
{
    RecordRequest r = RequestFor(PlayMovies::LoopUnderSong(4.0), work);
    r.maxSeconds = 1.5;
    const RecordResult cut = MovieRecorder().record(r);
    ASSERT_TRUE(cut.ok) << cut.error.toStdString();
    EXPECT_EQ(cut.stop, StopReason::FrameCap);
    EXPECT_EQ(cut.framesRecorded, 36);
    EXPECT_EQ(cut.ended, QStringLiteral("cut at 1.5 s"));
    EXPECT_NEAR(ProbeMedia(r.outputPath).audioDuration, 1.5, 0.1);
}

// A beep on the main timeline and one in a sprite, each where its frame
// plays: within 40 ms and within one frame.
class PlaySync : public ::testing::TestWithParam<std::tuple<Codec, bool, int>>
{
};

TEST_P(PlaySync, EachBeepSoundsOnItsFrame)
{
    if (ChromiumMissing())
        GTEST_SKIP() << "chromium is not installed";
    const auto [codec, stream, fps] = GetParam();
    TempFolder work;
    PlayMovies::Beeps beeps;
    beeps.codec = codec;
    beeps.stream = stream;
    beeps.fps = fps;
    beeps.mainFrame = fps / 2;
    beeps.spriteFrame = fps * 3 / 2;
    beeps.frames = fps * 5 / 2;
    RecordRequest r = RequestFor(PlayMovies::BeepMovie(beeps, work), work);
    const RecordResult result = MovieRecorder().record(r);
    ASSERT_TRUE(result.ok) << result.error.toStdString();

    // The silence running into the file's end says nothing of the beeps.
    std::vector<double> onsets = SoundOnsets(r.outputPath);
    const double length = ProbeMedia(r.outputPath).duration;
    std::erase_if(onsets, [length](double at) { return at > length - 0.1; });
    ASSERT_EQ(onsets.size(), 2u) << "onsets: " << ::testing::PrintToString(onsets);
    const double tolerance = std::min(0.040, 1.0 / fps);
    EXPECT_NEAR(onsets[0], double(beeps.mainFrame) / fps, tolerance) << "main timeline";
    EXPECT_NEAR(onsets[1], double(beeps.spriteFrame) / fps, tolerance) << "sprite";
}

INSTANTIATE_TEST_SUITE_P(EventAndStreamSounds, PlaySync,
                         ::testing::Combine(::testing::Values(Codec::Pcm, Codec::Adpcm, Codec::Mp3), ::testing::Bool(),
                                            ::testing::Values(10, 20, 24, 30)),
                         [](const auto &param) {
                             return std::string(PlayMovies::CodecName(std::get<0>(param.param)))
                                    + (std::get<1>(param.param) ? "Stream" : "Event")
                                    + std::to_string(std::get<2>(param.param)) + "fps";
                         });
