#include "filelist/AddFiles.h"
#include "filelist/Admission.h"
#include "filelist/FileQueue.h"
#include "filelist/ListEditing.h"
#include "filelist/Samples.h"

#include "RecordingReporter.h"
#include "TempFolder.h"

#include <QAbstractItemModelTester>
#include <QFile>

#include <gtest/gtest.h>

#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace FileList;

namespace {

void MakeReadOnly(const QString &path)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
}

QStringList Relative(const QStringList &paths, const QString &base)
{
    QStringList relative;
    for (const QString &path : paths)
        relative.append(path.startsWith(base) ? path.mid(base.size()) : path);
    return relative;
}

QStringList ToList(const std::vector<const char *> &texts)
{
    QStringList list;
    for (const char *text : texts)
        list.append(QLatin1String(text));
    return list;
}

} // namespace

TEST(FileQueue, EditsKeepTheModelConsistent)
{
    FileQueue queue;
    QAbstractItemModelTester tester(&queue, QAbstractItemModelTester::FailureReportingMode::Fatal);
    queue.append(QStringLiteral("/a.swf"));
    queue.append(QStringList{QStringLiteral("/b.swf"), QStringLiteral("/a.swf")});
    EXPECT_TRUE(queue.insertAt(1, QStringLiteral("/first.swf")));
    EXPECT_TRUE(queue.insertAt(5, QStringLiteral("/last.swf")));
    EXPECT_FALSE(queue.insertAt(7, QStringLiteral("/beyond.swf")));
    EXPECT_FALSE(queue.insertAt(0, QStringLiteral("/before.swf")));
    EXPECT_TRUE(queue.removeAt(3));
    EXPECT_FALSE(queue.removeAt(5));
    EXPECT_TRUE(queue.setEntryAt(1, QStringLiteral("/renamed.swf")));
    EXPECT_FALSE(queue.setEntryAt(0, QStringLiteral("/x.swf")));
    EXPECT_EQ(queue.entries(), (QStringList{QStringLiteral("/renamed.swf"), QStringLiteral("/a.swf"),
                                            QStringLiteral("/a.swf"), QStringLiteral("/last.swf")}));
    EXPECT_EQ(queue.entryAt(4), QStringLiteral("/last.swf"));
    EXPECT_EQ(queue.entryAt(5), QString());
    EXPECT_EQ(queue.headerData(0, Qt::Horizontal).toString(), QStringLiteral("SWF File(s)"));
    queue.clear();
    EXPECT_EQ(queue.count(), 0);
}

TEST(Admission, WhatTheNarrowInterfaceReaches)
{
    TempFolder folder;
    const QString plain = folder.write(QStringLiteral("movie.swf"));
    const QString readOnly = folder.write(QStringLiteral("locked.swf"));
    MakeReadOnly(readOnly);
    const QString dotFile = folder.write(QStringLiteral(".hidden.swf"));
    const QString inHiddenFolder = folder.write(QStringLiteral(".cache/inside.swf"));
    const QString subfolder = folder.mkdir(QStringLiteral("folder.swf"));
    const QString link = folder.file(QStringLiteral("link.swf"));
    ASSERT_EQ(::symlink(QFile::encodeName(plain).constData(), QFile::encodeName(link).constData()), 0);
    const QString dangling = folder.file(QStringLiteral("dangling.swf"));
    ASSERT_EQ(::symlink("nowhere.swf", QFile::encodeName(dangling).constData()), 0);
    const QString fifo = folder.file(QStringLiteral("pipe.swf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString blank = folder.write(QStringLiteral("  "));
    // A file whose name is not valid UTF-8: the list can only hold a
    // look-alike text, which names no file.
    const QByteArray rawName = QFile::encodeName(folder.path()) + "/bad\xff.swf";
    ASSERT_EQ(::close(::creat(rawName.constData(), 0644)), 0);

    struct Case
    {
        const char *what;
        QString path;
        bool reachable;
    } cases[] = {
        {"plain file", plain, true},
        {"read-only file", readOnly, true},
        {"file in a hidden folder", inHiddenFolder, true},
        {"link to a file", link, true},
        {"missing file", folder.file(QStringLiteral("missing.swf")), false},
        {"dot-file", dotFile, false},
        {"folder", subfolder, false},
        {"dangling link", dangling, false},
        {"fifo", fifo, false},
        {"blank name", blank, false},
        {"name not valid in the local encoding", QFile::decodeName(rawName), false},
        {"unpaired surrogate", folder.file(QStringLiteral("a")) + QChar(0xD800) + QStringLiteral(".swf"), false},
        {"wildcard is not expanded", folder.file(QStringLiteral("*.swf")), false},
        {"single-character wildcard", folder.file(QStringLiteral("movie.sw?")), false},
        {"empty text", QString(), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(IsReachableNormalFile(c.path), c.reachable);
    }
    ::unlink(rawName.constData());
}

TEST(Admission, RejectedEntriesAreRemovedAndNamed)
{
    // The window's own test covers rejections in the middle of the list;
    // here the first and last go, with different suggestions, and a list
    // with a duplicate keeps both copies.
    TempFolder folder;
    const QString kept = folder.write(QStringLiteral("kept.swf"));
    const QString first = folder.file(QStringLiteral("movies/gone.flv"));
    const QString last = QStringLiteral("clip");

    FileQueue queue;
    queue.append(QStringList{first, kept, kept, last});
    const QString message = PurgeUnsupportedNames(queue);
    EXPECT_EQ(queue.entries(), (QStringList{kept, kept}));
    const QString expected = QStringLiteral("The following files: \r\n") + first + QStringLiteral("\r\nclip\r\n")
                             + QStringLiteral(
                                 "\r\nwere not added because it has unsupported characters in the filenames.\r\n\r\n")
                             + QStringLiteral("Please try to rename the files to:\r\n")
                             + folder.file(QStringLiteral("movies/x.flv"))
                             + QStringLiteral("\r\n\r\nx\r\n\r\nand try again.\r\n\r\n");
    EXPECT_EQ(message, expected);

    // Everything reachable: nothing shown, nothing changed.
    EXPECT_EQ(PurgeUnsupportedNames(queue), QString());
    EXPECT_EQ(queue.count(), 2);
    FileQueue empty;
    EXPECT_EQ(PurgeUnsupportedNames(empty), QString());
}

TEST(Admission, Suggestions)
{
    struct Case
    {
        const char *path;
        const char *suggestion;
    } cases[] = {
        {"/Movies/a.b.swf", "/Movies/x.swf"},  {"clip.swf", "x.swf"},
        {"/Movies.old/clip", "/Movies.old/x"}, {"/Movies/.swf", "/Movies/x.swf"},
        {"/Movies/trailing.", "/Movies/x."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(SuggestedName(QLatin1String(c.path)), QLatin1String(c.suggestion));
    }
}

TEST(AddFiles, ChosenFiles)
{
    FileQueue queue;
    AddChosenFiles(queue, {QStringLiteral("/movies//one.swf")});
    AddChosenFiles(queue, {QStringLiteral("/movies//b.swf"), QStringLiteral("/movies//a.swf")});
    AddChosenFiles(queue, {});
    EXPECT_EQ(queue.entries(), (QStringList{QStringLiteral("/movies//one.swf"), QStringLiteral("/movies/b.swf"),
                                            QStringLiteral("/movies/a.swf")}));
}

TEST(AddFiles, FolderTreeByPattern)
{
    TempFolder folder;
    const QString root = folder.mkdir(QStringLiteral("tree"));
    for (const char *name : {"tree/b.swf", "tree/A.SWF", "tree/README", "tree/notes.txt", "tree/~lock.swf",
                             "tree/.writable.swf", "tree/sub/deep.swf", "tree/sub/deeper/last.Swf"})
        folder.write(QLatin1String(name));
    MakeReadOnly(folder.write(QStringLiteral("tree/.locked.swf")));

    struct Case
    {
        const char *extension;
        std::vector<const char *> expected;
    } cases[] = {
        {"swf", {"/.locked.swf", "/A.SWF", "/b.swf", "/sub/deep.swf", "/sub/deeper/last.Swf"}},
        {"*", {"/.locked.swf", "/A.SWF", "/README", "/b.swf", "/notes.txt", "/sub/deep.swf", "/sub/deeper/last.Swf"}},
        {"txt", {"/notes.txt"}},
        {"mp4", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.extension);
        FileQueue queue;
        RecordingReporter reporter;
        AddFolderTree(queue, root, PatternForExtension(QLatin1String(c.extension)), reporter);
        EXPECT_EQ(Relative(queue.entries(), root), ToList(c.expected));
        EXPECT_TRUE(reporter.reports.empty()) << reporter;
    }

    FileQueue fromRoot;
    RecordingReporter reporter;
    AddFolderTree(fromRoot, root + QLatin1Char('/'), QStringLiteral("*.txt"), reporter);
    EXPECT_EQ(fromRoot.entries(), QStringList{root + QStringLiteral("/notes.txt")});
}

TEST(AddFiles, DroppedItemsInTheirOrder)
{
    TempFolder folder;
    const QString dropped = folder.mkdir(QStringLiteral("dropped"));
    folder.write(QStringLiteral("dropped/inner.swf"));
    folder.write(QStringLiteral("dropped/picture.png"));
    folder.write(QStringLiteral("dropped/~temp.swf"));
    const QString single = folder.write(QStringLiteral("~single.swf"));
    const QString text = folder.write(QStringLiteral("notes.txt"));
    const QString missing = folder.file(QStringLiteral("gone//missing.swf"));

    FileQueue queue;
    queue.append(text);
    RecordingReporter reporter;
    AddDroppedItems(queue, {dropped, single, text, missing}, reporter);
    EXPECT_EQ(queue.entries(), (QStringList{text, dropped + QStringLiteral("/inner.swf"),
                                            dropped + QStringLiteral("/picture.png"), single, text, missing}));
}

TEST(ListEditing, MovesAtAndAwayFromTheEdges)
{
    const std::vector<const char *> five{"1", "2", "3", "4", "5"};
    struct Case
    {
        const char *what;
        int (*move)(FileQueue &, int);
        int position;
        int after;
        std::vector<const char *> order;
    } cases[] = {
        {"up from the first", &MoveUp, 1, 1, five},
        {"down from the last", &MoveDown, 5, 5, five},
        {"down from the fourth", &MoveDown, 4, 5, {"1", "2", "3", "5", "4"}},
        {"up from the second", &MoveUp, 2, 1, {"2", "1", "3", "4", "5"}},
        {"up from the last", &MoveUp, 5, 4, {"1", "2", "3", "5", "4"}},
        {"nothing selected", &MoveDown, 0, 0, five},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FileQueue queue;
        queue.append(ToList(five));
        EXPECT_EQ(c.move(queue, c.position), c.after);
        EXPECT_EQ(queue.entries(), ToList(c.order));
    }

    FileQueue twins;
    twins.append(QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("a")});
    EXPECT_EQ(MoveDown(twins, 1), 2);
    EXPECT_EQ(twins.entries(), (QStringList{QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("a")}));
    EXPECT_FALSE(SwapEntries(twins, 2, 3));
    EXPECT_TRUE(SwapEntries(twins, 3, 1));
    EXPECT_EQ(twins.entries(), (QStringList{QStringLiteral("a"), QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_FALSE(SwapEntries(twins, 0, 1));
    EXPECT_FALSE(SwapEntries(twins, 1, 4));
}

TEST(Samples, AddedOnceEachAndAgainAfterRemoval)
{
    TempFolder program;
    for (const char *name :
         {"Samples/b.swf", "Samples/a.swf", "Samples/.hidden.swf", "Samples/notes.txt", "Samples/nested/deep.swf"})
        program.write(QLatin1String(name));
    const QString samples = SamplesFolder(program.path()) + QLatin1Char('/');
    const QStringList all{samples + QStringLiteral(".hidden.swf"), samples + QStringLiteral("a.swf"),
                          samples + QStringLiteral("b.swf"), samples + QStringLiteral("notes.txt")};

    FileQueue queue;
    queue.append(samples + QStringLiteral("A.SWF")); // differs in letter case only
    EXPECT_EQ(LoadSampleFiles(queue, program.path()), 4);
    EXPECT_EQ(queue.entries().mid(1), all);
    EXPECT_EQ(LoadSampleFiles(queue, program.path()), 0);
    EXPECT_EQ(queue.count(), 5);

    queue.removeAt(3);
    EXPECT_EQ(LoadSampleFiles(queue, program.path()), 1);
    EXPECT_EQ(queue.entryAt(5), samples + QStringLiteral("a.swf"));
    EXPECT_TRUE(IsListed(queue, samples + QStringLiteral("a.swf")));
    EXPECT_FALSE(IsListed(queue, samples + QStringLiteral("B.swf")));

    FileQueue none;
    TempFolder bare;
    EXPECT_EQ(LoadSampleFiles(none, bare.path()), 0);
}
