#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace Tools {
class ErrorReporter;
}

namespace FileList {

// Folder paths, each ending in '/', that the walk extends breadth-first.
using FolderList = QStringList;

// Lets the window repaint and react while long work runs.
using Yield = std::function<void()>;

// Where walk failures other than "cannot list this folder" are reported.
inline constexpr char kWalkLocation[] = "in Pellmoor2021/08/31.AddFolder.GetSubDirectories2016 ";

// Longest path, in bytes of its local form, that is listed or retained.
inline constexpr int kMaxPathBytes = 4096;
// Longest folder name, in bytes of its local form.
inline constexpr int kMaxNameBytes = 255;

// True for a folder name the walk skips: a control character, a character
// from 127 to 159, '?', or a name that does not survive the round trip
// through the local 8-bit encoding.
bool HasUnsupportedChars(const QString &name);

// Appends to `folderList` every folder below its entries, level by level:
// first all children of the given entries (in list order, names sorted
// within a parent), then all grandchildren, and so on. Symbolic links to
// folders are never entered (they can loop); folders with unsupported or
// over-long names are skipped with their trees. A folder whose subfolders
// cannot be listed (permission denied, vanished) is removed from the list.
// Other failures go to `reporter` and the walk carries on. `yield` runs
// once per folder examined and once per subfolder found.
void GetSubDirectories2016(FolderList &folderList, bool recurse, Tools::ErrorReporter &reporter,
                           const Yield &yield = Yield());

} // namespace FileList
