#include "VideoEncoding.h"

#include "FrameNormalisation.h"
#include "MovieTiming.h"
#include "OutputFolder.h"
#include "Soundtrack.h"
#include "VideoCheck.h"

#include "tools/Command.h"
#include "tools/PathRoutines.h"
#include "tools/ProgressSink.h"
#include "tools/ProcessRunner.h"
#include "tools/Shell32.h"
#include "tools/StopCleanup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sys/stat.h>

namespace Pipeline {

namespace {

// How long the marker may outlive the script before the wait gives up.
constexpr int kMarkerGraceMilliseconds = 5000;

bool WriteText(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = QFile::encodeName(text);
    return file.write(bytes) == bytes.size();
}

// The encoder is started by the script's shell; setpriv hands it the
// parent-death signal too, so that it does not outlive a killed job.
Tools::Command ScriptCommand(const QString &encoder, const QStringList &arguments)
{
    static const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        return Tools::Command{encoder, arguments, QString()};
    return Tools::Command{
        setpriv, QStringList{QStringLiteral("--pdeathsig"), QStringLiteral("KILL"), encoder} + arguments, QString()};
}

} // namespace

QStringList EncoderArguments(const EncodeRequest &request, const QString &target)
{
    const bool timed = !request.frameList.isEmpty();
    const QString seconds = QString::number(request.seconds(), 'f', 6);
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                     QStringLiteral("error"), QStringLiteral("-y")};
    if (timed) {
        args << ConcatInputArguments(request.frameList);
    } else {
        args << QStringLiteral("-f") << QStringLiteral("image2") << QStringLiteral("-r") << request.rate
             << QStringLiteral("-i") << QStringLiteral("temp/image%d.jpg");
    }
    if (!request.progressFile.isEmpty())
        args << QStringLiteral("-progress") << request.progressFile;
    // Timed frames end with a repeated last picture that an output length
    // would drop: the sound is cut on its way in instead.
    const QStringList cut = timed ? QStringList{QStringLiteral("-t"), seconds} : QStringList();
    for (const QString &sound : request.sounds)
        args << cut << QStringLiteral("-i") << sound;

    if (request.soundFeed) {
        args << cut << QStringLiteral("-f") << QLatin1String(kSoundFeedFormat) << QStringLiteral("-i")
             << QStringLiteral("pipe:0") << QStringLiteral("-map") << QStringLiteral("0:v") << QStringLiteral("-map")
             << QStringLiteral("1:a") << SoundtrackCodecArguments();
    } else if (request.sounds.size() == 1) {
        args << QStringLiteral("-map") << QStringLiteral("0:v") << QStringLiteral("-map") << QStringLiteral("1:a");
        if (IsSoundtrackFile(request.sounds.first()))
            args << SoundtrackCodecArguments();
        else
            args << QStringLiteral("-c:a") << QStringLiteral("copy");
    } else if (request.sounds.size() > 1) {
        // The MP4 can carry one track only: the movies' sounds are joined
        // (they may differ in rate and channels, so they are re-encoded).
        QString graph;
        for (qsizetype i = 1; i <= request.sounds.size(); ++i)
            graph += QStringLiteral("[%1:a]").arg(i);
        graph += QStringLiteral("concat=n=%1:v=0:a=1[a]").arg(request.sounds.size());
        args << QStringLiteral("-filter_complex") << graph << QStringLiteral("-map") << QStringLiteral("0:v")
             << QStringLiteral("-map") << QStringLiteral("[a]") << SoundtrackCodecArguments();
    }

    if (request.fitTo.isValid())
        args << QStringLiteral("-vf") << FitFilter(request.fitTo);
    // The encoder ignores a fixed quantiser for H.264; the constant rate
    // factor is what really sets its quality.
    args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-pix_fmt")
         << QStringLiteral("yuv420p") << QStringLiteral("-crf") << QString::number(request.quality + 10);
    if (timed)
        args << VariableFrameArguments();
    else
        args << QStringLiteral("-t") << seconds;
    args << QStringLiteral("-movflags") << QStringLiteral("+faststart") << QStringLiteral("-f") << QStringLiteral("mp4")
         << target;
    return args;
}

QString EncoderScript(const QString &encoder, const QStringList &arguments)
{
    const Tools::Command command{encoder, arguments, QString()};
    // The encoder's status is kept past the marker's removal so the job can
    // tell a failed encode from a finished one.
    return command.toShellText() + QStringLiteral("\nstatus=$?\nrm -f ") + QLatin1String(kMarkerName)
           + QStringLiteral("\nexit $status\n");
}

bool ReplaceWithTemporary(const QString &target, const QString &output, QString *reason)
{
    // The reserved name was private (0600): a replaced video keeps the
    // older one's permissions, a new one gets those of any new file.
    const QByteArray native = QFile::encodeName(target);
    struct stat older
    {
    };
    mode_t mode = 0;
    if (::stat(QFile::encodeName(output).constData(), &older) == 0) {
        mode = older.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::chmod(native.constData(), mode);
    // rename(2) replaces an older video in one step.
    if (std::rename(native.constData(), QFile::encodeName(output).constData()) == 0)
        return true;
    if (reason)
        *reason = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

QString EncoderFailure(int status, const QString &errors)
{
    if (Tools::ChildrenCancelled())
        return QStringLiteral("cancelled");
    const QString last = Tools::LastLineOf(errors);
    return last.isEmpty() ? QStringLiteral("the encoder stopped with status %1").arg(status) : last;
}

int EncodedFrames(const QByteArray &report)
{
    const qsizetype at = report.lastIndexOf("frame=");
    if (at < 0 || (at > 0 && report.at(at - 1) != '\n'))
        return 0;
    const qsizetype end = report.indexOf('\n', at);
    if (end < 0)
        return 0; // the line is still being written
    return std::max(0, report.mid(at + 6, end - at - 6).trimmed().toInt());
}

namespace {

// Moves the bar by the share of frames the encoder has reported at every
// poll of the wait, on the thread that waits (the window's, as every other
// progress update).
class EncodeProgressClock : public Tools::PollClock
{
public:
    EncodeProgressClock(Tools::ProgressSink &bar, QString report, int frames)
        : m_bar(bar)
        , m_report(std::move(report))
        , m_frames(frames)
    {
    }

    void yield() override
    {
        update();
        Tools::DefaultPollClock().yield();
    }

    void pause(QProcess &process, int milliseconds) override { Tools::DefaultPollClock().pause(process, milliseconds); }

    // Reads the report once more; the encoder writes its last block as it ends.
    void update()
    {
        QFile file(m_report);
        if (m_frames > 0 && file.open(QIODevice::ReadOnly)) {
            // Only the tail matters; the report grows by a block a second.
            if (file.size() > kTail)
                file.seek(file.size() - kTail);
            const int done = std::min(EncodedFrames(file.readAll()), m_frames);
            if (done > m_shown) {
                m_shown = done;
                m_bar.setValue(100.0 * done / m_frames);
            }
        }
    }

private:
    static constexpr qint64 kTail = 4096;
    Tools::ProgressSink &m_bar;
    QString m_report;
    int m_frames;
    int m_shown = 0;
};

} // namespace

QString EncodeToTemporary(const EncodeRequest &request, const QString &workFolder, QString *reason, bool *feedFailed)
{
    if (feedFailed)
        *feedFailed = false;
    QString why;
    const auto fail = [&](const QString &text) {
        if (reason)
            *reason = text;
        return QString();
    };
    RemoveStaleTemporaries(Tools::FolderOf(request.output));
    const QString target = ReserveTemporaryOutput(request.output, &why);
    if (target.isEmpty())
        return fail(why);
    Tools::RemoveOnStop(target);

    const QString marker = workFolder + QLatin1Char('/') + QLatin1String(kMarkerName);
    const QString script = workFolder + QLatin1Char('/') + QLatin1String(kScriptName);
    EncodeRequest reported = request;
    if (request.progress && reported.progressFile.isEmpty())
        reported.progressFile = QStringLiteral("encode-progress.txt");
    const QString report = workFolder + QLatin1Char('/') + reported.progressFile;
    if (request.progress)
        Tools::DeleteFiles(report);
    const Tools::Command command = ScriptCommand(request.encoder, EncoderArguments(reported, target));
    bool made = WriteText(marker, QStringLiteral("jpg2avi\n"))
                && WriteText(script, EncoderScript(command.program, command.arguments));
    if (!made)
        why = QStringLiteral("the encoder script cannot be written in the work folder");
    if (made) {
        QString errors;
        std::optional<EncodeProgressClock> progressClock;
        if (request.progress) {
            request.progress->setValue(0);
            progressClock.emplace(*request.progress, report, request.frameCount);
        }
        Tools::PollClock &clock = progressClock ? static_cast<Tools::PollClock &>(*progressClock)
                                                : Tools::DefaultPollClock();
        std::optional<Tools::Feed> feed;
        if (request.soundFeed)
            feed = Tools::Feed{*request.soundFeed, 0, QString()};
        const int status = Tools::ShellOpenAndWait(QLatin1String(kScriptName), workFolder, clock, &errors,
                                                   feed ? &*feed : nullptr);
        if (feed && feed->exitCode != 0 && feedFailed)
            *feedFailed = true;
        if (progressClock) {
            progressClock->update();
            Tools::DeleteFiles(report);
        }
        made = status == 0;
        if (!made || Tools::ChildrenCancelled())
            why = EncoderFailure(status, errors);
        // The script removes the marker as its last act; a script that never
        // ran leaves it, so the wait is bounded.
        QElapsedTimer waited;
        waited.start();
        while (Tools::FileExists(marker) && waited.elapsed() < kMarkerGraceMilliseconds
               && !Tools::ChildrenCancelled()) {
            if (QCoreApplication::instance())
                QCoreApplication::processEvents();
            QThread::msleep(10);
        }
        Tools::DeleteFiles(marker);
    }
    if (made)
        return target;
    QFile::remove(target);
    Tools::ForgetOnStop(target);
    return fail(why);
}

QString CheckTemporaryVideo(const EncodeRequest &request, const QString &target)
{
    const PacketCount read = request.reader ? request.reader(target) : CountPackets(target);
    const QString problem = JudgeVideo(read, request.frameCount, request.seconds(), request.withSound());
    if (problem.isEmpty() && request.soundFeed)
        return JudgeFedSound(read, request.frameCount, request.seconds());
    return problem;
}

bool PublishVideo(const EncodeRequest &request, const QString &target, QString problem, QString *reason)
{
    const bool made = problem.isEmpty() && ReplaceWithTemporary(target, request.output, &problem);
    if (!made)
        QFile::remove(target);
    Tools::ForgetOnStop(target);
    if (!made && reason)
        *reason = problem;
    return made;
}

bool EncodeVideo(const EncodeRequest &request, const QString &workFolder, QString *reason)
{
    const QString target = EncodeToTemporary(request, workFolder, reason);
    return !target.isEmpty() && PublishVideo(request, target, CheckTemporaryVideo(request, target), reason);
}

} // namespace Pipeline
