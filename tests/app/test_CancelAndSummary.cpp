// Cancel and the summary box in the window, with the real job behind them.
// The encode is a stand-in script that only waits, so that Cancel can be
// pressed while it runs; everything before it is the real extractor and
// converter.
#include "WindowFixture.h"

#include "app/SummaryBox.h"
#include "pipeline/ConversionJob.h"
#include "tools/ToolDeployment.h"

#include "MediaProbe.h"
#include "ProcessWatch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>

namespace {

// Puts a waiting stand-in `ffmpeg` first on PATH for the test's life.
class WaitingEncoderOnPath
{
public:
    WaitingEncoderOnPath()
        : m_previous(qgetenv("PATH"))
    {
        const QString script = m_bin.write(QStringLiteral("ffmpeg"),
                                           "#!/bin/sh\nfor last; do :; done\nprintf partial > \"$last\"\n"
                                           "echo $$ > \""
                                               + QFile::encodeName(m_bin.file(QStringLiteral("pid")))
                                               + "\"\nexec sleep 120\n");
        ::chmod(QFile::encodeName(script).constData(), 0755);
        qputenv("PATH", QFile::encodeName(m_bin.path()) + ':' + m_previous);
    }
    ~WaitingEncoderOnPath() { qputenv("PATH", m_previous); }

    pid_t pid() const
    {
        QFile file(m_bin.file(QStringLiteral("pid")));
        return file.open(QIODevice::ReadOnly) ? static_cast<pid_t>(file.readAll().trimmed().toLongLong()) : 0;
    }

private:
    TempFolder m_bin;
    QByteArray m_previous;
};

} // namespace

TEST_F(WindowTest, CancelStopsTheJobKeepsTheOlderVideoAndSaysSo)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "ffmpeg is not installed";
    TempFolder in;
    TempFolder out;
    const QString swf = in.file(QStringLiteral("clip.swf"));
    ASSERT_TRUE(MakeFfmpegSwf(swf, 96, 64, 2));
    const QString older = out.write(QStringLiteral("video.mp4"), "older video");

    start();
    control<QLineEdit>("Text3")->setText(out.path());
    window->ListView1_OLEDragDrop({swf});
    auto *cancel = control<QPushButton>("CancelButton");
    EXPECT_FALSE(cancel->isEnabled()) << "no job runs yet";

    WaitingEncoderOnPath encoder;
    Tools::WorkFolderOwner work;
    App::WindowControls controls(*window);
    Pipeline::ConversionJob job(controls, work.path());
    window->setStartAction([&] { job.PushButton2_Click(); });

    for (const bool byEscape : {false, true}) {
        SCOPED_TRACE(byEscape ? "Escape" : "Cancel button");
        App::Dialogs::clearShown();
        bool enabledWhileRunning = false;
        QTimer watcher;
        watcher.setInterval(20);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            // The encode has begun once its hidden file holds something.
            const QStringList hidden =
                QDir(out.path()).entryList({QStringLiteral(".tarnwick-*")}, QDir::Files | QDir::Hidden);
            if (hidden.isEmpty() || QFileInfo(out.file(hidden.first())).size() == 0 || encoder.pid() == 0)
                return;
            watcher.stop();
            enabledWhileRunning = cancel->isEnabled();
            if (byEscape)
                QTest::keyClick(window.get(), Qt::Key_Escape);
            else
                cancel->click();
        });
        watcher.start();
        QElapsedTimer timer;
        timer.start();
        click("PushButton2");
        watcher.stop();

        EXPECT_TRUE(enabledWhileRunning);
        EXPECT_FALSE(cancel->isEnabled());
        EXPECT_LT(timer.elapsed(), 60000) << "the job waited for the encoder to end by itself";
        EXPECT_TRUE(job.outcome().cancelled);
        EXPECT_TRUE(GoneWithin(encoder.pid(), 5000)) << "the encoder outlived Cancel";
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("video.mp4")});
        QFile kept(older);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), QByteArray("older video"));
        ASSERT_EQ(App::Dialogs::shown().size(), 1);
        EXPECT_EQ(App::Dialogs::shown().first().text,
                  QStringLiteral("The job was cancelled.\r\n\r\nNo video was made; older videos were kept."));
    }
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
}

TEST_F(WindowTest, CancelListsTheVideosAlreadyMade)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "ffmpeg is not installed";
    TempFolder in;
    TempFolder out;
    const QString first = in.file(QStringLiteral("first.swf"));
    const QString second = in.file(QStringLiteral("second.swf"));
    ASSERT_TRUE(MakeFfmpegSwf(first, 96, 64, 2));
    ASSERT_TRUE(MakeFfmpegSwf(second, 96, 64, 2));

    start();
    control<QLineEdit>("Text3")->setText(out.path());
    click("Option7"); // one video per SWF
    window->ListView1_OLEDragDrop({first, second});
    Tools::WorkFolderOwner work;
    WatchedControls controls(*window);
    Pipeline::ConversionJob job(controls, work.path());
    window->setStartAction([&] { job.PushButton2_Click(); });

    // Cancel when the job turns to the second movie: the real encoder has
    // made the first video by then, and the second is not begun.
    bool pressed = false;
    controls.onYield = [&] {
        if (!pressed && controls.progress().caption() == QLatin1String("Processing: second.swf")) {
            pressed = true;
            control<QPushButton>("CancelButton")->click();
        }
    };
    click("PushButton2");

    EXPECT_TRUE(pressed);
    EXPECT_TRUE(job.outcome().cancelled);
    EXPECT_EQ(job.outcome().made, QStringList{out.file(QStringLiteral("first.mp4"))});
    EXPECT_EQ(ProbeMedia(out.file(QStringLiteral("first.mp4"))).videoFrames, 3);
    EXPECT_FALSE(QFile::exists(out.file(QStringLiteral("second.mp4"))));
    ASSERT_EQ(App::Dialogs::shown().size(), 1);
    EXPECT_EQ(App::Dialogs::shown().first().text,
              QStringLiteral("The job was cancelled.\r\n\r\nThe following videos were made: \r\n")
                  + out.file(QStringLiteral("first.mp4")) + QStringLiteral("\r\n"));
}

TEST(SummaryBox, SixtyEntriesFitTheScreenAndDetailsAreBehindAButton)
{
    QString text = QStringLiteral("Done.\n\nThe following files: \n");
    for (int i = 1; i <= 60; ++i)
        text +=
            QStringLiteral("/home/someone/Movies/a rather long folder name/unreadable movie number %1.swf\n").arg(i);
    const QString details = QStringLiteral("movie 1: not a SWF file\nmovie 2: not a SWF file");
    App::SummaryBox box(nullptr, QStringLiteral("Tarnwick"), text, details);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));

    const QRect screen = box.screen()->availableGeometry();
    EXPECT_LE(box.frameGeometry().height(), screen.height());
    const QRect ok(box.okButton()->mapToGlobal(QPoint(0, 0)), box.okButton()->size());
    EXPECT_TRUE(screen.contains(ok)) << "the OK button is off the screen";
    EXPECT_TRUE(box.findChild<QScrollArea *>(QStringLiteral("SummaryScroll"))->verticalScrollBar()->isVisible())
        << "a list longer than the screen scrolls";

    ASSERT_NE(box.detailsButton(), nullptr);
    EXPECT_FALSE(box.detailsView()->isVisible());
    box.detailsButton()->click();
    EXPECT_TRUE(box.detailsView()->isVisible());
    EXPECT_EQ(box.detailsView()->toPlainText(), details);
    EXPECT_LE(box.frameGeometry().height(), screen.height());

    // A short summary is not stretched, and has no details button.
    App::SummaryBox small(nullptr, QStringLiteral("Tarnwick"), QStringLiteral("Done."), QString());
    EXPECT_EQ(small.detailsButton(), nullptr);
    EXPECT_LT(small.sizeHint().height(), screen.height() / 2);
}
