// The Start button with the real conversion job behind it: the window stays
// alive while the job runs, shows its progress, and a second click is
// ignored.
#include "WindowFixture.h"

#include "app/ProgressBar.h"
#include "pipeline/ConversionJob.h"
#include "tools/ToolDeployment.h"

#include "MediaProbe.h"
#include "RecordingBar.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>

namespace {

// The window's controls as the job sees them, its progress bar seen through
// a relay.
class WindowWithObservedBar : public Pipeline::JobControls
{
public:
    WindowWithObservedBar(Pipeline::JobControls &window, Tools::ProgressSink &windowBar)
        : bar(windowBar)
        , m_window(window)
    {
    }

    bool slowSelected() const override { return m_window.slowSelected(); }
    QString slowText() const override { return m_window.slowText(); }
    QString fastText() const override { return m_window.fastText(); }
    int qualityValue() const override { return m_window.qualityValue(); }
    int qualityMaximum() const override { return m_window.qualityMaximum(); }
    bool eachFileSelected() const override { return m_window.eachFileSelected(); }
    bool combineSelected() const override { return m_window.combineSelected(); }
    bool saveToFolderSelected() const override { return m_window.saveToFolderSelected(); }
    bool saveBesideSourceSelected() const override { return m_window.saveBesideSourceSelected(); }
    QString folderText() const override { return m_window.folderText(); }
    int fileCount() const override { return m_window.fileCount(); }
    QString fileAt(int position) const override { return m_window.fileAt(position); }
    Tools::ProgressSink &progress() override { return bar; }
    void setPointer(Pipeline::Pointer pointer) override { m_window.setPointer(pointer); }
    Pipeline::Pointer pointer() const override { return m_window.pointer(); }
    void yield() override { m_window.yield(); }
    void showMessage(const QString &text) override { m_window.showMessage(text); }
    Tools::ErrorReporter &errorReporter() override { return m_window.errorReporter(); }

    RelayingBar bar;

private:
    Pipeline::JobControls &m_window;
};

} // namespace

TEST_F(WindowTest, StartRunsTheJobWhileTheWindowStaysAlive)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "ffmpeg is not installed";
    TempFolder in;
    TempFolder out;
    const QString swf = in.file(QStringLiteral("clip.swf"));
    ASSERT_TRUE(MakeFfmpegSwf(swf, 160, 120, 3, 1.0));

    start();
    control<QLineEdit>("Text3")->setText(out.path());
    window->ListView1_OLEDragDrop({swf});
    ASSERT_EQ(jobControls().fileCount(), 1);

    // The job works through the window, except that each caption it sets
    // is seen the moment the window's bar receives it.
    App::WindowControls windowControls(*window);
    WindowWithObservedBar controls(windowControls, windowControls.progress());
    Tools::WorkFolderOwner work;
    Pipeline::ConversionJob job(controls, work.path());
    int jobs = 0;
    window->setStartAction([&] {
        ++jobs;
        job.PushButton2_Click();
    });

    // What the window shows at each step, and a second click on Start
    // while the first file is being processed.
    QStringList captions;
    bool sawBusy = false;
    controls.bar.onCaption = [&](const QString &) {
        if (!job.converting())
            return;
        captions.append(control<App::ProgressBar>("ProgressBar1")->caption());
        sawBusy = sawBusy || window->pointer() == Pipeline::Pointer::Busy;
        if (captions.size() == 1)
            control<QPushButton>("PushButton2")->click();
    };
    click("PushButton2");
    controls.bar.onCaption = nullptr;

    EXPECT_EQ(jobs, 2) << "the second click reaches the job, which ignores it";
    EXPECT_TRUE(sawBusy);
    EXPECT_TRUE(captions.contains(QStringLiteral("Processing: clip.swf")))
        << captions.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(window->pointer(), Pipeline::Pointer::Default);
    EXPECT_EQ(control<App::ProgressBar>("ProgressBar1")->caption(), QStringLiteral("Progress Bar"));

    const MediaProbe video = ProbeMedia(out.file(QStringLiteral("video.mp4")));
    EXPECT_EQ(video.videoFrames, 4);
    EXPECT_TRUE(video.hasAudio);
    ASSERT_EQ(App::Dialogs::shown().size(), 1);
    EXPECT_TRUE(App::Dialogs::shown().first().text.startsWith(QStringLiteral("Done.")));
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}

// The summary's "Open Folder" after a real run: the output folder typed
// relative to home, then, beside the originals, the first video's folder.
TEST_F(WindowTest, SummaryOpensTheFolderOfTheVideos)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "ffmpeg is not installed";
    TempFolder in;
    TempFolder home;
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("out")));
    const QString swf = in.file(QStringLiteral("clip.swf"));
    ASSERT_TRUE(MakeFfmpegSwf(swf, 160, 120, 2, 1.0));

    const HomeOverride homeOverride(home.path());
    start();
    control<QLineEdit>("Text3")->setText(QStringLiteral("~/out"));
    window->ListView1_OLEDragDrop({swf});
    ASSERT_EQ(jobControls().fileCount(), 1);
    Tools::WorkFolderOwner work;
    App::WindowControls controls(*window);
    Pipeline::ConversionJob job(controls, work.path());
    window->setStartAction([&] { job.PushButton2_Click(); });

    App::Dialogs::setNextMessageAnswer(QMessageBox::Open);
    click("PushButton2");
    EXPECT_TRUE(QFileInfo::exists(home.path() + QStringLiteral("/out/video.mp4")));
    EXPECT_EQ(opened, QStringList{QUrl::fromLocalFile(home.path() + QStringLiteral("/out/")).toString()});

    opened.clear();
    click("Option4");
    click("Option7");
    App::Dialogs::clearShown();
    App::Dialogs::setNextMessageAnswer(QMessageBox::Open);
    click("PushButton2");
    EXPECT_TRUE(QFileInfo::exists(in.file(QStringLiteral("clip.mp4"))));
    ASSERT_EQ(App::Dialogs::shown().size(), 1);
    EXPECT_EQ(App::Dialogs::shown().first().buttons, QMessageBox::Ok | QMessageBox::Open);
    EXPECT_EQ(opened, QStringList{QUrl::fromLocalFile(in.path() + QLatin1Char('/')).toString()});
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}

// AS IN MOVIE needs no delay: Start with both delay boxes empty makes the
// video with the movie's own length instead of asking for a delay.
TEST_F(WindowTest, StartAsInMovieWithEmptyDelayBoxesMakesTheVideo)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "ffmpeg is not installed";
    TempFolder in;
    TempFolder out;
    const QString swf = in.file(QStringLiteral("clip.swf"));
    ASSERT_TRUE(MakeFfmpegSwf(swf, 160, 120, 3));

    start();
    click("Option5");
    control<QLineEdit>("Text1")->clear();
    control<QLineEdit>("Text2")->clear();
    control<QLineEdit>("Text3")->setText(out.path());
    window->ListView1_OLEDragDrop({swf});
    Tools::WorkFolderOwner work;
    App::WindowControls controls(*window);
    Pipeline::ConversionJob job(controls, work.path());
    window->setStartAction([&] { job.PushButton2_Click(); });
    click("PushButton2");

    ASSERT_EQ(App::Dialogs::shown().size(), 1);
    const QString summary = App::Dialogs::shown().first().text;
    EXPECT_TRUE(summary.startsWith(QStringLiteral("Done."))) << summary.toStdString();
    // Three pictures at the movie's two a second, no end frame.
    EXPECT_NEAR(ProbeMedia(out.file(QStringLiteral("video.mp4"))).duration, 1.5, 0.1);
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}
