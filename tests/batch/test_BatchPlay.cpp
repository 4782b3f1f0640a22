// tarnwick-batch --play: movies recorded as they play, through the real
// Chromium, Ruffle and FFmpeg, from movies the test builder makes.
#include "ColourFrames.h"
#include "MediaProbe.h"
#include "ProcessWatch.h"
#include "TempFolder.h"
#include "VectorSwf.h"

#include "render/MovieRecorder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString Batch = QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-batch");

class BatchPlay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty())
            GTEST_SKIP() << "chromium is not installed";
        ASSERT_EQ(Render::MovieRecorder::MissingParts(QStringLiteral(TARNWICK_BIN_DIR "/render")), QString());
        out = work.mkdir(QStringLiteral("out"));
    }

    QString movie(const QString &name, const SwfBuild::ColourMovie &m)
    {
        const SwfBuild::Bytes bytes = SwfBuild::ColourStepMovie(m);
        QFile f(work.file(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
        return f.fileName();
    }

    int run(const QStringList &arguments, QString *errors = nullptr)
    {
        QProcess p;
        p.start(Batch, arguments);
        EXPECT_TRUE(p.waitForFinished(300000));
        if (errors)
            *errors = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // The step colour of every frame, sampled at (x, y).
    std::vector<int> steps(const QString &video, int x, int y, int count)
    {
        std::vector<int> s;
        for (const SwfBuild::Rgb &c : PixelPerFrame(video, x, y, work))
            s.push_back(NearestStep(c, count));
        return s;
    }

    TempFolder work;
    QString out;
};

TEST_F(BatchPlay, EachMovieIsItsLengthWithItsColoursInOrder)
{
    SwfBuild::ColourMovie m; // 320 x 240, 10 fps, 30 frames
    const QString swf = movie(QStringLiteral("colours.swf"), m);
    QString errors;
    ASSERT_EQ(run({QStringLiteral("--play"), QStringLiteral("--each"), QStringLiteral("--out"), out, swf}, &errors), 0)
        << errors.toStdString();
    EXPECT_TRUE(errors.contains(QLatin1String("Processing: colours.swf frame 30 of 30"))) << errors.toStdString();
    const QString video = out + QStringLiteral("/colours.mp4");
    const MediaProbe probe = ProbeMedia(video);
    EXPECT_NEAR(probe.duration, 3.0, 0.1);
    EXPECT_EQ(probe.videoFrames, 30);
    // The stage is scaled up to fit 1280 x 720: sample its centre.
    const std::vector<int> s = steps(video, probe.width / 2, probe.height / 2, 30);
    ASSERT_EQ(s.size(), 30u);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(s[i], i) << "frame " << i;
    EXPECT_TRUE(QDir(out).entryList(QStringList{QStringLiteral(".tarnwick-*")}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(BatchPlay, CombinedRecordingsFollowOneAnotherInOneVideo)
{
    SwfBuild::ColourMovie first;
    first.frames = 20;
    SwfBuild::ColourMovie second; // another size: brought to the first one's
    second.widthPx = 200;
    second.heightPx = 200;
    second.frames = 15;
    const QString a = movie(QStringLiteral("a.swf"), first);
    const QString b = movie(QStringLiteral("b.swf"), second);
    QString errors;
    ASSERT_EQ(run({QStringLiteral("--play"), QStringLiteral("--out"), out, a, b}, &errors), 0) << errors.toStdString();
    const QString video = out + QStringLiteral("/video.mp4");
    const MediaProbe probe = ProbeMedia(video);
    EXPECT_NEAR(probe.duration, 3.5, 0.1);
    const std::vector<int> s = steps(video, probe.width / 2, probe.height / 2, 20);
    ASSERT_EQ(s.size(), 35u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(s[i], i) << "first movie, frame " << i;
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(s[20 + i], i) << "second movie, frame " << i;
}

TEST_F(BatchPlay, AMovieStuckInAScriptIsNotMadeWithItsReasonAndTheJobGoesOn)
{
    SwfBuild::ColourMovie stuck;
    stuck.endlessLoopFrame = 3; // 0.3 s recorded: too short to keep
    SwfBuild::ColourMovie fine;
    fine.frames = 15;
    const QString a = movie(QStringLiteral("stuck.swf"), stuck);
    const QString b = movie(QStringLiteral("fine.swf"), fine);
    QProcess p;
    p.start(Batch, {QStringLiteral("--play"), QStringLiteral("--each"), QStringLiteral("--out"), out, a, b});
    ASSERT_TRUE(p.waitForFinished(300000));
    const QString said = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 1) << said.toStdString();
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("/stuck.mp4")));
    EXPECT_TRUE(said.contains(QLatin1String("stuck.mp4: not recorded"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QLatin1String("took too long"))) << said.toStdString();
    EXPECT_NEAR(ProbeMedia(out + QStringLiteral("/fine.mp4")).duration, 1.5, 0.1);
}

bool Alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

TEST_F(BatchPlay, SigtermDuringARecordingEndsChromiumAndExits143)
{
    SwfBuild::ColourMovie m;
    m.frames = 3000; // five minutes: far longer than the test waits
    const QString swf = movie(QStringLiteral("long.swf"), m);
    QProcess batch;
    batch.start(Batch, {QStringLiteral("--play"), QStringLiteral("--out"), out, swf});
    ASSERT_TRUE(batch.waitForStarted());
    QString errors;
    QElapsedTimer waited;
    waited.start();
    while (!errors.contains(QLatin1String(" frame 5 of ")) && waited.elapsed() < 120000
           && batch.state() == QProcess::Running) {
        batch.waitForReadyRead(200);
        errors += QString::fromLocal8Bit(batch.readAllStandardError());
    }
    ASSERT_TRUE(errors.contains(QLatin1String(" frame 5 of "))) << errors.toStdString();
    QList<qint64> chromium;
    for (qint64 pid : LiveDescendants(batch.processId())) {
        QFile comm(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().contains("chromium"))
            chromium.append(pid);
    }
    ASSERT_FALSE(chromium.isEmpty()) << "the recording runs in Chromium";
    ::kill(static_cast<pid_t>(batch.processId()), SIGTERM);
    ASSERT_TRUE(batch.waitForFinished(30000));
    EXPECT_EQ(batch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(batch.exitCode(), 143);
    QThread::msleep(500);
    for (qint64 pid : chromium)
        EXPECT_FALSE(Alive(pid)) << "chromium process " << pid << " outlived the batch";
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("/video.mp4")));
}

TEST(BatchPlayMissing, WithoutChromiumPlayExits2NamingThePackage)
{
    // A PATH with FFmpeg but no Chromium.
    TempFolder bin;
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        GTEST_SKIP() << "ffmpeg is not installed";
    ASSERT_TRUE(QFile::link(ffmpeg, bin.file(QStringLiteral("ffmpeg"))));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), bin.path());
    p.setProcessEnvironment(env);
    p.start(Batch, {QStringLiteral("--play"), QStringLiteral("--out"), bin.path(), QStringLiteral("/nonexistent.swf")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 2);
    const QString errors = QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_TRUE(errors.contains(QLatin1String("install the Debian package chromium"))) << errors.toStdString();
}

} // namespace
