#include "tools/PathRoutines.h"

#include "TempFolder.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Tools;

namespace {

struct TextCase
{
    const char *input;
    const char *expected;
};

void ExpectEach(QString (*routine)(const QString &), std::initializer_list<TextCase> cases)
{
    for (const TextCase &c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(routine(QString::fromUtf8(c.input)).toStdString(), c.expected);
    }
}

} // namespace

TEST(PathText, TakesPathsApartOnSlashes)
{
    ExpectEach(FileNameOf, {{"/a/b.swf", "b.swf"}, {"b.swf", "b.swf"}, {"/a/", ""}, {"", ""}});
    ExpectEach(FolderOf, {{"/a/b.swf", "/a/"}, {"b.swf", ""}, {"/", "/"}, {"a/b/c", "a/b/"}});
    ExpectEach(StripExtension,
               {{"movie.take2.swf", "movie.take2"}, {".swf", ".swf"}, {"movie", "movie"}, {"", ""}, {"a.", "a"}});
    ExpectEach(ExtensionOf, {{"/Movies/a.b.swf", "swf"}, {"/my.dir/clip", "dir/clip"}, {"clip", "clip"}});
}

TEST(PathText, CollapseKeepsOneLeadingSlashAndCollapsesPairsOnce)
{
    ExpectEach(CollapseSlashes, {
                                        {"/a/"
                                         "/b.mp4",
                                         "/a/b.mp4"},
                                        {"c//a///b", "c/a//b"},
                                        {"a////b", "a//b"},
                                        {"////server/share", "/server/share"},
                                        {"///a///b", "/a//b"},
                                        {"/", "/"},
                                        {"", ""},
                                        {"plain", "plain"},
                                    });
    EXPECT_EQ(CollapseSlashes(FolderOf(QStringLiteral("/a/b.swf")) + QStringLiteral("/b.mp4")),
              QStringLiteral("/a/b.mp4"));
}

TEST(PathQueries, FilesFoldersAndMissingPaths)
{
    TempFolder tmp;
    const QString file = tmp.write(QStringLiteral("f.swf"), "x");
    const QString folder = tmp.mkdir(QStringLiteral("sub"));
    const QString missing = tmp.file(QStringLiteral("gone"));

    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(folder));
    EXPECT_FALSE(FileExists(missing));
    EXPECT_FALSE(FileExists(QString()));

    EXPECT_TRUE(IsFolder(folder));
    EXPECT_FALSE(IsFolder(file));
    EXPECT_FALSE(IsFolder(missing));

    EXPECT_TRUE(ProbeFile(file));
    EXPECT_FALSE(ProbeFile(folder));
    EXPECT_FALSE(ProbeFile(missing));

    QFile::remove(file);
    EXPECT_FALSE(FileExists(file)) << "deleted after being listed";
}

TEST(PathQueries, ProbeAcceptsUnreadableFilesButNotFifos)
{
    TempFolder tmp;
    const QString locked = tmp.write(QStringLiteral("locked.swf"), "x");
    ::chmod(QFile::encodeName(locked).constData(), 0);
    EXPECT_TRUE(ProbeFile(locked));
    const QString fifo = tmp.file(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(ProbeFile(fifo));
}

TEST(PathPatterns, CaseInsensitiveWithDosDotStar)
{
    struct Case
    {
        const char *name;
        const char *pattern;
        bool matches;
    } cases[] = {
        {"MOVIE.SWF", "*.swf", true}, {"movie.swf", "*.SWF", true}, {"movie.swf.bak", "*.swf", false},
        {"readme", "*.*", true},      {"a.b", "*.*", true},         {"a", "a.*", true},
        {"ab", "a?", true},           {"a[1].swf", "a[1].*", true}, {"a1.swf", "a[1].*", false},
        {"x.jpg", "*.jpg", true},     {"x.png", "*.jpg", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " ~ " + c.pattern);
        EXPECT_EQ(MatchesPattern(QString::fromUtf8(c.name), QString::fromUtf8(c.pattern)), c.matches);
    }
}

TEST(DeleteFiles, PatternsIgnoreCaseAndSpareFoldersAndOthers)
{
    TempFolder tmp;
    tmp.write(QStringLiteral("a.jpg"));
    tmp.write(QStringLiteral("B.JPG"));
    tmp.write(QStringLiteral(".hidden.jpg"));
    tmp.write(QStringLiteral("keep.png"));
    tmp.mkdir(QStringLiteral("dir.jpg"));
    const QString readOnly = tmp.write(QStringLiteral("ro.jpg"));
    QFile::setPermissions(readOnly, QFile::ReadOwner);

    DeleteFiles(tmp.path() + QStringLiteral("/*.jpg"));

    EXPECT_EQ(ListFiles(tmp.path(), QStringLiteral("*.*")), QStringList{QStringLiteral("keep.png")});
    EXPECT_TRUE(IsFolder(tmp.file(QStringLiteral("dir.jpg"))));

    DeleteFiles(tmp.path() + QStringLiteral("/nothing*.xyz"));
    DeleteFiles(tmp.file(QStringLiteral("missing/folder/*.*")));
    DeleteFiles(tmp.file(QStringLiteral("keep.png")));
    EXPECT_TRUE(ListFiles(tmp.path(), QStringLiteral("*.*")).isEmpty());
}

TEST(ListFiles, SortedHiddenIncludedFoldersNever)
{
    TempFolder tmp;
    for (const char *name : {"c.swf", "A.SWF", ".b.swf", "b.txt", "noext"})
        tmp.write(QString::fromUtf8(name));
    tmp.mkdir(QStringLiteral("d.swf"));

    EXPECT_EQ(ListFiles(tmp.path(), QStringLiteral("*.swf")),
              (QStringList{QStringLiteral(".b.swf"), QStringLiteral("A.SWF"), QStringLiteral("c.swf")}));
    EXPECT_EQ(ListFiles(tmp.path() + QStringLiteral("/"), QStringLiteral("*.*")).size(), 5);
    EXPECT_TRUE(ListFiles(tmp.path(), QStringLiteral("*.mp4")).isEmpty());
    EXPECT_TRUE(ListFiles(tmp.file(QStringLiteral("missing")), QStringLiteral("*.*")).isEmpty());
}

TEST(ListFiles, GrowsPastAnyInitialRoom)
{
    TempFolder tmp;
    for (int i = 1; i <= 151; ++i)
        tmp.write(QStringLiteral("f%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
    const QStringList names = ListFiles(tmp.path(), QStringLiteral("*.jpg"));
    ASSERT_EQ(names.size(), 151);
    EXPECT_EQ(names.first(), QStringLiteral("f001.jpg"));
    EXPECT_EQ(names.last(), QStringLiteral("f151.jpg"));
}

TEST(FileAttributes, MapsPosixFacts)
{
    TempFolder tmp;
    const QString plain = tmp.write(QStringLiteral("plain.swf"));
    const QString dot = tmp.write(QStringLiteral(".dot"));
    const QString dotReadOnly = tmp.write(QStringLiteral(".ro"));
    QFile::setPermissions(dotReadOnly, QFile::ReadOwner);
    const QString folder = tmp.mkdir(QStringLiteral("sub"));
    const QString link = tmp.file(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(folder, link));

    EXPECT_EQ(FileAttributes(plain), Archive);
    EXPECT_EQ(FileAttributes(dot), 34);
    EXPECT_EQ(FileAttributes(dotReadOnly), 35);
    EXPECT_EQ(FileAttributes(folder), Directory);
    EXPECT_EQ(FileAttributes(link), ReparsePoint | Directory);
    EXPECT_EQ(FileAttributes(tmp.file(QStringLiteral("missing"))), std::nullopt);
}
