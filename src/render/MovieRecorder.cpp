#include "MovieRecorder.h"

#include "CaptureServer.h"
#include "ChromiumLaunch.h"
#include "GroupUsage.h"
#include "RecordLength.h"
#include "RecordPlan.h"

#include "tools/ProcessRunner.h"
#include "tools/ToolDeployment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <deque>

namespace Render {

namespace {

constexpr int BytesPerSample = 8; // stereo float32
constexpr int OutputSampleRate = 44100;
// The player plays a buffer one buffer after mixing it, and a sound started
// in a frame is mixed into the buffer after the one mixed as the frame
// began (the frames fall on buffer boundaries, see AudioRateFor): every
// sound comes out two buffers late, whatever its codec.
constexpr int MixBuffersLate = 2;
constexpr int MixBufferSamples = 2048;
// Quieter than this is silence (about -80 dB).
constexpr float AudibleLevel = 1e-4f;
// A recording cut short is kept when it is at least this long.
constexpr double MinKeptSeconds = 1.0;
constexpr int MaxPresses = 3;
// Frames the encoder may have waiting before the page is held back.
constexpr int EncoderBacklogFrames = 4;
// Steps the page takes after the last frame, for the sound mixed late.
constexpr int FlushSteps = 3;
// A step that takes this many times the watchdog's processor time in wall
// time is stuck however busy the machine is.
constexpr int StepWallFactor = 6;

QString Ffmpeg()
{
    return Tools::LocateFfmpeg();
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

double SoundDelaySeconds(const RecordPlan &plan)
{
    return MixBuffersLate * MixBufferSamples / plan.audioRate;
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

// The page's config.json: the frame, the clock, the renderer, the
// background and the buttons it may press, in frame pixels.
QByteArray PageConfig(const MovieFacts &movie, const RecordPlan &plan)
{
    QJsonArray buttons;
    for (const QPointF &b : movie.buttons)
        buttons.append(QJsonObject{{QStringLiteral("x"), b.x() * plan.frame.width() / movie.widthPx},
                                   {QStringLiteral("y"), b.y() * plan.frame.height() / movie.heightPx}});
    const QJsonObject config{
        {QStringLiteral("width"), plan.frame.width()},
        {QStringLiteral("height"), plan.frame.height()},
        {QStringLiteral("frameRate"), plan.frameRate},
        // A safety net only: the recorder says when to stop.
        {QStringLiteral("maxFrames"), std::ceil(plan.capSeconds * plan.frameRate) + 1},
        {QStringLiteral("flushSteps"), FlushSteps},
        {QStringLiteral("sampleRate"), plan.audioRate},
        {QStringLiteral("renderer"), plan.fullRenderer ? QStringLiteral("wgpu-webgl") : QStringLiteral("canvas")},
        {QStringLiteral("background"), movie.background},
        {QStringLiteral("buttons"), buttons},
        {QStringLiteral("maxPresses"), MaxPresses},
        // A second without change counts as standing still.
        {QStringLiteral("stillFrames"), std::max(2, int(plan.frameRate + 0.5))},
    };
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
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

// The frames on their way to the encoder: each picture with the number of
// frames it fills, written as fast as the encoder takes them.
class FrameQueue
{
public:
    FrameQueue(Tools::ChildProcess &encoder, qint64 frameBytes)
        : m_encoder(encoder)
        , m_frameBytes(frameBytes)
    {
    }
    void add(const QByteArray &pixels, int count)
    {
        if (count <= 0)
            return;
        if (!m_queue.empty() && m_queue.back().first.isSharedWith(pixels))
            m_queue.back().second += count;
        else
            m_queue.emplace_back(pixels, count);
        m_queued += count;
        pump();
    }
    // Writes while the encoder's backlog allows.
    void pump()
    {
        while (!m_queue.empty() && !backlogged()) {
            m_encoder.process().write(m_queue.front().first);
            if (--m_queue.front().second == 0)
                m_queue.pop_front();
        }
    }
    // Writes the rest, waiting for the encoder.
    void drain()
    {
        while (!m_queue.empty() && m_encoder.running()) {
            pump();
            m_encoder.process().waitForBytesWritten(1000);
        }
    }
    bool waiting() const { return !m_queue.empty() || backlogged(); }
    int queued() const { return m_queued; } // frames given, written or not

private:
    bool backlogged() const { return m_encoder.process().bytesToWrite() > EncoderBacklogFrames * m_frameBytes; }

    Tools::ChildProcess &m_encoder;
    const qint64 m_frameBytes;
    std::deque<std::pair<QByteArray, int>> m_queue;
    int m_queued = 0;
};

// One recording as it runs: the page's frames go to the encoder and its
// sound to the sound file until RecordLength says the movie has ended,
// Chromium or the encoder ends, a step stalls or the job is cancelled.
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
        , m_frames(encoder, frameBytes)
        , m_length(request.movie, plan.frameRate, plan.capSeconds)
        , m_delaySamples(qRound64(SoundDelaySeconds(plan) * plan.audioRate))
    {
        m_sinceStep.start();
    }

    // Hands what the page sends to this recording.
    void serve(CaptureServer &server)
    {
        server.framesWaiting = [this] { return m_frames.waiting(); };
        server.frameAnswer = [this] { return m_length.done() ? QByteArray("stop") : QByteArray("go"); };
        server.onFrame = [this](int index, const QByteArray &pixels) { takeFrame(index, pixels); };
        server.onSound = [this](qint64 at, const QByteArray &samples) { takeSound(at, samples); };
        server.onEvent = [this](const QJsonObject &event) { takeEvent(event); };
        QObject::connect(&m_encoder.process(), &QProcess::bytesWritten, &m_loop, [this, &server] {
            m_frames.pump();
            server.releaseFrames();
        });
    }

    // Starts Chromium on the page and records until the recording ends;
    // false when Chromium did not start.
    bool play(const ChromiumLaunch &launch, const QDir &work)
    {
        Tools::ChildProcess player(launch.command(FindChromium()));
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
        if (m_stop == StopReason::Finished || m_length.done())
            m_frames.drain();
        return true;
    }

    StopReason stop() const { return m_stop; }
    const QString &stopDetail() const { return m_stopDetail; }
    const RecordLength &length() const { return m_length; }
    int framesGiven() const { return m_frames.queued(); }
    // Any sound above silence came from the player.
    bool heard() const { return m_heard; }
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
        if (m_ended || m_length.done() || pixels.size() != m_frameBytes || index != m_received)
            return;
        ++m_received;
        m_sinceStep.restart();
        m_stepCpu = m_playerUsage.cpuSeconds();
        const bool changed = m_pictures.add(pixels);
        m_length.frame(index, changed, m_pictures.repeating(), m_soundUntil);
        // A still frame past what a stop would keep waits, as a count of
        // copies of the picture before it, until the movie goes on.
        const int given = m_frames.queued();
        if (m_length.done()) {
            m_frames.add(m_last, std::min(index, m_length.framesKept()) - given);
            if (m_frames.queued() < m_length.framesKept())
                m_frames.add(pixels, 1);
        } else if (changed || index < m_length.firstDroppable()) {
            m_frames.add(m_last, index - given);
            m_frames.add(pixels, 1);
        }
        m_last = pixels;
        if (m_request.progress)
            m_request.progress(m_length.done() ? m_length.framesKept() : m_received, m_length.plannedFrames());
    }

    void takeSound(qint64 at, const QByteArray &samples)
    {
        if (m_ended || at < 0 || samples.size() % BytesPerSample != 0)
            return;
        const float *values = reinterpret_cast<const float *>(samples.constData());
        for (qsizetype i = samples.size() / 4 - 1; i >= 0; --i) {
            if (std::abs(values[i]) > AudibleLevel) {
                m_heard = true;
                const double until = double(at + i / 2 + 1 - m_delaySamples) / m_plan.audioRate;
                m_soundUntil = std::max(m_soundUntil, until);
                break;
            }
        }
        // Sound never reaches past the cap (plus a second).
        WriteSoundAt(m_sound, at, samples, qint64((m_plan.capSeconds + 1) * m_plan.audioRate) + m_delaySamples);
    }

    void takeEvent(const QJsonObject &event)
    {
        const QString kind = event.value(QStringLiteral("kind")).toString();
        if (kind == QStringLiteral("ready")) {
            m_ready = true;
            m_sinceStep.restart();
            m_stepCpu = m_playerUsage.cpuSeconds();
            m_result.fullRenderer = event.value(QStringLiteral("renderer")).toString() == QStringLiteral("webgl");
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
            const qint64 waited = m_sinceStep.elapsed();
            const double stepCpuMs = (m_playerUsage.cpuSeconds() - m_stepCpu) * 1000;
            if (CancelAsked(m_request))
                end(StopReason::Cancelled);
            else if (!m_ready && waited > m_request.startTimeoutMs)
                end(StopReason::PlayerDied,
                    QStringLiteral("the player did not start within %1 s").arg(m_request.startTimeoutMs / 1000));
            else if (m_ready && !m_frames.waiting()
                     && (stepCpuMs > m_request.stepTimeoutMs
                         || waited > qint64(StepWallFactor) * m_request.stepTimeoutMs))
                end(StopReason::StepTimeout, QStringLiteral("frame %1 took more than %2 s")
                                                 .arg(m_received + 1)
                                                 .arg(m_request.stepTimeoutMs / 1000));
            if (m_frames.waiting())
                m_sinceStep.restart(); // the encoder, not the player, is behind
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
    FrameQueue m_frames;
    PictureHistory m_pictures;
    RecordLength m_length;
    const qint64 m_delaySamples;
    QByteArray m_last;
    int m_received = 0;
    double m_soundUntil = 0;
    bool m_heard = false;
    QEventLoop m_loop;
    QElapsedTimer m_sinceStep;
    double m_stepCpu = 0;
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
QString JudgeRecording(RecordResult &result, const Session &session, const RecordPlan &plan, bool encoded,
                       const QString &encoderLog)
{
    StopReason stop = session.stop();
    const RecordLength &length = session.length();
    // Once the rule has ended the recording, the player's own end (or a
    // stall while it sends the last sound) takes nothing from it.
    if (length.done() && stop != StopReason::Cancelled && stop != StopReason::Failed)
        stop = length.capped() ? StopReason::FrameCap : StopReason::Finished;
    if (stop == StopReason::Finished && !length.done())
        stop = StopReason::PlayerDied;
    result.stop = stop;
    result.framesRecorded = session.framesGiven();
    result.seconds = result.framesRecorded / plan.frameRate;
    const QString detail = session.stopDetail();
    const QString why = StopReasonText(stop) + (detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
    if (stop == StopReason::Cancelled)
        return why;
    if (!encoded || result.framesRecorded == 0)
        return result.framesRecorded == 0 ? QStringLiteral("nothing was recorded (%1)").arg(why)
                                          : QStringLiteral("FFmpeg could not encode the frames: ") + encoderLog;
    if (stop == StopReason::Finished || stop == StopReason::FrameCap) {
        result.ended = length.why();
        result.notes << QStringLiteral("recorded %1 s: %2").arg(LengthText(result.seconds), length.why());
        return QString();
    }
    if (result.seconds < MinKeptSeconds)
        return QStringLiteral("only %1 s recorded (%2)").arg(Seconds(result.seconds), why);
    result.ended = why;
    result.notes << QStringLiteral("recording stopped after frame %1 (%2 s): %3")
                        .arg(result.framesRecorded)
                        .arg(Seconds(result.seconds), why);
    return QString();
}

// Writes the MP4: the video as encoded, with the sound moved back by the
// player's delay. Returns why it was not written, or empty.
QString WriteVideo(const RecordRequest &request, const RecordPlan &plan, const QString &videoPath,
                   const QString &soundPath, bool heard, RecordResult &result, const QDir &work)
{
    QFile::remove(request.outputPath);
    QStringList mux = {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                       QStringLiteral("-y"),           QStringLiteral("-i"),        videoPath};
    // The player mixes silence when nothing plays: a silent movie stays silent.
    result.hasSound = heard && QFileInfo(soundPath).size() > 0;
    if (result.hasSound) {
        mux << QStringLiteral("-ss") << QString::number(SoundDelaySeconds(plan), 'f', 6) << QStringLiteral("-f")
            << QStringLiteral("f32le") << QStringLiteral("-ar") << QString::number(plan.audioRate, 'f', 0)
            << QStringLiteral("-ac") << QStringLiteral("2") << QStringLiteral("-i") << soundPath
            << QStringLiteral("-map") << QStringLiteral("0:v") << QStringLiteral("-map") << QStringLiteral("1:a")
            << QStringLiteral("-af") << QStringLiteral("apad") << QStringLiteral("-ar")
            << QString::number(OutputSampleRate) << QStringLiteral("-c:a") << QStringLiteral("aac")
            << QStringLiteral("-b:a") << QStringLiteral("192k") << QStringLiteral("-t")
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
    case StopReason::FrameCap: return QStringLiteral("length limit reached");
    case StopReason::Cancelled: return QStringLiteral("cancelled");
    case StopReason::StepTimeout: return QStringLiteral("a frame took too long (the movie may be stuck in a script)");
    case StopReason::PlayerDied: return QStringLiteral("the player stopped");
    case StopReason::Failed: return QStringLiteral("failed");
    }
    return {};
}

QString MovieRecorder::MissingParts(const QString &assetsFolder)
{
    if (FindChromium().isEmpty())
        return QStringLiteral("Recording a movie as it plays needs Chromium: install the Debian package chromium");
    if (!QFileInfo::exists(PlayerFolder(assetsFolder) + QStringLiteral("/ruffle.js")))
        return QStringLiteral("Recording a movie as it plays needs the Ruffle player, which is missing from %1: "
                              "run scripts/install-deps (it installs it with npm) and build again")
            .arg(QDir::toNativeSeparators(PlayerFolder(assetsFolder)));
    if (!QFileInfo::exists(assetsFolder + QStringLiteral("/record.html")))
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
    const RecordPlan plan = PlanRecording(request.movie, request);
    if (!plan.ok)
        return fail(plan.error);
    result.notes << plan.notes;
    result.width = plan.frame.width();
    result.height = plan.frame.height();
    result.frameRate = plan.frameRate;
    if (request.movie.actionScript3)
        result.notes << QStringLiteral("ActionScript 3 movie: the player may not support all of it");

    QDir work(request.workFolder);
    ChromiumLaunch launch{work.filePath(QStringLiteral("chromium")), plan.frame, plan.fullRenderer, QString()};
    if (!work.mkpath(QStringLiteral(".")) || !launch.makeFolders())
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

    CaptureServer server({request.assetsFolder, PlayerFolder(request.assetsFolder), request.swfPath,
                          PageConfig(request.movie, plan), frameBytes + (1 << 20)});
    Session session(request, plan, result, encoder, sound, frameBytes);
    session.serve(server);
    if (!server.listen())
        return fail(QStringLiteral("cannot open a local port for the player"));
    launch.pageUrl = server.pageUrl();
    if (!session.play(launch, work))
        return fail(QStringLiteral("Chromium did not start"));
    sound.close();
    if (plan.fullRenderer && !result.fullRenderer)
        result.notes << QStringLiteral("WebGL could not start: drawn by the canvas renderer, without filters and "
                                       "blend modes");

    QString encoderLog;
    const bool encoded = FinishEncoding(encoder, encoderLog);
    result.cpuSeconds = session.cpuSeconds();
    result.peakMemoryMb = session.peakMemoryMb();
    encoder.stop();

    const QString why = JudgeRecording(result, session, plan, encoded, encoderLog);
    if (!why.isEmpty())
        return fail(why);
    const QString unwritten = WriteVideo(request, plan, videoPath, soundPath, session.heard(), result, work);
    if (!unwritten.isEmpty())
        return fail(unwritten);
    QFile::remove(videoPath);
    QFile::remove(soundPath);
    result.ok = true;
    return result;
}

} // namespace Render
