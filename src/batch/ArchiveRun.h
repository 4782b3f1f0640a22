#pragma once

#include <QString>

// Archive runs of tarnwick-batch: one job per movie, up to --jobs at once
// (in as many child tarnwick-batch workers, each with its own scratch
// folder), a report line as each movie ends, movies made before skipped with
// --resume, one share with --shard.
namespace Batch {

struct BatchOptions;

// Runs the options' movies; `workFolder` is the program's private scratch
// folder. Returns the exit status: 0 when every movie was made (or made
// before) whole, 1 otherwise or when the run is refused, 2 for a report
// that cannot be used.
int RunArchive(const BatchOptions &options, const QString &workFolder);

// A worker of --jobs: converts each movie sent on standard input (one JSON
// line) with the options' choices and answers with its report line on
// standard output, until its input ends. Returns the exit status.
int RunWorker(const BatchOptions &options, const QString &workFolder);

// For the signal thread: no movie starts any more, and each running child
// is asked to stop (it ends its tools and removes its files) and waited
// for, a few seconds at most; the report takes no more lines.
void StopMovieChildren();

} // namespace Batch
