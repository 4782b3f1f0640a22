#include "ConversionJob.h"

#include "FrameNormalisation.h"
#include "MovieExtraction.h"
#include "OutputFolder.h"
#include "PlayRecording.h"
#include "Soundtrack.h"
#include "SwfListing.h"
#include "VideoCheck.h"
#include "VideoEncoding.h"

#include "render/MovieRecorder.h"
#include "tools/CmdOutput.h"
#include "tools/Failure.h"
#include "tools/PathRoutines.h"
#include "tools/ProcessRunner.h"
#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"
#include "tools/Rounding.h"
#include "tools/Shell32.h"
#include "tools/Command.h"
#include "tools/ToolDeployment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QThread>

#include <algorithm>
#include <set>

namespace Pipeline {

namespace {

constexpr char kLocation[] = "in Tarnwick2021/08/31.Form1.PushButton2_Click ";
constexpr char kPlayerSite[] = "https://player.tarnwick.example/";
const QString kCrLf = QStringLiteral("\r\n");

// Frames one video can hold: the frame count is a 16-bit number downstream.
constexpr int kMaxFrames = 32767;
// Frames decoded of one embedded video: a long one must leave room in the
// video for the movie's pictures and other videos.
constexpr int kMaxEmbeddedVideoFrames = 8192;

// Converter runs at once: one per core, as the pictures are independent.
int ConverterParallelism()
{
    return std::max(1, QThread::idealThreadCount());
}

} // namespace

// Work on a thread of its own whose result is taken once. A QThread, so that
// a child it starts through the runner is watched as on the main thread.
template <typename T>
class SideTask
{
public:
    explicit SideTask(std::function<T()> work)
        : m_thread(QThread::create([this, work = std::move(work)] {
            try {
                m_result = work();
            } catch (...) {
                // Raised where the result is taken, as if the work ran there.
                m_error = std::current_exception();
            }
        }))
    {
        m_thread->start();
    }
    ~SideTask() { m_thread->wait(); }
    SideTask(const SideTask &) = delete;
    SideTask &operator=(const SideTask &) = delete;

    // Waits for the result with the event loop kept alive, calling
    // `waiting` at every poll.
    T take(const std::function<void()> &waiting = {})
    {
        while (!m_thread->wait(10)) {
            YieldToEventLoop();
            if (waiting)
                waiting();
        }
        if (m_error)
            std::rethrow_exception(m_error);
        return std::move(*m_result);
    }

private:
    std::optional<T> m_result;
    std::exception_ptr m_error;
    std::unique_ptr<QThread> m_thread;
};

namespace {

const QString kNoVideoSoundtrack = QStringLiteral(
    "The video's soundtrack could not be made; it was made without sound.");

double NumberOf(const QString &text)
{
    return QLocale::c().toDouble(text.trimmed());
}

} // namespace

bool IsNumeric(const QString &text)
{
    bool ok = false;
    QLocale::c().toDouble(text.trimmed(), &ok);
    return ok;
}

int QualityFromSlider(int value, int maximum)
{
    const int quality = static_cast<int>(Tools::RoundHalfEven((maximum - value) * 10.0 / 32.0));
    return quality == 0 ? 1 : quality;
}

ConversionJob::ConversionJob(JobControls &controls, QString workFolder, MediaReaders readers)
    : m_controls(controls)
    , m_workFolder(std::move(workFolder))
    , m_readers(std::move(readers))
{
}

ConversionJob::~ConversionJob() = default;

QString ConversionJob::tempFile(const QString &name) const
{
    return m_workFolder + QStringLiteral("/temp/") + name;
}

QString ConversionJob::pictureFile(const QString &name) const
{
    return m_workFolder + QStringLiteral("/SWFPic/") + name;
}

bool ConversionJob::refuse(const QString &message)
{
    m_outcome.refused = true;
    m_controls.showMessage(message);
    return false;
}

bool ConversionJob::checkOutputFolder(const QString &folder)
{
    const QString problem = OutputFolderProblem(folder);
    if (problem.isEmpty())
        return true;
    if (!Tools::IsFolder(folder))
        return refuse(QStringLiteral("Folder does not exist. Please select another folder."));
    return refuse(QStringLiteral("Videos cannot be saved in the folder %1 (%2). Please select another folder.")
                      .arg(folder, problem));
}

void ConversionJob::fail(const QString &output, const QString &reason)
{
    settleVideo();
    m_outcome.failed.append(output);
    if (!reason.isEmpty())
        m_outcome.reasons.insert(output, reason);
}

bool ConversionJob::cancelled()
{
    if (Tools::ChildrenCancelled())
        m_outcome.cancelled = true;
    return m_outcome.cancelled;
}

void ConversionJob::PushButton2_Click()
{
    if (m_converting)
        return;
    m_converting = true;
    m_outcome = JobOutcome();
    m_claimedOutputs.clear();
    m_movies.clear();
    m_frameCount = 0;
    m_pictureFrames = 0;
    m_passableFrames.clear();
    m_endFrame.clear();
    m_detailsInserted = 0;
    Tools::ResumeChildren();
    // Taken once: a choice changed while the job runs is for the next job.
    m_choices = JobChoices::ReadFrom(m_controls);

    Tools::ReportingTrap trap(m_controls.errorReporter(), QLatin1String(kLocation));
    if (checkChoices(trap)) {
        setUpTools(trap);
        const int count = m_controls.fileCount();
        for (int i = 1; i <= count && !cancelled(); ++i)
            convertFile(trap, i);
        if (m_choices.combine && !cancelled())
            makeCombinedVideo(trap);
        finishJob(trap);
    }
    Tools::ResumeChildren();
    m_converting = false;
}

// Every check made before any work; false when the job was refused.
bool ConversionJob::checkChoices(Tools::ReportingTrap &trap)
{
    bool go = true;
    trap(100, [&] {
        // A movie recorded as it plays, or shown as the movie shows it,
        // keeps its own timing: no delay.
        if (m_choices.play || m_choices.movie)
            return;
        const bool slow = m_choices.slow;
        const QString delay = (slow ? m_choices.slowText : m_choices.fastText).trimmed();
        m_rate = slow ? QStringLiteral("1/") + delay : delay;
        // A delay in the box that is not selected does not make a video: the
        // chosen mode's own box must hold a positive number.
        const bool anyNumeric = IsNumeric(m_choices.slowText) || IsNumeric(m_choices.fastText);
        const double value = NumberOf(delay);
        if (!anyNumeric || !IsNumeric(delay) || !(value > 0))
            go = refuse(QStringLiteral("You must enter a delay."));
        else
            m_frameSeconds = slow ? value : 1.0 / value;
    });
    if (!go)
        return false;
    m_controls.yield();
    if (m_controls.fileCount() <= 0)
        return refuse(QStringLiteral("No files added."));
    // Checked before any work, so that no movie is read for a video that
    // cannot be saved. Beside the sources, each source's folder is checked
    // when its turn comes; a combined video goes beside the first one.
    if (!m_choices.saveBeside && !checkOutputFolder(m_choices.folder))
        return false;
    if (m_choices.saveBeside && m_choices.combine && !checkOutputFolder(Tools::FolderOf(m_controls.fileAt(1))))
        return false;
    trap(102, [&] {
        m_encoder = Tools::LocateEncoder();
        if (m_encoder.isEmpty())
            go = refuse(QString::fromUtf8(Tools::kEncoderMissingMessage));
    });
    if (!go)
        return false;
    if (m_choices.play) {
        const QString missing = Render::MovieRecorder::MissingParts(m_choices.playAssets);
        if (!missing.isEmpty())
            return refuse(missing);
    }
    const QString problem = Tools::WorkFolderProblem(m_workFolder);
    return problem.isEmpty() || refuse(problem);
}

void ConversionJob::setUpTools(Tools::ReportingTrap &trap)
{
    trap(104, [&] { m_controls.setPointer(Pointer::Busy); });
    trap(106, [&] {
        const Tools::ToolSet tools = Tools::DeployTools(m_workFolder, m_encoder);
        m_tools = {tools.ExtractorCmd, tools.ConverterCmd, tools.EncoderCmd};
        m_addressWidth = tools.AddressWidth;
    });
    trap(108, [&] { m_quality = QualityFromSlider(m_choices.qualityValue, m_choices.qualityMaximum); });
    if (m_choices.play) {
        // The quality gives the crf as for the other modes.
        m_play = std::make_unique<PlayRecording>(PlayRecording::Setup{
            m_workFolder, m_choices.playAssets, m_tools.extractor, m_encoder, m_quality + 10, m_choices.playFps,
            m_choices.playHeight, m_choices.playSeconds});
    }
}

// The file at `position`: its pictures and sound, and in one-video-per-file
// mode its video.
void ConversionJob::convertFile(Tools::ReportingTrap &trap, int position)
{
    const int count = m_controls.fileCount();
    QString path;
    trap(110, [&] {
        path = m_controls.fileAt(position);
        m_controls.progress().setValue(static_cast<double>(position) / count * 100.0);
        m_controls.progress().setCaption(QStringLiteral("Processing: ") + Tools::FileNameOf(path));
        m_controls.yield();
    });
    QString outputPath;
    if (m_choices.eachFile) {
        m_frameCount = 0;
        m_pictureFrames = 0;
        m_passableFrames.clear();
        m_movies.clear();
        trap(116, [&] {
            const QString folder = m_choices.saveToFolder ? m_choices.folder : Tools::FolderOf(path);
            outputPath = Tools::CollapseBackslashes(
                folder + QLatin1Char('/') + Tools::StripExtension(Tools::FileNameOf(path)) + QStringLiteral(".mp4"));
        });
        if (m_choices.saveBeside) {
            const QString problem = OutputFolderProblem(Tools::FolderOf(path));
            if (!problem.isEmpty()) {
                fail(claimOutput(outputPath), problem);
                return;
            }
        }
    }
    if (m_choices.play) {
        trap(112, [&] { recordPlaying(path, position, outputPath); });
        return;
    }
    trap(112, [&] {
        // The next file is read while this one is staged and encoded.
        extractAhead(position);
        if (position < count && !cancelled())
            extractAhead(position + 1);
        extractPictures(path, position);
    });
    if (cancelled())
        return;
    trap(114, [&] {
        stageFrames(position);
        m_controls.yield();
    });
    if (m_choices.eachFile && !cancelled()) {
        trap(118, [&] {
            m_controls.progress().setCaption(QStringLiteral("Processing: ") + Tools::FileNameOf(path)
                                             + QStringLiteral(" output video"));
        });
        outputSteps(outputPath);
        trap(120, [&] { clearScratch(); });
    }
}

void ConversionJob::makeCombinedVideo(Tools::ReportingTrap &trap)
{
    QString outputPath;
    trap(122, [&] {
        const QString folder = m_choices.saveToFolder ? m_choices.folder : Tools::FolderOf(m_controls.fileAt(1));
        outputPath = Tools::CollapseBackslashes(folder + QStringLiteral("/video.mp4"));
        m_controls.progress().setCaption(QStringLiteral("Processing: output video"));
    });
    if (m_choices.play)
        trap(134, [&] { publishPlaying(outputPath); });
    else
        outputSteps(outputPath);
}

void ConversionJob::clearScratch()
{
    m_sounds.reset();
    m_passableFrames.clear();
    if (m_extractions.empty()) {
        Tools::DeleteFiles(tempFile(QStringLiteral("*.*")));
        Tools::DeleteFiles(pictureFile(QStringLiteral("*.*")));
        return;
    }
    for (const QString &folder : {tempFile(QString()), pictureFile(QString())}) {
        for (const QString &name : Tools::ListFiles(folder, QStringLiteral("*.*"))) {
            if (!extractedAhead(name))
                Tools::DeleteFiles(folder + name);
        }
    }
}

// Removes the tools and scratch files, resets the window and shows the
// summary.
void ConversionJob::finishJob(Tools::ReportingTrap &trap)
{
    m_extractions.clear(); // waits for those a cancel cut short
    settleVideo();
    cancelled();
    if (m_play) {
        m_play->clear();
        m_play.reset();
    }
    trap(124, [&] {
        clearScratch();
        Tools::DeleteFiles(m_workFolder + QLatin1Char('/') + QLatin1String(kScriptName));
        Tools::DeleteFiles(m_workFolder + QLatin1Char('/') + QLatin1String(kMarkerName));
        for (const QString &tool : {m_tools.encoder, m_tools.converter, m_tools.extractor}) {
            if (!tool.isEmpty())
                Tools::DeleteFiles(tool);
        }
    });
    trap(126, [&] {
        m_controls.setPointer(Pointer::Default);
        m_controls.progress().setValue(0);
        m_controls.progress().setCaption(QStringLiteral("Progress Bar"));
    });
    trap(128, [&] { m_controls.showSummary(summary(), details(), resultFolder()); });
}

// One run of the extractor with the progress bar kept alive; returns what
// it complained of.
QString ConversionJob::runExtractor(const QStringList &arguments)
{
    Tools::ProgressSink &bar = m_controls.progress();
    QString errors;
    Tools::RunAndWait(Tools::Command{m_tools.extractor, arguments, QString()}, &bar, bar.caption(),
                      static_cast<int>(bar.value()), m_controls.fileCount(), Tools::DefaultPollClock(), &errors);
    return errors;
}

// Starts extracting the file at `position` on a thread of its own, unless
// that has begun: a movie is read while the one before it is staged and
// encoded. Its files have names of their own in SWFPic/ and temp/.
void ConversionJob::extractAhead(int position)
{
    if (std::any_of(m_extractions.cbegin(), m_extractions.cend(),
                    [position](const PendingExtraction &pending) { return pending.position == position; }))
        return;
    PendingExtraction pending;
    pending.position = position;
    const MovieToExtract movie{m_tools.extractor,
                               m_controls.fileAt(position),
                               m_workFolder + QStringLiteral("/SWFPic"),
                               QStringLiteral("swf%1").arg(position),
                               tempFile(QStringLiteral("sound%1.mp3").arg(position)),
                               m_readers.sound};
    pending.task = std::make_unique<SideTask<ExtractedMovie>>([movie] { return ExtractMovie(movie); });
    m_extractions.push_back(std::move(pending));
}

// The extraction of the file at `position`, waited for with the bar kept
// alive as for any long tool run.
ExtractedMovie ConversionJob::takeExtraction(int position)
{
    extractAhead(position);
    // Those begun for files before it are of files the job passed over.
    while (m_extractions.front().position != position)
        m_extractions.pop_front();
    const std::unique_ptr<SideTask<ExtractedMovie>> task = std::move(m_extractions.front().task);
    m_extractions.pop_front();
    Tools::ProgressSink &bar = m_controls.progress();
    Tools::WaitingBar waiting(bar, bar.caption(), static_cast<int>(bar.value()), m_controls.fileCount());
    QElapsedTimer clock;
    clock.start();
    qint64 polls = 0;
    ExtractedMovie extracted = task->take([&] {
        for (; clock.elapsed() >= (polls + 1) * Tools::kPollMilliseconds; ++polls)
            waiting.poll();
    });
    if (polls >= 50)
        waiting.end();
    return extracted;
}

// The files kept for extractions still running or not yet taken.
bool ConversionJob::extractedAhead(const QString &name) const
{
    return std::any_of(m_extractions.cbegin(), m_extractions.cend(), [&name](const PendingExtraction &pending) {
        return name.startsWith(QStringLiteral("swf%1_").arg(pending.position))
               || name == QStringLiteral("sound%1.mp3").arg(pending.position);
    });
}

void ConversionJob::extractPictures(const QString &path, int position)
{
    const ExtractedMovie extracted = takeExtraction(position);
    m_readInPart = extracted.readInPart;
    m_extractorReason = extracted.reason;
    m_passable = extracted.passable;
    MoviePart movie;
    movie.source = path;
    movie.position = position;
    movie.report = extracted.report;
    const bool mixed = movie.report && !IsPlainMp3Stream(*movie.report);
    const auto run = [this](const QStringList &arguments) {
        const QString errors = runExtractor(arguments);
        if (m_extractorReason.isEmpty())
            m_extractorReason = Tools::LastLineOf(errors);
    };
    if (mixed)
        planSound(movie, run);
    else if (extracted.soundCheck)
        useMp3(movie, tempFile(QStringLiteral("sound%1.mp3").arg(position)), *extracted.soundCheck);
    if (m_choices.movie && movie.report && !cancelled())
        decodeVideos(movie, run);
    if (m_choices.movie && !cancelled())
        planTiming(movie);
    m_movies.append(movie);
}

// One sound the encoder cannot decode would fail the whole video: it is left
// out and named instead. The extraction decoded it whole, beside the work
// on the movie before.
void ConversionJob::useMp3(MoviePart &movie, const QString &soundPath, const SoundCheck &check)
{
    const QString problem = check.decodes ? QString() : check.reason;
    if (problem.isEmpty() || cancelled()) {
        movie.mp3 = soundPath;
        movie.mp3Seconds = check.seconds;
        movie.mp3Rate = check.rate;
        movie.mp3Channels = check.channels;
        return;
    }
    Tools::DeleteFiles(soundPath);
    m_outcome.details.append(QStringLiteral("The sound of %1 was left out: %2").arg(movie.source, problem));
}

// As in the movie, each embedded video on stage is decoded into numbered
// pictures beside the movie's, with the time of each.
void ConversionJob::decodeVideos(MoviePart &movie, const std::function<void(const QStringList &)> &run)
{
    const QString prober = LocateProber(m_encoder);
    for (const TimelineVideo &video : movie.report->videos) {
        if (!video.firstFrame || cancelled())
            continue;
        const QString flv = tempFile(QStringLiteral("video%1_%2.flv").arg(movie.position).arg(video.id));
        const QString stem = QStringLiteral("vid%1_%2_").arg(movie.position).arg(video.id);
        run({QStringLiteral("--video"), QString::number(video.id), movie.source, QStringLiteral("-o"), flv});
        VideoOnStage onStage{video.id, *video.firstFrame, {}};
        if (Tools::FileExists(flv) && !prober.isEmpty()) {
            const int limit = int(std::min<qint64>(std::max<qint64>(video.frames, 1), kMaxEmbeddedVideoFrames));
            Tools::RunCaptured(
                Tools::Command{m_encoder,
                               {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                QStringLiteral("-i"), flv, QStringLiteral("-fps_mode"), QStringLiteral("passthrough"),
                                QStringLiteral("-frames:v"), QString::number(limit), QStringLiteral("-q:v"),
                                QStringLiteral("2"), pictureFile(stem + QStringLiteral("%d.jpg"))},
                               QString()},
                true, false, true);
            const QStringList times =
                Tools::RunCaptured(Tools::Command{prober,
                                                  {QStringLiteral("-v"), QStringLiteral("error"),
                                                   QStringLiteral("-select_streams"), QStringLiteral("v"),
                                                   QStringLiteral("-show_entries"), QStringLiteral("frame=pts_time"),
                                                   QStringLiteral("-of"), QStringLiteral("csv=p=0"), flv},
                                                  QString()},
                                   true, false, true)
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            for (qsizetype k = 0; k < times.size() && k < limit; ++k) {
                if (!Tools::FileExists(pictureFile(stem + QStringLiteral("%1.jpg").arg(k + 1))))
                    break;
                onStage.frameTimes.append(NumberOf(times.at(k).section(QLatin1Char(','), 0, 0)));
            }
        }
        Tools::DeleteFiles(flv);
        if (onStage.frameTimes.isEmpty())
            m_outcome.details.append(QStringLiteral("%1: its video %2 could not be decoded and was left out.")
                                         .arg(movie.source)
                                         .arg(video.id));
        else
            movie.videos.append(onStage);
    }
}

// Moves the movie's decoded video frames into the frame sequence after
// frame `after`; returns how many.
int ConversionJob::stageVideoFrames(MoviePart &movie, int after)
{
    int staged = 0;
    // A movie shown with a fixed delay would hold each video frame for it.
    const bool shown = movie.timing && !movie.timing->fallBack;
    for (const VideoOnStage &video : movie.videos) {
        const QString stem = QStringLiteral("vid%1_%2_").arg(movie.position).arg(video.id);
        for (qsizetype k = 0; k < video.frameTimes.size(); ++k) {
            const QString decoded = pictureFile(stem + QStringLiteral("%1.jpg").arg(k + 1));
            if (shown && QFile::rename(decoded, tempFile(QStringLiteral("image%1.jpg").arg(after + staged + 1)))) {
                ++staged;
                movie.videoFrameOf.insert(VideoFrameKey{video.id, int(k)}, after + staged);
            }
        }
        Tools::DeleteFiles(pictureFile(stem + QStringLiteral("*.jpg")));
    }
    return staged;
}

// When each of the movie's pictures is on screen; a movie without a usable
// timeline is shown as with Text1's delay.
void ConversionJob::planTiming(MoviePart &movie)
{
    const double delay = IsNumeric(m_choices.slowText) ? NumberOf(m_choices.slowText) : 0;
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
        m_outcome.details.append(movie.source + QStringLiteral(": ") + note);
}

// Exports each sound the movie's timeline plays and plans how they are
// mixed; the soundtrack itself is written once the video's length is known.
void ConversionJob::planSound(MoviePart &movie, const std::function<void(const QStringList &)> &run)
{
    const QList<SoundExport> exports = SoundExports(*movie.report, movie.source, m_workFolder + QStringLiteral("/temp"),
                                                    QStringLiteral("sound%1").arg(movie.position));
    QList<SoundSource> sources;
    for (const SoundExport &soundExport : exports) {
        if (cancelled())
            return;
        run(soundExport.arguments);
        sources.append(soundExport.source);
    }
    if (sources.isEmpty())
        return;
    movie.plan = PlanSoundtrack(*movie.report, sources, m_readers.sound);
    for (const QString &sound : movie.plan.leftOut)
        m_outcome.details.append(QStringLiteral("The sound of %1 was left out: %2").arg(movie.source, sound));
    for (const QString &note : movie.plan.notes)
        m_outcome.details.append(movie.source + QStringLiteral(": ") + note);
}

// The movie's sound for a stretch of `seconds` of video: its MP3, a
// soundtrack written to temp/, or nothing.
QString ConversionJob::movieSoundtrack(const MoviePart &movie, double seconds)
{
    if (!movie.mp3.isEmpty())
        return movie.mp3;
    if (movie.plan.silent() || cancelled())
        return QString();
    Tools::ProgressSink &bar = m_controls.progress();
    const QString caption = bar.caption();
    const QString target = tempFile(QStringLiteral("sound%1").arg(movie.position) + QLatin1String(kSoundtrackSuffix));
    const bool made = WriteSoundtrack(m_encoder, movie.plan, seconds, target, &bar,
                                      SoundtrackCaption(Tools::FileNameOf(movie.source)));
    bar.setCaption(caption);
    if (made)
        return target;
    if (!cancelled())
        m_outcome.details.append(QStringLiteral("The soundtrack of %1 could not be made.").arg(movie.source));
    return QString();
}

// Where each movie's pictures sit in the video, in seconds, and how long
// the video lasts.
void ConversionJob::layOutMovies()
{
    if (!m_choices.movie) {
        for (MoviePart &movie : m_movies) {
            movie.start = movie.firstFrame * m_frameSeconds;
            movie.seconds = movie.frames * m_frameSeconds;
        }
        m_videoSeconds = m_frameCount * m_frameSeconds;
        return;
    }
    // As in the movie, the movies follow one another, each for as long as
    // it plays, until the video's cap.
    QList<double> lengths;
    for (const MoviePart &movie : m_movies) {
        double length = 0;
        if (movie.frames > 0 && movie.timing)
            length = movie.timing->fallBack ? movie.frames * movie.timing->fallbackDelay : movie.timing->length;
        lengths << length;
    }
    const QList<MovieSpan> spans = FollowOneAnother(lengths);
    m_videoSeconds = 0;
    for (qsizetype i = 0; i < spans.size(); ++i) {
        MoviePart &movie = m_movies[i];
        movie.start = spans[i].start;
        movie.seconds = spans[i].seconds;
        m_videoSeconds = std::max(m_videoSeconds, movie.start + movie.seconds);
        if (!spans[i].note.isEmpty())
            m_outcome.details.append(movie.source + QStringLiteral(": ") + spans[i].note);
    }
}

// The concat list that shows each movie's pictures for their own times,
// in temp/ beside the frames; sets the request's frames and length.
bool ConversionJob::writeFrameList(EncodeRequest &request)
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
    for (const MoviePart &movie : m_movies) {
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
            if (!WriteSolidFrame(tempFile(backdrop), m_frameSize,
                                 movie.report ? movie.report->backdrop() : Tarnwick::Rgb{}))
                return false;
        }
    }
    if (entries.isEmpty())
        return false;
    QFile list(tempFile(QStringLiteral("frames.txt")));
    const QByteArray text = QFile::encodeName(ConcatList(entries));
    if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate) || list.write(text) != text.size())
        return false;
    request.frameList = QStringLiteral("temp/frames.txt");
    // The list repeats its last picture to give it its duration.
    request.frameCount = int(entries.size()) + 1;
    request.length = m_videoSeconds;
    return true;
}

// The video's one sound: a single movie's own sound, or each movie's sound
// laid over its own pictures. The mix of several needs none of the frames
// and is fed to the encoder as it is made, so the encode does not wait for
// it.
void ConversionJob::planVideoSounds()
{
    m_sounds = VideoSounds();
    const double videoSeconds = m_videoSeconds;
    QList<const MoviePart *> shown;
    for (const MoviePart &movie : m_movies) {
        if (movie.frames > 0 && movie.seconds > 0)
            shown.append(&movie);
    }
    if (shown.size() == 1 && shown.first()->start == 0) {
        const QString sound = movieSoundtrack(*shown.first(), videoSeconds);
        if (!sound.isEmpty())
            m_sounds->files = {sound};
        return;
    }
    QList<MovieSoundSpan> spans;
    bool anySound = false;
    for (qsizetype i = 0; i < shown.size() && !cancelled(); ++i) {
        const MoviePart &movie = *shown.at(i);
        MovieSoundSpan span;
        span.start = movie.start;
        // The last movie's span takes the end frame too.
        span.end = i + 1 == shown.size() ? videoSeconds : movie.start + movie.seconds;
        span.soundtrack = movieSoundtrack(movie, span.end - span.start);
        // A soundtrack made here is at the soundtrack's own rate.
        const bool mp3 = span.soundtrack == movie.mp3;
        span.rate = mp3 ? movie.mp3Rate : kSoundtrackRate;
        span.channels = mp3 ? movie.mp3Channels : movie.plan.stereo ? 2 : 1;
        anySound = anySound || !span.soundtrack.isEmpty();
        spans.append(span);
    }
    if (!anySound || cancelled())
        return;
    m_sounds->feed = CombinedSoundtrackFeed(m_encoder, spans, tempFile(QStringLiteral("video.graph")));
    if (!m_sounds->feed)
        m_outcome.details.append(kNoVideoSoundtrack);
}

// Encodes into the video's temporary file (EncodeToTemporary). When the
// mix fed to the encoder failed and the encode failed with it, or the
// video's sound stops short, the video is made again without sound, as
// when a soundtrack cannot be made.
QString ConversionJob::encodeToTemporary(EncodeRequest &request, QString *reason)
{
    bool feedFailed = false;
    const QString target = EncodeToTemporary(request, m_workFolder, reason, &feedFailed);
    if (!feedFailed || cancelled())
        return target;
    const QString problem = target.isEmpty() ? *reason : CheckTemporaryVideo(request, target);
    if (problem.isEmpty())
        return target; // the mix only outlasted the encoder's reading
    if (!target.isEmpty())
        PublishVideo(request, target, problem);
    request.soundFeed.reset();
    const QString silent = EncodeToTemporary(request, m_workFolder, reason);
    if (!silent.isEmpty())
        m_outcome.details.append(kNoVideoSoundtrack);
    return silent;
}

// The movie's pictures in picture order; as in the movie, only those its
// timeline shows.
QStringList ConversionJob::picturesToStage(const QString &stem) const
{
    const QStringList all = OrderPictures(Tools::ListFiles(pictureFile(QString()), QStringLiteral("*.*")), stem);
    if (m_movies.isEmpty() || !m_movies.constLast().timing || m_movies.constLast().timing->fallBack)
        return all;
    std::set<PictureKey> shown;
    for (const TimedFrame &frame : m_movies.constLast().timing->frames) {
        if (frame.picture)
            shown.insert(*frame.picture);
    }
    QStringList pictures;
    for (const QString &name : all) {
        if (shown.count(*PictureKeyOf(name, stem)) > 0)
            pictures.append(name);
        else
            Tools::DeleteFiles(pictureFile(name));
    }
    return pictures;
}

// Converts each picture to temp/conv<k>.jpg. A JPEG that the converter
// would only copy is moved there as it is, without starting it (most of a
// picture's cost on a cheap encode); the others go through the converter,
// on every core, as the pictures are independent.
void ConversionJob::convertPictures(const QStringList &pictures, const QStringList &options)
{
    QList<Tools::Command> conversions;
    for (qsizetype k = 0; k < pictures.size(); ++k) {
        const QString converted = tempFile(QStringLiteral("conv%1.jpg").arg(k + 1));
        const QString picture = pictureFile(pictures.at(k));
        if (m_passable.contains(pictures.at(k)) && QFile::rename(picture, converted))
            continue;
        const QStringList arguments{QStringLiteral("-o"), converted, picture};
        conversions.append(Tools::Command{m_tools.converter, options + arguments, QString()});
    }
    Tools::RunAllAndWait(conversions, ConverterParallelism());
}

void ConversionJob::stageFrames(int position)
{
    const QString stem = QStringLiteral("swf%1").arg(position);
    const QStringList pictures = picturesToStage(stem);
    MoviePart *movie = !m_movies.isEmpty() && m_movies.constLast().position == position ? &m_movies.last() : nullptr;

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
    convertPictures(pictures, options);

    int staged = 0;
    for (qsizetype k = 0; k < pictures.size(); ++k) {
        const QString converted = tempFile(QStringLiteral("conv%1.jpg").arg(k + 1));
        if (!Tools::FileExists(converted))
            continue;
        ++staged;
        QFile::rename(converted, tempFile(QStringLiteral("image%1.jpg").arg(m_frameCount + staged)));
        if (m_passable.contains(pictures.at(k)))
            m_passableFrames.insert(m_frameCount + staged);
        if (movie)
            movie->frameOf.insert(*PictureKeyOf(pictures.at(k), stem), m_frameCount + staged);
    }
    if (movie) {
        staged += stageVideoFrames(*movie, m_frameCount + staged);
        movie->firstFrame = m_frameCount;
        movie->frames = staged;
    }
    m_frameCount += staged;
    m_pictureFrames += staged;
    for (const QString &picture : pictures)
        Tools::DeleteFiles(pictureFile(picture));

    const QString source = m_controls.fileAt(position);
    if (staged == 0) {
        m_outcome.noPictures.append(source);
        m_outcome.details.append(
            source + QStringLiteral(": ")
            + (m_extractorReason.isEmpty() ? QStringLiteral("no pictures were found") : m_extractorReason));
    } else if (m_readInPart) {
        m_outcome.partlyRead.append(source);
        m_outcome.details.append(source + QStringLiteral(": ") + m_extractorReason);
    }
}

void ConversionJob::appendEndFrame()
{
    // As in the movie, the timing is the movie's own: no end frame.
    if (!m_choices.slow || m_choices.movie || m_addressWidth != QLatin1String("64"))
        return;
    const QString frame = tempFile(QStringLiteral("image%1.jpg").arg(m_frameCount + 1));
    // The end frame is the same for every video of the job: converted once,
    // then written again.
    if (!m_endFrame.isEmpty()) {
        QFile file(frame);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(m_endFrame) != m_endFrame.size()) {
            file.remove();
            return;
        }
        ++m_frameCount;
        return;
    }
    const QString source = tempFile(QStringLiteral("image_1.jpg"));
    Tools::WriteBytesIfAbsent(Tools::LoadResource(Tools::ResourceId::EndFrameBitmap), source);
    Tools::ProgressSink &bar = m_controls.progress();
    Tools::RunAndWait(Tools::Command{m_tools.converter,
                                     {QStringLiteral("-out"), QStringLiteral("jpeg"), QStringLiteral("-truecolors"),
                                      QStringLiteral("-o"), frame, source},
                                     QString()},
                      &bar, bar.caption(), static_cast<int>(bar.value()), m_controls.fileCount());
    Tools::DeleteFiles(source);
    QFile made(frame);
    if (!made.open(QIODevice::ReadOnly))
        return;
    m_endFrame = made.readAll();
    ++m_frameCount;
}

void ConversionJob::evenFrameSize()
{
    m_encoderFits = false;
    if (!Tools::FileExists(tempFile(QStringLiteral("image1.jpg"))))
        return;
    const auto count = static_cast<qint16>(std::min(m_frameCount, kMaxFrames));
    // The size comes from the movies' pictures; the black end frame is only
    // fitted to it (its 128 x 128 would otherwise enlarge small movies).
    const auto measured = static_cast<qint16>(
        std::min(m_pictureFrames > 0 ? m_pictureFrames : m_frameCount, kMaxFrames));
    qint32 height = 0;
    qint32 width = 0;
    MeasureLargestFrame(m_workFolder, measured, height, width);
    // The encoder needs even sizes; a picture narrower than two pixels still
    // gets a frame the encoder can take.
    height = std::max(2, height - height % 2);
    width = std::max(2, width - width % 2);
    // Past the frame limit a video is too much for players and the encoder:
    // the frame is reduced, its aspect ratio kept.
    const QSize frame = LimitFrameSize(QSize(width, height));
    if (frame != QSize(width, height)) {
        m_outcome.details.append(
            QStringLiteral("The video frame was reduced from %1 x %2 to %3 x %4 pixels, the largest "
                           "that players are sure to show.")
                .arg(width)
                .arg(height)
                .arg(frame.width())
                .arg(frame.height()));
        width = frame.width();
        height = frame.height();
    }
    m_frameSize = QSize(width, height);
    m_encoderFits = SetImagesSizes(m_workFolder, count, height, width, m_controls.progress(),
                                   m_controls.errorReporter(), YieldToEventLoop, Growing::Encoder, m_passableFrames)
                    > 0;
}

// The end frame alone is no video: it would only replace an older video of
// the same name with a black picture.
bool ConversionJob::anyPictureFrame() const
{
    return m_pictureFrames > 0 && Tools::FileExists(tempFile(QStringLiteral("image1.jpg")));
}

// What the video's frames do not depend on: where each movie sits in it,
// and its sound, begun before the frames are fitted.
void ConversionJob::layOutVideo()
{
    if (!anyPictureFrame())
        return;
    layOutMovies();
    planVideoSounds();
}

void ConversionJob::encode(const QString &outputPath)
{
    const VideoSounds sounds = m_sounds.value_or(VideoSounds());
    m_sounds.reset();
    if (!anyPictureFrame())
        return;
    EncodeRequest request;
    request.encoder = m_tools.encoder;
    request.reader = m_readers.video;
    request.rate = m_rate;
    request.frameCount = m_frameCount;
    request.frameSeconds = m_frameSeconds;
    request.quality = m_quality;
    if (m_encoderFits)
        request.fitTo = m_frameSize;
    if (m_choices.movie && !writeFrameList(request)) {
        if (!cancelled())
            fail(claimOutput(outputPath), QStringLiteral("the list of frames cannot be written in the work folder"));
        return;
    }
    request.sounds = sounds.files;
    request.soundFeed = sounds.feed;
    request.progress = &m_controls.progress();
    if (cancelled())
        return;
    request.output = claimOutput(outputPath);
    QString reason;
    const QString target = encodeToTemporary(request, &reason);
    // The video before this one was checked beside this one's work and
    // encode; it is counted first.
    settleVideo();
    if (target.isEmpty()) {
        recordVideo(request, false, reason);
        return;
    }
    request.progress = nullptr;
    if (!m_choices.eachFile) {
        const bool made = PublishVideo(request, target, CheckTemporaryVideo(request, target), &reason);
        recordVideo(request, made, reason);
        return;
    }
    // One video per file: the check reads the video on a thread of its own
    // beside the next file's work; the video replaces the old one as soon as
    // it is found whole, and is counted in its place.
    m_pendingVideo = std::make_unique<PendingVideo>();
    m_pendingVideo->request = request;
    m_pendingVideo->target = target;
    m_pendingVideo->detailsAt = m_outcome.details.size() - m_detailsInserted;
    m_pendingVideo->check = std::make_unique<SideTask<CheckedVideo>>([request, target] {
        CheckedVideo checked;
        checked.problem = CheckTemporaryVideo(request, target);
        checked.whole = checked.problem.isEmpty();
        checked.made = checked.whole && PublishVideo(request, target, QString(), &checked.problem);
        return checked;
    });
}

void ConversionJob::settleVideo()
{
    if (!m_pendingVideo)
        return;
    const std::unique_ptr<PendingVideo> pending = std::move(m_pendingVideo);
    CheckedVideo checked = pending->check->take();
    if (!checked.whole)
        checked.made = PublishVideo(pending->request, pending->target, checked.problem, &checked.problem);
    recordVideo(pending->request, checked.made, checked.problem, pending->detailsAt);
}

// Counts a video as made or failed. `detailsAt` places its note among the
// details when it is counted after later notes were made.
void ConversionJob::recordVideo(const EncodeRequest &request, bool made, const QString &reason,
                                std::optional<qsizetype> detailsAt)
{
    if (!made) {
        if (!cancelled())
            fail(request.output, reason);
        return;
    }
    m_outcome.made.append(request.output);
    const double seconds = request.seconds();
    if (seconds >= 1.0)
        return;
    const QString note = QStringLiteral("%1 lasts only %2 s: some players show nothing of a video shorter than one "
                                        "second.")
                             .arg(request.output, QLocale::c().toString(seconds, 'g', 3));
    if (detailsAt) {
        m_outcome.details.insert(*detailsAt + m_detailsInserted, note);
        ++m_detailsInserted;
    } else {
        m_outcome.details.append(note);
    }
}

void ConversionJob::outputSteps(const QString &outputPath)
{
    Tools::ReportingTrap trap(m_controls.errorReporter(), QLatin1String(kLocation));
    if (cancelled())
        return;
    trap(130, [&] { appendEndFrame(); });
    trap(132, [&] {
        layOutVideo();
        evenFrameSize();
    });
    if (cancelled())
        return;
    trap(134, [&] { encode(outputPath); });
}

void ConversionJob::recordPlaying(const QString &path, int position, const QString &outputPath)
{
    const int count = m_controls.fileCount();
    const QString name = Tools::FileNameOf(path);
    Tools::ProgressSink &bar = m_controls.progress();
    const auto progress = [&](int recorded, int total) {
        bar.setValue((position - 1 + static_cast<double>(recorded) / std::max(1, total)) / count * 100.0);
        bar.setCaption(QStringLiteral("Processing: %1 frame %2 of %3").arg(name).arg(recorded).arg(total));
    };
    QStringList notes;
    QString reason;
    const bool recorded = m_play->record(path, position, progress, notes, reason);
    for (const QString &note : notes)
        m_outcome.details.append(path + QStringLiteral(": ") + note);
    if (cancelled())
        return;
    if (!recorded) {
        // In a combined video the movie is left out and the others follow.
        m_outcome.details.append(path + QStringLiteral(": not recorded: ") + reason);
        fail(m_choices.eachFile ? claimOutput(outputPath) : path, QStringLiteral("not recorded: ") + reason);
        return;
    }
    if (m_choices.eachFile)
        publishPlaying(outputPath);
}

void ConversionJob::publishPlaying(const QString &outputPath)
{
    const QString output = claimOutput(outputPath);
    QString reason;
    if (m_play->publish(output, reason))
        m_outcome.made.append(output);
    else if (!cancelled())
        fail(output, reason);
    m_play->clear();
}

QString ConversionJob::claimOutput(const QString &path)
{
    // Two sources of one job that map to one name keep both videos: the
    // later one is numbered.
    QString claimed = path;
    for (int n = 2; m_claimedOutputs.contains(claimed); ++n)
        claimed = Tools::StripExtension(path) + QStringLiteral(" (%1).mp4").arg(n);
    m_claimedOutputs.insert(claimed);
    return claimed;
}

// The output folder, or in "beside original" mode the first video's folder
// (none when no video was made).
QString ConversionJob::resultFolder() const
{
    if (m_choices.saveToFolder)
        return m_choices.folder;
    return m_outcome.made.isEmpty() ? QString() : Tools::FolderOf(m_outcome.made.constFirst());
}

QString ConversionJob::summary() const
{
    if (m_outcome.cancelled) {
        QString text = QStringLiteral("The job was cancelled.") + kCrLf + kCrLf;
        if (m_outcome.made.isEmpty()) {
            text += QStringLiteral("No video was made; older videos were kept.");
        } else {
            text += QStringLiteral("The following videos were made: ") + kCrLf;
            for (const QString &path : m_outcome.made)
                text += path + kCrLf;
        }
        return text;
    }
    QString text = QStringLiteral("Done.") + kCrLf + kCrLf;
    if (!m_outcome.noPictures.isEmpty()) {
        text += QStringLiteral("The following files: ") + kCrLf;
        for (const QString &path : m_outcome.noPictures)
            text += path + kCrLf;
        text += kCrLf + kCrLf + QStringLiteral("SWF could not be read or SWF does not contain any images to extract. ")
                + kCrLf + kCrLf
                + QStringLiteral(
                    "Please try opening these SWF files in your web browser (Google Chrome for example) to see "
                    "if they actually play like valid SWF files or have images that can be extracted.");
    } else if (m_outcome.failed.isEmpty()) {
        text += QStringLiteral("Please open with 'Media Player Classic - Home Cinema'") + kCrLf + QLatin1Char('(')
                + QLatin1String(kPlayerSite) + QLatin1Char(')');
    }
    if (!m_outcome.failed.isEmpty()) {
        if (!m_outcome.noPictures.isEmpty())
            text += kCrLf + kCrLf;
        text += QStringLiteral("The following videos could not be made: ") + kCrLf;
        for (const QString &path : m_outcome.failed) {
            const QString reason = m_outcome.reasons.value(path);
            text += path + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason) + kCrLf;
        }
    }
    if (!m_outcome.partlyRead.isEmpty()) {
        text += kCrLf + kCrLf + QStringLiteral("The following files could only be read in part: ") + kCrLf;
        for (const QString &path : m_outcome.partlyRead)
            text += path + kCrLf;
    }
    return text;
}

QString ConversionJob::details() const
{
    return m_outcome.details.join(QLatin1Char('\n'));
}

} // namespace Pipeline
