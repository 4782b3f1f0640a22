#include "ToolDeployment.h"

#include "Failure.h"
#include "PathRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace Tools {

namespace {

QByteArray Native(const QString &path)
{
    return QFile::encodeName(path);
}

[[noreturn]] void RaiseAccessFailure(const QString &what, const QString &path, int error)
{
    throw Failure(kFileAccessFailure, QStringLiteral("Path/File access error (%1 %2: %3)")
                                          .arg(what, path, QString::fromLocal8Bit(std::strerror(error))));
}

// Writes all bytes to the descriptor; false on any failure.
bool WriteAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += wrote;
    }
    return true;
}

// Places the link to the system's encoder, keeping one that already works.
void LinkEncoder(const QString &encoder, const QString &link)
{
    if (FileExists(link))
        return;
    // A dangling link left from an earlier job points nowhere useful.
    if (FileAttributes(link))
        ::unlink(Native(link).constData());
    if (::symlink(Native(encoder).constData(), Native(link).constData()) != 0)
        RaiseAccessFailure(QStringLiteral("cannot link"), link, errno);
}

// Creates the folder when missing and deletes the pictures in it.
void PrepareFolder(const QString &folder)
{
    if (!IsFolder(folder) && ::mkdir(Native(folder).constData(), 0700) != 0)
        RaiseAccessFailure(QStringLiteral("cannot create"), folder, errno);
    DeleteFiles(folder + QStringLiteral("/*.jpg"));
}

} // namespace

QByteArray LoadResource(ResourceId id)
{
    const QString number = QString::number(int(id));
    QFile resource(QStringLiteral(":/custom/") + number);
    if (!resource.open(QIODevice::ReadOnly))
        throw Failure(kResourceMissingFailure, QStringLiteral("Resource with identifier '%1' not found").arg(number));
    return resource.readAll();
}

QString ScratchParentProblem(const QString &parent, const QString &name)
{
    struct stat info
    {
    };
    if (::stat(Native(parent).constData(), &info) != 0)
        return QStringLiteral("%1 (%2) cannot be used: %3")
            .arg(name, parent, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 (%2) is not a folder").arg(name, parent);
    if ((info.st_mode & (S_IWOTH | S_IWGRP)) != 0 && (info.st_mode & S_ISVTX) == 0)
        return QStringLiteral("%1 (%2) may be written by other users and lacks the sticky bit, so the program's "
                              "private folder would not be safe there. Please set %1 to a private folder.")
            .arg(name, parent);
    return QString();
}

QString WorkFolderProblem(const QString &folder)
{
    struct stat info
    {
    };
    if (::lstat(Native(folder).constData(), &info) != 0)
        return QStringLiteral("The work folder %1 is gone: %2")
            .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("The work folder %1 is not a folder (it was replaced).").arg(folder);
    if (info.st_uid != ::geteuid())
        return QStringLiteral("The work folder %1 belongs to another user.").arg(folder);
    if ((info.st_mode & 07777) != 0700)
        return QStringLiteral("The work folder %1 is not private (mode %2 instead of 0700).")
            .arg(folder, QString::number(info.st_mode & 07777, 8).rightJustified(4, QLatin1Char('0')));
    return QString();
}

WorkFolderOwner::WorkFolderOwner(const QString &parent)
{
    QString base = parent;
    const bool fromEnvironment = base.isEmpty();
    if (fromEnvironment) {
        const char *tmpdir = std::getenv("TMPDIR");
        base = tmpdir && *tmpdir ? QFile::decodeName(tmpdir) : QStringLiteral("/tmp");
    }
    const QString problem = ScratchParentProblem(base, fromEnvironment ? QStringLiteral("TMPDIR")
                                                                       : QStringLiteral("The folder"));
    if (!problem.isEmpty())
        throw Failure(kFileAccessFailure, problem);
    QByteArray name = Native(QDir(base).absolutePath() + QStringLiteral("/tarnwick-XXXXXX"));
    if (!::mkdtemp(name.data()))
        RaiseAccessFailure(QStringLiteral("cannot create a work folder in"), base, errno);
    m_path = QFile::decodeName(name);
}

WorkFolderOwner::~WorkFolderOwner()
{
    QDir(m_path).removeRecursively();
}

QString WorkFolder()
{
    static std::unique_ptr<WorkFolderOwner> owner;
    if (!owner)
        owner = std::make_unique<WorkFolderOwner>();
    return owner->path();
}

QString ProcessorAddressWidth()
{
    return QString::number(QT_POINTER_SIZE * 8);
}

void WriteBytesIfAbsent(const QByteArray &bytes, const QString &path, bool executable)
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    if (FileExists(path))
        return;
    const QByteArray native = Native(path);
    // O_EXCL and O_NOFOLLOW: never write through a link or over a file that
    // appeared meanwhile.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          executable ? 0700 : 0600);
    if (fd < 0)
        RaiseAccessFailure(QStringLiteral("cannot create"), path, errno);
    const bool written = WriteAll(fd, bytes);
    const int error = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(native.constData());
        RaiseAccessFailure(QStringLiteral("cannot write"), path, written ? errno : error);
    }
}

QString LocateFfmpeg(const QStringList &searchPaths)
{
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg"), searchPaths);
}

ToolSet DeployTools(const QString &workFolder, const QString &encoder, const ResourceLoader &loadResource)
{
    if (encoder.isEmpty())
        throw Failure(kEncoderMissingFailure, QString::fromUtf8(kEncoderMissingMessage));
    // The tools are run from here: a folder that someone else could swap
    // would run their programs as this user.
    const QString problem = WorkFolderProblem(workFolder);
    if (!problem.isEmpty())
        throw Failure(kFileAccessFailure, problem);

    ToolSet tools;
    tools.AddressWidth = ProcessorAddressWidth();
    const QByteArray converter = loadResource(ResourceId::Converter);
    const QByteArray extractor = loadResource(ResourceId::Extractor);

    tools.EncoderCmd = workFolder + QStringLiteral("/ffmpeg");
    tools.ConverterCmd = workFolder + QStringLiteral("/nconvert");
    tools.ExtractorCmd = workFolder + QStringLiteral("/swfextract");
    LinkEncoder(encoder, tools.EncoderCmd);
    WriteBytesIfAbsent(converter, tools.ConverterCmd, true);
    WriteBytesIfAbsent(extractor, tools.ExtractorCmd, true);

    PrepareFolder(workFolder + QStringLiteral("/temp"));
    PrepareFolder(workFolder + QStringLiteral("/SWFPic"));
    return tools;
}

ToolSet DeployTools()
{
    const QString encoder = LocateFfmpeg();
    if (encoder.isEmpty())
        throw Failure(kEncoderMissingFailure, QString::fromUtf8(kEncoderMissingMessage));
    return DeployTools(WorkFolder(), encoder);
}

} // namespace Tools
