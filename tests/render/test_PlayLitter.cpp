#include "RecorderRun.h"

#include "VectorSwf.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <memory>
#include <vector>

using namespace Render;

namespace {

const QString Batch = QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-batch");

QByteArray ColourSwf(int frames, int fps = 10)
{
    SwfBuild::ColourMovie movie;
    movie.frames = std::uint16_t(frames);
    movie.framesPerSecond = std::uint16_t(fps);
    const SwfBuild::Bytes swf = SwfBuild::ColourStepMovie(movie);
    return QByteArray(reinterpret_cast<const char *>(swf.data()), qsizetype(swf.size()));
}

QStringList Everything(const QString &folder)
{
    QStringList found;
    QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        found << name;
    return found;
}

// tarnwick-batch with an empty TMPDIR and HOME of its own.
class PlayLitter : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (ChromiumMissing())
            GTEST_SKIP() << "chromium is not installed";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), tmp);
        environment.insert(QStringLiteral("HOME"), home);
        environment.remove(QStringLiteral("XDG_CACHE_HOME"));
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        batch.setProcessEnvironment(environment);
    }

    void expectNothingLeft()
    {
        EXPECT_EQ(Everything(tmp), QStringList()) << "TMPDIR";
        EXPECT_EQ(Everything(home), QStringList()) << "HOME";
    }

    TempFolder work;
    const QString tmp = work.mkdir(QStringLiteral("tmp"));
    const QString home = work.mkdir(QStringLiteral("home"));
    const QString out = work.mkdir(QStringLiteral("out"));
    QProcess batch;
};

} // namespace

TEST_F(PlayLitter, ARecordingLeavesTmpdirAndHomeEmpty)
{
    const QString swf = work.write(QStringLiteral("short.swf"), ColourSwf(10));
    batch.start(Batch, {QStringLiteral("--play"), QStringLiteral("--out"), out, swf});
    ASSERT_TRUE(batch.waitForFinished(300000));
    ASSERT_EQ(batch.exitCode(), 0) << batch.readAllStandardError().toStdString();
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("/video.mp4")));
    expectNothingLeft();
}

TEST_F(PlayLitter, SigtermLeavesTmpdirAndHomeEmpty)
{
    const QString swf = work.write(QStringLiteral("long.swf"), ColourSwf(3000));
    batch.start(Batch, {QStringLiteral("--play"), QStringLiteral("--out"), out, swf});
    ASSERT_TRUE(batch.waitForStarted());
    QString errors;
    while (!errors.contains(QLatin1String(" frame 5 of ")) && batch.state() == QProcess::Running) {
        batch.waitForReadyRead(200);
        errors += QString::fromLocal8Bit(batch.readAllStandardError());
    }
    ASSERT_TRUE(errors.contains(QLatin1String(" frame 5 of "))) << errors.toStdString();
    ::kill(pid_t(batch.processId()), SIGTERM);
    ASSERT_TRUE(batch.waitForFinished(60000));
    EXPECT_EQ(batch.exitCode(), 143);
    expectNothingLeft();
}

TEST(PlayLitterInProcess, CancelLeavesTmpdirAndHomeEmpty)
{
    if (ChromiumMissing())
        GTEST_SKIP() << "chromium is not installed";
    TempFolder work;
    const QString tmp = work.mkdir(QStringLiteral("tmp")), home = work.mkdir(QStringLiteral("home"));
    SwfBuild::ColourMovie movie;
    movie.frames = 3000;
    RecordRequest r = RequestFor(SwfBuild::ColourStepMovie(movie), work);
    std::atomic_bool cancel = false;
    r.cancel = &cancel;
    r.progress = [&](int done, int) { cancel = done >= 5; };
    const QByteArray oldTmp = qgetenv("TMPDIR"), oldHome = qgetenv("HOME");
    qputenv("TMPDIR", tmp.toLocal8Bit());
    qputenv("HOME", home.toLocal8Bit());
    const RecordResult result = MovieRecorder().record(r);
    qputenv("TMPDIR", oldTmp);
    qputenv("HOME", oldHome);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("cancelled"))) << result.error.toStdString();
    EXPECT_EQ(Everything(tmp), QStringList());
    EXPECT_EQ(Everything(home), QStringList());
}

TEST(PlayUnderLoad, TwoRecordingsBesideACpuHogBothSucceed)
{
    if (ChromiumMissing())
        GTEST_SKIP() << "chromium is not installed";
    TempFolder work;
    // A hog on every core, as a build beside the recordings would be.
    std::vector<std::unique_ptr<QProcess>> hogs;
    for (int i = 0; i < QThread::idealThreadCount(); ++i) {
        hogs.push_back(std::make_unique<QProcess>());
        hogs.back()->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
        ASSERT_TRUE(hogs.back()->waitForStarted());
    }
    QProcess recordings[2];
    for (int i = 0; i < 2; ++i) {
        const QString swf = work.write(QStringLiteral("m%1.swf").arg(i), ColourSwf(20));
        recordings[i].start(Batch, {QStringLiteral("--play"), QStringLiteral("--each"), QStringLiteral("--out"),
                                    work.mkdir(QStringLiteral("out%1").arg(i)), swf});
    }
    for (QProcess &recording : recordings) {
        ASSERT_TRUE(recording.waitForFinished(600000));
        EXPECT_EQ(recording.exitCode(), 0) << recording.readAllStandardError().toStdString();
    }
    for (auto &hog : hogs)
        hog->kill();
    for (int i = 0; i < 2; ++i)
        EXPECT_NEAR(ProbeMedia(work.file(QStringLiteral("out%1/m%1.mp4").arg(i))).duration, 2.0, 0.1);
}
