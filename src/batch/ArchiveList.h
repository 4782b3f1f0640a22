#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace Tools {
class ErrorReporter;
}

// The movies of a run: folders walked as the window walks them, the list's
// root, where each video goes and which share of the list a worker takes.
namespace Batch {

struct BatchOptions;

// Replaces every folder in `entries` by the SWF files of its whole tree, as
// the window's "Add All SWF Files In Folder" adds them; other entries stay.
// The names the window would refuse are dropped and `notes` says which.
QStringList ExpandFolders(const QStringList &entries, Tools::ErrorReporter &reporter, QStringList &notes);

// The deepest folder holding every entry (a folder entry holds itself), with
// a trailing '/'; "/" when they share nothing more.
QString ListRoot(const QStringList &entries);

// One movie of the run.
struct MovieTask
{
    QString source; // the SWF, absolute
    QString relative; // its path under the list's root, which names it on screen
    QString output; // its video
    // What the job is given: the source, or a link to it named after the
    // video when that is numbered (the job names a video after its SWF).
    QString input;
};

// Plans every movie in list order: its video in --out (under its folder
// below `root` with --keep-folders) or beside it, and a later movie whose
// video would have an earlier one's name gets "NAME (2).mp4", as one job
// numbers them. Planned over the whole list, so that shards agree.
QList<MovieTask> PlanMovies(const QStringList &files, const QString &root, const BatchOptions &options);

// True when the movie at `relative` belongs to share `index` (1-based) of
// `count`: the first 8 bytes of the SHA-256 of the path, modulo `count`.
bool InShard(const QString &relative, int index, int count);

} // namespace Batch
