#include "DataFolder.h"

#include "PathRoutines.h"

#include <QCoreApplication>
#include <QDir>

namespace Tools {

QString DataFolder(const QString &programFolder, const QString &installedFolder)
{
    if (IsFolder(programFolder + QStringLiteral("/Samples")))
        return programFolder;
    if (!installedFolder.isEmpty() && IsFolder(installedFolder))
        return installedFolder;
    return programFolder;
}

QString DataFolder()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    // The build's data folder as seen from its bin folder, e.g. "../share/tarnwick".
    const QString installed = QDir::cleanPath(programFolder + QLatin1Char('/')
                                              + QStringLiteral(TARNWICK_DATA_FROM_BIN));
    return DataFolder(programFolder, installed);
}

} // namespace Tools
