#pragma once

#include <QString>

namespace App {

// The folder a user means by what was typed into the output-folder field:
// a leading "~" stands for the home folder, and any other relative folder
// is taken inside the home folder (the program's own current folder means
// nothing to a desktop user). Absolute and empty texts come back as typed.
QString ResolveTypedFolder(const QString &typed, const QString &home);

} // namespace App
