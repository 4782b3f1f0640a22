// tarnwick-batch run as a user would: the real program on generated SWFs.
#include "MediaProbe.h"
#include "TempFolder.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

struct BatchRun
{
    int status = -1;
    QString out;
    QString err;
};

BatchRun Batch(const QStringList &arguments, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-batch"), arguments);
    BatchRun run;
    if (!process.waitForFinished(300000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace

TEST(BatchProgram, ConvertsReportsAndExits)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
        GTEST_SKIP() << "ffmpeg is not installed";
    TempFolder tmp;
    ASSERT_TRUE(MakeFfmpegSwf(tmp.file(QStringLiteral("a.swf")), 96, 64, 2, 1.0));
    ASSERT_TRUE(MakeFfmpegSwf(tmp.file(QStringLiteral("b.swf")), 64, 64, 1));

    const BatchRun ok = Batch({QStringLiteral("--fast"), QStringLiteral("2"), QStringLiteral("--each"),
                               QStringLiteral("a.swf"), QStringLiteral("b.swf")},
                              tmp.path());
    EXPECT_EQ(ok.status, 0) << ok.out.toStdString() << ok.err.toStdString();
    EXPECT_TRUE(ok.out.startsWith(QStringLiteral("Done.\n\nPlease open with"))) << ok.out.toStdString();
    EXPECT_TRUE(ok.err.contains(QStringLiteral("Processing: a.swf\n")));
    EXPECT_TRUE(ok.err.contains(QStringLiteral("Processing: b.swf output video\n")));
    EXPECT_EQ(ProbeMedia(tmp.file(QStringLiteral("a.mp4"))).videoFrames, 2);
    EXPECT_EQ(ProbeMedia(tmp.file(QStringLiteral("b.mp4"))).videoFrames, 1);

    ASSERT_TRUE(MakeFfmpegSwf(tmp.file(QStringLiteral("novideo.swf")), 64, 64, 2, 0, false));
    const BatchRun partial = Batch(
        {QStringLiteral("--out"), QStringLiteral("."), QStringLiteral("b.swf"), QStringLiteral("novideo.swf")},
        tmp.path());
    EXPECT_EQ(partial.status, 1);
    EXPECT_TRUE(partial.out.contains(tmp.file(QStringLiteral("novideo.swf")))) << partial.out.toStdString();
    EXPECT_TRUE(ProbeMedia(tmp.file(QStringLiteral("video.mp4"))).ok);

    const BatchRun refused = Batch({QStringLiteral("--out"), QStringLiteral("missing"), QStringLiteral("b.swf")},
                                   tmp.path());
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, QStringLiteral("Folder does not exist. Please select another folder.\n"));

    const BatchRun usage = Batch({QStringLiteral("--quality")}, tmp.path());
    EXPECT_EQ(usage.status, 2);
    EXPECT_TRUE(usage.err.contains(QStringLiteral("Usage: tarnwick-batch")));
}

TEST(BatchProgram, HelpPrintsTheUsageAndMakesNothing)
{
    TempFolder tmp;
    const BatchRun help = Batch({QStringLiteral("--help")}, tmp.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: tarnwick-batch"))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("--movie")));
    EXPECT_EQ(help.err, QString());
    EXPECT_TRUE(QDir(tmp.path()).isEmpty());
}
