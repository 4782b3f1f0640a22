#include "VideoEncoding.h"

#include "tools/Command.h"
#include "tools/PathRoutines.h"
#include "tools/Shell32.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThread>

#include <cstdio>
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

// A fresh, unused name for the encoder's output in the output's folder, so
// the final rename stays on one file system.
QString ReserveTemporaryOutput(const QString &output)
{
    QTemporaryFile reserve(Tools::FolderOf(output) + QStringLiteral(".tarnwick-XXXXXX.mp4"));
    reserve.setAutoRemove(false);
    if (!reserve.open())
        return QString();
    return reserve.fileName();
}

} // namespace

QStringList EncoderArguments(const EncodeRequest &request, const QString &target)
{
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                     QStringLiteral("error"),        QStringLiteral("-y"),       QStringLiteral("-f"),
                     QStringLiteral("image2"),       QStringLiteral("-r"),       request.rate,
                     QStringLiteral("-i"),           QStringLiteral("temp/image%d.jpg")};
    for (const QString &sound : request.sounds)
        args << QStringLiteral("-i") << sound;

    if (request.sounds.size() == 1) {
        args << QStringLiteral("-map") << QStringLiteral("0:v") << QStringLiteral("-map") << QStringLiteral("1:a")
             << QStringLiteral("-c:a") << QStringLiteral("copy");
    } else if (request.sounds.size() > 1) {
        // The MP4 can carry one track only: the movies' sounds are joined
        // (they may differ in rate and channels, so they are re-encoded).
        QString graph;
        for (qsizetype i = 1; i <= request.sounds.size(); ++i)
            graph += QStringLiteral("[%1:a]").arg(i);
        graph += QStringLiteral("concat=n=%1:v=0:a=1[a]").arg(request.sounds.size());
        args << QStringLiteral("-filter_complex") << graph << QStringLiteral("-map") << QStringLiteral("0:v")
             << QStringLiteral("-map") << QStringLiteral("[a]") << QStringLiteral("-c:a") << QStringLiteral("aac")
             << QStringLiteral("-b:a") << QStringLiteral("192k");
    }

    // The encoder ignores a fixed quantiser for H.264; the constant rate
    // factor is what really sets its quality.
    args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-pix_fmt")
         << QStringLiteral("yuv420p") << QStringLiteral("-crf") << QString::number(request.quality + 10)
         << QStringLiteral("-t") << QString::number(request.frameCount * request.frameSeconds, 'f', 6)
         << QStringLiteral("-movflags") << QStringLiteral("+faststart") << QStringLiteral("-f")
         << QStringLiteral("mp4") << target;
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

bool EncodeVideo(const EncodeRequest &request, const QString &workFolder)
{
    const QString target = ReserveTemporaryOutput(request.output);
    if (target.isEmpty())
        return false;

    const QString marker = workFolder + QLatin1Char('/') + QLatin1String(kMarkerName);
    const QString script = workFolder + QLatin1Char('/') + QLatin1String(kScriptName);
    bool made = WriteText(marker, QStringLiteral("jpg2avi\n"))
        && WriteText(script, EncoderScript(request.encoder, EncoderArguments(request, target)));
    if (made) {
        const int status = Tools::ShellOpenAndWait(QLatin1String(kScriptName), workFolder);
        made = status == 0;
        // The script removes the marker as its last act; a script that never
        // ran leaves it, so the wait is bounded.
        QElapsedTimer waited;
        waited.start();
        while (Tools::FileExists(marker) && waited.elapsed() < kMarkerGraceMilliseconds) {
            if (QCoreApplication::instance())
                QCoreApplication::processEvents();
            QThread::msleep(10);
        }
        Tools::DeleteFiles(marker);
    }

    made = made && QFileInfo(target).size() > 0;
    if (made) {
        // The reserved name was private (0600); the video gets the usual
        // permissions of a new file. rename(2) replaces an older one in one step.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(QFile::encodeName(target).constData(), 0666 & ~mask);
        made = std::rename(QFile::encodeName(target).constData(), QFile::encodeName(request.output).constData()) == 0;
    }
    if (!made)
        QFile::remove(target);
    return made;
}

} // namespace Pipeline
