#include "MovieSounds.h"

#include "tools/PathRoutines.h"
#include "tools/ProgressSink.h"

namespace Pipeline {

namespace {

const QString kNoVideoSoundtrack = QStringLiteral(
    "The video's soundtrack could not be made; it was made without sound.");

// The movie's sound for a stretch of `seconds` of video: its MP3, a
// soundtrack written to temp/, or nothing.
QString MovieSoundtrack(JobContext &job, const MoviePart &movie, double seconds)
{
    if (!movie.mp3.isEmpty())
        return movie.mp3;
    if (movie.plan.silent() || job.cancelled())
        return QString();
    Tools::ProgressSink &bar = job.controls.progress();
    const QString caption = bar.caption();
    const QString target = job.tempFile(QStringLiteral("sound%1").arg(movie.position)
                                        + QLatin1String(kSoundtrackSuffix));
    const bool made = WriteSoundtrack(job.run.encoder, movie.plan, seconds, target, &bar,
                                      SoundtrackCaption(Tools::FileNameOf(movie.source)));
    bar.setCaption(caption);
    if (made)
        return target;
    if (!job.cancelled())
        job.outcome().details.append(QStringLiteral("The soundtrack of %1 could not be made.").arg(movie.source));
    return QString();
}

} // namespace

void UseMp3(JobContext &job, MoviePart &movie, const QString &soundPath, const SoundCheck &check)
{
    // The extraction decoded it whole, beside the work on the movie before.
    const QString problem = check.decodes ? QString() : check.reason;
    if (problem.isEmpty() || job.cancelled()) {
        movie.mp3 = soundPath;
        movie.mp3Seconds = check.seconds;
        movie.mp3Rate = check.rate;
        movie.mp3Channels = check.channels;
        return;
    }
    Tools::DeleteFiles(soundPath);
    job.outcome().details.append(QStringLiteral("The sound of %1 was left out: %2").arg(movie.source, problem));
}

void PlanMovieSound(JobContext &job, MoviePart &movie, const ExtractorRun &run)
{
    const QList<SoundExport> exports = SoundExports(*movie.report, movie.source,
                                                    job.workFolder + QStringLiteral("/temp"),
                                                    QStringLiteral("sound%1").arg(movie.position));
    QList<SoundSource> sources;
    for (const SoundExport &soundExport : exports) {
        if (job.cancelled())
            return;
        run(soundExport.arguments);
        sources.append(soundExport.source);
    }
    if (sources.isEmpty())
        return;
    movie.plan = PlanSoundtrack(*movie.report, sources, job.readers.sound);
    for (const QString &sound : movie.plan.leftOut)
        job.outcome().details.append(QStringLiteral("The sound of %1 was left out: %2").arg(movie.source, sound));
    for (const QString &note : movie.plan.notes)
        job.note(movie.source, note);
}

// The mix of several needs none of the frames and is fed to the encoder as
// it is made, so the encode does not wait for it.
VideoSounds PlanVideoSounds(JobContext &job, const QList<MoviePart> &movies, double videoSeconds)
{
    VideoSounds sounds;
    QList<const MoviePart *> shown;
    for (const MoviePart &movie : movies) {
        if (movie.frames > 0 && movie.seconds > 0)
            shown.append(&movie);
    }
    if (shown.size() == 1 && shown.first()->start == 0) {
        const QString sound = MovieSoundtrack(job, *shown.first(), videoSeconds);
        if (!sound.isEmpty())
            sounds.files = {sound};
        return sounds;
    }
    QList<MovieSoundSpan> spans;
    bool anySound = false;
    for (qsizetype i = 0; i < shown.size() && !job.cancelled(); ++i) {
        const MoviePart &movie = *shown.at(i);
        MovieSoundSpan span;
        span.start = movie.start;
        // The last movie's span takes the end frame too.
        span.end = i + 1 == shown.size() ? videoSeconds : movie.start + movie.seconds;
        span.soundtrack = MovieSoundtrack(job, movie, span.end - span.start);
        // A soundtrack made here is at the soundtrack's own rate.
        const bool mp3 = span.soundtrack == movie.mp3;
        span.rate = mp3 ? movie.mp3Rate : kSoundtrackRate;
        span.channels = mp3 ? movie.mp3Channels : movie.plan.stereo ? 2 : 1;
        anySound = anySound || !span.soundtrack.isEmpty();
        spans.append(span);
    }
    if (!anySound || job.cancelled())
        return sounds;
    sounds.feed = CombinedSoundtrackFeed(job.run.encoder, spans, job.tempFile(QStringLiteral("video.graph")));
    if (!sounds.feed)
        job.outcome().details.append(kNoVideoSoundtrack);
    return sounds;
}

QString EncodeWithSoundOrWithout(JobContext &job, EncodeRequest &request, QString *reason)
{
    bool feedFailed = false;
    const QString target = EncodeToTemporary(request, job.workFolder, reason, &feedFailed);
    if (!feedFailed || job.cancelled())
        return target;
    const QString problem = target.isEmpty() ? *reason : CheckTemporaryVideo(request, target);
    if (problem.isEmpty())
        return target; // the mix only outlasted the encoder's reading
    if (!target.isEmpty())
        PublishVideo(request, target, problem);
    request.soundFeed.reset();
    const QString silent = EncodeToTemporary(request, job.workFolder, reason);
    if (!silent.isEmpty())
        job.outcome().details.append(kNoVideoSoundtrack);
    return silent;
}

} // namespace Pipeline
