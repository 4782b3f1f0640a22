#include "MediaProbe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

MediaProbe ProbeMedia(const QString &path)
{
    MediaProbe probe;
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                   QStringLiteral("-show_format"), QStringLiteral("-show_streams"), QStringLiteral("-of"),
                   QStringLiteral("json"), path});
    if (!ffprobe.waitForFinished(120000) || ffprobe.exitCode() != 0)
        return probe;
    const QJsonObject root = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    probe.duration =
        root.value(QStringLiteral("format")).toObject().value(QStringLiteral("duration")).toString().toDouble();
    for (const QJsonValue &value : root.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        const QString type = stream.value(QStringLiteral("codec_type")).toString();
        if (type == QLatin1String("video")) {
            probe.width = stream.value(QStringLiteral("width")).toInt();
            probe.height = stream.value(QStringLiteral("height")).toInt();
            probe.videoCodec = stream.value(QStringLiteral("codec_name")).toString();
            probe.pixelFormat = stream.value(QStringLiteral("pix_fmt")).toString();
            probe.videoFrames = stream.value(QStringLiteral("nb_read_frames")).toString().toInt();
        } else if (type == QLatin1String("audio")) {
            probe.hasAudio = true;
            probe.audioCodec = stream.value(QStringLiteral("codec_name")).toString();
            probe.audioDuration = stream.value(QStringLiteral("duration")).toString().toDouble();
            probe.audioChannels = stream.value(QStringLiteral("channels")).toInt();
        }
    }
    probe.ok = true;
    return probe;
}

bool RunFfmpeg(const QStringList &arguments)
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                             QStringLiteral("error"), QStringLiteral("-y")}
                     + arguments);
    return ffmpeg.waitForFinished(300000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

bool MakeFfmpegSwf(const QString &path, int width, int height, int pictures, double soundSeconds, bool jpeg)
{
    QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("testsrc=size=%1x%2:rate=2").arg(width).arg(height)};
    if (soundSeconds > 0) {
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine=frequency=440:sample_rate=22050:duration=%1").arg(soundSeconds)
             << QStringLiteral("-c:a") << QStringLiteral("libmp3lame") << QStringLiteral("-ar")
             << QStringLiteral("22050");
    }
    if (jpeg)
        args << QStringLiteral("-c:v") << QStringLiteral("mjpeg");
    args << QStringLiteral("-frames:v") << QString::number(pictures) << QStringLiteral("-f") << QStringLiteral("swf")
         << path;
    return RunFfmpeg(args);
}
