#pragma once

#include <QString>

// The folder a video is written into, and the hidden file the encoder
// writes first: `.tarnwick-<pid>-XXXXXX.mp4`, named after the owning
// process so that one left by a process that is gone can be told from one
// in use.
namespace Pipeline {

// Why a video cannot be saved in `folder`: empty when it exists and a file
// can be created in it (a hidden probe file, removed again), otherwise
// "does not exist" or the system's reason ("Permission denied").
QString OutputFolderProblem(const QString &folder);

// Removes the hidden temporary videos in `folder` whose process is gone;
// only regular files of this user are touched.
void RemoveStaleTemporaries(const QString &folder);

// Creates a fresh, private hidden temporary file for `output` in the same
// folder (so the final rename stays on one file system). Empty with `reason`
// set when it cannot be created.
QString ReserveTemporaryOutput(const QString &output, QString *reason = nullptr);

} // namespace Pipeline
