#include "Samples.h"

#include "FileQueue.h"

#include "tools/PathRoutines.h"

namespace FileList {

QString SamplesFolder(const QString &programFolder)
{
    return programFolder + QStringLiteral("/Samples");
}

bool IsListed(const FileQueue &queue, const QString &path)
{
    return queue.entries().contains(path, Qt::CaseSensitive);
}

int LoadSampleFiles(FileQueue &queue, const QString &programFolder)
{
    const QString folder = SamplesFolder(programFolder);
    int added = 0;
    for (const QString &name : Tools::ListFiles(folder, QStringLiteral("*.*"))) {
        const QString path = folder + QLatin1Char('/') + name;
        if (Tools::FileExists(path) && !IsListed(queue, path)) {
            queue.append(path);
            ++added;
        }
    }
    return added;
}

} // namespace FileList
