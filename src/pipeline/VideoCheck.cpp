#include "VideoCheck.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
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

// How far a video's length may stray: one frame, and never less than 0.1 s.
double Tolerance(int frames, double seconds)
{
    const double frameSeconds = frames > 0 ? seconds / frames : seconds;
    return std::max(frameSeconds, 0.1);
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

QString JudgeVideo(const PacketCount &read, int frames, double seconds, bool withSound)
{
    const QString problem = FirstLine(read.firstError);
    if (!read.opened)
        return problem.isEmpty() ? QStringLiteral("the new video cannot be read") : problem;
    if (read.videoPackets < 0)
        return QStringLiteral("the new video has no picture stream");
    if (read.videoPackets != frames)
        return QStringLiteral("the new video holds %1 of %2 frames%3")
            .arg(read.videoPackets)
            .arg(frames)
            .arg(problem.isEmpty() ? QString() : QStringLiteral(" (") + problem + QLatin1Char(')'));
    if (!(std::fabs(read.duration - seconds) <= Tolerance(frames, seconds)))
        return QStringLiteral("the new video lasts %1 s instead of %2 s")
            .arg(read.duration, 0, 'f', 2)
            .arg(seconds, 0, 'f', 2);
    if (withSound && !read.audio)
        return QStringLiteral("the new video has no sound");
    return QString();
}

QString JudgeFedSound(const PacketCount &read, int frames, double seconds)
{
    if (read.audioEnd >= seconds - Tolerance(frames, seconds))
        return QString();
    return QStringLiteral("the new video's sound ends at %1 s instead of %2 s")
        .arg(read.audioEnd, 0, 'f', 2)
        .arg(seconds, 0, 'f', 2);
}

QString CheckEncodedVideo(const QString &path, int frames, double seconds, bool withSound)
{
    return JudgeVideo(CountPackets(path), frames, seconds, withSound);
}

} // namespace Pipeline
