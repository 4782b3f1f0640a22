#include "MovieTiming.h"

#include <algorithm>
#include <cmath>

namespace Pipeline {

namespace {

// Time base given to each picture in the list: the image demuxer's default
// of 1/25 s would round every change to 40 ms.
constexpr int kListTimeBase = 90000;

qint64 Microseconds(double seconds)
{
    return qint64(std::llround(seconds * 1e6));
}

// Something that appears, with the movie frame it appears in (videos: the
// frame they come on stage, their own frames after it by time).
struct Item
{
    qint64 frame = 0;
    double time = 0;
    TimedFrame shows;
};

// Everything the timeline shows, in time order: pictures before video
// frames of the same moment, pictures in ID order.
QList<Item> AppearingItems(const TimelineReport &report, const QList<VideoOnStage> &videos)
{
    QList<Item> items;
    for (const TimelinePicture &picture : report.pictures) {
        if (picture.firstFrame)
            items << Item{*picture.firstFrame, report.secondsAt(*picture.firstFrame), {picture.key, std::nullopt}};
    }
    const qsizetype pictures = items.size();
    for (const VideoOnStage &video : videos) {
        const double first = video.frameTimes.isEmpty() ? 0 : video.frameTimes.first();
        for (qsizetype k = 0; k < video.frameTimes.size() && items.size() < kMaxTimedFrames; ++k) {
            items << Item{video.firstFrame,
                          report.secondsAt(video.firstFrame) + std::max(0.0, video.frameTimes[k] - first),
                          {std::nullopt, VideoFrameKey{video.id, int(k)}}};
        }
    }
    std::stable_sort(items.begin(), items.begin() + pictures,
                     [](const Item &a, const Item &b) { return *a.shows.picture < *b.shows.picture; });
    std::stable_sort(items.begin(), items.end(), [](const Item &a, const Item &b) { return a.time < b.time; });
    return items;
}

// The frames of one pass of `pass` seconds: the stage alone before the
// first item, then each item until the next moment.
QList<TimedFrame> OnePass(const QList<Item> &items, double pass)
{
    QList<TimedFrame> cycle;
    if (items.first().time > 0)
        cycle << TimedFrame{std::nullopt, std::nullopt, 0, items.first().time};
    for (qsizetype i = 0; i < items.size();) {
        const double from = items.at(i).time;
        qsizetype next = i;
        while (next < items.size() && items.at(next).time == from)
            ++next;
        const double to = next < items.size() ? items.at(next).time : pass;
        // Items of one moment share its interval equally.
        const qsizetype sharing = next - i;
        for (qsizetype k = 0; k < sharing; ++k) {
            TimedFrame frame = items.at(i + k).shows;
            frame.start = from + (to - from) * double(k) / double(sharing);
            frame.end = from + (to - from) * double(k + 1) / double(sharing);
            cycle << frame;
        }
        i = next;
    }
    return cycle;
}

// Lays the pass into the timing up to `length`, again and again when it
// repeats, up to kMaxTimedFrames.
void Repeat(MovieTiming &timing, const QList<TimedFrame> &cycle, double pass, double length, bool repeat)
{
    for (qint64 round = 0;; ++round) {
        const double offset = double(round) * pass;
        for (const TimedFrame &frame : cycle) {
            if (offset + frame.start >= length)
                break;
            if (timing.frames.size() == kMaxTimedFrames) {
                timing.notes << QStringLiteral(
                                    "The movie would show more than %1 pictures; the last one stays to the end.")
                                    .arg(kMaxTimedFrames);
                return;
            }
            timing.frames << TimedFrame{frame.picture, frame.video, offset + frame.start,
                                        std::min(offset + frame.end, length)};
        }
        if (!repeat || offset + pass >= length)
            return;
    }
}

} // namespace

MovieTiming PlanMovieTiming(const TimelineReport &report, double soundtrackEnd, double delay,
                            const QList<VideoOnStage> &videos)
{
    MovieTiming timing;
    const auto fallBack = [&](const QString &why) {
        timing.fallBack = true;
        timing.fallbackDelay = std::isfinite(delay) && delay > 0 ? delay : kDefaultFallbackDelay;
        timing.notes << why.arg(timing.fallbackDelay);
        return timing;
    };
    const QList<Item> items = AppearingItems(report, videos);
    if (items.isEmpty())
        return fallBack(QStringLiteral("The movie's timeline shows none of its pictures; each is shown for %1 s."));
    if (report.frameRate <= 0)
        return fallBack(QStringLiteral("The movie gives no usable frame rate; each picture is shown for %1 s."));

    // One pass of the timeline: frames counted from 0, each lasting one
    // tick of the movie's clock. A report whose count is below its last
    // item's frame still shows that item for one frame.
    qint64 lastFrame = 0;
    for (const Item &item : items)
        lastFrame = std::max(lastFrame, item.frame);
    const double pass = std::max(report.secondsAt(std::max(report.frameCount, lastFrame + 1)),
                                 items.last().time + 1 / report.frameRate);
    const QList<TimedFrame> cycle = OnePass(items, pass);

    double length = std::max(pass, std::isfinite(soundtrackEnd) ? soundtrackEnd : 0.0);
    if (length < kMinTimedVideoSeconds) {
        return fallBack(QStringLiteral("The movie plays for only %1 s; each picture is shown for %2 s.")
                            .arg(QString::number(length, 'g', 3), QStringLiteral("%1")));
    }
    if (length > kMaxTimedVideoSeconds) {
        length = kMaxTimedVideoSeconds;
        timing.notes << QStringLiteral("The movie's video is cut at %1 hours.").arg(kMaxTimedVideoSeconds / 3600);
    }
    // A movie that does not stop loops under a longer soundtrack, as a
    // player would; one that stops keeps its last picture.
    Repeat(timing, cycle, pass, length, !report.stops && length > pass);
    timing.frames.last().end = length;
    timing.length = length;
    return timing;
}

QList<MovieSpan> FollowOneAnother(const QList<double> &lengths)
{
    QList<MovieSpan> spans;
    double start = 0;
    for (const double length : lengths) {
        MovieSpan span;
        span.start = start;
        if (length > 0) {
            span.leftOut = start >= kMaxTimedVideoSeconds;
            span.cut = !span.leftOut && start + length > kMaxTimedVideoSeconds;
            span.seconds = span.leftOut ? 0 : std::min(length, kMaxTimedVideoSeconds - start);
        }
        const QString hours = QString::number(kMaxTimedVideoSeconds / 3600);
        if (span.cut)
            span.note = QStringLiteral("The video is cut at %1 hours, %2 s into this movie.")
                            .arg(hours, QString::number(span.seconds, 'f', 0));
        else if (span.leftOut)
            span.note = QStringLiteral("Left out: the video is cut at %1 hours, before this movie.").arg(hours);
        start += span.seconds;
        spans << span;
    }
    return spans;
}

QString ConcatList(const QList<ConcatEntry> &entries)
{
    QString list = QStringLiteral("ffconcat version 1.0\n");
    for (const ConcatEntry &entry : entries) {
        list += ConcatFileLine(entry.file);
        list += QStringLiteral("option framerate %1\n").arg(kListTimeBase);
        const qint64 duration = Microseconds(entry.end) - Microseconds(entry.start);
        list +=
            QStringLiteral("duration %1.%2\n").arg(duration / 1000000).arg(duration % 1000000, 6, 10, QLatin1Char('0'));
    }
    if (!entries.isEmpty()) {
        list += ConcatFileLine(entries.last().file);
        list += QStringLiteral("option framerate %1\n").arg(kListTimeBase);
    }
    return list;
}

QString ConcatFileLine(const QString &path)
{
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QStringLiteral("file '%1'\n").arg(quoted);
}

QStringList ConcatInputArguments(const QString &listPath)
{
    return {QStringLiteral("-f"), QStringLiteral("concat"), QStringLiteral("-safe"),
            QStringLiteral("0"),  QStringLiteral("-i"),     listPath};
}

QStringList VariableFrameArguments()
{
    return {QStringLiteral("-fps_mode"), QStringLiteral("vfr")};
}

} // namespace Pipeline
