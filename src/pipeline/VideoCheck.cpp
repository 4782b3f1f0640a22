#include "VideoCheck.h"

#include "tools/CmdOutput.h"
#include "tools/ProcessRunner.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <cmath>

namespace Pipeline {

namespace {

QString FirstLine(const QString &text)
{
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            return trimmed;
    }
    return QString();
}

} // namespace

QString LocateProber(const QString &encoder)
{
    const QFileInfo real(QFileInfo(encoder).canonicalFilePath());
    if (!real.filePath().isEmpty()) {
        const QFileInfo beside(real.absolutePath() + QStringLiteral("/ffprobe"));
        if (beside.isExecutable())
            return beside.filePath();
    }
    return QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
}

QString CheckEncodedVideo(const QString &prober, const QString &path, int frames, double seconds, bool withSound)
{
    if (prober.isEmpty())
        return QStringLiteral("ffprobe was not found to check the new video");
    // Counting the packets reads the file to its end, so a video whose data
    // was cut short is found even when its index is whole.
    QString errors;
    const QString json = Tools::RunCaptured(
        Tools::Command{prober,
                       {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_packets"),
                        QStringLiteral("-show_entries"),
                        QStringLiteral("stream=codec_type,nb_read_packets:format=duration"), QStringLiteral("-of"),
                        QStringLiteral("json"), path},
                       QString()},
        true, false, true, &errors);
    const QString problem = FirstLine(errors);
    const QJsonObject root = QJsonDocument::fromJson(json.toUtf8()).object();
    if (root.isEmpty())
        return problem.isEmpty() ? QStringLiteral("the new video cannot be read") : problem;

    int videoPackets = -1;
    bool audio = false;
    for (const QJsonValue &value : root.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        const QString type = stream.value(QStringLiteral("codec_type")).toString();
        if (type == QLatin1String("video") && videoPackets < 0)
            videoPackets = stream.value(QStringLiteral("nb_read_packets")).toString().toInt();
        else if (type == QLatin1String("audio"))
            audio = true;
    }
    if (videoPackets < 0)
        return QStringLiteral("the new video has no picture stream");
    if (videoPackets != frames)
        return QStringLiteral("the new video holds %1 of %2 frames%3")
            .arg(videoPackets)
            .arg(frames)
            .arg(problem.isEmpty() ? QString() : QStringLiteral(" (") + problem + QLatin1Char(')'));
    const double duration =
        root.value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble();
    const double frameSeconds = frames > 0 ? seconds / frames : seconds;
    if (!(std::fabs(duration - seconds) <= std::max(frameSeconds, 0.1)))
        return QStringLiteral("the new video lasts %1 s instead of %2 s")
            .arg(duration, 0, 'f', 2)
            .arg(seconds, 0, 'f', 2);
    if (withSound && !audio)
        return QStringLiteral("the new video has no sound");
    return QString();
}

} // namespace Pipeline
