#include "WindowFixture.h"

#include "ProcessWatch.h"
#include "VectorSwf.h"

#include "pipeline/ConversionJob.h"
#include "render/MovieRecorder.h"
#include "tools/ProcessRunner.h"
#include "tools/ProgressSink.h"
#include "tools/ToolDeployment.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>

#include <unistd.h>
#include <QRadioButton>
#include <QStandardPaths>

namespace {

class PlayChoiceTest : public WindowTest
{
};

TEST_F(PlayChoiceTest, WithoutThePlayerItIsDisabledSaysWhatToInstallAndASavedPlayFallsBackToSlow)
{
    store("Option6", QStringLiteral("True"));
    store("Option1", QStringLiteral("False"));
    store("Option2", QStringLiteral("False"));
    renderAssets = program.mkdir(QStringLiteral("render-without-ruffle"));
    start();
    QRadioButton *play = control<QRadioButton>("Option6");
    EXPECT_FALSE(play->isEnabled());
    EXPECT_EQ(play->toolTip(), Render::MovieRecorder::MissingParts(renderAssets));
    EXPECT_FALSE(play->toolTip().isEmpty());
    EXPECT_FALSE(jobControls().playSelected());
    EXPECT_TRUE(control<QRadioButton>("Option1")->isChecked()) << "a job must still have a delay choice";
    EXPECT_EQ(stored("Option6"), QStringLiteral("True")) << "kept for when the parts are installed";
}

TEST_F(PlayChoiceTest, ChoiceIsSavedExclusiveAndRestored)
{
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty())
        GTEST_SKIP() << "chromium is not installed";
    renderAssets = QStringLiteral(TARNWICK_BIN_DIR "/render");
    ASSERT_EQ(Render::MovieRecorder::MissingParts(renderAssets), QString());
    EXPECT_EQ(stored("Option6"), QStringLiteral("<absent>"));
    start();
    QRadioButton *play = control<QRadioButton>("Option6");
    ASSERT_TRUE(play->isEnabled());
    EXPECT_TRUE(play->toolTip().isEmpty());
    EXPECT_FALSE(play->isChecked());
    click("Option6");
    EXPECT_TRUE(play->isChecked());
    EXPECT_FALSE(control<QRadioButton>("Option1")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("Option2")->isChecked());
    EXPECT_EQ(stored("Option6"), QStringLiteral("True"));
    EXPECT_EQ(stored("Option1"), QStringLiteral("False"));
    EXPECT_TRUE(jobControls().playSelected());
    EXPECT_EQ(Pipeline::JobChoices::ReadFrom(jobControls()).play, true);

    start();
    EXPECT_TRUE(control<QRadioButton>("Option6")->isChecked()) << "restored";
    click("Option2");
    EXPECT_EQ(stored("Option6"), QStringLiteral("False"));
    start();
    EXPECT_FALSE(control<QRadioButton>("Option6")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("Option2")->isChecked());
}

TEST_F(PlayChoiceTest, PlayHeightAndPlaySecondsAreKeptAndReachTheJob)
{
    store("PlayHeight", QStringLiteral("1440"));
    store("PlaySeconds", QStringLiteral("90"));
    start();
    QComboBox *height = control<QComboBox>("PlayHeight");
    EXPECT_EQ(height->currentData().toInt(), 1440) << "restored";
    Pipeline::JobChoices choices = Pipeline::JobChoices::ReadFrom(jobControls());
    EXPECT_EQ(choices.playHeight, 1440);
    EXPECT_DOUBLE_EQ(choices.playSeconds, 90);

    height->setCurrentIndex(height->findData(1080));
    EXPECT_EQ(stored("PlayHeight"), QStringLiteral("1080"));
    // A stored height no recording has falls back to the default.
    store("PlayHeight", QStringLiteral("999"));
    store("PlaySeconds", QStringLiteral("-5"));
    start();
    choices = Pipeline::JobChoices::ReadFrom(jobControls());
    EXPECT_EQ(choices.playHeight, 720);
    EXPECT_DOUBLE_EQ(choices.playSeconds, 0);
}

TEST_F(PlayChoiceTest, HelpSaysWhatItNeedsAndItsLimits)
{
    start();
    takeShownTexts();
    control<QPushButton>("PushButton13")->click();
    const QStringList texts = takeShownTexts();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].contains(QLatin1String("chromium")));
    EXPECT_TRUE(texts[0].contains(QLatin1String("ActionScript 3")));
    EXPECT_TRUE(texts[0].contains(QLatin1String("click")));
}

// The Chromium processes among this program's descendants.
QList<qint64> ChromiumBelow(qint64 root)
{
    QList<qint64> found;
    for (qint64 pid : LiveDescendants(root)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains("chromium"))
            found.append(pid);
    }
    return found;
}

TEST_F(PlayChoiceTest, CancelDuringARecordingEndsChromium)
{
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty())
        GTEST_SKIP() << "chromium is not installed";
    renderAssets = QStringLiteral(TARNWICK_BIN_DIR "/render");
    TempFolder in;
    TempFolder out;
    SwfBuild::ColourMovie m;
    m.frames = 3000;
    const SwfBuild::Bytes bytes = SwfBuild::ColourStepMovie(m);
    const QString swf = in.write(QStringLiteral("long.swf"),
                                 QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
    start();
    control<QLineEdit>("Text3")->setText(out.path());
    window->ListView1_OLEDragDrop({swf});
    click("Option6");
    Tools::WorkFolderOwner work;
    WatchedControls controls(*window);
    Pipeline::ConversionJob job(controls, work.path());
    window->setStartAction([&] { job.PushButton2_Click(); });

    // Cancel at a frame the recording reports, once Chromium is seen.
    QList<qint64> chromium;
    QString seenCaption;
    int looks = 0;
    bool pressed = false;
    controls.onCaption = [&](const QString &caption) {
        const QRegularExpressionMatch at =
            QRegularExpression(QStringLiteral("long\\.swf frame (\\d+) of 3000$")).match(caption);
        if (pressed || !at.hasMatch() || at.captured(1).toInt() < 5)
            return;
        chromium += ChromiumBelow(::getpid());
        if (chromium.isEmpty() && ++looks < 40)
            return; // the player's helpers are still being listed
        pressed = true;
        seenCaption = caption;
        control<QPushButton>("CancelButton")->click();
    };
    QElapsedTimer timer;
    timer.start();
    click("PushButton2");
    ASSERT_FALSE(chromium.isEmpty()) << "the recording runs in Chromium; " << seenCaption.toStdString() << "; "
                                     << job.outcome().details.join(QLatin1Char('\n')).toStdString()
                                     << takeShownTexts().join(QLatin1Char('\n')).toStdString();
    EXPECT_LT(timer.elapsed(), 120000);
    EXPECT_TRUE(job.outcome().cancelled);
    EXPECT_TRUE(job.outcome().made.isEmpty());
    // Killed helpers may take a moment to be reaped; waited for, not timed.
    QElapsedTimer reaped;
    reaped.start();
    while (!ChromiumBelow(::getpid()).isEmpty() && reaped.elapsed() < 10000)
        QThread::msleep(20);
    EXPECT_TRUE(ChromiumBelow(::getpid()).isEmpty()) << "Chromium outlived Cancel";
    EXPECT_TRUE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_EQ(Tools::LiveChildCount(), 0);
}

} // namespace
