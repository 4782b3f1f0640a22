#include "WindowFixture.h"

#include "app/ProgressBar.h"
#include "app/WebAddresses.h"

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTreeView>

using App::Form1;
using Pipeline::Pointer;

namespace {

const char *const kRestoredKeys[] = {"Text1",   "Text2",   "Option1", "Option2", "Local Folder",
                                     "Quality", "Option7", "Option8", "Option3", "Option4"};

} // namespace

TEST_F(WindowTest, EmptyStoreShowsTheDefaultsAndWritesAllTenKeys)
{
    start();
    EXPECT_EQ(control<QLineEdit>("Text1")->text(), QStringLiteral("3"));
    EXPECT_EQ(control<QLineEdit>("Text2")->text(), QStringLiteral("1"));
    EXPECT_TRUE(control<QRadioButton>("Option1")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("Option2")->isChecked());
    EXPECT_EQ(control<QLineEdit>("Text3")->text(), App::DefaultOutputFolder());
    EXPECT_EQ(control<QSlider>("Slider1")->value(), 75);
    EXPECT_EQ(control<QGroupBox>("Frame3")->title(), QStringLiteral("Output Quality = 75"));
    EXPECT_FALSE(control<QRadioButton>("Option7")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("Option8")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("Option3")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("Option4")->isChecked());
    EXPECT_TRUE(control<QGroupBox>("Frame4")->isEnabled());

    const char *const expected[] = {"3", "1", "True", "False", nullptr, "75", "False", "True", "True", "False"};
    for (size_t i = 0; i < std::size(kRestoredKeys); ++i) {
        SCOPED_TRACE(kRestoredKeys[i]);
        const QString value = expected[i] ? QLatin1String(expected[i]) : App::DefaultOutputFolder();
        EXPECT_EQ(stored(kRestoredKeys[i]), value);
    }
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
    EXPECT_TRUE(App::Dialogs::shown().isEmpty());
}

TEST_F(WindowTest, IdentityListColumnAndTitle)
{
    start();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tarnwick"));
    EXPECT_EQ(App::ApplicationTitle(), QStringLiteral("Tarnwick"));
    auto *list = control<QTreeView>("ListView1");
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("SWF File(s)"));
    EXPECT_EQ(list->model()->columnCount(), 1);
    EXPECT_FALSE(list->header()->isHidden());
    // Made 6500 twips wide at load, the column then fills the shown list.
    EXPECT_GE(list->columnWidth(0), 6500 / 15);
    EXPECT_EQ(list->columnWidth(0), list->viewport()->width());
    EXPECT_EQ(list->toolTip(), QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line "
                                              "to right and out of window to reveal full names."));
    EXPECT_EQ(control<App::ProgressBar>("ProgressBar1")->caption(), QStringLiteral("Progress Bar"));
    const char *const buttons[][2] = {
        {"PushButton1", "Add SWF Files"},
        {"PushButton2", "Start Creating MP4 File"},
        {"PushButton3", "Move Up"},
        {"PushButton4", "Help"},
        {"PushButton5", "Add All SWF Files In Folder"},
        {"PushButton6", "Move Down"},
        {"PushButton7", "Clear List"},
        {"PushButton8", "Load Sample/Example Files"},
        {"PushButton9", "?"},
        {"PushButton10", "?"},
        {"PushButton11", "..."},
    };
    for (const auto &button : buttons) {
        SCOPED_TRACE(button[0]);
        // The caption as shown: an '&' only marks the mnemonic.
        EXPECT_EQ(control<QPushButton>(button[0])->text().remove(QLatin1Char('&')), QLatin1String(button[1]));
    }
}

TEST_F(WindowTest, OptionClicksWriteTheirPair)
{
    start();
    click("Option2");
    EXPECT_EQ(stored("Option1"), QStringLiteral("False"));
    EXPECT_EQ(stored("Option2"), QStringLiteral("True"));
    EXPECT_FALSE(jobControls().slowSelected());

    click("Option7");
    EXPECT_EQ(stored("Option7"), QStringLiteral("True"));
    EXPECT_EQ(stored("Option8"), QStringLiteral("False"));
    EXPECT_TRUE(jobControls().eachFileSelected());
    EXPECT_FALSE(jobControls().combineSelected());
}

TEST_F(WindowTest, EachKeystrokeIsWritten)
{
    start();
    auto *text1 = control<QLineEdit>("Text1");
    text1->clear();
    EXPECT_EQ(stored("Text1"), QString());
    QTest::keyClick(text1, Qt::Key_1);
    EXPECT_EQ(stored("Text1"), QStringLiteral("1"));
    QTest::keyClick(text1, Qt::Key_2);
    EXPECT_EQ(stored("Text1"), QStringLiteral("12"));

    // A stored empty text comes back empty, not as the default.
    text1->clear();
    start();
    EXPECT_EQ(control<QLineEdit>("Text1")->text(), QString());
}

TEST_F(WindowTest, QualityIsRestoredRoundedAndChecked)
{
    struct Case
    {
        const char *stored;
        int slider;
        bool reported;
    } cases[] = {
        {"80.6", 81, false}, {"80.5", 80, false}, {"81.5", 82, false}, {"0", 0, false},   {"100", 100, false},
        {"abc", 0, false},   {"101", 75, true},   {"-1", 75, true},    {"1e9", 75, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored);
        store("Quality", QLatin1String(c.stored));
        reporter.reports.clear();
        start();
        EXPECT_EQ(control<QSlider>("Slider1")->value(), c.slider);
        EXPECT_EQ(control<QGroupBox>("Frame3")->title(), QStringLiteral("Output Quality = %1").arg(c.slider));
        ASSERT_EQ(reporter.reports.size(), c.reported ? 1u : 0u) << reporter;
        if (c.reported) {
            EXPECT_EQ(reporter.reports[0].location, QStringLiteral("in Tarnwick2021/08/31.Form1.Form_Load "));
            EXPECT_EQ(reporter.reports[0].step, 146);
            EXPECT_EQ(reporter.reports[0].description, QStringLiteral("Invalid property value"));
        } else {
            EXPECT_EQ(stored("Quality"), QString::number(c.slider));
        }
    }
}

TEST_F(WindowTest, SliderWritesQualityAndCaption)
{
    start();
    control<QSlider>("Slider1")->setValue(0);
    EXPECT_EQ(control<QGroupBox>("Frame3")->title(), QStringLiteral("Output Quality = 0"));
    EXPECT_EQ(stored("Quality"), QStringLiteral("0"));
    EXPECT_EQ(jobControls().qualityValue(), 0);
    EXPECT_EQ(jobControls().qualityMaximum(), 100);
}

TEST_F(WindowTest, UnreadableBooleanIsReportedAndLoadingGoesOn)
{
    store("Option1", QStringLiteral("maybe"));
    store("Option8", QStringLiteral("0"));
    store("Option7", QStringLiteral("1"));
    start();
    ASSERT_EQ(reporter.reports.size(), 1u) << reporter;
    EXPECT_EQ(reporter.reports[0].step, 140);
    EXPECT_EQ(reporter.reports[0].description, QStringLiteral("Type mismatch"));
    EXPECT_EQ(stored("Option1"), QStringLiteral("maybe"));
    EXPECT_TRUE(control<QRadioButton>("Option7")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("Option8")->isChecked());
    EXPECT_TRUE(control<QGroupBox>("Frame4")->isEnabled());
}

TEST_F(WindowTest, SaveBesideSourceDisablesTheFolderAndSurvivesARestart)
{
    start();
    click("Option4");
    EXPECT_FALSE(control<QLineEdit>("Text3")->isEnabled());
    EXPECT_FALSE(control<QPushButton>("PushButton11")->isEnabled());
    EXPECT_TRUE(control<QRadioButton>("Option3")->isEnabled());
    EXPECT_TRUE(control<QRadioButton>("Option4")->isEnabled());
    EXPECT_EQ(stored("Option3"), QStringLiteral("False"));
    EXPECT_EQ(stored("Option4"), QStringLiteral("True"));

    start();
    EXPECT_TRUE(control<QRadioButton>("Option4")->isChecked());
    EXPECT_FALSE(control<QLineEdit>("Text3")->isEnabled());
    EXPECT_FALSE(control<QPushButton>("PushButton11")->isEnabled());
    EXPECT_TRUE(jobControls().saveBesideSourceSelected());

    click("Option3");
    EXPECT_TRUE(control<QLineEdit>("Text3")->isEnabled());
    EXPECT_TRUE(control<QPushButton>("PushButton11")->isEnabled());
}

TEST_F(WindowTest, BrowseForTheOutputFolder)
{
    struct Case
    {
        const char *chosen; // empty: cancelled
        const char *text3;
        const char *lastFolderDot;
    } cases[] = {
        {"/srv/videos", "/srv/videos/", "/srv/videos"}, {"/", "/", "/"}, {"", "/", "/"}, // cancelled: nothing changes
    };
    start();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.chosen);
        App::Dialogs::setNextFolder(QLatin1String(c.chosen));
        const QString before = stored("LastFolderDot");
        click("PushButton11");
        ASSERT_EQ(App::Dialogs::shown().size(), 1);
        EXPECT_EQ(App::Dialogs::shown()[0].text, QStringLiteral("Please select folder:"));
        EXPECT_EQ(App::Dialogs::shown()[0].initial, before == QStringLiteral("<absent>") ? QString() : before);
        App::Dialogs::clearShown();
        EXPECT_EQ(control<QLineEdit>("Text3")->text(), QLatin1String(c.text3));
        EXPECT_EQ(stored("Local Folder"), QLatin1String(c.text3));
        EXPECT_EQ(stored("LastFolderDot"), QLatin1String(c.lastFolderDot));
    }
}

TEST_F(WindowTest, TipTexts)
{
    start();
    click("PushButton9");
    click("PushButton10");
    const QStringList tips = takeShownTexts();
    ASSERT_EQ(tips.size(), 2);
    EXPECT_EQ(tips[0], QStringLiteral("It is recommended that you start with a higher number like 3 (rather than 1) so "
                                      "there is time to view the images in video player."));
    EXPECT_EQ(tips[1], QStringLiteral("Because images are displayed quickly, it may not display all the images in "
                                      "Windows Media Player (for example) but may display fine in other video "
                                      "players. You may need to add some extra images to the file list to get the "
                                      "desired result."));

    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        SCOPED_TRACE(answer == QMessageBox::Yes ? "Yes" : "No");
        opened.clear();
        App::Dialogs::setNextMessageAnswer(QMessageBox::Ok);
        App::Dialogs::setNextMessageAnswer(answer);
        click("PushButton4");
        const QList<App::ShownDialog> shown = App::Dialogs::shown();
        ASSERT_EQ(shown.size(), 2);
        EXPECT_EQ(shown[0].text, QStringLiteral("The video looks much better if the pictures have the same or similar "
                                                "dimensions (height and width).\r\n\r\nQuestions? Please contact Team "
                                                "Quillmark at https://www.tarnwick.example/contact"));
        EXPECT_EQ(shown[0].buttons, QMessageBox::Ok);
        EXPECT_EQ(shown[1].text,
                  QStringLiteral("The output videos do not play well with Windows Media Player.\r\n\r\nHowever, they "
                                 "do play well with Media Player Classic - Home Cinema. It is strongly recommended "
                                 "that you download and use MPC-HC with the video files created with this "
                                 "software.\r\n\r\nWould you like me to open this website in your browser for you now "
                                 "so you can see?"));
        EXPECT_EQ(shown[1].buttons, QMessageBox::Yes | QMessageBox::No);
        for (const App::ShownDialog &box : shown)
            EXPECT_EQ(box.title, QStringLiteral("Tarnwick"));
        App::Dialogs::clearShown();
        EXPECT_EQ(opened, answer == QMessageBox::Yes ? QStringList{QLatin1String(App::WebAddresses::kPlayerSearch)}
                                                     : QStringList());
    }
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}

TEST_F(WindowTest, OnlyTheDrawOfSevenVisitsTheMaker)
{
    for (const int value : {1, 6, 7, 8, 100}) {
        SCOPED_TRACE(value);
        draw = value;
        draws = 0;
        opened.clear();
        start();
        EXPECT_EQ(draws, 1);
        EXPECT_EQ(opened, value == 7 ? QStringList{QStringLiteral("https://www.tarnwick.example/")} : QStringList());
    }
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}

TEST_F(WindowTest, AFailedVisitIsReportedAndLoadingGoesOn)
{
    draw = 7;
    openSucceeds = false;
    start();
    ASSERT_EQ(reporter.reports.size(), 1u) << reporter;
    EXPECT_EQ(reporter.reports[0].step, 106);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tarnwick"));
    EXPECT_EQ(stored("Option4"), QStringLiteral("False"));
}

TEST_F(WindowTest, SkinIsAppliedWhenPresent)
{
    start();
    EXPECT_TRUE(window->styleSheet().isEmpty());

    const QByteArray sheet = "QPushButton { font-weight: bold; }";
    program.write(QStringLiteral("x/o.cjs"), sheet);
    start();
    EXPECT_EQ(window->styleSheet(), QString::fromUtf8(sheet));
    EXPECT_TRUE(reporter.reports.empty()) << reporter;

    program.write(QStringLiteral("x/o.cjs"), QByteArray(2 * 1024 * 1024, ' '));
    start();
    ASSERT_EQ(reporter.reports.size(), 1u) << reporter;
    EXPECT_EQ(reporter.reports[0].step, 100);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tarnwick"));
}

TEST_F(WindowTest, PointerRule)
{
    start();
    const auto enter = [this](const char *name) {
        QEvent event(QEvent::Enter);
        QApplication::sendEvent(window->findChild<QWidget *>(QLatin1String(name)), &event);
    };
    enter("PushButton1");
    EXPECT_EQ(window->pointer(), Pointer::Hand);
    enter("Frame2");
    EXPECT_EQ(window->pointer(), Pointer::Default);
    enter("PushButton11");
    EXPECT_EQ(window->pointer(), Pointer::Hand);
    enter("Text1");
    EXPECT_EQ(window->pointer(), Pointer::Default);
    EXPECT_EQ(control<QPushButton>("PushButton8")->cursor().shape(), Qt::PointingHandCursor);

    window->setPointer(Pointer::Busy);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    enter("PushButton2");
    enter("Frame1");
    EXPECT_EQ(window->pointer(), Pointer::Busy);
    window->setPointer(Pointer::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowTest, StartRunsTheJobAndClosingMeanwhileEndsTheProgram)
{
    start();
    window->show();
    int runs = 0;
    window->setStartAction([this, &runs] {
        ++runs;
        window->setPointer(Pointer::Busy);
        jobControls().progress().setValue(42.5);
        jobControls().yield();
        window->close();
    });
    click("PushButton2");
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(programEnds, 1);
    EXPECT_DOUBLE_EQ(jobControls().progress().value(), 42.5);
    window->setPointer(Pointer::Default);

    // Closing an idle window ends nothing by force.
    window->show();
    window->close();
    EXPECT_EQ(programEnds, 1);
}

TEST_F(WindowTest, JobMessagesAreOkOnlyWithTheApplicationTitle)
{
    start();
    jobControls().showMessage(QStringLiteral("Done."));
    ASSERT_EQ(App::Dialogs::shown().size(), 1);
    EXPECT_EQ(App::Dialogs::shown()[0].title, QStringLiteral("Tarnwick"));
    EXPECT_EQ(App::Dialogs::shown()[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(&window->errorReporter(), &reporter);
}

TEST_F(WindowTest, AsInMovieIsADelayChoiceThatIsSavedAndRestored)
{
    start();
    auto *movie = control<QRadioButton>("Option5");
    EXPECT_EQ(movie->text(), QStringLiteral("AS IN MOVIE - Show each image when and as long as the movie shows it"));
    EXPECT_EQ(movie->parentWidget(), control<QGroupBox>("Frame2"));
    EXPECT_FALSE(movie->isChecked());
    EXPECT_EQ(stored("Option5"), QStringLiteral("False")) << "written back at load";
    // The whole caption shows, inside the delay group and the window.
    EXPECT_GE(movie->width(), movie->sizeHint().width());
    EXPECT_TRUE(window->rect().contains(QRect(movie->mapTo(window.get(), QPoint(0, 0)), movie->size())));

    click("Option5");
    EXPECT_TRUE(movie->isChecked());
    for (const char *other : {"Option1", "Option2", "Option6"}) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(control<QRadioButton>(other)->isChecked());
        EXPECT_EQ(stored(other), QStringLiteral("False"));
    }
    EXPECT_EQ(stored("Option5"), QStringLiteral("True"));

    // No delay number is needed: an empty SLOW box stays empty and loading
    // reports nothing.
    control<QLineEdit>("Text1")->clear();
    start();
    EXPECT_TRUE(control<QRadioButton>("Option5")->isChecked()) << "restored";
    EXPECT_FALSE(control<QRadioButton>("Option1")->isChecked());
    EXPECT_EQ(control<QLineEdit>("Text1")->text(), QString());
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
    const Pipeline::JobChoices choices = Pipeline::JobChoices::ReadFrom(jobControls());
    EXPECT_TRUE(choices.movie);
    EXPECT_FALSE(choices.slow);
    EXPECT_FALSE(choices.play);

    click("Option2");
    EXPECT_EQ(stored("Option5"), QStringLiteral("False"));
    start();
    EXPECT_FALSE(control<QRadioButton>("Option5")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("Option2")->isChecked());
    EXPECT_FALSE(Pipeline::JobChoices::ReadFrom(jobControls()).movie);
}

TEST_F(WindowTest, AsInMovieWithoutThePlayerIsKeptAndAnUnreadableOneIsReported)
{
    // A saved AS IN MOVIE is not replaced by SLOW when PLAY is unavailable.
    store("Option5", QStringLiteral("True"));
    store("Option1", QStringLiteral("False"));
    start();
    EXPECT_TRUE(control<QRadioButton>("Option5")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("Option1")->isChecked());
    EXPECT_TRUE(reporter.reports.empty()) << reporter;

    // (A restored SLOW would write the key back before it is read.)
    store("Option5", QStringLiteral("sometimes"));
    start();
    ASSERT_EQ(reporter.reports.size(), 1u) << reporter;
    EXPECT_EQ(reporter.reports[0].step, 141);
    EXPECT_EQ(reporter.reports[0].description, QStringLiteral("Type mismatch"));
    EXPECT_FALSE(control<QRadioButton>("Option5")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("Option1")->isChecked()) << "a job must still have a delay choice";
    EXPECT_TRUE(control<QRadioButton>("Option8")->isChecked()) << "the rest still loads";
}

TEST_F(WindowTest, AsInMovieTipSaysWhenTheDelayBoxApplies)
{
    start();
    click("PushButton14");
    const QStringList tips = takeShownTexts();
    ASSERT_EQ(tips.size(), 1);
    EXPECT_TRUE(tips[0].startsWith(QLatin1String("AS IN MOVIE shows each picture when the movie first shows it")));
    EXPECT_TRUE(tips[0].contains(QLatin1String("3 hours")));
    EXPECT_TRUE(tips[0].contains(QLatin1String("as in SLOW")));
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}

TEST_F(WindowTest, TheJobReadsEveryControlThroughItsAdapter)
{
    const HomeOverride home(QStringLiteral("/home/someone"));
    start();
    click("Option2");
    click("Option7");
    click("Option4");
    control<QLineEdit>("Text1")->setText(QStringLiteral("4"));
    control<QLineEdit>("Text2")->setText(QStringLiteral("7"));
    control<QLineEdit>("Text3")->setText(QStringLiteral("~/videos"));
    control<QSlider>("Slider1")->setValue(30);
    window->fileQueue().append({QStringLiteral("/srv/a.swf"), QStringLiteral("/srv/b.swf")});

    App::WindowControls controls = jobControls();
    const Pipeline::JobChoices choices = Pipeline::JobChoices::ReadFrom(controls);
    EXPECT_FALSE(choices.slow);
    EXPECT_FALSE(choices.movie);
    EXPECT_FALSE(choices.play);
    EXPECT_EQ(choices.slowText, QStringLiteral("4"));
    EXPECT_EQ(choices.fastText, QStringLiteral("7"));
    EXPECT_EQ(choices.qualityValue, 30);
    EXPECT_TRUE(choices.eachFile);
    EXPECT_FALSE(choices.combine);
    EXPECT_FALSE(choices.saveToFolder);
    EXPECT_TRUE(choices.saveBeside);
    EXPECT_EQ(choices.folder, QStringLiteral("/home/someone/videos"));
    EXPECT_EQ(choices.playAssets, renderAssets);
    ASSERT_EQ(controls.fileCount(), 2);
    EXPECT_EQ(controls.fileAt(1), QStringLiteral("/srv/a.swf"));
    EXPECT_EQ(controls.fileAt(2), QStringLiteral("/srv/b.swf"));

    // The pointer the job sets is the window's own.
    controls.setPointer(Pointer::Busy);
    EXPECT_EQ(window->pointer(), Pointer::Busy);
    controls.setPointer(Pointer::Default);
    EXPECT_EQ(controls.pointer(), Pointer::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
