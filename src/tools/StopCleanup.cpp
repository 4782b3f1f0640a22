#include "StopCleanup.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace Tools {

namespace {

std::mutex g_stopMutex;
QStringList g_removeOnStop;

} // namespace

void RemoveOnStop(const QString &path)
{
    const std::lock_guard<std::mutex> lock(g_stopMutex);
    g_removeOnStop.append(path);
}

void ForgetOnStop(const QString &path)
{
    const std::lock_guard<std::mutex> lock(g_stopMutex);
    g_removeOnStop.removeAll(path);
}

void RemoveRegisteredOnStop()
{
    const std::lock_guard<std::mutex> lock(g_stopMutex);
    for (const QString &path : std::as_const(g_removeOnStop)) {
        const QByteArray native = QFile::encodeName(path);
        struct stat info
        {
        };
        if (::lstat(native.constData(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode))
            QDir(path).removeRecursively();
        else
            ::unlink(native.constData());
    }
}

} // namespace Tools
