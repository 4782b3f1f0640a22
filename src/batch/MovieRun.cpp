#include "MovieRun.h"

#include "BatchControls.h"

#include "pipeline/ConversionJob.h"
#include "pipeline/MediaReader.h"
#include "pipeline/TimelineReport.h"
#include "tools/CmdOutput.h"
#include "tools/Failure.h"
#include "tools/PathRoutines.h"
#include "tools/ToolDeployment.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <sys/resource.h>

namespace Batch {

namespace {

double CpuSeconds()
{
    double seconds = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        if (::getrusage(who, &usage) == 0)
            seconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                       + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return seconds;
}

// The pictures and sounds of the movie, as our extractor's timeline report
// counts them; nothing when it cannot be read.
void CountContents(const QString &extractor, const QString &movie, ReportLine &line)
{
    const Pipeline::TimelineReportResult timeline = Pipeline::ParseTimelineReport(
        Tools::RunCaptured(Tools::Command{extractor, {QStringLiteral("--timeline"), movie}, QString()}, true, false)
            .toUtf8());
    if (!timeline.ok)
        return;
    const Pipeline::TimelineReport &report = timeline.report;
    line.pictures = static_cast<int>(report.pictures.size());
    line.sounds = static_cast<int>(report.sounds.size() + report.spriteStreams.size() + (report.stream ? 1 : 0));
}

// Names the movie by its source where the job saw a link to it.
QString ShownAsSource(QString text, const MovieTask &task)
{
    if (task.input != task.source)
        text.replace(task.input, task.source);
    return text;
}

QString ModeName(const BatchOptions &options)
{
    if (options.play)
        return QStringLiteral("play");
    if (options.movie)
        return QStringLiteral("movie");
    return options.slow ? QStringLiteral("slow") : QStringLiteral("fast");
}

} // namespace

QJsonObject ReportChoices(const BatchOptions &options)
{
    QJsonObject choices{{QStringLiteral("mode"), ModeName(options)}, {QStringLiteral("quality"), options.quality}};
    // SLOW's seconds also time AS IN MOVIE's movies whose timeline shows no picture.
    if (!options.play)
        choices.insert(QStringLiteral("delay"), options.slow || options.movie ? options.seconds : options.perSecond);
    else
        choices.insert(QStringLiteral("play_fps"), options.playFps);
    choices.insert(QStringLiteral("play_height"), options.play ? QJsonValue(options.playHeight) : QJsonValue::Null);
    choices.insert(QStringLiteral("play_seconds"),
                   options.play && options.playSeconds > 0 ? QJsonValue(options.playSeconds) : QJsonValue::Null);
    return choices;
}

QStringList ChoiceArguments(const BatchOptions &options)
{
    QStringList arguments{QStringLiteral("--slow"), options.seconds};
    if (options.play) {
        arguments << QStringLiteral("--play");
        if (options.playFps > 0)
            arguments << QStringLiteral("--play-fps") << QString::number(options.playFps, 'g', 17);
        arguments << QStringLiteral("--play-height") << QString::number(options.playHeight);
        if (options.playSeconds > 0)
            arguments << QStringLiteral("--play-seconds") << QString::number(options.playSeconds, 'g', 17);
    } else if (options.movie) {
        arguments << QStringLiteral("--movie");
    } else if (!options.slow) {
        arguments << QStringLiteral("--fast") << options.perSecond;
    }
    arguments << QStringLiteral("--quality") << QString::number(options.quality);
    return arguments;
}

ReportLine FailedMovie(const BatchOptions &options, const MovieTask &task, const QString &reason)
{
    ReportLine line;
    line.source = task.source;
    line.sha256 = FileSha256(task.source, &line.size);
    line.choices = ReportChoices(options);
    line.output = task.output;
    line.status = QFileInfo(task.output).isFile() ? MovieStatus::Kept : MovieStatus::Failed;
    line.reason = reason;
    return line;
}

ReportLine ConvertMovie(const BatchOptions &options, const MovieTask &task, const QString &workFolder, std::FILE *out,
                        std::FILE *err)
{
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = CpuSeconds();

    ReportLine line;
    line.source = task.source;
    line.sha256 = FileSha256(task.source, &line.size);
    line.choices = ReportChoices(options);
    line.output = task.output;
    const bool older = QFileInfo(task.output).isFile();

    // The job removes its tools when it ends and keeps those it finds, so
    // the extractor is there for the count before it.
    try {
        CountContents(Tools::DeployTools(workFolder, Tools::LocateFfmpeg()).ExtractorCmd, task.input, line);
    } catch (const Tools::Failure &) {
        // No encoder: the job says so.
    }

    BatchOptions one = options;
    one.files = {task.input};
    one.combine = false;
    one.beside = false;
    one.outFolder = Tools::FolderOf(task.output).chopped(1);
    BatchControls controls(one, out, err);
    controls.setLabel(task.relative);
    Pipeline::ConversionJob job(controls, workFolder);
    job.PushButton2_Click();
    const Pipeline::JobOutcome &outcome = job.outcome();

    for (const QString &note : outcome.details)
        line.notes.append(ShownAsSource(note, task));
    if (outcome.made.contains(task.output)) {
        line.status = MovieStatus::Made;
        line.outputSize = QFileInfo(task.output).size();
        const Pipeline::PacketCount read = Pipeline::CountPackets(task.output);
        if (read.opened)
            line.videoSeconds = read.duration;
        if (!outcome.partlyRead.isEmpty())
            line.reason = QStringLiteral("the movie is cut or damaged: the video holds what could be read");
    } else {
        line.status = older && QFileInfo(task.output).isFile() ? MovieStatus::Kept : MovieStatus::Failed;
        if (outcome.reasons.contains(task.output))
            line.reason = outcome.reasons.value(task.output);
        else if (!outcome.noPictures.isEmpty())
            line.reason = QStringLiteral("the SWF could not be read or holds no pictures to extract");
        else if (outcome.cancelled)
            line.reason = QStringLiteral("cancelled");
        else if (!controls.messages().isEmpty())
            line.reason = controls.messages().join(QLatin1Char(' ')).simplified();
        else if (controls.errorReports() > 0)
            line.reason = QStringLiteral("an unexpected failure stopped the job");
        else
            line.reason = QStringLiteral("no video was made");
        line.reason = ShownAsSource(line.reason, task);
    }
    if (controls.errorReports() > 0)
        line.notes.append(QStringLiteral("%1 unexpected failure(s) were reported").arg(controls.errorReports()));
    line.wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    line.cpuSeconds = CpuSeconds() - cpuBefore;
    return line;
}

} // namespace Batch
