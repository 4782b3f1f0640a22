#pragma once

#include "ArchiveList.h"
#include "BatchReport.h"

#include <QJsonObject>
#include <QStringList>

#include <cstdio>

// One movie of an archive run, converted by a job of its own, and what the
// report says of it.
namespace Batch {

struct BatchOptions;

// The choices that decide a movie's video, as the report holds them: a
// resumed run skips only movies made with the same ones.
QJsonObject ReportChoices(const BatchOptions &options);

// The command-line options that give a child the same choices.
QStringList ChoiceArguments(const BatchOptions &options);

// Converts the task's movie with the run's choices, in this process, with
// `workFolder` as the job's scratch folder; its lines go to `out` and `err`
// named by the movie. Returns its report line.
ReportLine ConvertMovie(const BatchOptions &options, const MovieTask &task, const QString &workFolder, std::FILE *out,
                        std::FILE *err);

// The line of a movie that could not be converted at all.
ReportLine FailedMovie(const BatchOptions &options, const MovieTask &task, const QString &reason);

} // namespace Batch
