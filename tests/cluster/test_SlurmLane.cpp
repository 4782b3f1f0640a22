// scripts/slurm-batch.sh on a real one-node Slurm cluster: one job array of
// 4 tasks over 40 generated movies, each task its share with its own
// report; every movie made exactly once, and a second submission skips them all.
#include "ArchiveMovies.h"
#include "TempFolder.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct ShellRun
{
    int status = -1;
    QString out;
    QString err;
};

class SlurmLane : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *tool : {"sbatch", "slurmctld", "slurmd", "munged", "ffmpeg"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool),
                                               {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")})
                    .isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it)";
        }
        if (::geteuid() != 0)
            GTEST_SKIP() << "the one-node cluster runs its daemons as root";
        cluster = scratch.mkdir(QStringLiteral("cluster"));
        tmpdir = scratch.mkdir(QStringLiteral("tmp"));
        reports = scratch.mkdir(QStringLiteral("reports"));
        ::chmod(QFile::encodeName(tmpdir).constData(), 0700);
        movies = ArchiveMovies::WriteLightMovies(in.path(), 40, 4);
        ASSERT_EQ(movies.size(), 40);
        started = true;
        const ShellRun up = sh(
            {QStringLiteral(TARNWICK_SOURCE_DIR "/tests/cluster/local-cluster.sh"), QStringLiteral("start"), cluster});
        ASSERT_EQ(up.status, 0) << up.err.toStdString();
    }

    void TearDown() override
    {
        if (started)
            sh({QStringLiteral(TARNWICK_SOURCE_DIR "/tests/cluster/local-cluster.sh"), QStringLiteral("stop"),
                cluster});
    }

    ShellRun sh(const QStringList &arguments) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SLURM_CONF"), cluster + QStringLiteral("/slurm.conf"));
        env.insert(QStringLiteral("TMPDIR"), tmpdir);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(scratch.path());
        process.start(QStringLiteral("/bin/sh"), arguments);
        ShellRun result;
        // The array takes seconds; the bound only keeps a broken cluster from hanging the suite.
        if (!process.waitForFinished(300000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err = QString::fromLocal8Bit(process.readAllStandardError());
        return result;
    }

    ShellRun submit() const
    {
        return sh({QStringLiteral(TARNWICK_SOURCE_DIR "/scripts/slurm-batch.sh"), QStringLiteral("--tasks"),
                   QStringLiteral("4"), QStringLiteral("--reports"), reports, QStringLiteral("--program"),
                   QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-batch"), QStringLiteral("--wait"), QStringLiteral("--"),
                   QStringLiteral("--fast"), QStringLiteral("10"), QStringLiteral("--out"), out.path(), in.path()});
    }

    // The status of every line of the tasks' reports joined, by source.
    QHash<QString, QStringList> merged() const
    {
        QHash<QString, QStringList> statuses;
        const ShellRun joined = sh(
            {QStringLiteral(TARNWICK_SOURCE_DIR "/scripts/slurm-batch.sh"), QStringLiteral("--merge"), reports});
        EXPECT_EQ(joined.status, 0);
        for (const QString &line : joined.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8());
            EXPECT_TRUE(document.isObject()) << line.toStdString();
            const QJsonObject object = document.object();
            statuses[object.value(QStringLiteral("source")).toString()].append(
                object.value(QStringLiteral("status")).toString());
            if (object.value(QStringLiteral("status")).toString() == QLatin1String("made")) {
                EXPECT_TRUE(QFile::exists(object.value(QStringLiteral("output")).toString()));
            }
        }
        return statuses;
    }

    TempFolder scratch;
    TempFolder in;
    TempFolder out;
    QString cluster;
    QString tmpdir;
    QString reports;
    QStringList movies;
    bool started = false;
};

} // namespace

TEST_F(SlurmLane, EveryMovieIsMadeOnceOverTheArrayAndAgainSkipped)
{
    const ShellRun first = submit();
    ASSERT_EQ(first.status, 0) << first.out.toStdString() << first.err.toStdString();
    for (int task = 1; task <= 4; ++task) {
        EXPECT_TRUE(QFile::exists(reports + QStringLiteral("/report-%1.jsonl").arg(task))) << task;
        EXPECT_TRUE(QFile::exists(reports + QStringLiteral("/task-%1.log").arg(task))) << task;
    }
    const QHash<QString, QStringList> made = merged();
    EXPECT_EQ(QSet<QString>(made.keyBegin(), made.keyEnd()), QSet<QString>(movies.cbegin(), movies.cend()));
    for (auto it = made.cbegin(); it != made.cend(); ++it)
        EXPECT_EQ(it.value(), QStringList{QStringLiteral("made")}) << it.key().toStdString();
    EXPECT_EQ(QDir(out.path()).entryList({QStringLiteral("*.mp4")}, QDir::Files).size(), 40);

    // Submitted again, the array finds every movie made.
    const ShellRun second = submit();
    ASSERT_EQ(second.status, 0) << second.err.toStdString();
    const QHash<QString, QStringList> again = merged();
    EXPECT_EQ(again.size(), 40);
    for (auto it = again.cbegin(); it != again.cend(); ++it)
        EXPECT_EQ(it.value(), (QStringList{QStringLiteral("made"), QStringLiteral("skipped")}))
            << it.key().toStdString();
}
