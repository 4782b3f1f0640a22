#include "AddFiles.h"

#include "FileQueue.h"

#include "tools/PathRoutines.h"

namespace FileList {

namespace {

// A writable dot-file: the one attribute combination that a folder scan
// leaves out.
constexpr int kHiddenArchiveOnly = Tools::Hidden | Tools::Archive;

} // namespace

QString PatternForExtension(const QString &extension)
{
    return QStringLiteral("*.") + extension;
}

void AddChosenFiles(FileQueue &queue, const QStringList &chosen)
{
    if (chosen.size() == 1) {
        queue.append(chosen.first());
        return;
    }
    for (const QString &path : chosen)
        queue.append(Tools::CollapseSlashes(path));
}

void AddFolderTree(FileQueue &queue, const QString &folder, const QString &pattern, Tools::ErrorReporter &reporter,
                   const Yield &yield)
{
    FolderList folders{folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')};
    GetSubDirectories2016(folders, true, reporter, yield);

    for (const QString &entry : std::as_const(folders)) {
        const QString base = entry.chopped(1);
        const QStringList names = Tools::ListFiles(base, pattern);
        for (const QString &name : names) {
            if (name.startsWith(QLatin1Char('~')))
                continue;
            const QString path = base + QLatin1Char('/') + name;
            if (Tools::ProbeFile(path) && Tools::FileAttributes(path) != kHiddenArchiveOnly)
                queue.append(Tools::CollapseSlashes(path));
        }
    }
}

void AddDroppedItems(FileQueue &queue, const QStringList &items, Tools::ErrorReporter &reporter, const Yield &yield)
{
    for (const QString &item : items) {
        const std::optional<int> attributes = Tools::FileAttributes(item);
        if (attributes && (*attributes & Tools::Directory))
            AddFolderTree(queue, item, QStringLiteral("*.*"), reporter, yield);
        else
            queue.append(item);
    }
}

} // namespace FileList
