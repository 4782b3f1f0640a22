// The window as a desktop user meets it: how the list shows long paths and
// its empty state, the keyboard, typed output folders and the summary box.
#include "WindowFixture.h"

#include "app/FileListView.h"
#include "app/SummaryBox.h"
#include "app/TypedFolder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <map>

namespace {

// Remembers, for each row it paints, the text as the style draws it: cut to
// the text's room with the view's elide mode.
class DrawnTextDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        const QWidget *view = item.widget;
        const QStyle *style = view ? view->style() : QApplication::style();
        const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &item, view);
        // The style keeps a few pixels of margin inside the text rectangle.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        drawn[index.row()] = item.fontMetrics.elidedText(item.text, item.textElideMode, room.width() - 2 * margin);
        QStyledItemDelegate::paint(painter, option, index);
    }

    mutable std::map<int, QString> drawn;
};

} // namespace

class WindowUseTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        start();
        list = control<App::FileListView>("ListView1");
    }

    void activate()
    {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    void resizeWindowBy(int dx)
    {
        window->resize(window->width() + dx, window->height());
        QApplication::processEvents();
        QApplication::processEvents();
    }

    // Pixels of the viewport's middle band that differ from the list's
    // background: where the hint is drawn.
    int inkInTheMiddle()
    {
        list->viewport()->repaint();
        const QImage image = list->viewport()->grab().toImage();
        const QRgb background = image.pixel(1, image.height() - 2);
        const int band = list->fontMetrics().height() * 2;
        int ink = 0;
        for (int y = (image.height() - band) / 2; y < (image.height() + band) / 2; ++y) {
            for (int x = 0; x < image.width(); ++x)
                ink += image.pixel(x, y) != background;
        }
        return ink;
    }

    App::FileListView *list = nullptr;
};

TEST_F(WindowUseTest, LongPathsKeepTheirFileNameAndShowWholeAsTip)
{
    QString longPath = QStringLiteral("/media/archive");
    for (int i = 0; i < 12; ++i)
        longPath += QStringLiteral("/a-rather-long-folder-name-%1").arg(i);
    longPath += QStringLiteral("/the-movie-to-convert.swf");
    const QString shortPath = QStringLiteral("/tmp/a.swf");
    window->fileQueue().append({longPath, shortPath});

    auto *delegate = new DrawnTextDelegate(list);
    list->setItemDelegate(delegate);
    list->viewport()->repaint();
    ASSERT_EQ(delegate->drawn.count(0), 1u);
    const QString drawn = delegate->drawn[0];
    EXPECT_LT(drawn.size(), longPath.size()) << drawn.toStdString();
    EXPECT_TRUE(drawn.startsWith(QStringLiteral("/media/archive"))) << drawn.toStdString();
    EXPECT_TRUE(drawn.endsWith(QStringLiteral("the-movie-to-convert.swf"))) << drawn.toStdString();
    EXPECT_EQ(delegate->drawn[1], shortPath);

    // The tip over a row is its whole path; away from the rows it is the
    // list's own tip, as the tool tip event shows them.
    const auto tipAt = [&](const QPoint &point) {
        QHelpEvent help(QEvent::ToolTip, point, list->viewport()->mapToGlobal(point));
        QApplication::sendEvent(list->viewport(), &help);
        const QString shown = QToolTip::text();
        QToolTip::hideText();
        return shown;
    };
    const QRect firstRow = list->visualRect(list->model()->index(0, 0));
    const QRect secondRow = list->visualRect(list->model()->index(1, 0));
    EXPECT_EQ(tipAt(firstRow.center()), longPath);
    EXPECT_EQ(tipAt(secondRow.center()), shortPath);
    EXPECT_EQ(tipAt(QPoint(5, list->viewport()->height() - 5)), list->toolTip());
}

TEST_F(WindowUseTest, ColumnFillsTheListAsTheWindowResizes)
{
    const int before = list->viewport()->width();
    EXPECT_EQ(list->columnWidth(0), before);

    resizeWindowBy(300);
    EXPECT_GT(list->viewport()->width(), before);
    EXPECT_EQ(list->columnWidth(0), list->viewport()->width());
    resizeWindowBy(-300);
    EXPECT_EQ(list->columnWidth(0), list->viewport()->width());

    // Widened past the list to read a long name, the column keeps that
    // width while the list grows within it, and fills the list beyond it.
    const int widened = list->viewport()->width() + 150;
    list->setColumnWidth(0, widened);
    resizeWindowBy(60);
    EXPECT_EQ(list->columnWidth(0), widened);
    resizeWindowBy(-60);
    EXPECT_EQ(list->columnWidth(0), widened);
    resizeWindowBy(400);
    EXPECT_EQ(list->columnWidth(0), list->viewport()->width());
    EXPECT_GT(list->columnWidth(0), widened);
}

TEST_F(WindowUseTest, DropHintShowsOnlyInTheEmptyList)
{
    EXPECT_GT(inkInTheMiddle(), 0) << "the empty list shows the hint";
    window->fileQueue().append({QStringLiteral("/tmp/one.swf")});
    EXPECT_EQ(inkInTheMiddle(), 0) << "a row hides the hint";
    window->fileQueue().clear();
    EXPECT_GT(inkInTheMiddle(), 0) << "the hint returns with the list emptied";
}

TEST_F(WindowUseTest, TabFollowsTheLayout)
{
    activate();
    EXPECT_EQ(QApplication::focusWidget(), list) << "the list has the focus first";
    // Each option group is one stop, at its selected option (the arrow
    // keys choose within the group).
    const char *const order[] = {
        "PushButton3", "PushButton6", "PushButton1", "PushButton5",  "PushButton7",  "PushButton8",  "Option1",
        "Text1",       "PushButton9", "Text2",       "PushButton10", "PushButton14", "PlayHeight",   "PushButton13", "Option8",
        "Slider1",     "Option3",     "Text3",       "PushButton11", "PushButton2",  "PushButton4",  "ListView1",
    };
    QStringList expected;
    for (const char *name : order)
        expected.append(QLatin1String(name));
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget()->objectName());
    }
    EXPECT_EQ(visited, expected);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("PushButton4"));

    // With the other options selected the stops move to them, and the
    // disabled folder field is passed over.
    click("Option2");
    click("Option7");
    click("Option4");
    list->setFocus();
    visited.clear();
    for (int i = 0; i < 17; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget()->objectName());
    }
    EXPECT_EQ(visited.mid(6),
              (QStringList{QStringLiteral("Text1"), QStringLiteral("PushButton9"), QStringLiteral("Option2"),
                           QStringLiteral("Text2"), QStringLiteral("PushButton10"), QStringLiteral("PushButton14"),
                           QStringLiteral("PlayHeight"), QStringLiteral("PushButton13"), QStringLiteral("Option7"), QStringLiteral("Slider1"),
                           QStringLiteral("Option4")}));

    // The delay group is one stop wherever its choice is: AS IN MOVIE
    // selected takes the stop that SLOW had.
    click("Option5");
    list->setFocus();
    visited.clear();
    for (int i = 0; i < 10; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget()->objectName());
    }
    EXPECT_EQ(visited.mid(6), (QStringList{QStringLiteral("Text1"), QStringLiteral("PushButton9"),
                                           QStringLiteral("Text2"), QStringLiteral("PushButton10")}))
        << visited.join(QLatin1Char(' ')).toStdString();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("Option5"));
}

TEST_F(WindowUseTest, MnemonicsAndCtrlOPressTheirButton)
{
    activate();
    const char *const names[] = {"PushButton1", "PushButton2",  "PushButton3", "PushButton4",
                                 "PushButton5", "PushButton6",  "PushButton7", "PushButton8",
                                 "PushButton9", "PushButton10", "PushButton11"};
    std::map<std::string, std::unique_ptr<QSignalSpy>> spies;
    for (const char *name : names)
        spies[name] = std::make_unique<QSignalSpy>(control<QPushButton>(name), &QAbstractButton::clicked);
    // A mnemonic presses its button as a click would be seen, after a moment.
    const auto pressed = [&] {
        (void)QTest::qWaitFor(
            [&] {
                for (auto &entry : spies) {
                    if (entry.second->count() > 0)
                        return true;
                }
                return false;
            },
            2000);
        QStringList clicked;
        for (auto &[name, spy] : spies) {
            for (qsizetype i = 0; i < spy->count(); ++i)
                clicked.append(QString::fromStdString(name));
            spy->clear();
        }
        return clicked;
    };

    const struct
    {
        Qt::Key key;
        Qt::KeyboardModifier modifier;
        const char *button;
    } keys[] = {
        {Qt::Key_A, Qt::AltModifier, "PushButton1"},     {Qt::Key_F, Qt::AltModifier, "PushButton5"},
        {Qt::Key_C, Qt::AltModifier, "PushButton7"},     {Qt::Key_L, Qt::AltModifier, "PushButton8"},
        {Qt::Key_U, Qt::AltModifier, "PushButton3"},     {Qt::Key_D, Qt::AltModifier, "PushButton6"},
        {Qt::Key_S, Qt::AltModifier, "PushButton2"},     {Qt::Key_H, Qt::AltModifier, "PushButton4"},
        {Qt::Key_O, Qt::ControlModifier, "PushButton1"},
    };
    for (const auto &key : keys) {
        SCOPED_TRACE(key.button);
        QTest::keyClick(QApplication::focusWidget(), key.key, key.modifier);
        EXPECT_EQ(pressed(), QStringList{QLatin1String(key.button)});
    }
    // Ctrl+O reaches the file dialog as the button does.
    App::Dialogs::clearShown();
    control<QLineEdit>("Text1")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_FALSE(App::Dialogs::shown().isEmpty());
    EXPECT_EQ(App::Dialogs::shown().first().title, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"));
}

TEST(TypedFolder, RelativeAndTildeFoldersAreTakenInTheHomeFolder)
{
    const struct
    {
        const char *typed;
        const char *home;
        const char *meant;
    } cases[] = {
        {"out1", "/home/ann", "/home/ann/out1"},
        {"videos/2024/", "/home/ann", "/home/ann/videos/2024/"},
        {"./out", "/home/ann/", "/home/ann/./out"},
        {"~", "/home/ann", "/home/ann"},
        {"~/", "/home/ann", "/home/ann/"},
        {"~/clips", "/home/ann/", "/home/ann/clips"},
        {"~ann2", "/home/ann", "/home/ann/~ann2"},
        {"out", "/", "/out"},
        {"~/out", "/", "/out"},
        {"/srv/videos/", "/home/ann", "/srv/videos/"},
        {"", "/home/ann", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(App::ResolveTypedFolder(QLatin1String(c.typed), QLatin1String(c.home)), QLatin1String(c.meant));
    }
}

TEST_F(WindowUseTest, TypedFolderReachesTheJobInTheHomeFolder)
{
    TempFolder home;
    const HomeOverride override(home.path());
    auto *text3 = control<QLineEdit>("Text3");
    text3->setText(QStringLiteral("out1"));
    EXPECT_EQ(jobControls().folderText(), home.path() + QStringLiteral("/out1"));
    text3->setText(QStringLiteral("~/out2/"));
    EXPECT_EQ(jobControls().folderText(), home.path() + QStringLiteral("/out2/"));
    // What the user typed is kept as typed, on screen and in the settings.
    EXPECT_EQ(text3->text(), QStringLiteral("~/out2/"));
    EXPECT_EQ(stored("Local Folder"), QStringLiteral("~/out2/"));
}

TEST_F(WindowUseTest, SummaryOpenFolderReachesTheOpener)
{
    TempFolder out;
    App::Dialogs::setNextMessageAnswer(QMessageBox::Open);
    window->showSummary(QStringLiteral("Done."), QString(), out.path());
    ASSERT_EQ(App::Dialogs::shown().size(), 1);
    EXPECT_EQ(App::Dialogs::shown().first().text, QStringLiteral("Done."));
    EXPECT_EQ(App::Dialogs::shown().first().buttons, QMessageBox::Ok | QMessageBox::Open);
    EXPECT_EQ(opened, QStringList{QUrl::fromLocalFile(out.path() + QLatin1Char('/')).toString()});

    // OK opens nothing; with no folder to show there is no button.
    opened.clear();
    App::Dialogs::clearShown();
    window->showSummary(QStringLiteral("Done."), QString(), out.path());
    App::Dialogs::setNextMessageAnswer(QMessageBox::Open);
    window->showSummary(QStringLiteral("Done."), QString(), QString());
    ASSERT_EQ(App::Dialogs::shown().size(), 2);
    EXPECT_EQ(App::Dialogs::shown().at(1).buttons, QMessageBox::Ok);
    EXPECT_TRUE(opened.isEmpty()) << opened.join(QLatin1Char(' ')).toStdString();

    // A folder removed meanwhile, or an opener that fails, is said plainly.
    App::Dialogs::clearShown();
    App::Dialogs::setNextMessageAnswer(QMessageBox::Open);
    window->showSummary(QStringLiteral("Done."), QString(), out.path() + QStringLiteral("/gone"));
    ASSERT_EQ(App::Dialogs::shown().size(), 2);
    EXPECT_TRUE(App::Dialogs::shown().at(1).text.startsWith(QStringLiteral("The folder ") + out.path()
                                                            + QStringLiteral("/gone/ cannot be opened")));
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}

TEST(SummaryBox, OffersOpenFolderBesideOk)
{
    App::SummaryBox box(nullptr, QStringLiteral("Tarnwick"), QStringLiteral("Done.\n\nAll made."), QString(), true);
    ASSERT_NE(box.openFolderButton(), nullptr);
    EXPECT_EQ(box.openFolderButton()->text().remove(QLatin1Char('&')), QStringLiteral("Open Folder"));
    EXPECT_TRUE(box.okButton()->isDefault());
    EXPECT_EQ(box.findChildren<QPushButton *>().size(), 2);
    // Pressing it ends the box with its own answer, which the window takes
    // as "open the folder".
    QMetaObject::invokeMethod(box.openFolderButton(), "click", Qt::QueuedConnection);
    EXPECT_EQ(box.exec(), App::SummaryBox::OpenFolder);

    App::SummaryBox plain(nullptr, QStringLiteral("Tarnwick"), QStringLiteral("Done."), QString(), false);
    EXPECT_EQ(plain.openFolderButton(), nullptr);
    EXPECT_EQ(plain.findChildren<QPushButton *>().size(), 1);
}
