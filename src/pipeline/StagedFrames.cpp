#include "StagedFrames.h"

#include "FrameNormalisation.h"
#include "SwfListing.h"

#include "tools/CmdOutput.h"
#include "tools/PathRoutines.h"
#include "tools/ProcessRunner.h"
#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"
#include "tools/Shell32.h"

#include "tarnwick/Limits.h"

#include <QFile>
#include <QThread>

#include <algorithm>

namespace Pipeline {

namespace {

// Converter runs at once: one per core, as the pictures are independent.
int ConverterParallelism()
{
    return std::max(1, QThread::idealThreadCount());
}

} // namespace

bool StagedFrames::takeFile(Tools::ReportingTrap &trap, int position, const QString &path, const QString &output)
{
    Q_UNUSED(output);
    if (m_job.choices().eachFile)
        m_video = VideoFrames();
    trap(112, [&] {
        // The next file is read while this one is staged and encoded.
        extractAhead(position);
        if (position < m_job.controls.fileCount() && !m_job.cancelled())
            extractAhead(position + 1);
        extractPictures(path, position);
    });
    if (m_job.cancelled())
        return false;
    trap(114, [&] {
        stageFrames(position);
        m_job.controls.yield();
    });
    return true;
}

void StagedFrames::makeFileVideo(Tools::ReportingTrap &trap, const QString &path, const QString &output)
{
    trap(118, [&] {
        m_job.controls.progress().setCaption(QStringLiteral("Processing: ") + Tools::FileNameOf(path)
                                             + QStringLiteral(" output video"));
    });
    outputSteps(output);
    trap(120, [&] { clearScratch(); });
}

void StagedFrames::makeCombinedVideo(Tools::ReportingTrap &trap, const QString &output)
{
    Q_UNUSED(trap);
    outputSteps(output);
}

void StagedFrames::clearScratch()
{
    m_video.sounds.reset();
    m_video.passableFrames.clear();
    if (m_extractions.empty()) {
        FrameMaking::clearScratch();
        return;
    }
    for (const QString &folder : {m_job.tempFile(QString()), m_job.pictureFile(QString())}) {
        for (const QString &name : Tools::ListFiles(folder, QStringLiteral("*.*"))) {
            if (!m_extractions.keeps(name))
                Tools::DeleteFiles(folder + name);
        }
    }
}

MovieToExtract StagedFrames::movieToExtract(int position) const
{
    return MovieToExtract{m_job.run.tools.extractor,
                          m_job.controls.fileAt(position),
                          m_job.workFolder + QStringLiteral("/SWFPic"),
                          QStringLiteral("swf%1").arg(position),
                          m_job.tempFile(QStringLiteral("sound%1.mp3").arg(position)),
                          m_job.readers.sound};
}

// Starts extracting the file at `position` on a thread of its own, unless
// that has begun.
void StagedFrames::extractAhead(int position)
{
    if (!m_extractions.has(position))
        m_extractions.start(position, movieToExtract(position));
}

void StagedFrames::extractPictures(const QString &path, int position)
{
    extractAhead(position);
    const ExtractedMovie extracted = m_extractions.take(position, m_job.controls.progress(),
                                                        m_job.controls.fileCount());
    MoviePart movie;
    movie.source = path;
    movie.position = position;
    movie.report = extracted.report;
    movie.readInPart = extracted.readInPart;
    movie.reason = extracted.reason;
    movie.passable = extracted.passable;
    const bool mixed = movie.report && !IsPlainMp3Stream(*movie.report);
    const ExtractorRun run = [this, &movie](const QStringList &arguments) {
        const QString errors = m_job.runExtractor(arguments);
        if (movie.reason.isEmpty())
            movie.reason = Tools::LastLineOf(errors);
    };
    if (mixed)
        PlanMovieSound(m_job, movie, run);
    else if (extracted.soundCheck)
        UseMp3(m_job, movie, m_job.tempFile(QStringLiteral("sound%1.mp3").arg(position)), *extracted.soundCheck);
    readMovie(movie, run);
    m_video.movies.append(movie);
}

QStringList StagedFrames::picturesToStage(const QStringList &pictures, const QString &stem)
{
    Q_UNUSED(stem);
    return pictures;
}

// Converts each picture to temp/conv<k>.jpg. A JPEG that the converter
// would only copy is moved there as it is, without starting it (most of a
// picture's cost on a cheap encode); the others go through the converter,
// on every core, as the pictures are independent.
void StagedFrames::convertPictures(const QStringList &pictures, const QStringList &options, const MoviePart &movie)
{
    QList<Tools::Command> conversions;
    for (qsizetype k = 0; k < pictures.size(); ++k) {
        const QString converted = m_job.tempFile(QStringLiteral("conv%1.jpg").arg(k + 1));
        const QString picture = m_job.pictureFile(pictures.at(k));
        if (movie.passable.contains(pictures.at(k)) && QFile::rename(picture, converted))
            continue;
        const QStringList arguments{QStringLiteral("-o"), converted, picture};
        conversions.append(Tools::Command{m_job.run.tools.converter, options + arguments, QString()});
    }
    Tools::RunAllAndWait(conversions, ConverterParallelism());
}

void StagedFrames::stageFrames(int position)
{
    const QString stem = QStringLiteral("swf%1").arg(position);
    QList<MoviePart> &movies = m_video.movies;
    MoviePart *movie = !movies.isEmpty() && movies.constLast().position == position ? &movies.last() : nullptr;
    const MoviePart unread; // a movie whose reading failed has no facts
    const MoviePart &facts = movie ? *movie : unread;
    const QStringList pictures = picturesToStage(
        OrderPictures(Tools::ListFiles(m_job.pictureFile(QString()), QStringLiteral("*.*")), stem), stem);

    // Each picture is converted to a scratch name first; the frames are then
    // numbered in picture order from those that converted, so a picture the
    // converter cannot read leaves no gap in the numbering.
    // Transparent pictures are laid on the movie's background, as a player
    // shows them; the converter's own default is black.
    QStringList options{QStringLiteral("-out"), QStringLiteral("jpeg"), QStringLiteral("-truecolors")};
    if (movie && movie->report && movie->report->background) {
        const Tarnwick::Rgb colour = movie->report->backdrop();
        options << QStringLiteral("-bgcolor") << QString::number(colour.red) << QString::number(colour.green)
                << QString::number(colour.blue);
    }
    convertPictures(pictures, options, facts);

    int &frameCount = m_video.frameCount;
    int staged = 0;
    for (qsizetype k = 0; k < pictures.size(); ++k) {
        const QString converted = m_job.tempFile(QStringLiteral("conv%1.jpg").arg(k + 1));
        if (!Tools::FileExists(converted))
            continue;
        ++staged;
        QFile::rename(converted, m_job.tempFile(QStringLiteral("image%1.jpg").arg(frameCount + staged)));
        if (facts.passable.contains(pictures.at(k)))
            m_video.passableFrames.insert(frameCount + staged);
        if (movie)
            movie->frameOf.insert(*PictureKeyOf(pictures.at(k), stem), frameCount + staged);
    }
    if (movie) {
        staged += stageMore(*movie, frameCount + staged);
        movie->firstFrame = frameCount;
        movie->frames = staged;
    }
    frameCount += staged;
    m_video.pictureFrames += staged;
    for (const QString &picture : pictures)
        Tools::DeleteFiles(m_job.pictureFile(picture));

    const QString source = m_job.controls.fileAt(position);
    JobOutcome &outcome = m_job.outcome();
    if (staged == 0) {
        outcome.noPictures.append(source);
        m_job.note(source, facts.reason.isEmpty() ? QStringLiteral("no pictures were found") : facts.reason);
    } else if (facts.readInPart) {
        outcome.partlyRead.append(source);
        m_job.note(source, facts.reason);
    }
}

void StagedFrames::evenFrameSize()
{
    m_video.encoderFits = false;
    if (!Tools::FileExists(m_job.tempFile(QStringLiteral("image1.jpg"))))
        return;
    const int maxFrames = Tarnwick::kMaxVideoFrames;
    const auto count = static_cast<qint16>(std::min(m_video.frameCount, maxFrames));
    // The size comes from the movies' pictures; the black end frame is only
    // fitted to it (its 128 x 128 would otherwise enlarge small movies).
    const auto measured = static_cast<qint16>(
        std::min(m_video.pictureFrames > 0 ? m_video.pictureFrames : m_video.frameCount, maxFrames));
    qint32 height = 0;
    qint32 width = 0;
    MeasureLargestFrame(m_job.workFolder, measured, height, width);
    // The encoder needs even sizes; a picture narrower than two pixels still
    // gets a frame the encoder can take.
    height = std::max(2, height - height % 2);
    width = std::max(2, width - width % 2);
    // Past the frame limit a video is too much for players and the encoder:
    // the frame is reduced, its aspect ratio kept.
    const QSize frame = LimitFrameSize(QSize(width, height));
    if (frame != QSize(width, height)) {
        m_job.outcome().details.append(
            QStringLiteral("The video frame was reduced from %1 x %2 to %3 x %4 pixels, the largest "
                           "that players are sure to show.")
                .arg(width)
                .arg(height)
                .arg(frame.width())
                .arg(frame.height()));
        width = frame.width();
        height = frame.height();
    }
    m_video.frameSize = QSize(width, height);
    m_video.encoderFits = SetImagesSizes(m_job.workFolder, count, height, width, m_job.controls.progress(),
                                         m_job.controls.errorReporter(), YieldToEventLoop, Growing::Encoder,
                                         m_video.passableFrames)
                          > 0;
}

// The end frame alone is no video: it would only replace an older video of
// the same name with a black picture.
bool StagedFrames::anyPictureFrame() const
{
    return m_video.pictureFrames > 0 && Tools::FileExists(m_job.tempFile(QStringLiteral("image1.jpg")));
}

void StagedFrames::encode(const QString &output)
{
    const VideoSounds sounds = m_video.sounds.value_or(VideoSounds());
    m_video.sounds.reset();
    if (!anyPictureFrame())
        return;
    EncodeRequest request;
    request.encoder = m_job.run.tools.encoder;
    request.reader = m_job.readers.video;
    request.frameCount = m_video.frameCount;
    request.quality = m_job.run.quality;
    if (m_video.encoderFits)
        request.fitTo = m_video.frameSize;
    if (!frameTiming(request)) {
        if (!m_job.cancelled())
            m_output.fail(m_output.claim(output),
                          QStringLiteral("the list of frames cannot be written in the work folder"));
        return;
    }
    request.sounds = sounds.files;
    request.soundFeed = sounds.feed;
    request.progress = &m_job.controls.progress();
    if (m_job.cancelled())
        return;
    request.output = m_output.claim(output);
    QString reason;
    const QString target = EncodeWithSoundOrWithout(m_job, request, &reason);
    m_output.publish(request, target, reason);
}

void StagedFrames::outputSteps(const QString &output)
{
    Tools::ReportingTrap trap(m_job.controls.errorReporter(), QLatin1String(kJobLocation));
    if (m_job.cancelled())
        return;
    trap(130, [&] { appendEndFrame(); });
    trap(132, [&] {
        // What the video's frames do not depend on: where each movie sits in
        // it, and its sound, begun before the frames are fitted.
        if (anyPictureFrame()) {
            layOutMovies();
            m_video.sounds = PlanVideoSounds(m_job, m_video.movies, m_video.seconds);
        }
        evenFrameSize();
    });
    if (m_job.cancelled())
        return;
    trap(134, [&] { encode(output); });
}

} // namespace Pipeline
