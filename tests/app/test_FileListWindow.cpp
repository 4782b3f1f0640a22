#include "WindowFixture.h"

#include "app/FileListView.h"

#include <QApplication>
#include <QMimeData>
#include <QPushButton>

#include <sys/stat.h>

using Pipeline::Pointer;

namespace {

const QString kPurgeTail = QStringLiteral(
    "\r\nwere not added because it has unsupported characters in the filenames.\r\n\r\nPlease try to rename the files "
    "to:");

} // namespace

class FileListTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        start();
        list = control<App::FileListView>("ListView1");
    }

    QStringList entries() { return window->fileQueue().entries(); }

    QStringList letters(int count)
    {
        QStringList texts;
        for (int i = 0; i < count; ++i)
            texts.append(QString(QChar(u'a' + i)));
        return texts;
    }

    void drop(const QStringList &paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls.append(QUrl::fromLocalFile(path));
        data.setUrls(urls);
        const QPoint where = list->viewport()->rect().center();
        QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent dropped(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &dropped);
        QApplication::processEvents();
    }

    QPoint rowCentre(int position) { return list->visualRect(list->model()->index(position - 1, 0)).center(); }

    App::FileListView *list = nullptr;
};

TEST_F(FileListTest, AddFilesEndsWithTheNameCheck)
{
    TempFolder folder;
    QStringList five;
    for (const char *name : {"one.swf", "two.swf", "three.swf", "four.swf", "five.swf"})
        five.append(folder.file(QLatin1String(name)));
    for (int i : {0, 2, 4})
        folder.write(QFileInfo(five[i]).fileName());
    window->fileQueue().append(five);

    click("PushButton1"); // the dialog is cancelled
    EXPECT_EQ(entries(), (QStringList{five[0], five[2], five[4]}));
    const QList<App::ShownDialog> shown = App::Dialogs::shown();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].title, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
    EXPECT_EQ(shown[0].text, QStringLiteral("SWF Files(*.swf)"));
    const QString base = folder.path() + QLatin1Char('/');
    EXPECT_EQ(shown[1].text, QStringLiteral("The following files: \r\n") + five[1] + QStringLiteral("\r\n") + five[3]
                                 + QStringLiteral("\r\n") + kPurgeTail + QStringLiteral("\r\n") + base
                                 + QStringLiteral("x.swf\r\n\r\n") + base
                                 + QStringLiteral("x.swf\r\n\r\nand try again.\r\n\r\n"));
    EXPECT_EQ(shown[1].buttons, QMessageBox::Ok);
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}

TEST_F(FileListTest, TwoChosenFilesGetSingleSeparators)
{
    TempFolder folder;
    const QString a = folder.write(QStringLiteral("a.swf"));
    const QString b = folder.write(QStringLiteral("b.SWF"));
    App::Dialogs::setNextOpenFileNames(
        {folder.path() + QStringLiteral("//b.SWF"), folder.path() + QStringLiteral("//a.swf")});
    click("PushButton1");
    EXPECT_EQ(entries(), (QStringList{b, a}));
    EXPECT_EQ(App::Dialogs::shown().size(), 1); // no name-check message
}

TEST_F(FileListTest, AddAllAsksForAnExtensionAndAFolder)
{
    TempFolder folder;
    const QString root = folder.mkdir(QStringLiteral("tree"));
    folder.write(QStringLiteral("tree/README"));
    folder.write(QStringLiteral("tree/clip.swf"));
    folder.write(QStringLiteral("tree/~clip.swf"));
    folder.write(QStringLiteral("tree/.writable"));
    const QString locked = folder.write(QStringLiteral("tree/.locked"));
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0444), 0);
    folder.write(QStringLiteral("tree/sub/inner.txt"));

    App::Dialogs::setNextInput(QStringLiteral("*"));
    App::Dialogs::setNextFolder(root);
    click("PushButton5");
    // The dot-file passes the folder scan as read-only, and is then taken
    // out by the name check like every hidden file.
    EXPECT_EQ(entries(), (QStringList{root + QStringLiteral("/README"), root + QStringLiteral("/clip.swf"),
                                      root + QStringLiteral("/sub/inner.txt")}));
    const QList<App::ShownDialog> shown = App::Dialogs::shown();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0].text, QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt "
                                            "files, doc for all doc files, etc.)"));
    EXPECT_EQ(shown[0].initial, QStringLiteral("swf"));
    EXPECT_EQ(shown[0].title, QStringLiteral("Tarnwick"));
    EXPECT_EQ(shown[1].text, QStringLiteral("Please select folder:"));
    EXPECT_EQ(shown[1].initial, QString());
    EXPECT_TRUE(
        shown[2].text.startsWith(QStringLiteral("The following files: \r\n") + locked + QStringLiteral("\r\n")));
    EXPECT_EQ(stored("Extension"), QStringLiteral("*"));
    EXPECT_EQ(stored("LastFolder"), root);
    EXPECT_EQ(window->pointer(), Pointer::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}

TEST_F(FileListTest, AddAllCancelledChangesNothing)
{
    click("PushButton5"); // extension box cancelled
    EXPECT_EQ(stored("Extension"), QStringLiteral("<absent>"));

    App::Dialogs::setNextInput(QStringLiteral("txt"));
    click("PushButton5"); // folder browser cancelled
    EXPECT_EQ(stored("Extension"), QStringLiteral("txt"));
    EXPECT_EQ(stored("LastFolder"), QStringLiteral("<absent>"));
    EXPECT_TRUE(entries().isEmpty());
    // Two dialogs each time, and no name-check message.
    EXPECT_EQ(App::Dialogs::shown().size(), 3);

    App::Dialogs::clearShown();
    store("LastFolder", QStringLiteral("/srv/movies"));
    store("Extension", QStringLiteral("flash"));
    click("PushButton5");
    ASSERT_EQ(App::Dialogs::shown().size(), 1);
    EXPECT_EQ(App::Dialogs::shown()[0].initial, QStringLiteral("flash"));
}

TEST_F(FileListTest, DropsAddFoldersAndFilesInOrderAlsoAfterAClick)
{
    TempFolder folder;
    const QString dropped = folder.mkdir(QStringLiteral("dropped"));
    const QString inner = folder.write(QStringLiteral("dropped/inner.swf"));
    const QString deeper = folder.write(QStringLiteral("dropped/sub/deeper.txt"));
    const QString single = folder.write(QStringLiteral("single.swf"));
    drop({dropped, single});
    EXPECT_EQ(entries(), (QStringList{inner, deeper, single}));

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(2));
    EXPECT_EQ(list->selectedPosition(), 2);
    drop({single});
    EXPECT_EQ(entries(), (QStringList{inner, deeper, single, single}));
    EXPECT_TRUE(App::Dialogs::shown().isEmpty()); // drops are not name-checked
}

TEST_F(FileListTest, DeleteKeyAndDoubleClickRemoveTheSelectedEntry)
{
    window->fileQueue().append(letters(4));
    QTest::keyClick(list, Qt::Key_Delete); // nothing selected
    EXPECT_EQ(entries().size(), 4);

    list->selectPosition(2);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("d")}));
    EXPECT_EQ(list->selectedPosition(), 0);

    // A double-click arrives as a click followed by the double-click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(3));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(3));
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
}

TEST_F(FileListTest, MoveButtons)
{
    struct Case
    {
        const char *button;
        int selected;
        const char *order;
        int after;
    } cases[] = {
        {"PushButton3", 1, "abcde", 1}, // Move Up on the first
        {"PushButton6", 5, "abcde", 5}, // Move Down on the last
        {"PushButton6", 4, "abced", 5}, // Move Down on the fourth
        {"PushButton3", 3, "acbde", 2}, {"PushButton6", 0, "abcde", 0}, // nothing selected
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.button) + " " + std::to_string(c.selected));
        window->fileQueue().clear();
        window->fileQueue().append(letters(5));
        list->clearSelection();
        list->selectPosition(c.selected);
        click(c.button);
        EXPECT_EQ(entries().join(QString()), QLatin1String(c.order));
        EXPECT_EQ(list->selectedPosition(), c.after);
        EXPECT_TRUE(list->hasFocus());
    }
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}

TEST_F(FileListTest, DraggingOverAnEntrySwapsOnlyThoseTwo)
{
    window->fileQueue().append(letters(5));
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, rowCentre(1));
    QTest::mouseMove(list->viewport(), rowCentre(3));
    EXPECT_EQ(entries().join(QString()), QStringLiteral("cbade"));
    EXPECT_EQ(list->selectedPosition(), 3);
    QTest::mouseMove(list->viewport(), rowCentre(4));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, rowCentre(4));
    EXPECT_EQ(entries().join(QString()), QStringLiteral("cbdae"));

    // Moving without a pressed button reorders nothing.
    QTest::mouseMove(list->viewport(), rowCentre(1));
    EXPECT_EQ(entries().join(QString()), QStringLiteral("cbdae"));
}

TEST_F(FileListTest, NothingIsRemovedWhileBusyButDraggingStillWorks)
{
    window->fileQueue().append(letters(3));
    list->selectPosition(2);
    window->setPointer(Pointer::Busy);
    QTest::keyClick(list, Qt::Key_Delete);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(2));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(2));
    click("PushButton7");
    click("PushButton3");
    click("PushButton6");
    EXPECT_EQ(entries().join(QString()), QStringLiteral("abc"));

    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, rowCentre(1));
    QTest::mouseMove(list->viewport(), rowCentre(2));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, rowCentre(2));
    EXPECT_EQ(entries().join(QString()), QStringLiteral("bac"));

    window->setPointer(Pointer::Default);
    click("PushButton7");
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(FileListTest, SamplesAreAddedOnceAndTheQuestionIsAlwaysAsked)
{
    program.write(QStringLiteral("Samples/b.swf"));
    program.write(QStringLiteral("Samples/a.swf"));
    const QString samples = program.path() + QStringLiteral("/Samples/");
    const QString question = QStringLiteral("Would you like this software to open the folder where these sample files "
                                            "are stored (so that you can view them before working with them)?");

    click("PushButton8");
    EXPECT_EQ(entries(), (QStringList{samples + QStringLiteral("a.swf"), samples + QStringLiteral("b.swf")}));
    EXPECT_EQ(takeShownTexts(), QStringList{question});
    EXPECT_EQ(App::Dialogs::shown().size(), 0);
    EXPECT_TRUE(opened.isEmpty());

    App::Dialogs::setNextMessageAnswer(QMessageBox::Yes);
    click("PushButton8");
    EXPECT_EQ(entries().size(), 2);
    EXPECT_EQ(takeShownTexts(), QStringList{question});
    EXPECT_EQ(opened, QStringList{QUrl::fromLocalFile(samples).toString()});
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}

TEST_F(FileListTest, ClosingDuringAFolderScanEndsTheProgram)
{
    TempFolder folder;
    const QString root = folder.mkdir(QStringLiteral("tree/a/b"));
    App::Dialogs::setNextInput(QStringLiteral("swf"));
    App::Dialogs::setNextFolder(folder.path());
    // The scan yields to the event loop; a close request waiting there is
    // handled in the middle of it.
    QMetaObject::invokeMethod(window.get(), &QWidget::close, Qt::QueuedConnection);
    click("PushButton5");
    EXPECT_EQ(programEnds, 1);
}
