#include "PathRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tools {

namespace {

QByteArray Native(const QString &path)
{
    return QFile::encodeName(path);
}

bool HasWildcard(const QString &text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

bool MatchesWildcard(const QString &name, const QString &pattern)
{
    // Only '*' and '?' are special, as in the patterns users type; brackets
    // and every other character match themselves.
    QString expression;
    for (const QChar c : pattern) {
        if (c == QLatin1Char('*'))
            expression += QLatin1String(".*");
        else if (c == QLatin1Char('?'))
            expression += QLatin1Char('.');
        else
            expression += QRegularExpression::escape(QString(c));
    }
    const QRegularExpression re(QRegularExpression::anchoredPattern(expression),
                                QRegularExpression::CaseInsensitiveOption
                                    | QRegularExpression::DotMatchesEverythingOption);
    return re.match(name).hasMatch();
}

} // namespace

QString FileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString FolderOf(const QString &path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString StripExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return name;
    return name.left(dot);
}

QString ExtensionOf(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return path;
    return path.mid(dot + 1);
}

QString CollapseSlashes(const QString &path)
{
    const QLatin1String pair("//");
    const QLatin1Char slash('/');
    if (!path.startsWith(slash)) {
        QString result = path;
        return result.replace(pair, QString(slash));
    }
    qsizetype run = 0;
    while (run < path.size() && path.at(run) == slash)
        ++run;
    QString rest = path.mid(run);
    return slash + rest.replace(pair, QString(slash));
}

bool IsFolder(const QString &path)
{
    struct stat st
    {
    };
    return !path.isEmpty() && ::stat(Native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const QString &path)
{
    struct stat st
    {
    };
    return !path.isEmpty() && ::stat(Native(path).constData(), &st) == 0;
}

bool ProbeFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    // O_PATH asks for no access right, so a file the user may not read still
    // counts as present; only regular files answer true (a FIFO or device
    // would hang a tool that reads it).
    const int fd = ::open(Native(path).constData(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st
    {
    };
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular;
}

bool MatchesPattern(const QString &name, const QString &pattern)
{
    if (MatchesWildcard(name, pattern))
        return true;
    return pattern.endsWith(QLatin1String(".*")) && !name.contains(QLatin1Char('.'))
           && MatchesWildcard(name, pattern.chopped(2));
}

void DeleteFiles(const QString &pattern)
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    const QString folder = FolderOf(pattern);
    const QString namePattern = FileNameOf(pattern);
    if (namePattern.isEmpty())
        return;
    if (!HasWildcard(namePattern)) {
        const std::optional<int> attributes = FileAttributes(pattern);
        if (attributes && !(*attributes & Directory))
            ::unlink(Native(pattern).constData());
        return;
    }
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (!MatchesPattern(name, namePattern))
            continue;
        const QString path = folder + name;
        const std::optional<int> attributes = FileAttributes(path);
        if (attributes && !(*attributes & Directory))
            ::unlink(Native(path).constData());
    }
}

QStringList ListFiles(const QString &folder, const QString &pattern)
{
    QString base = folder;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    const QDir dir(base);
    QStringList result;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                            QDir::Unsorted);
    for (const QString &name : names) {
        if (MatchesPattern(name, pattern) && ProbeFile(base + name))
            result.append(name);
    }
    std::sort(result.begin(), result.end());
    return result;
}

std::optional<int> FileAttributes(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QByteArray native = Native(path);
    struct stat st
    {
    };
    if (::lstat(native.constData(), &st) != 0)
        return std::nullopt;
    int attributes = 0;
    if (S_ISLNK(st.st_mode)) {
        attributes |= ReparsePoint;
        struct stat target
        {
        };
        if (::stat(native.constData(), &target) == 0)
            st = target;
    }
    if (S_ISDIR(st.st_mode))
        attributes |= Directory;
    else
        attributes |= Archive;

    // Judged from the permission bits rather than access(2), which always
    // says "writable" to root and would hide a read-only file.
    mode_t writeBit = S_IWOTH;
    if (st.st_uid == ::geteuid())
        writeBit = S_IWUSR;
    else if (st.st_gid == ::getegid())
        writeBit = S_IWGRP;
    if (!(st.st_mode & writeBit))
        attributes |= ReadOnly;

    const QString name = FileNameOf(path.endsWith(QLatin1Char('/')) ? path.chopped(1) : path);
    if (name.startsWith(QLatin1Char('.')) && name != QLatin1String(".") && name != QLatin1String(".."))
        attributes |= Hidden;
    return attributes;
}

} // namespace Tools
