#include "EmbeddedVideos.h"

#include "tools/CmdOutput.h"
#include "tools/PathRoutines.h"

#include "tarnwick/Limits.h"

#include <QFile>

#include <algorithm>

namespace Pipeline {

namespace {

QString VideoStem(const MoviePart &movie, int id)
{
    return QStringLiteral("vid%1_%2_").arg(movie.position).arg(id);
}

} // namespace

void DecodeEmbeddedVideos(JobContext &job, MoviePart &movie, const ExtractorRun &run)
{
    const QString encoder = job.run.encoder;
    const QString prober = LocateProber(encoder);
    for (const TimelineVideo &video : movie.report->videos) {
        if (!video.firstFrame || job.cancelled())
            continue;
        const QString flv = job.tempFile(QStringLiteral("video%1_%2.flv").arg(movie.position).arg(video.id));
        const QString stem = VideoStem(movie, video.id);
        run({QStringLiteral("--video"), QString::number(video.id), movie.source, QStringLiteral("-o"), flv});
        VideoOnStage onStage{video.id, *video.firstFrame, {}};
        if (Tools::FileExists(flv) && !prober.isEmpty()) {
            const int limit = int(
                std::min<qint64>(std::max<qint64>(video.frames, 1), Tarnwick::kMaxEmbeddedVideoFrames));
            Tools::RunCaptured(
                Tools::Command{encoder,
                               {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                QStringLiteral("-i"), flv, QStringLiteral("-fps_mode"), QStringLiteral("passthrough"),
                                QStringLiteral("-frames:v"), QString::number(limit), QStringLiteral("-q:v"),
                                QStringLiteral("2"), job.pictureFile(stem + QStringLiteral("%d.jpg"))},
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
                if (!Tools::FileExists(job.pictureFile(stem + QStringLiteral("%1.jpg").arg(k + 1))))
                    break;
                onStage.frameTimes.append(NumberOf(times.at(k).section(QLatin1Char(','), 0, 0)));
            }
        }
        Tools::DeleteFiles(flv);
        if (onStage.frameTimes.isEmpty())
            job.outcome().details.append(QStringLiteral("%1: its video %2 could not be decoded and was left out.")
                                             .arg(movie.source)
                                             .arg(video.id));
        else
            movie.videos.append(onStage);
    }
}

int StageVideoFrames(JobContext &job, MoviePart &movie, int after)
{
    int staged = 0;
    const bool shown = movie.timing && !movie.timing->fallBack;
    for (const VideoOnStage &video : movie.videos) {
        const QString stem = VideoStem(movie, video.id);
        for (qsizetype k = 0; k < video.frameTimes.size(); ++k) {
            const QString decoded = job.pictureFile(stem + QStringLiteral("%1.jpg").arg(k + 1));
            if (shown && QFile::rename(decoded, job.tempFile(QStringLiteral("image%1.jpg").arg(after + staged + 1)))) {
                ++staged;
                movie.videoFrameOf.insert(VideoFrameKey{video.id, int(k)}, after + staged);
            }
        }
        Tools::DeleteFiles(job.pictureFile(stem + QStringLiteral("*.jpg")));
    }
    return staged;
}

} // namespace Pipeline
