#include "ArchiveList.h"

#include "BatchControls.h"

#include "filelist/AddFiles.h"
#include "filelist/Admission.h"
#include "filelist/FileQueue.h"
#include "tools/PathRoutines.h"

#include <QCryptographicHash>
#include <QSet>
#include <QtEndian>

namespace Batch {

QStringList ExpandFolders(const QStringList &entries, Tools::ErrorReporter &reporter, QStringList &notes)
{
    QStringList files;
    for (const QString &entry : entries) {
        if (!Tools::IsFolder(entry)) {
            files.append(entry);
            continue;
        }
        FileList::FileQueue queue;
        FileList::AddFolderTree(queue, entry, FileList::PatternForExtension(QStringLiteral("swf")), reporter);
        const QString refused = FileList::PurgeUnsupportedNames(queue);
        if (!refused.isEmpty())
            notes.append(refused);
        files.append(queue.entries());
    }
    return files;
}

QString ListRoot(const QStringList &entries)
{
    QStringList common;
    bool first = true;
    for (const QString &entry : entries) {
        const QString folder = Tools::IsFolder(entry) ? entry : Tools::FolderOf(entry);
        const QStringList parts = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (first) {
            common = parts;
            first = false;
            continue;
        }
        qsizetype same = 0;
        while (same < common.size() && same < parts.size() && common.at(same) == parts.at(same))
            ++same;
        common = common.mid(0, same);
    }
    return common.isEmpty() ? QStringLiteral("/") : QLatin1Char('/') + common.join(QLatin1Char('/')) + QLatin1Char('/');
}

QList<MovieTask> PlanMovies(const QStringList &files, const QString &root, const BatchOptions &options)
{
    QList<MovieTask> tasks;
    QSet<QString> claimed;
    tasks.reserve(files.size());
    for (const QString &source : files) {
        MovieTask task;
        task.source = source;
        task.relative = source.startsWith(root) ? source.mid(root.size()) : source;
        QString folder = options.beside ? Tools::FolderOf(source) : options.outFolder + QLatin1Char('/');
        if (options.archive.keepFolders)
            folder += Tools::FolderOf(task.relative);
        // Named as the job names it.
        const QString name = Tools::StripExtension(Tools::FileNameOf(source));
        const QString natural = Tools::CollapseSlashes(folder + name + QStringLiteral(".mp4"));
        task.output = natural;
        for (int n = 2; claimed.contains(task.output); ++n)
            task.output = Tools::CollapseSlashes(folder + name + QStringLiteral(" (%1).mp4").arg(n));
        claimed.insert(task.output);
        task.input = source;
        tasks.append(task);
    }
    return tasks;
}

bool InShard(const QString &relative, int index, int count)
{
    const QByteArray digest = QCryptographicHash::hash(relative.toUtf8(), QCryptographicHash::Sha256);
    const quint64 value = qFromBigEndian<quint64>(digest.constData());
    return static_cast<int>(value % static_cast<quint64>(count)) == index - 1;
}

} // namespace Batch
