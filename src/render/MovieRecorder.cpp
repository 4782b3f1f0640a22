#include "MovieRecorder.h"

#include "CaptureServer.h"
#include "GroupUsage.h"
#include "RecordPlan.h"
#include "SwfSummary.h"

#include "tools/ProcessRunner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

#include <unistd.h>

namespace Render {

namespace {

constexpr int SampleRate = 44100;
constexpr int BytesPerSample = 8; // stereo float32
// How late the player's sound comes out on the stepped clock, measured with
// test movies (a beep at a known frame, its onset found with silencedetect)
// at 10, 20 and 24 frames a second. An event sound waits for the next of the
// mixer's 2048-sample buffers to be filled, and then for the one queued
// before it: 57 to 86 ms, 71 on average, so a 70 ms shift leaves it within
// 16 ms. A stream sound is mixed as its frame plays and came out 86 to 89 ms
// late. The mixer mixes all sounds into one track, so a movie with both
// kinds is shifted for its stream, which carries the soundtrack.
constexpr double EventSoundDelay = 0.070;
constexpr double StreamSoundDelay = 0.088;
// A recording cut short is kept when it is at least this long.
constexpr double MinKeptSeconds = 1.0;
constexpr int MaxPresses = 3;
// Frames the encoder may have waiting before the page is held back.
constexpr int EncoderBacklogFrames = 4;

QString Chromium()
{
    for (const QString &name : {QStringLiteral("chromium"), QStringLiteral("chromium-browser")}) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

QString Ffmpeg()
{
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
}

QString PageFolder(const QString &assets)
{
    return assets;
}

QString PlayerFolder(const QString &assets)
{
    return assets + QStringLiteral("/ruffle");
}

QString Seconds(double s)
{
    return QString::number(s, 'f', 2);
}

bool CancelAsked(const RecordRequest &request)
{
    return (request.cancel && request.cancel->load()) || Tools::ChildrenCancelled();
}

// The plan's frame, rate and notes, as the result reports them.
void TakePlan(RecordResult &result, const SwfSummary &movie, const RecordPlan &plan)
{
    result.notes << plan.notes;
    result.width = plan.frame.width();
    result.height = plan.frame.height();
    result.frameRate = plan.frameRate;
    result.framesPlanned = plan.frames;
    if (movie.actionScript3)
        result.notes << QStringLiteral("ActionScript 3 movie: the player may not support all of it");
}

// The encoder reads raw RGBA frames from its standard input.
QStringList EncoderArguments(const RecordPlan &plan, int crf, const QString &videoPath)
{
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-loglevel"),
            QStringLiteral("error"),
            QStringLiteral("-y"),
            QStringLiteral("-f"),
            QStringLiteral("rawvideo"),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("rgba"),
            QStringLiteral("-s"),
            QStringLiteral("%1x%2").arg(plan.frame.width()).arg(plan.frame.height()),
            QStringLiteral("-framerate"),
            QString::number(plan.frameRate, 'g', 10),
            QStringLiteral("-i"),
            QStringLiteral("-"),
            QStringLiteral("-c:v"),
            QStringLiteral("libx264"),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"),
            QStringLiteral("-preset"),
            QStringLiteral("veryfast"),
            QStringLiteral("-crf"),
            QString::number(crf),
            QStringLiteral("-f"),
            QStringLiteral("mp4"),
            videoPath};
}

// The page's config.json: the frame, the clock, the background and the
// buttons it may press, in frame pixels.
QByteArray PageConfig(const SwfSummary &movie, const RecordPlan &plan)
{
    QJsonArray buttons;
    for (const QPointF &b : movie.buttons)
        buttons.append(QJsonObject{{QStringLiteral("x"), b.x() * plan.frame.width() / movie.widthPx},
                                   {QStringLiteral("y"), b.y() * plan.frame.height() / movie.heightPx}});
    const QJsonObject config{
        {QStringLiteral("width"), plan.frame.width()},
        {QStringLiteral("height"), plan.frame.height()},
        {QStringLiteral("frameRate"), plan.frameRate},
        {QStringLiteral("frames"), plan.frames},
        {QStringLiteral("sampleRate"), SampleRate},
        {QStringLiteral("background"), movie.background},
        {QStringLiteral("buttons"), buttons},
        {QStringLiteral("maxPresses"), MaxPresses},
        // A second without change counts as standing still.
        {QStringLiteral("stillFrames"), std::max(2, int(plan.frameRate + 0.5))},
    };
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

QStringList ChromiumArguments(const RecordPlan &plan, const QString &profile, const QString &pageUrl)
{
    QStringList arguments = {
        QStringLiteral("--headless"),
        QStringLiteral("--disable-gpu"),
        QStringLiteral("--disable-background-networking"),
        QStringLiteral("--disable-component-update"),
        QStringLiteral("--disable-sync"),
        QStringLiteral("--disable-extensions"),
        QStringLiteral("--disable-quic"),
        QStringLiteral("--disable-dev-shm-usage"),
        QStringLiteral("--no-first-run"),
        QStringLiteral("--no-default-browser-check"),
        QStringLiteral("--mute-audio"),
        // Nothing beyond the loopback: no name resolves, no proxy answers.
        QStringLiteral("--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"),
        QStringLiteral("--proxy-server=127.0.0.1:9"),
        QStringLiteral("--proxy-bypass-list=<-loopback>;127.0.0.1"),
        QStringLiteral("--force-device-scale-factor=1"),
        QStringLiteral("--window-size=%1,%2").arg(plan.frame.width()).arg(plan.frame.height()),
        QStringLiteral("--user-data-dir=%1").arg(profile),
    };
    // Chromium's sandbox cannot run as root; for anyone else it stays on.
    if (::geteuid() == 0)
        arguments << QStringLiteral("--no-sandbox");
    arguments << pageUrl;
    return arguments;
}

// Puts sound samples at sample `at` of the sound file, silence filling any
// gap before them; nothing reaches `limit` samples.
void WriteSoundAt(QFile &sound, qint64 at, const QByteArray &samples, qint64 limit)
{
    if (at >= limit)
        return;
    const qint64 pos = at * BytesPerSample;
    const QByteArray kept = samples.left((limit - at) * BytesPerSample);
    if (sound.size() < pos) {
        sound.seek(sound.size());
        sound.write(QByteArray(pos - sound.size(), '\0'));
    }
    sound.seek(pos);
    sound.write(kept);
}

// One recording as it runs: the page's frames go to the encoder and its
// sound to the sound file until the page is done, Chromium or the encoder
// ends, a step stalls or the job is cancelled.
class Session
{
public:
    Session(const RecordRequest &request, const RecordPlan &plan, RecordResult &result, Tools::ChildProcess &encoder,
            QFile &sound, qint64 frameBytes)
        : m_request(request)
        , m_plan(plan)
        , m_result(result)
        , m_encoder(encoder)
        , m_sound(sound)
        , m_frameBytes(frameBytes)
    {
        m_sinceStep.start();
    }

    // Hands what the page sends to this recording.
    void serve(CaptureServer &server)
    {
        server.framesWaiting = [this] {
            return m_encoder.process().bytesToWrite() > EncoderBacklogFrames * m_frameBytes;
        };
        server.onFrame = [this](int index, const QByteArray &pixels) { takeFrame(index, pixels); };
        server.onSound = [this](qint64 at, const QByteArray &samples) { takeSound(at, samples); };
        server.onEvent = [this](const QJsonObject &event) { takeEvent(event); };
        QObject::connect(&m_encoder.process(), &QProcess::bytesWritten, &m_loop, [&server] { server.releaseFrames(); });
    }

    // Starts Chromium on the page and records until the recording ends;
    // false when Chromium did not start.
    bool play(const QString &pageUrl, const QDir &work)
    {
        Tools::ChildProcess player(Tools::Command{
            Chromium(), ChromiumArguments(m_plan, work.filePath(QStringLiteral("player-profile")), pageUrl),
            QString()});
        player.logErrorsTo(work.filePath(QStringLiteral("chromium.log")));
        if (!player.start())
            return false;
        QObject::connect(&player.process(), &QProcess::finished, &m_loop,
                         [this] { end(StopReason::PlayerDied, QStringLiteral("Chromium ended")); });
        QObject::connect(&m_encoder.process(), &QProcess::finished, &m_loop, [this] {
            end(StopReason::Failed, QStringLiteral("FFmpeg ended: ") + LastLines(m_encoder.errorTail(), 2));
        });
        watchUntilEnd(player);
        QObject::disconnect(&player.process(), nullptr, &m_loop, nullptr);
        QObject::disconnect(&m_encoder.process(), nullptr, &m_loop, nullptr);
        player.stop();
        return true;
    }

    StopReason stop() const { return m_stop; }
    const QString &stopDetail() const { return m_stopDetail; }
    double cpuSeconds() const { return m_playerUsage.cpuSeconds() + m_encoderUsage.cpuSeconds(); }
    double peakMemoryMb() const { return m_playerUsage.peakMemoryMb() + m_encoderUsage.peakMemoryMb(); }

private:
    void end(StopReason why, const QString &detail = QString())
    {
        if (m_ended)
            return;
        m_ended = true;
        // Cancel ends the children too: their end is then the cancel's.
        m_stop = CancelAsked(m_request) ? StopReason::Cancelled : why;
        m_stopDetail = detail;
        m_loop.quit();
    }

    void takeFrame(int index, const QByteArray &pixels)
    {
        if (m_ended || pixels.size() != m_frameBytes || index != m_result.framesRecorded)
            return;
        m_encoder.process().write(pixels);
        ++m_result.framesRecorded;
        m_sinceStep.restart();
        if (m_request.progress)
            m_request.progress(m_result.framesRecorded, m_plan.frames);
    }

    void takeSound(qint64 at, const QByteArray &samples)
    {
        if (m_ended || at < 0 || samples.size() % BytesPerSample != 0)
            return;
        // Sound never reaches past the planned length (plus a second).
        WriteSoundAt(m_sound, at, samples, qint64((m_plan.frames / m_plan.frameRate + 1) * SampleRate));
    }

    void takeEvent(const QJsonObject &event)
    {
        const QString kind = event.value(QStringLiteral("kind")).toString();
        if (kind == QStringLiteral("ready")) {
            m_ready = true;
            m_sinceStep.restart();
        } else if (kind == QStringLiteral("press")) {
            m_result.notes << QStringLiteral("pressed the button at %1, %2 after frame %3 (the movie stood still)")
                                  .arg(qRound(event.value(QStringLiteral("x")).toDouble()))
                                  .arg(qRound(event.value(QStringLiteral("y")).toDouble()))
                                  .arg(event.value(QStringLiteral("frame")).toInt() + 1);
        } else if (kind == QStringLiteral("done")) {
            end(StopReason::Finished);
        } else if (kind == QStringLiteral("error")) {
            end(StopReason::PlayerDied, event.value(QStringLiteral("message")).toString());
        }
    }

    // Runs the loop with the watchdog: it samples what the children use,
    // and ends the recording on cancel or when the player stalls.
    void watchUntilEnd(Tools::ChildProcess &player)
    {
        QTimer watchdog;
        watchdog.setInterval(100);
        int ticks = 0;
        QObject::connect(&watchdog, &QTimer::timeout, &m_loop, [&] {
            if (++ticks % 5 == 0) {
                m_playerUsage.sample(player.group());
                m_encoderUsage.sample(m_encoder.group());
            }
            if (CancelAsked(m_request))
                end(StopReason::Cancelled);
            else if (!m_ready && m_sinceStep.elapsed() > m_request.startTimeoutMs)
                end(StopReason::PlayerDied,
                    QStringLiteral("the player did not start within %1 s").arg(m_request.startTimeoutMs / 1000));
            else if (m_ready && m_sinceStep.elapsed() > m_request.stepTimeoutMs)
                end(StopReason::StepTimeout, QStringLiteral("frame %1 took more than %2 s")
                                                 .arg(m_result.framesRecorded + 1)
                                                 .arg(m_request.stepTimeoutMs / 1000));
        });
        watchdog.start();
        m_loop.exec();
        watchdog.stop();
        m_playerUsage.sample(player.group());
        m_encoderUsage.sample(m_encoder.group());
    }

    const RecordRequest &m_request;
    const RecordPlan &m_plan;
    RecordResult &m_result;
    Tools::ChildProcess &m_encoder;
    QFile &m_sound;
    const qint64 m_frameBytes;
    QEventLoop m_loop;
    QElapsedTimer m_sinceStep;
    GroupUsage m_encoderUsage;
    GroupUsage m_playerUsage;
    bool m_ready = false;
    bool m_ended = false;
    StopReason m_stop = StopReason::Finished;
    QString m_stopDetail;
};

// Lets the encoder finish the frames it has been given; false when it
// failed, with its last words in `log`.
bool FinishEncoding(Tools::ChildProcess &encoder, QString &log)
{
    encoder.process().closeWriteChannel();
    const bool encoded = encoder.process().waitForFinished(120000)
                         && encoder.process().exitStatus() == QProcess::NormalExit && encoder.process().exitCode() == 0;
    log = LastLines(encoder.errorTail(), 3);
    return encoded;
}

// Sets how the recording stopped and its length; returns why nothing is
// kept, or empty when the recording is kept (with a note when cut short).
QString JudgeRecording(RecordResult &result, StopReason stop, const QString &stopDetail, const RecordPlan &plan,
                       int movieFrames, bool encoded, const QString &encoderLog)
{
    if (stop == StopReason::Finished && result.framesRecorded < plan.frames)
        stop = StopReason::PlayerDied;
    if (stop == StopReason::Finished && plan.frames < movieFrames)
        stop = StopReason::FrameCap;
    result.stop = stop;
    result.seconds = result.framesRecorded / plan.frameRate;
    const QString why = StopReasonText(stop) + (stopDetail.isEmpty() ? QString() : QStringLiteral(": ") + stopDetail);
    if (stop == StopReason::Cancelled)
        return why;
    if (!encoded || result.framesRecorded == 0)
        return result.framesRecorded == 0 ? QStringLiteral("nothing was recorded (%1)").arg(why)
                                          : QStringLiteral("FFmpeg could not encode the frames: ") + encoderLog;
    if (stop != StopReason::Finished && stop != StopReason::FrameCap) {
        if (result.seconds < MinKeptSeconds)
            return QStringLiteral("only %1 s recorded (%2)").arg(Seconds(result.seconds), why);
        result.notes << QStringLiteral("recording stopped after frame %1 of %2 (%3 s): %4")
                            .arg(result.framesRecorded)
                            .arg(plan.frames)
                            .arg(Seconds(result.seconds), why);
    }
    return QString();
}

// Writes the MP4: the video as encoded, with the sound shifted by the
// player's delay for the movie's kind of sound. Returns why it was not
// written, or empty.
QString WriteVideo(const RecordRequest &request, const SwfSummary &movie, const QString &videoPath,
                   const QString &soundPath, RecordResult &result, const QDir &work)
{
    QFile::remove(request.outputPath);
    QStringList mux = {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                       QStringLiteral("-y"),           QStringLiteral("-i"),        videoPath};
    result.hasSound = (movie.eventSounds || movie.streamSound) && QFileInfo(soundPath).size() > 0;
    if (result.hasSound) {
        const double delay = movie.streamSound ? StreamSoundDelay : EventSoundDelay;
        mux << QStringLiteral("-ss") << QString::number(delay, 'f', 3) << QStringLiteral("-f")
            << QStringLiteral("f32le") << QStringLiteral("-ar") << QString::number(SampleRate) << QStringLiteral("-ac")
            << QStringLiteral("2") << QStringLiteral("-i") << soundPath << QStringLiteral("-map")
            << QStringLiteral("0:v") << QStringLiteral("-map") << QStringLiteral("1:a") << QStringLiteral("-c:a")
            << QStringLiteral("aac") << QStringLiteral("-b:a") << QStringLiteral("192k") << QStringLiteral("-t")
            << QString::number(result.seconds, 'f', 6);
    }
    mux << QStringLiteral("-c:v") << QStringLiteral("copy") << QStringLiteral("-movflags")
        << QStringLiteral("+faststart") << QStringLiteral("-f") << QStringLiteral("mp4") << request.outputPath;
    Tools::ChildProcess muxer(Tools::Command{Ffmpeg(), mux, QString()});
    muxer.logErrorsTo(work.filePath(QStringLiteral("mux.log")));
    if (!muxer.start() || !muxer.process().waitForFinished(600000) || muxer.exitCode() != 0)
        return Tools::ChildrenCancelled() ? StopReasonText(StopReason::Cancelled)
                                          : QStringLiteral("FFmpeg could not write %1: %2")
                                                .arg(request.outputPath, LastLines(muxer.errorTail(), 3));
    return QString();
}

} // namespace

QString StopReasonText(StopReason reason)
{
    switch (reason) {
    case StopReason::Finished: return QStringLiteral("finished");
    case StopReason::FrameCap: return QStringLiteral("frame limit reached");
    case StopReason::Cancelled: return QStringLiteral("cancelled");
    case StopReason::StepTimeout: return QStringLiteral("a frame took too long (the movie may be stuck in a script)");
    case StopReason::PlayerDied: return QStringLiteral("the player stopped");
    case StopReason::Failed: return QStringLiteral("failed");
    }
    return {};
}

QString MovieRecorder::MissingParts(const QString &assetsFolder)
{
    if (Chromium().isEmpty())
        return QStringLiteral("Recording a movie as it plays needs Chromium: install the Debian package chromium");
    if (!QFileInfo::exists(PlayerFolder(assetsFolder) + QStringLiteral("/ruffle.js")))
        return QStringLiteral("Recording a movie as it plays needs the Ruffle player, which is missing from %1: "
                              "run scripts/install-deps (it installs it with npm) and build again")
            .arg(QDir::toNativeSeparators(PlayerFolder(assetsFolder)));
    if (!QFileInfo::exists(PageFolder(assetsFolder) + QStringLiteral("/record.html")))
        return QStringLiteral("The recorder's page is missing from %1: reinstall Tarnwick")
            .arg(QDir::toNativeSeparators(assetsFolder));
    if (Ffmpeg().isEmpty())
        return QStringLiteral("Recording a movie needs FFmpeg: install the Debian package ffmpeg");
    return {};
}

RecordResult MovieRecorder::record(const RecordRequest &request)
{
    RecordResult result;
    const auto fail = [&result](const QString &why) {
        result.ok = false;
        result.stop = StopReason::Failed;
        result.error = why;
        return result;
    };
    const QString missing = MissingParts(request.assetsFolder);
    if (!missing.isEmpty())
        return fail(missing);
    const SwfSummary movie = ReadSwfSummaryFile(request.swfPath);
    if (!movie.ok)
        return fail(movie.error);
    const RecordPlan plan = PlanRecording(movie, request);
    if (!plan.ok)
        return fail(plan.error);
    TakePlan(result, movie, plan);

    QDir work(request.workFolder);
    if (!work.mkpath(QStringLiteral("player-profile")))
        return fail(QStringLiteral("cannot create the work folder %1").arg(request.workFolder));
    const QString videoPath = work.filePath(QStringLiteral("recorded-video.mp4"));
    const QString soundPath = work.filePath(QStringLiteral("recorded-sound.f32"));
    QFile::remove(videoPath);
    QFile::remove(soundPath);

    // The encoder takes the frames as they come.
    const qint64 frameBytes = qint64(plan.frame.width()) * plan.frame.height() * 4;
    Tools::ChildProcess encoder(Tools::Command{Ffmpeg(), EncoderArguments(plan, request.crf, videoPath), QString()});
    encoder.feedInput();
    encoder.logErrorsTo(work.filePath(QStringLiteral("encoder.log")));
    if (!encoder.start())
        return fail(QStringLiteral("FFmpeg did not start"));
    QFile sound(soundPath);
    if (!sound.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return fail(QStringLiteral("cannot write %1").arg(soundPath));

    CaptureServer server({PageFolder(request.assetsFolder), PlayerFolder(request.assetsFolder), request.swfPath,
                          PageConfig(movie, plan), frameBytes + (1 << 20)});
    Session session(request, plan, result, encoder, sound, frameBytes);
    session.serve(server);
    if (!server.listen())
        return fail(QStringLiteral("cannot open a local port for the player"));
    if (!session.play(server.pageUrl(), work))
        return fail(QStringLiteral("Chromium did not start"));
    sound.close();

    QString encoderLog;
    const bool encoded = FinishEncoding(encoder, encoderLog);
    result.cpuSeconds = session.cpuSeconds();
    result.peakMemoryMb = session.peakMemoryMb();
    encoder.stop();

    const QString why = JudgeRecording(result, session.stop(), session.stopDetail(), plan, movie.frameCount, encoded,
                                       encoderLog);
    if (!why.isEmpty())
        return fail(why);
    const QString unwritten = WriteVideo(request, movie, videoPath, soundPath, result, work);
    if (!unwritten.isEmpty())
        return fail(unwritten);
    QFile::remove(videoPath);
    QFile::remove(soundPath);
    result.ok = true;
    return result;
}

} // namespace Render
