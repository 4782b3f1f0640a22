#include "FolderWalk.h"

#include "tools/Failure.h"
#include "tools/PathRoutines.h"
#include "tools/ReportingTrap.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace FileList {

namespace {

bool SurvivesLocalEncoding(const QString &text)
{
    return QFile::decodeName(QFile::encodeName(text)) == text;
}

// Closes the directory stream on every way out.
class DirStream
{
public:
    explicit DirStream(const QByteArray &path)
        : m_dir(::opendir(path.constData()))
    {
    }
    ~DirStream()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    DirStream(const DirStream &) = delete;
    DirStream &operator=(const DirStream &) = delete;
    DIR *get() const { return m_dir; }

private:
    DIR *m_dir;
};

enum class Listing { Listed, Unreachable };

// The names of the real (not linked) subfolders of `folder`, sorted.
// Unreachable when the folder denies listing or is gone; other failures
// raise a Failure.
Listing ListSubfolders(const QString &folder, QStringList &names, const Yield &yield)
{
    DirStream dir(QFile::encodeName(folder));
    if (!dir.get()) {
        const int error = errno;
        if (error == EACCES || error == EPERM || error == ENOENT || error == ENOTDIR)
            return Listing::Unreachable;
        throw Tools::Failure(Tools::FailureNumber::PathFileAccess, QString::fromLocal8Bit(std::strerror(error)));
    }
    const int fd = ::dirfd(dir.get());
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                throw Tools::Failure(Tools::FailureNumber::PathFileAccess,
                                     QString::fromLocal8Bit(std::strerror(errno)));
            break;
        }
        const QByteArray raw(entry->d_name);
        if (raw == "." || raw == "..")
            continue;
        struct stat st
        {
        };
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            continue;
        if (yield)
            yield();
        names.append(QFile::decodeName(raw));
    }
    std::sort(names.begin(), names.end());
    return Listing::Listed;
}

bool Retained(const QString &folder, const QString &name)
{
    if (HasUnsupportedChars(name) || QFile::encodeName(name).size() > kMaxNameBytes)
        return false;
    return QFile::encodeName(folder + name + QLatin1Char('/')).size() < kMaxPathBytes;
}

} // namespace

bool HasUnsupportedChars(const QString &name)
{
    for (const QChar c : name) {
        const char16_t code = c.unicode();
        if (code < 32 || (code >= 127 && code <= 159) || code == u'?')
            return true;
    }
    return !SurvivesLocalEncoding(name);
}

void GetSubDirectories2016(FolderList &folderList, bool recurse, Tools::ErrorReporter &reporter, const Yield &yield)
{
    Tools::ReportingTrap trap(reporter, QLatin1String(kWalkLocation));
    FolderList newFolders;

    const FolderList examined = folderList;
    for (const QString &folder : examined) {
        trap(100, [&] {
            if (!Tools::IsFolder(folder) || QFile::encodeName(folder).size() >= kMaxPathBytes)
                return;
            if (yield)
                yield();
            QStringList names;
            if (ListSubfolders(folder, names, yield) == Listing::Unreachable) {
                const qsizetype at = folderList.indexOf(folder);
                if (at >= 0)
                    folderList.removeAt(at);
                return;
            }
            for (const QString &name : std::as_const(names)) {
                if (Retained(folder, name))
                    newFolders.append(folder + name + QLatin1Char('/'));
            }
        });
    }

    trap(102, [&] {
        if (recurse && !newFolders.isEmpty())
            GetSubDirectories2016(newFolders, true, reporter, yield);
    });

    trap(104, [&] {
        for (const QString &folder : std::as_const(newFolders)) {
            if (!Tools::IsFolder(folder))
                continue;
            if (yield)
                yield();
            folderList.append(folder);
        }
    });
}

} // namespace FileList
