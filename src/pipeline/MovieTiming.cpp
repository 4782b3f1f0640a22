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

QString ConcatQuote(const QString &path)
{
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

MovieTiming PlanMovieTiming(const TimelineReport &report, double soundtrackEnd, double delay)
{
    MovieTiming timing;
    QList<const TimelinePicture *> shown;
    for (const TimelinePicture &picture : report.pictures) {
        if (picture.firstFrame)
            shown << &picture;
    }
    if (shown.isEmpty() || report.frameRate <= 0) {
        timing.fallBack = true;
        timing.fallbackDelay = std::isfinite(delay) && delay > 0 ? delay : kDefaultFallbackDelay;
        timing.notes << (shown.isEmpty()
                             ? QStringLiteral("The movie's timeline shows none of its pictures; each is shown for %1 s.")
                             : QStringLiteral("The movie gives no usable frame rate; each picture is shown for %1 s."))
                            .arg(timing.fallbackDelay);
        return timing;
    }
    std::stable_sort(shown.begin(), shown.end(), [](const TimelinePicture *a, const TimelinePicture *b) {
        return *a->firstFrame != *b->firstFrame ? *a->firstFrame < *b->firstFrame : a->key < b->key;
    });

    // One pass of the timeline: frames counted from 0, each lasting one
    // tick of the movie's clock. A report whose count is below its last
    // picture's frame still shows that picture for one frame.
    const qint64 lastFirst = *shown.last()->firstFrame;
    const qint64 frameCount = std::max(report.frameCount, lastFirst + 1);
    const double pass = report.secondsAt(frameCount);

    QList<TimedFrame> cycle;
    if (*shown.first()->firstFrame > 0)
        cycle << TimedFrame{std::nullopt, 0, report.secondsAt(*shown.first()->firstFrame)};
    for (qsizetype i = 0; i < shown.size();) {
        const qint64 frame = *shown.at(i)->firstFrame;
        qsizetype next = i;
        while (next < shown.size() && *shown.at(next)->firstFrame == frame)
            ++next;
        const double from = report.secondsAt(frame);
        const double to = next < shown.size() ? report.secondsAt(*shown.at(next)->firstFrame) : pass;
        const qsizetype sharing = next - i;
        for (qsizetype k = 0; k < sharing; ++k) {
            cycle << TimedFrame{shown.at(i + k)->key, from + (to - from) * double(k) / double(sharing),
                                from + (to - from) * double(k + 1) / double(sharing)};
        }
        i = next;
    }

    double length = std::max(pass, std::isfinite(soundtrackEnd) ? soundtrackEnd : 0.0);
    if (length > kMaxTimedVideoSeconds) {
        length = kMaxTimedVideoSeconds;
        timing.notes << QStringLiteral("The movie's video is cut at %1 hours.").arg(kMaxTimedVideoSeconds / 3600);
    }

    // A movie that does not stop loops under a longer soundtrack, as a
    // player would; one that stops keeps its last picture.
    const bool repeat = !report.stops && length > pass;
    for (qint64 round = 0;; ++round) {
        const double offset = double(round) * pass;
        bool full = false;
        for (const TimedFrame &frame : cycle) {
            if (offset + frame.start >= length)
                break;
            if (timing.frames.size() == kMaxTimedFrames) {
                full = true;
                break;
            }
            timing.frames << TimedFrame{frame.picture, offset + frame.start, std::min(offset + frame.end, length)};
        }
        if (full) {
            timing.notes << QStringLiteral("The movie would show more than %1 pictures; the last one stays to the end.")
                                .arg(kMaxTimedFrames);
            break;
        }
        if (!repeat || offset + pass >= length)
            break;
    }
    timing.frames.last().end = length;
    timing.length = length;
    return timing;
}

QString ConcatList(const QList<ConcatEntry> &entries)
{
    QString list = QStringLiteral("ffconcat version 1.0\n");
    for (const ConcatEntry &entry : entries) {
        list += QStringLiteral("file ") + ConcatQuote(entry.file) + QLatin1Char('\n');
        list += QStringLiteral("option framerate %1\n").arg(kListTimeBase);
        const qint64 duration = Microseconds(entry.end) - Microseconds(entry.start);
        list += QStringLiteral("duration %1.%2\n")
                    .arg(duration / 1000000)
                    .arg(duration % 1000000, 6, 10, QLatin1Char('0'));
    }
    if (!entries.isEmpty()) {
        list += QStringLiteral("file ") + ConcatQuote(entries.last().file) + QLatin1Char('\n');
        list += QStringLiteral("option framerate %1\n").arg(kListTimeBase);
    }
    return list;
}

QStringList ConcatInputArguments(const QString &listPath)
{
    return {QStringLiteral("-f"), QStringLiteral("concat"), QStringLiteral("-safe"), QStringLiteral("0"),
            QStringLiteral("-i"), listPath};
}

QStringList VariableFrameArguments()
{
    return {QStringLiteral("-fps_mode"), QStringLiteral("vfr")};
}

} // namespace Pipeline
