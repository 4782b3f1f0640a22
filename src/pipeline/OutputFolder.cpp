#include "OutputFolder.h"

#include "tools/PathRoutines.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace Pipeline {

namespace {

QString SystemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString FolderPrefix(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

QString OutputFolderProblem(const QString &folder)
{
    if (!Tools::IsFolder(folder))
        return QStringLiteral("does not exist");
    QByteArray probe = QFile::encodeName(FolderPrefix(folder) + QStringLiteral(".tarnwick-probe-XXXXXX"));
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return SystemReason(errno);
    ::close(fd);
    ::unlink(probe.constData());
    return QString();
}

void RemoveStaleTemporaries(const QString &folder)
{
    static const QRegularExpression name(QStringLiteral("^\\.tarnwick-(\\d+)-[A-Za-z0-9]{6}\\.mp4$"));
    const QDir dir(folder);
    const QStringList entries = dir.entryList({QStringLiteral(".tarnwick-*.mp4")},
                                              QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        const QRegularExpressionMatch match = name.match(entry);
        if (!match.hasMatch())
            continue;
        bool ok = false;
        const long pid = match.captured(1).toLong(&ok);
        if (!ok || pid <= 0 || pid == static_cast<long>(::getpid()))
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue; // its process lives (or belongs to someone we may not signal)
        const QByteArray path = QFile::encodeName(dir.filePath(entry));
        struct stat info
        {
        };
        if (::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
            ::unlink(path.constData());
    }
}

QString ReserveTemporaryOutput(const QString &output, QString *reason)
{
    QByteArray name = QFile::encodeName(FolderPrefix(Tools::FolderOf(output))
                                        + QStringLiteral(".tarnwick-%1-XXXXXX.mp4").arg(static_cast<long>(::getpid())));
    const int fd = ::mkstemps(name.data(), 4);
    if (fd < 0) {
        if (reason)
            *reason = SystemReason(errno);
        return QString();
    }
    ::close(fd);
    return QFile::decodeName(name);
}

} // namespace Pipeline
