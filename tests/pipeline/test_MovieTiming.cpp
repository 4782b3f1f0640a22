#include "pipeline/MovieTiming.h"

#include "QtPrinters.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Pipeline;

namespace {

TimelineReport Movie(double rate, qint64 frames, bool stops = false)
{
    TimelineReport r;
    r.frameRate = rate;
    r.frameCount = frames;
    r.stops = stops;
    return r;
}

void Show(TimelineReport &r, quint32 id, std::optional<qint64> firstFrame, quint32 definition = 1)
{
    TimelinePicture p;
    p.key = {id, definition};
    p.firstFrame = firstFrame;
    p.lastFrame = firstFrame;
    r.pictures << p;
}

// The frames as "id@start-end" (background "bg"), times in milliseconds.
QStringList Describe(const MovieTiming &timing)
{
    QStringList out;
    for (const TimedFrame &f : timing.frames) {
        const QString what = f.picture ? QStringLiteral("%1.%2").arg(f.picture->id).arg(f.picture->definition)
                             : f.video ? QStringLiteral("v%1:%2").arg(f.video->id).arg(f.video->index)
                                       : QStringLiteral("bg");
        out << QStringLiteral("%1@%2-%3").arg(what).arg(qRound64(f.start * 1000)).arg(qRound64(f.end * 1000));
    }
    return out;
}

} // namespace

TEST(MovieTiming, EachPictureFromItsFrameToTheNextAndTheLastToTheEnd)
{
    TimelineReport r = Movie(24, 120);
    Show(r, 7, 72);
    Show(r, 2, 0);
    Show(r, 5, 24);
    Show(r, 9, std::nullopt); // attached by code: left out
    const MovieTiming t = PlanMovieTiming(r, 0, 3);
    EXPECT_FALSE(t.fallBack);
    EXPECT_EQ(Describe(t), (QStringList{QStringLiteral("2.1@0-1000"), QStringLiteral("5.1@1000-3000"),
                                        QStringLiteral("7.1@3000-5000")}));
    EXPECT_DOUBLE_EQ(t.length, 5.0);
    EXPECT_TRUE(t.notes.isEmpty());

    // A sound shorter than the timeline does not shorten it.
    EXPECT_DOUBLE_EQ(PlanMovieTiming(r, 2.5, 3).length, 5.0);
}

TEST(MovieTiming, BackgroundBeforeTheFirstPictureAndSameFrameSharing)
{
    TimelineReport r = Movie(10, 40);
    Show(r, 8, 30);
    Show(r, 4, 10, 2);
    Show(r, 4, 10, 1);
    Show(r, 3, 10);
    const MovieTiming t = PlanMovieTiming(r, 0, 3);
    // Three pictures first shown at 1 s share 1 s..3 s in ID order.
    EXPECT_EQ(Describe(t), (QStringList{QStringLiteral("bg@0-1000"), QStringLiteral("3.1@1000-1667"),
                                        QStringLiteral("4.1@1667-2333"), QStringLiteral("4.2@2333-3000"),
                                        QStringLiteral("8.1@3000-4000")}));
}

TEST(MovieTiming, LoopingMovieRepeatsUnderALongerSoundAStoppingOneHolds)
{
    // A 12-frame loop at 24 fps: pictures at frames 0 and 6, 0.25 s each.
    TimelineReport loop = Movie(24, 12, false);
    Show(loop, 1, 0);
    Show(loop, 2, 6);
    const MovieTiming repeated = PlanMovieTiming(loop, 7.0, 3);
    EXPECT_DOUBLE_EQ(repeated.length, 7.0);
    ASSERT_EQ(repeated.frames.size(), 28);
    for (qsizetype i = 0; i < repeated.frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(repeated.frames[i].picture->id, i % 2 ? 2u : 1u);
        EXPECT_NEAR(repeated.frames[i].start, 0.25 * double(i), 1e-9);
    }
    EXPECT_DOUBLE_EQ(repeated.frames.last().end, 7.0);

    // A sound ending inside a pass cuts that pass short.
    const MovieTiming cut = PlanMovieTiming(loop, 1.1, 3);
    EXPECT_EQ(Describe(cut).mid(3), (QStringList{QStringLiteral("2.1@750-1000"), QStringLiteral("1.1@1000-1100")}));

    loop.stops = true;
    const MovieTiming held = PlanMovieTiming(loop, 7.0, 3);
    EXPECT_EQ(Describe(held), (QStringList{QStringLiteral("1.1@0-250"), QStringLiteral("2.1@250-7000")}));
}

TEST(MovieTiming, BackgroundLeadInRepeatsWithTheLoop)
{
    TimelineReport r = Movie(2, 4);
    Show(r, 1, 2);
    EXPECT_EQ(
        Describe(PlanMovieTiming(r, 3.0, 3)),
        (QStringList{QStringLiteral("bg@0-1000"), QStringLiteral("1.1@1000-2000"), QStringLiteral("bg@2000-3000")}));
}

TEST(MovieTiming, VideoFramesTakeTheirTurnsAtTheirOwnTimes)
{
    TimelineReport r = Movie(24, 72);
    Show(r, 1, 0);
    // On stage from frame 24; its stamps count from its own first frame.
    const QList<VideoOnStage> videos{{30, 24, {2.0, 2.5, 3.0}}};
    EXPECT_EQ(Describe(PlanMovieTiming(r, 0, 3, videos)),
              (QStringList{QStringLiteral("1.1@0-1000"), QStringLiteral("v30:0@1000-1500"),
                           QStringLiteral("v30:1@1500-2000"), QStringLiteral("v30:2@2000-3000")}));

    // A movie with a video and no picture follows the video, not the delay.
    TimelineReport videoOnly = Movie(24, 48);
    const MovieTiming t = PlanMovieTiming(videoOnly, 0, 3, {{30, 12, {0, 0.5}}});
    EXPECT_FALSE(t.fallBack);
    EXPECT_EQ(Describe(t), (QStringList{QStringLiteral("bg@0-500"), QStringLiteral("v30:0@500-1000"),
                                        QStringLiteral("v30:1@1000-2000")}));
}

TEST(MovieTiming, NoPictureShownFallsBackToTheDelay)
{
    TimelineReport r = Movie(12, 50);
    Show(r, 1, std::nullopt);
    for (const auto &[given, used] :
         {std::pair{5.0, 5.0}, std::pair{0.0, 3.0}, std::pair{-2.0, 3.0}, std::pair{std::nan(""), 3.0}}) {
        SCOPED_TRACE(given);
        const MovieTiming t = PlanMovieTiming(r, 4, given);
        EXPECT_TRUE(t.fallBack);
        EXPECT_EQ(t.fallbackDelay, used);
        EXPECT_TRUE(t.frames.isEmpty());
        ASSERT_EQ(t.notes.size(), 1);
    }
    // Without a frame clock there is no timing to follow either.
    TimelineReport noClock = Movie(0, 50);
    Show(noClock, 1, 0);
    EXPECT_TRUE(PlanMovieTiming(noClock, 0, 2).fallBack);

    // A one-frame movie would flash by; a longer sound keeps its timing.
    TimelineReport still = Movie(24, 1);
    Show(still, 1, 0);
    EXPECT_TRUE(PlanMovieTiming(still, 0, 2).fallBack);
    EXPECT_FALSE(PlanMovieTiming(still, 4, 2).fallBack);
    EXPECT_EQ(PlanMovieTiming(still, 4, 2).length, 4);
}

TEST(MovieTiming, ThreeHourCapAndFrameCap)
{
    TimelineReport r = Movie(1, 10, true);
    Show(r, 1, 0);
    const MovieTiming capped = PlanMovieTiming(r, 4 * 3600.0, 3);
    EXPECT_DOUBLE_EQ(capped.length, kMaxTimedVideoSeconds);
    EXPECT_DOUBLE_EQ(capped.frames.last().end, kMaxTimedVideoSeconds);
    EXPECT_EQ(capped.notes.size(), 1);
    EXPECT_EQ(PlanMovieTiming(r, kMaxTimedVideoSeconds, 3).notes.size(), 0);

    // One frame at 24 fps looping for three hours would be 259200 pictures.
    TimelineReport blink = Movie(24, 1, false);
    Show(blink, 1, 0);
    const MovieTiming many = PlanMovieTiming(blink, 3 * 3600.0, 3);
    EXPECT_EQ(many.frames.size(), kMaxTimedFrames);
    EXPECT_DOUBLE_EQ(many.frames.last().end, kMaxTimedVideoSeconds);
    EXPECT_EQ(many.notes.size(), 1);
}

TEST(MovieTiming, MoviesFollowOneAnotherUntilTheVideosCap)
{
    // Two hours, two hours, a minute, a movie that shows nothing.
    const QList<MovieSpan> spans = FollowOneAnother({7200, 7200, 60, 0});
    ASSERT_EQ(spans.size(), 4);
    EXPECT_DOUBLE_EQ(spans[0].seconds, 7200);
    EXPECT_FALSE(spans[0].cut || spans[0].leftOut);
    EXPECT_TRUE(spans[0].note.isEmpty());
    EXPECT_DOUBLE_EQ(spans[1].start, 7200);
    EXPECT_DOUBLE_EQ(spans[1].seconds, kMaxTimedVideoSeconds - 7200);
    EXPECT_TRUE(spans[1].cut);
    EXPECT_TRUE(spans[1].note.contains(QLatin1String("cut at 3 hours, 3600 s into"))) << spans[1].note.toStdString();
    EXPECT_TRUE(spans[2].leftOut);
    EXPECT_EQ(spans[2].seconds, 0);
    EXPECT_TRUE(spans[2].note.startsWith(QLatin1String("Left out"))) << spans[2].note.toStdString();
    // Nothing to show is not a movie left out.
    EXPECT_FALSE(spans[3].leftOut || spans[3].cut);
    EXPECT_TRUE(spans[3].note.isEmpty());

    // Ending exactly at the cap cuts nothing; the next movie has no time left.
    const QList<MovieSpan> exact = FollowOneAnother({3600, kMaxTimedVideoSeconds - 3600, 1});
    EXPECT_FALSE(exact[1].cut);
    EXPECT_DOUBLE_EQ(exact[1].start + exact[1].seconds, kMaxTimedVideoSeconds);
    EXPECT_TRUE(exact[2].leftOut);
}

TEST(ConcatList, DurationsAddUpExactlyAndTheLastFileIsRepeated)
{
    // Thirds of a second do not drift over a thousand seconds.
    QList<ConcatEntry> entries;
    for (int i = 0; i < 3000; ++i)
        entries << ConcatEntry{QStringLiteral("p%1.jpg").arg(i % 3), i / 3.0, (i + 1) / 3.0};
    const QString list = ConcatList(entries);
    qint64 total = 0;
    static const QRegularExpression duration(QStringLiteral("^duration (\\d+)\\.(\\d{6})$"),
                                             QRegularExpression::MultilineOption);
    auto it = duration.globalMatch(list);
    int count = 0;
    while (it.hasNext()) {
        const auto m = it.next();
        total += m.captured(1).toLongLong() * 1000000 + m.captured(2).toLongLong();
        ++count;
    }
    EXPECT_EQ(count, 3000);
    EXPECT_EQ(total, 1000000000);
    EXPECT_TRUE(list.endsWith(QStringLiteral("file 'p2.jpg'\noption framerate 90000\n")));

    const QString quoted = ConcatList({ConcatEntry{QStringLiteral("/a/it's.jpg"), 0, 0.5}});
    EXPECT_EQ(quoted, QStringLiteral("ffconcat version 1.0\nfile '/a/it'\\''s.jpg'\noption framerate 90000\n"
                                     "duration 0.500000\nfile '/a/it'\\''s.jpg'\noption framerate 90000\n"));
}
