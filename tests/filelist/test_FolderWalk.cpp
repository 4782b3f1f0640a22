#include "filelist/FolderWalk.h"

#include "RecordingReporter.h"
#include "TempFolder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace FileList;

namespace {

// The walk from `start`, with the start folder's prefix cut from every entry.
QStringList WalkFrom(const QString &start, RecordingReporter &reporter, int *yields = nullptr)
{
    FolderList folders{start + QLatin1Char('/')};
    GetSubDirectories2016(folders, true, reporter, [yields] {
        if (yields)
            ++*yields;
    });
    QStringList relative;
    for (const QString &folder : folders)
        relative.append(folder.mid(start.size()));
    return relative;
}

// Folders whose names are given as raw bytes (not necessarily valid in the
// local encoding), each with a folder inside; removed again by raw name,
// which the temporary folder's own clean-up cannot do.
class RawFolders
{
public:
    explicit RawFolders(const QString &parent)
        : m_parent(QFile::encodeName(parent))
    {
    }
    ~RawFolders()
    {
        for (const QByteArray &path : m_made) {
            ::rmdir((path + "/inner").constData());
            ::rmdir(path.constData());
        }
    }
    void make(const QByteArray &name)
    {
        const QByteArray path = m_parent + '/' + name;
        ASSERT_EQ(::mkdir(path.constData(), 0755), 0) << path.constData();
        m_made.append(path);
        ASSERT_EQ(::mkdir((path + "/inner").constData(), 0755), 0);
    }

private:
    QByteArray m_parent;
    QList<QByteArray> m_made;
};

// Runs the walk as the unprivileged user "nobody" in a child process, for
// when the tests run as root, who may list every folder.
QStringList WalkAsNobody(const QString &start)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {QStringLiteral("pipe failed")};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        RecordingReporter reporter;
        const QByteArray out = WalkFrom(start, reporter).join(QLatin1Char('\n')).toUtf8();
        const bool written = ::write(fds[1], out.constData(), out.size()) == out.size();
        ::_exit(written && reporter.reports.empty() ? 0 : 3);
    }
    ::close(fds[1]);
    QByteArray out;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, got);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return QString::fromUtf8(out).split(QLatin1Char('\n'));
}

} // namespace

TEST(FolderWalk, BreadthFirstByDepth)
{
    TempFolder root;
    root.mkdir(QStringLiteral("A/B/D"));
    root.mkdir(QStringLiteral("A/C"));
    root.write(QStringLiteral("A/B/file.swf"));
    RecordingReporter reporter;
    int yields = 0;
    const QStringList walked = WalkFrom(root.file(QStringLiteral("A")), reporter, &yields);
    EXPECT_EQ(walked, (QStringList{QStringLiteral("/"), QStringLiteral("/B/"), QStringLiteral("/C/"),
                                   QStringLiteral("/B/D/")}));
    EXPECT_TRUE(reporter.reports.empty());
    // The window is let in at least once for each of the four folders.
    EXPECT_GE(yields, 4);
}

TEST(FolderWalk, SkipsLinksAndUnsupportedNamesWithTheirTrees)
{
    TempFolder root;
    const QString start = root.mkdir(QStringLiteral("A"));
    root.mkdir(QStringLiteral("A/.hidden/deep"));
    root.mkdir(QStringLiteral("A/plain"));
    root.mkdir(QStringLiteral("elsewhere/inside"));
    ASSERT_EQ(::symlink(QFile::encodeName(root.file(QStringLiteral("elsewhere"))).constData(),
                        QFile::encodeName(start + QStringLiteral("/link")).constData()),
              0);
    // A link to its own parent would loop for ever if links were followed.
    ASSERT_EQ(::symlink("..", QFile::encodeName(start + QStringLiteral("/plain/loop")).constData()), 0);
    RawFolders raw(start);
    raw.make("what?");
    raw.make("tab\there");
    raw.make("del\x7f");
    raw.make("c1\xc2\x85"); // U+0085, a C1 control
    raw.make("bad\xff"); // not valid UTF-8

    RecordingReporter reporter;
    const QStringList walked = WalkFrom(start, reporter);
    EXPECT_EQ(walked, (QStringList{QStringLiteral("/"), QStringLiteral("/.hidden/"), QStringLiteral("/plain/"),
                                   QStringLiteral("/.hidden/deep/")}));
    EXPECT_TRUE(reporter.reports.empty());
}

TEST(FolderWalk, UnlistableFolderIsRemovedAndItsSiblingsWalked)
{
    TempFolder root;
    const QString start = root.mkdir(QStringLiteral("A"));
    root.mkdir(QStringLiteral("A/B/hidden-inside"));
    root.mkdir(QStringLiteral("A/C/E"));
    ASSERT_EQ(::chmod(QFile::encodeName(root.file(QStringLiteral("A/B"))).constData(), 0), 0);

    QStringList walked;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(QFile::encodeName(root.path()).constData(), 0755), 0);
        walked = WalkAsNobody(start);
    } else {
        RecordingReporter reporter;
        walked = WalkFrom(start, reporter);
        EXPECT_TRUE(reporter.reports.empty());
    }
    ::chmod(QFile::encodeName(root.file(QStringLiteral("A/B"))).constData(), 0755);
    EXPECT_EQ(walked, (QStringList{QStringLiteral("/"), QStringLiteral("/C/"), QStringLiteral("/C/E/")}));
}

TEST(FolderWalk, StartFoldersThatAreNotFoldersStayButAreNotListed)
{
    TempFolder root;
    root.mkdir(QStringLiteral("real/sub"));
    const QString file = root.write(QStringLiteral("file.swf"));
    FolderList folders{root.file(QStringLiteral("missing/")), file + QLatin1Char('/'),
                       root.file(QStringLiteral("real/"))};
    RecordingReporter reporter;
    GetSubDirectories2016(folders, true, reporter);
    EXPECT_EQ(folders, (QStringList{root.file(QStringLiteral("missing/")), file + QLatin1Char('/'),
                                    root.file(QStringLiteral("real/")), root.file(QStringLiteral("real/sub/"))}));
}

TEST(FolderWalk, UnsupportedCharacters)
{
    struct Case
    {
        QString name;
        bool unsupported;
    } cases[] = {
        {QString(), false},
        {QStringLiteral("Movies 2021"), false},
        {QStringLiteral("Café"), false},
        {QStringLiteral("日本"), false},
        {QStringLiteral("a?b"), true},
        {QStringLiteral("a\tb"), true},
        {QString(QChar(31)), true},
        {QString(QChar(32)), false},
        {QString(QChar(126)), false},
        {QString(QChar(127)), true},
        {QString(QChar(159)), true},
        {QString(QChar(160)), false},
        {QString(QChar(0xD800)), true}, // a lone surrogate has no local form
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(HasUnsupportedChars(c.name), c.unsupported);
    }
}
