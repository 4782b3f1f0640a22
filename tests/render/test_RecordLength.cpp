#include "render/RecordLength.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <functional>

using namespace Render;

namespace {

// One movie played through the rule: `picture(n)` names frame n's picture,
// `soundUntil(n)` the movie time up to which sound was heard by then.
struct Outcome
{
    int frames = 0; // kept
    QString why;
    int planned = 0; // the plan before the first frame
};

Outcome Play(const MovieFacts &movie, double fps, const std::function<int(int)> &picture,
             const std::function<double(int)> &soundUntil, double cap = 3 * 3600)
{
    RecordLength length(movie, fps, cap);
    PictureHistory history;
    Outcome run;
    run.planned = length.plannedFrames();
    for (int n = 0; !length.done() && n < 1000000; ++n) {
        const bool changed = history.add(QByteArray(16, char(picture(n))));
        length.frame(n, changed, history.repeating(), soundUntil(n));
    }
    run.frames = length.framesKept();
    run.why = length.why();
    return run;
}

MovieFacts Movie(int frames, bool loops)
{
    MovieFacts movie;
    movie.frameCount = frames;
    movie.loops = loops;
    return movie;
}

double Seconds(const Outcome &run, double fps)
{
    return run.frames / fps;
}

} // namespace

TEST(PictureHistory, TellsChangesAndLoopsOfTwoOrMorePictures)
{
    PictureHistory history;
    const auto add = [&](char c) { return history.add(QByteArray(8, c)); };
    EXPECT_TRUE(add('a'));
    EXPECT_FALSE(add('a'));
    EXPECT_FALSE(history.repeating()); // standing still is no loop
    for (char c : {'b', 'c', 'a', 'b'})
        EXPECT_TRUE(add(c));
    EXPECT_FALSE(history.repeating()); // a a b c a b: not yet twice
    add('c');
    EXPECT_TRUE(history.repeating()); // a b c a b c
    add('a');
    EXPECT_TRUE(history.repeating());
    add('x');
    EXPECT_FALSE(history.repeating());
    EXPECT_EQ(history.lastChange(), 8);
    // A loop that shows one picture twice in its course is found too.
    for (char c : {'p', 'q', 'p', 'r', 'p', 'q', 'p'})
        add(c);
    EXPECT_FALSE(history.repeating());
    add('r');
    EXPECT_TRUE(history.repeating());
}

TEST(RecordLength, ALoopShorterThanItsSongLastsTheSong)
{
    // 12 frames at 28 fps looping under a 6.9 s song started on frame 0.
    MovieFacts movie = Movie(12, true);
    movie.sounds.append(SoundPlay{0, 6.9, 1, false});
    const Outcome run = Play(
        movie, 28, [](int n) { return n % 12; }, [](int n) { return std::min((n + 1) / 28.0, 6.9); });
    EXPECT_NEAR(Seconds(run, 28), 6.9, 0.05);
    EXPECT_EQ(run.why, QStringLiteral("the sound ended at 6.9 s"));
    EXPECT_NEAR(run.planned, 6.9 * 28, 1); // planned from the start
}

TEST(RecordLength, ALoopingTimelineThatStartsItsSoundAgainEndsWithTheFirstPass)
{
    // Its stream plays again with every pass: that is no reason to go on.
    MovieFacts movie = Movie(30, true);
    movie.sounds.append(SoundPlay{0, 3.0, 1, true});
    const Outcome run = Play(
        movie, 10, [](int n) { return n % 30; }, [](int n) { return (n + 1) / 10.0; });
    EXPECT_NEAR(Seconds(run, 10), 3.0, 0.11);
}

TEST(RecordLength, AShortMovieThatStartsALongSoundLastsTheSound)
{
    // 17 frames at 12 fps; frame 8 starts a 139.6 s sound.
    MovieFacts movie = Movie(17, true);
    movie.sounds.append(SoundPlay{8 / 12.0, 139.6, 1, false});
    const Outcome run = Play(
        movie, 12, [](int n) { return n % 17; }, [](int n) { return std::min((n + 1) / 12.0, 8 / 12.0 + 139.6); });
    EXPECT_NEAR(Seconds(run, 12), 140.3, 0.1);
}

TEST(RecordLength, AStillPictureUnderSoundKeepsHalfASecondAfterIt)
{
    MovieFacts movie = Movie(1, false);
    movie.sounds.append(SoundPlay{0, 4.0, 1, false});
    const Outcome run = Play(
        movie, 20, [](int) { return 0; }, [](int n) { return std::min((n + 1) / 20.0, 4.0); });
    EXPECT_NEAR(Seconds(run, 20), 4.5, 0.06);
    EXPECT_EQ(run.why, QStringLiteral("the sound ended at 4.0 s"));
}

TEST(RecordLength, ASpriteAnimationRecordsUntilItStandsStill)
{
    // One main frame; a 36-frame sprite at 12 fps that then stops.
    MovieFacts movie = Movie(1, true);
    movie.longestSpriteFrames = 36;
    const Outcome run = Play(
        movie, 12, [](int n) { return std::min(n, 35); }, [](int) { return 0.0; });
    EXPECT_NEAR(Seconds(run, 12), 3.5, 0.09);
    EXPECT_EQ(run.why, QStringLiteral("stood still from 3.0 s"));

    // Animated by code, with no frames to count: still until it stands still.
    const Outcome code = Play(
        Movie(1, false), 12, [](int n) { return std::min(n, 59); }, [](int) { return 0.0; });
    EXPECT_NEAR(Seconds(code, 12), 5.5, 0.09);
}

TEST(RecordLength, MusicLoopingForEverGetsOnePass)
{
    // A 9-frame menu at 30 fps whose 8.2 s music loops 1000 times.
    MovieFacts movie = Movie(9, true);
    movie.sounds.append(SoundPlay{0, 8.2, 1000, false});
    const Outcome run = Play(
        movie, 30, [](int n) { return n % 9; }, [](int n) { return (n + 1) / 30.0; });
    EXPECT_NEAR(Seconds(run, 30), 8.2, 0.04);
    EXPECT_EQ(run.why, QStringLiteral("one pass of the looping music (8.2 s)"));

    // A main timeline longer than the music is still played through.
    MovieFacts longer = Movie(300, true);
    longer.sounds.append(SoundPlay{0, 2.0, 500, false});
    EXPECT_EQ(Play(
                  longer, 30, [](int n) { return n; }, [](int n) { return (n + 1) / 30.0; })
                  .frames,
              300);
}

TEST(RecordLength, ASilentLoopGetsOnePassOrEndsOnceItRepeats)
{
    const Outcome run = Play(
        Movie(12, true), 24, [](int n) { return n % 12; }, [](int) { return 0.0; });
    EXPECT_EQ(run.frames, 12);
    EXPECT_EQ(run.why, QStringLiteral("one pass of its animation (0.5 s)"));

    // One frame looping a 6-frame sprite: seen to repeat, not counted.
    MovieFacts one = Movie(1, true);
    const Outcome sprite = Play(
        one, 24, [](int n) { return n % 6; }, [](int) { return 0.0; });
    EXPECT_EQ(sprite.frames, 12);
    EXPECT_TRUE(sprite.why.startsWith(QStringLiteral("the animation repeats"))) << sprite.why.toStdString();
}

TEST(RecordLength, TheMainTimelineIsPlayedOnceEvenWhenStill)
{
    const Outcome run = Play(
        Movie(100, false), 10, [](int) { return 0; }, [](int) { return 0.0; });
    EXPECT_EQ(run.frames, 100);
}

TEST(RecordLength, SoundStartedByCodePausesWithoutEndingTheMovie)
{
    // No timeline sound; code plays 1 s, pauses 1.5 s, plays 1 s more.
    const auto sound = [](int n) {
        const double t = (n + 1) / 10.0;
        return t < 1 ? t : t < 2.5 ? 1.0 : std::min(t, 3.5);
    };
    const Outcome run = Play(
        Movie(1, false), 10, [](int) { return 0; }, sound);
    EXPECT_NEAR(Seconds(run, 10), 4.0, 0.11);
}

TEST(RecordLength, SoundThatNeverStopsWithoutTheTimelineSayingSoIsCut)
{
    // A sprite starting its beep on every pass: heard for ever.
    const Outcome run = Play(
        Movie(1, false), 10, [](int) { return 0; }, [](int n) { return (n + 1) / 10.0; });
    EXPECT_NEAR(Seconds(run, 10), 60.1, 0.11);
    EXPECT_TRUE(run.why.startsWith(QStringLiteral("the sound never stopped"))) << run.why.toStdString();
}

TEST(RecordLength, CapsCutAndSayWhere)
{
    MovieFacts movie = Movie(1, true);
    movie.sounds.append(SoundPlay{0, 600, 1, false});
    RecordLength length(movie, 25, 10);
    EXPECT_EQ(length.plannedFrames(), 250);
    const Outcome run = Play(
        movie, 25, [](int n) { return n; }, [](int n) { return (n + 1) / 25.0; }, 10);
    EXPECT_EQ(run.frames, 250);
    EXPECT_EQ(run.why, QStringLiteral("cut at 10.0 s"));
}

TEST(RecordLength, ThePlanGrowsWhileTheMovieGoesOn)
{
    RecordLength length(Movie(10, false), 10, 3600);
    EXPECT_EQ(length.plannedFrames(), 10);
    PictureHistory history;
    for (int n = 0; n < 40; ++n)
        length.frame(n, history.add(QByteArray(4, char(n))), false, 0);
    EXPECT_FALSE(length.done());
    EXPECT_GT(length.plannedFrames(), 40);
}
