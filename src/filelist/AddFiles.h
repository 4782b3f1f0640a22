#pragma once

#include "FolderWalk.h"

#include <QString>
#include <QStringList>

namespace Tools {
class ErrorReporter;
}

namespace FileList {

class FileQueue;

// The file pattern for an extension as the user typed it ("*" gives "*.*").
QString PatternForExtension(const QString &extension);

// Adds the files chosen in the open-file dialog in the order given: one
// path as it is, several each with doubled separators collapsed.
void AddChosenFiles(FileQueue &queue, const QStringList &chosen);

// Adds every file matching `pattern` in `folder` and all folders below it
// (walked breadth-first), in walk order and sorted within a folder. Names
// beginning with '~' and writable dot-files (attributes exactly hidden +
// archive) are skipped; read-only dot-files are added.
void AddFolderTree(FileQueue &queue, const QString &folder, const QString &pattern, Tools::ErrorReporter &reporter,
                   const Yield &yield = Yield());

// Adds dropped items in their order: a folder as the files of its whole
// tree (every type), anything else as its path, unchanged.
void AddDroppedItems(FileQueue &queue, const QStringList &items, Tools::ErrorReporter &reporter,
                     const Yield &yield = Yield());

} // namespace FileList
