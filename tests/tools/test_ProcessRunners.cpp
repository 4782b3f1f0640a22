#include "tools/CmdOutput.h"
#include "tools/Failure.h"
#include "tools/ProcessRunner.h"
#include "tools/ProgressSink.h"
#include "tools/Shell32.h"

#include "RecordingBar.h"
#include "TempFolder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <vector>

using namespace Tools;

namespace {

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

Command Sh(const QString &script)
{
    return Command{QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, QString()};
}

// Counts polls instead of sleeping; at poll `releaseAt` it creates the file
// the child waits for, then lets the child finish.
class CountingClock : public PollClock
{
public:
    CountingClock(QString releaseFile, int releaseAt)
        : m_releaseFile(std::move(releaseFile))
        , m_releaseAt(releaseAt)
    {
    }
    void pause(QProcess &process, int milliseconds) override
    {
        EXPECT_EQ(milliseconds, 100);
        if (++polls == m_releaseAt) {
            QFile(m_releaseFile).open(QIODevice::WriteOnly);
            process.waitForFinished(5000);
        } else {
            process.waitForFinished(1);
        }
    }
    int polls = 0;

private:
    QString m_releaseFile;
    int m_releaseAt;
};

Command WaitForFile()
{
    return Sh(QStringLiteral("while [ ! -e \"$0\" ]; do sleep 0.005; done"));
}

} // namespace

TEST(RunCaptured, KeepsStandardOutputDropsStandardError)
{
    const Command talker = Sh(QStringLiteral("printf 'out\\n'; printf 'err\\n' >&2; printf 'caf\\303\\251\\n'"));
    EXPECT_EQ(RunCaptured(talker, true, false, true), QStringLiteral("out\ncafé\n"));
    const QString both = RunCaptured(talker, true, true, true);
    EXPECT_TRUE(both.contains(QStringLiteral("out")) && both.contains(QStringLiteral("err"))) << both.toStdString();
    EXPECT_EQ(RunCaptured(talker, false, true, true), QStringLiteral("err\n"));
    EXPECT_EQ(RunCaptured(Sh(QStringLiteral("true")), true, false, true), QString());
}

TEST(RunCaptured, MissingProgramAndNoChannel)
{
    EXPECT_EQ(RunCaptured(Command{QStringLiteral("/nonexistent/tool"), {}, {}}, true, false, true),
              QStringLiteral("Failed to create process, check the path of the command line."));
    try {
        RunCaptured(Sh(QStringLiteral("true")), false, false, true);
        FAIL() << "no channel chosen must fail";
    } catch (const Failure &failure) {
        EXPECT_EQ(failure.number(), 5);
    }
}

TEST(RunCaptured, ReadsLargeOutputWhole)
{
    const QString out = RunCaptured(Sh(QStringLiteral("head -c 300000 /dev/zero | tr '\\0' x")), true, false, true);
    EXPECT_EQ(out.size(), 300000);
}

TEST(RunAndWait, ExitCodesAndLaunchFailure)
{
    RecordingBar bar;
    EXPECT_EQ(RunAndWait(Sh(QStringLiteral("exit 3"))), 3);
    EXPECT_EQ(RunAndWait(Command{QStringLiteral("/nonexistent/tool"), {}, {}}, &bar, QStringLiteral("x"), 10, 2),
              53 + kObjectErrorBase);
    EXPECT_TRUE(bar.captions.isEmpty());
    EXPECT_TRUE(bar.values.empty());
}

TEST(RunAndWait, ShortToolLeavesBarValueAndRestoresCaption)
{
    RecordingBar bar;
    bar.setValue(40);
    bar.values.clear();
    EXPECT_EQ(RunAndWait(Sh(QStringLiteral("true")), &bar, QStringLiteral("Processing: movie.swf"), 40, 2), 0);
    EXPECT_TRUE(bar.values.empty());
    EXPECT_EQ(bar.captions, QStringList{QStringLiteral("Processing: movie.swf")});
}

TEST(RunAndWait, AnimationFollowsPollArithmetic)
{
    TempFolder tmp;
    const QString release = tmp.file(QStringLiteral("release"));
    Command child = WaitForFile();
    child.arguments.append(release);
    CountingClock clock(release, 1900);
    RecordingBar bar;

    // Four files, the second one: step 2 (2.5 to even), limit 48.
    EXPECT_EQ(RunAndWait(child, &bar, QStringLiteral("Processing: b.swf"), 25, 4, clock), 0);

    const std::vector<double> expected{25, 27, 29, 31, 33, 35, 37, 39, 41, 43, 45, 47, 48};
    ASSERT_GE(bar.values.size(), expected.size());
    EXPECT_EQ(std::vector<double>(bar.values.begin(), bar.values.begin() + expected.size()), expected);
    EXPECT_EQ(bar.captions.first(), QStringLiteral("Processing: b.swf, Please wait.. 0"));
    EXPECT_EQ(bar.captions.at(1), QStringLiteral("Processing: b.swf, Please wait.. 1"));
    EXPECT_EQ(bar.captions.last(), QStringLiteral("Processing: b.swf"));
}

TEST(RunAndWait, EmptyCaptionAndNoCount)
{
    TempFolder tmp;
    const QString release = tmp.file(QStringLiteral("release"));
    Command child = WaitForFile();
    child.arguments.append(release);
    CountingClock clock(release, 210);
    RecordingBar bar;

    // Without a count: step = (100 - 60) / 10 = 4, limit 96.
    RunAndWait(child, &bar, QString(), 60, std::nullopt, clock);
    ASSERT_GE(bar.values.size(), 2u);
    EXPECT_EQ(bar.values.at(0), 60);
    EXPECT_EQ(bar.values.at(1), 64);
    EXPECT_EQ(bar.captions.first(), QStringLiteral("Please wait.. 0"));
    EXPECT_EQ(bar.captions.last(), QStringLiteral("Progress Bar"));
}

TEST(RunAndWait, AbortEndsTheWait)
{
    class AbortingClock : public PollClock
    {
    public:
        void pause(QProcess &process, int) override
        {
            if (++polls == 3)
                AbortRunningProcess();
            process.waitForFinished(1);
        }
        int polls = 0;
    } clock;
    EXPECT_NE(RunAndWait(Sh(QStringLiteral("sleep 30")), nullptr, QString(), std::nullopt, std::nullopt, clock), 0);
    EXPECT_LT(clock.polls, 50);
}

TEST(ShellOpenAndWait, RunsScriptInFolder)
{
    TempFolder tmp;
    tmp.write(QStringLiteral("job.sh"), "echo done > marker\nexit 7\n");
    EXPECT_EQ(ShellOpenAndWait(QStringLiteral("job.sh"), tmp.path()), 7);
    EXPECT_TRUE(QFile::exists(tmp.file(QStringLiteral("marker"))));
}

// A feed's output is the script's input. Each side can end first: a feed
// that fails gives the script an early end of input, and a script that stops
// reading ends the feed at its next write, so neither wait hangs.
TEST(ShellOpenAndWait, AFeedIsTheScriptsInputAndEndsWithIt)
{
    TempFolder tmp;
    const int notStarted = FailureNumber::FileNotFound + kObjectErrorBase;
    tmp.write(QStringLiteral("all.sh"), "cat > got\nexit 5\n");
    Feed feed{Sh(QStringLiteral("printf 'a mix'; echo why >&2")), -2, QString()};
    EXPECT_EQ(ShellOpenAndWait(QStringLiteral("all.sh"), tmp.path(), DefaultPollClock(), nullptr, &feed), 5);
    EXPECT_EQ(Contents(tmp.file(QStringLiteral("got"))), QByteArray("a mix"));
    EXPECT_EQ(feed.exitCode, 0);
    EXPECT_EQ(feed.errors.trimmed(), QStringLiteral("why"));

    feed = Feed{Sh(QStringLiteral("printf 'part'; exit 3")), -2, QString()};
    EXPECT_EQ(ShellOpenAndWait(QStringLiteral("all.sh"), tmp.path(), DefaultPollClock(), nullptr, &feed), 5);
    EXPECT_EQ(Contents(tmp.file(QStringLiteral("got"))), QByteArray("part"));
    EXPECT_EQ(feed.exitCode, 3);

    // An endless feed: the pipe's reading end is the script's alone, so the
    // feed meets a closed pipe as soon as the script is gone (a held end
    // would keep it writing until the runner's grace of 5 s ran out).
    tmp.write(QStringLiteral("some.sh"), "head -c 5 > got\n");
    feed = Feed{Command{QStringLiteral("/usr/bin/yes"), {}, QString()}, -2, QString()};
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(ShellOpenAndWait(QStringLiteral("some.sh"), tmp.path(), DefaultPollClock(), nullptr, &feed), 0);
    EXPECT_LT(waited.elapsed(), 4000);
    EXPECT_EQ(Contents(tmp.file(QStringLiteral("got"))), QByteArray("y\ny\ny"));
    EXPECT_NE(feed.exitCode, 0);

    // A feed that cannot start: the script is not run.
    QFile::remove(tmp.file(QStringLiteral("got")));
    feed = Feed{Command{QStringLiteral("/nonexistent/mixer"), {}, QString()}, -2, QString()};
    EXPECT_EQ(ShellOpenAndWait(QStringLiteral("all.sh"), tmp.path(), DefaultPollClock(), nullptr, &feed), notStarted);
    EXPECT_EQ(feed.exitCode, notStarted);
    EXPECT_FALSE(QFile::exists(tmp.file(QStringLiteral("got"))));
    EXPECT_EQ(LiveChildCount(), 0);
}

TEST(ShellOpen, OpensThroughOpenerAndMapsFailures)
{
    TempFolder tmp;
    QUrl opened;
    const UrlOpener succeed = [&](const QUrl &url) {
        opened = url;
        return true;
    };
    EXPECT_GT(ShellOpen(tmp.path(), succeed), 32);
    EXPECT_EQ(opened, QUrl::fromLocalFile(tmp.path()));
    EXPECT_GT(ShellOpen(QStringLiteral("https://tarnwick.example/"), succeed), 32);
    EXPECT_EQ(opened, QUrl(QStringLiteral("https://tarnwick.example/")));

    try {
        ShellOpen(tmp.file(QStringLiteral("missing")), succeed);
        FAIL();
    } catch (const Failure &failure) {
        EXPECT_EQ(failure.number(), 53);
        EXPECT_EQ(failure.description(), QStringLiteral("File not found"));
    }
    try {
        ShellOpen(tmp.path(), [](const QUrl &) { return false; });
        FAIL();
    } catch (const Failure &failure) {
        EXPECT_EQ(failure.description(), QStringLiteral("No application is associated with this file type."));
    }
    // The core has no desktop handler of its own to fall back on.
    try {
        ShellOpen(tmp.path(), UrlOpener());
        FAIL();
    } catch (const Failure &failure) {
        EXPECT_EQ(failure.description(), QStringLiteral("No application is associated with this file type."));
    }
}

TEST(Command, ShellTextQuotesEveryPart)
{
    const QString hostile = QStringLiteral("a \"b\" $(touch x) 'c'.swf");
    const Command command{QStringLiteral("printf"), {QStringLiteral("%s|"), hostile, QStringLiteral("%d")}, {}};
    EXPECT_EQ(command.toShellText(), QStringLiteral("'printf' '%s|' 'a \"b\" $(touch x) '\\''c'\\''.swf' '%d'"));

    TempFolder tmp;
    const QString out = RunCaptured(
        Command{QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command.toShellText()}, tmp.path()}, true, false);
    EXPECT_EQ(out, hostile + QStringLiteral("|%d|"));
    EXPECT_FALSE(QFile::exists(tmp.file(QStringLiteral("x"))));
}

TEST(RunAllAndWait, RunsEveryCommandAndKeepsTheirOrder)
{
    TempFolder tmp;
    QList<Command> commands;
    for (int i = 0; i < 7; ++i)
        commands.append(Sh(QStringLiteral("echo %1 > out%1; exit %1").arg(i)));
    commands.insert(3, Command{QStringLiteral("/nonexistent/tool"), {}, {}});
    for (Command &command : commands)
        command.workingFolder = tmp.path();

    const std::vector<int> codes = RunAllAndWait(commands, 3);
    EXPECT_EQ(codes, (std::vector<int>{0, 1, 2, 53 + kObjectErrorBase, 3, 4, 5, 6}));
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(QFile::exists(tmp.file(QStringLiteral("out%1").arg(i))));
    EXPECT_TRUE(RunAllAndWait({}, 2).empty());
}
