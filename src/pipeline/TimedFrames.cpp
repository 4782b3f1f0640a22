#include "TimedFrames.h"

#include "FrameNormalisation.h"
#include "SwfListing.h"

#include "tools/PathRoutines.h"

#include <QFile>

#include <algorithm>
#include <set>

namespace Pipeline {

void TimedFrames::readMovie(MoviePart &movie, const ExtractorRun &run)
{
    if (movie.report && !m_job.cancelled())
        DecodeEmbeddedVideos(m_job, movie, run);
    if (!m_job.cancelled())
        planTiming(movie);
}

// When each of the movie's pictures is on screen; a movie without a usable
// timeline is shown as with Text1's delay.
void TimedFrames::planTiming(MoviePart &movie)
{
    const QString &slowText = m_job.choices().slowText;
    const double delay = IsNumeric(slowText) ? NumberOf(slowText) : 0;
    if (movie.report) {
        movie.timing = PlanMovieTiming(*movie.report, movie.soundEnd(), delay, movie.videos);
    } else {
        MovieTiming timing;
        timing.fallBack = true;
        timing.fallbackDelay = delay > 0 ? delay : kDefaultFallbackDelay;
        timing.notes << QStringLiteral("The movie's timeline could not be read; each picture is shown for %1 s.")
                            .arg(timing.fallbackDelay);
        movie.timing = timing;
    }
    for (const QString &note : movie.timing->notes)
        m_job.note(movie.source, note);
}

// Only the pictures the timeline shows.
QStringList TimedFrames::picturesToStage(const QStringList &pictures, const QString &stem)
{
    const QList<MoviePart> &movies = m_video.movies;
    if (movies.isEmpty() || !movies.constLast().timing || movies.constLast().timing->fallBack)
        return pictures;
    std::set<PictureKey> shown;
    for (const TimedFrame &frame : movies.constLast().timing->frames) {
        if (frame.picture)
            shown.insert(*frame.picture);
    }
    QStringList staged;
    for (const QString &name : pictures) {
        if (shown.count(*PictureKeyOf(name, stem)) > 0)
            staged.append(name);
        else
            Tools::DeleteFiles(m_job.pictureFile(name));
    }
    return staged;
}

// The movies follow one another, each for as long as it plays, until the
// video's cap.
void TimedFrames::layOutMovies()
{
    QList<MoviePart> &movies = m_video.movies;
    QList<double> lengths;
    for (const MoviePart &movie : movies) {
        double length = 0;
        if (movie.frames > 0 && movie.timing)
            length = movie.timing->fallBack ? movie.frames * movie.timing->fallbackDelay : movie.timing->length;
        lengths << length;
    }
    const QList<MovieSpan> spans = FollowOneAnother(lengths);
    m_video.seconds = 0;
    for (qsizetype i = 0; i < spans.size(); ++i) {
        MoviePart &movie = movies[i];
        movie.start = spans[i].start;
        movie.seconds = spans[i].seconds;
        m_video.seconds = std::max(m_video.seconds, movie.start + movie.seconds);
        if (!spans[i].note.isEmpty())
            m_job.note(movie.source, spans[i].note);
    }
}

// The concat list that shows each movie's pictures for their own times,
// in temp/ beside the frames; sets the request's frames and length.
bool TimedFrames::frameTiming(EncodeRequest &request)
{
    QList<ConcatEntry> entries;
    double until = 0; // where the current movie's span ends, its cut included
    const auto show = [&](const QString &file, double from, double to) {
        to = std::min(to, until);
        if (!(to > from))
            return;
        // A picture that stays across an unchanged moment is one frame.
        if (!entries.isEmpty() && entries.last().file == file && entries.last().end == from)
            entries.last().end = to;
        else
            entries.append(ConcatEntry{file, from, to});
    };
    for (const MoviePart &movie : m_video.movies) {
        if (movie.frames <= 0 || !movie.timing || movie.seconds <= 0)
            continue;
        until = movie.start + movie.seconds;
        const MovieTiming &timing = *movie.timing;
        if (timing.fallBack) {
            for (int k = 0; k < movie.frames; ++k) {
                show(QStringLiteral("image%1.jpg").arg(movie.firstFrame + k + 1),
                     movie.start + k * timing.fallbackDelay, movie.start + (k + 1) * timing.fallbackDelay);
            }
            continue;
        }
        const QString backdrop = QStringLiteral("backdrop%1.jpg").arg(movie.position);
        bool backdropUsed = false;
        for (const TimedFrame &frame : timing.frames) {
            const int staged = frame.picture ? movie.frameOf.value(*frame.picture)
                               : frame.video ? movie.videoFrameOf.value(*frame.video)
                                             : 0;
            // Before the first picture, and in place of one that could not
            // be read, the stage shows its background colour.
            const QString file = staged > 0 ? QStringLiteral("image%1.jpg").arg(staged) : backdrop;
            backdropUsed = backdropUsed || staged == 0;
            show(file, movie.start + frame.start, movie.start + frame.end);
        }
        if (backdropUsed) {
            if (!WriteSolidFrame(m_job.tempFile(backdrop), m_video.frameSize,
                                 movie.report ? movie.report->backdrop() : Tarnwick::Rgb{}))
                return false;
        }
    }
    if (entries.isEmpty())
        return false;
    QFile list(m_job.tempFile(QStringLiteral("frames.txt")));
    const QByteArray text = QFile::encodeName(ConcatList(entries));
    if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate) || list.write(text) != text.size())
        return false;
    request.frameList = QStringLiteral("temp/frames.txt");
    // The list repeats its last picture to give it its duration.
    request.frameCount = int(entries.size()) + 1;
    request.length = m_video.seconds;
    return true;
}

} // namespace Pipeline
