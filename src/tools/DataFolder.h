#pragma once

#include <QString>

namespace Tools {

// Where the program's own files are looked up: the Samples folder, and a
// skin or pointer files when a user adds them.
//
// Beside the program first: the build tree, or a program kept with its
// files in one folder. When no Samples folder is there (an installed program
// in bin/), the installed data folder is used, when it exists.
QString DataFolder(const QString &programFolder, const QString &installedFolder);

// DataFolder for the running program: its own folder, then share/tarnwick
// of the prefix it is installed in. The installed folder is found relative
// to the program so that any installation prefix works.
QString DataFolder();

} // namespace Tools
