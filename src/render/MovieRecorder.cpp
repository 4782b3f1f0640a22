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
    result.notes << plan.notes;
    result.width = plan.frame.width();
    result.height = plan.frame.height();
    result.frameRate = plan.frameRate;
    result.framesPlanned = plan.frames;
    if (movie.actionScript3)
        result.notes << QStringLiteral("ActionScript 3 movie: the player may not support all of it");

    QDir work(request.workFolder);
    if (!work.mkpath(QStringLiteral("player-profile")))
        return fail(QStringLiteral("cannot create the work folder %1").arg(request.workFolder));
    const QString videoPath = work.filePath(QStringLiteral("recorded-video.mp4"));
    const QString soundPath = work.filePath(QStringLiteral("recorded-sound.f32"));
    QFile::remove(videoPath);
    QFile::remove(soundPath);

    // The encoder takes the frames as they come.
    const qint64 frameBytes = qint64(plan.frame.width()) * plan.frame.height() * 4;
    const QStringList encoderArgs = {
        QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
        QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("rgba"),
        QStringLiteral("-s"), QStringLiteral("%1x%2").arg(plan.frame.width()).arg(plan.frame.height()),
        QStringLiteral("-framerate"), QString::number(plan.frameRate, 'g', 10), QStringLiteral("-i"),
        QStringLiteral("-"), QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-pix_fmt"),
        QStringLiteral("yuv420p"), QStringLiteral("-preset"), QStringLiteral("veryfast"), QStringLiteral("-crf"),
        QString::number(request.crf), QStringLiteral("-f"),
        QStringLiteral("mp4"), videoPath};
    Tools::ChildProcess encoder(Tools::Command{Ffmpeg(), encoderArgs, QString()});
    encoder.feedInput();
    encoder.logErrorsTo(work.filePath(QStringLiteral("encoder.log")));
    if (!encoder.start())
        return fail(QStringLiteral("FFmpeg did not start"));
    GroupUsage encoderUsage, playerUsage;

    QFile sound(soundPath);
    if (!sound.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return fail(QStringLiteral("cannot write %1").arg(soundPath));

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
    CaptureServer server({PageFolder(request.assetsFolder), PlayerFolder(request.assetsFolder), request.swfPath,
                          QJsonDocument(config).toJson(QJsonDocument::Compact), frameBytes + (1 << 20)});

    QEventLoop loop;
    QElapsedTimer sinceStep;
    sinceStep.start();
    bool ready = false, ended = false;
    StopReason stop = StopReason::Finished;
    QString stopDetail;
    const auto end = [&](StopReason why, const QString &detail = QString()) {
        if (ended)
            return;
        ended = true;
        // Cancel ends the children too: their end is then the cancel's.
        stop = (request.cancel && request.cancel->load()) || Tools::ChildrenCancelled() ? StopReason::Cancelled : why;
        stopDetail = detail;
        loop.quit();
    };

    server.framesWaiting = [&] { return encoder.process().bytesToWrite() > EncoderBacklogFrames * frameBytes; };
    server.onFrame = [&](int index, const QByteArray &pixels) {
        if (ended || pixels.size() != frameBytes || index != result.framesRecorded)
            return;
        encoder.process().write(pixels);
        ++result.framesRecorded;
        sinceStep.restart();
        if (request.progress)
            request.progress(result.framesRecorded, plan.frames);
    };
    server.onSound = [&](qint64 at, const QByteArray &samples) {
        if (ended || at < 0 || samples.size() % BytesPerSample != 0)
            return;
        // Sound never reaches past the planned length (plus a second).
        const qint64 limit = qint64((plan.frames / plan.frameRate + 1) * SampleRate);
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
    };
    server.onEvent = [&](const QJsonObject &event) {
        const QString kind = event.value(QStringLiteral("kind")).toString();
        if (kind == QStringLiteral("ready")) {
            ready = true;
            sinceStep.restart();
        } else if (kind == QStringLiteral("press")) {
            result.notes << QStringLiteral("pressed the button at %1, %2 after frame %3 (the movie stood still)")
                                .arg(qRound(event.value(QStringLiteral("x")).toDouble()))
                                .arg(qRound(event.value(QStringLiteral("y")).toDouble()))
                                .arg(event.value(QStringLiteral("frame")).toInt() + 1);
        } else if (kind == QStringLiteral("done")) {
            end(StopReason::Finished);
        } else if (kind == QStringLiteral("error")) {
            end(StopReason::PlayerDied, event.value(QStringLiteral("message")).toString());
        }
    };
    QObject::connect(&encoder.process(), &QProcess::bytesWritten, &loop, [&] { server.releaseFrames(); });
    if (!server.listen())
        return fail(QStringLiteral("cannot open a local port for the player"));

    QStringList chromiumArgs = {
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
        QStringLiteral("--user-data-dir=%1").arg(work.filePath(QStringLiteral("player-profile"))),
    };
    // Chromium's sandbox cannot run as root; for anyone else it stays on.
    if (::geteuid() == 0)
        chromiumArgs << QStringLiteral("--no-sandbox");
    chromiumArgs << server.pageUrl();
    Tools::ChildProcess player(Tools::Command{Chromium(), chromiumArgs, QString()});
    player.logErrorsTo(work.filePath(QStringLiteral("chromium.log")));
    if (!player.start())
        return fail(QStringLiteral("Chromium did not start"));
    QObject::connect(&player.process(), &QProcess::finished, &loop,
                     [&] { end(StopReason::PlayerDied, QStringLiteral("Chromium ended")); });
    QObject::connect(&encoder.process(), &QProcess::finished, &loop,
                     [&] { end(StopReason::Failed, QStringLiteral("FFmpeg ended: ") + LastLines(encoder.errorTail(), 2)); });

    QTimer watchdog;
    watchdog.setInterval(100);
    int ticks = 0;
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
        if (++ticks % 5 == 0) {
            playerUsage.sample(player.group());
            encoderUsage.sample(encoder.group());
        }
        if ((request.cancel && request.cancel->load()) || Tools::ChildrenCancelled())
            end(StopReason::Cancelled);
        else if (!ready && sinceStep.elapsed() > request.startTimeoutMs)
            end(StopReason::PlayerDied,
                QStringLiteral("the player did not start within %1 s").arg(request.startTimeoutMs / 1000));
        else if (ready && sinceStep.elapsed() > request.stepTimeoutMs)
            end(StopReason::StepTimeout,
                QStringLiteral("frame %1 took more than %2 s").arg(result.framesRecorded + 1)
                    .arg(request.stepTimeoutMs / 1000));
    });
    watchdog.start();
    loop.exec();
    watchdog.stop();
    playerUsage.sample(player.group());
    encoderUsage.sample(encoder.group());

    QObject::disconnect(&player.process(), nullptr, &loop, nullptr);
    QObject::disconnect(&encoder.process(), nullptr, &loop, nullptr);
    player.stop();
    sound.close();

    // The encoder finishes what it has been given.
    encoder.process().closeWriteChannel();
    const bool encoded = encoder.process().waitForFinished(120000) &&
                         encoder.process().exitStatus() == QProcess::NormalExit &&
                         encoder.process().exitCode() == 0;
    const QString encoderLog = LastLines(encoder.errorTail(), 3);
    result.cpuSeconds = playerUsage.cpuSeconds() + encoderUsage.cpuSeconds();
    result.peakMemoryMb = playerUsage.peakMemoryMb() + encoderUsage.peakMemoryMb();
    encoder.stop();

    if (stop == StopReason::Finished && result.framesRecorded < plan.frames)
        stop = StopReason::PlayerDied;
    if (stop == StopReason::Finished && plan.frames < movie.frameCount)
        stop = StopReason::FrameCap;
    result.stop = stop;
    result.seconds = result.framesRecorded / plan.frameRate;
    const QString why = StopReasonText(stop) + (stopDetail.isEmpty() ? QString() : QStringLiteral(": ") + stopDetail);
    if (stop == StopReason::Cancelled)
        return fail(why);
    if (!encoded || result.framesRecorded == 0)
        return fail(result.framesRecorded == 0 ? QStringLiteral("nothing was recorded (%1)").arg(why)
                                               : QStringLiteral("FFmpeg could not encode the frames: ") + encoderLog);
    if (stop != StopReason::Finished && stop != StopReason::FrameCap) {
        if (result.seconds < MinKeptSeconds)
            return fail(QStringLiteral("only %1 s recorded (%2)").arg(Seconds(result.seconds), why));
        result.notes << QStringLiteral("recording stopped after frame %1 of %2 (%3 s): %4")
                            .arg(result.framesRecorded)
                            .arg(plan.frames)
                            .arg(Seconds(result.seconds), why);
    }

    // The sound, shifted by the player's delay for the movie's kind of sound.
    QFile::remove(request.outputPath);
    QStringList mux = {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                       QStringLiteral("-y"), QStringLiteral("-i"), videoPath};
    result.hasSound = (movie.eventSounds || movie.streamSound) && QFileInfo(soundPath).size() > 0;
    if (result.hasSound) {
        const double delay = movie.streamSound ? StreamSoundDelay : EventSoundDelay;
        mux << QStringLiteral("-ss") << QString::number(delay, 'f', 3) << QStringLiteral("-f")
            << QStringLiteral("f32le") << QStringLiteral("-ar") << QString::number(SampleRate)
            << QStringLiteral("-ac") << QStringLiteral("2") << QStringLiteral("-i") << soundPath
            << QStringLiteral("-map") << QStringLiteral("0:v") << QStringLiteral("-map") << QStringLiteral("1:a")
            << QStringLiteral("-c:a") << QStringLiteral("aac") << QStringLiteral("-b:a") << QStringLiteral("192k")
            << QStringLiteral("-t") << QString::number(result.seconds, 'f', 6);
    }
    mux << QStringLiteral("-c:v") << QStringLiteral("copy") << QStringLiteral("-movflags")
        << QStringLiteral("+faststart") << QStringLiteral("-f") << QStringLiteral("mp4") << request.outputPath;
    Tools::ChildProcess muxer(Tools::Command{Ffmpeg(), mux, QString()});
    muxer.logErrorsTo(work.filePath(QStringLiteral("mux.log")));
    if (!muxer.start() || !muxer.process().waitForFinished(600000) || muxer.exitCode() != 0)
        return fail(Tools::ChildrenCancelled()
                        ? StopReasonText(StopReason::Cancelled)
                        : QStringLiteral("FFmpeg could not write %1: %2")
                              .arg(request.outputPath, LastLines(muxer.errorTail(), 3)));
    QFile::remove(videoPath);
    QFile::remove(soundPath);
    result.ok = true;
    return result;
}

} // namespace Render
