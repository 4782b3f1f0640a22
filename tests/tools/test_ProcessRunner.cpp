// The one child-process runner: groups, the error tail, ending everything.
#include "tools/CmdOutput.h"
#include "tools/Failure.h"
#include "tools/ProcessRunner.h"
#include "tools/Shell32.h"

#include "ProcessWatch.h"
#include "TempFolder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cerrno>
#include <unistd.h>

using namespace Tools;

namespace {

Command Sh(const QString &script)
{
    return Command{QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, QString()};
}

pid_t ReadPid(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<pid_t>(file.readAll().trimmed().toLongLong());
}

// Ends every child from inside the wait, once the child has written `ready`.
class EndingClock : public PollClock
{
public:
    explicit EndingClock(QString ready, bool cancel)
        : m_ready(std::move(ready))
        , m_cancel(cancel)
    {
    }
    void pause(QProcess &process, int) override
    {
        ++polls;
        if (!ended && QFile::exists(m_ready)) {
            ended = true;
            livesSeen = LiveChildCount();
            m_cancel ? CancelAllChildren() : EndAllChildren();
        }
        process.waitForFinished(20);
    }
    int polls = 0;
    int livesSeen = 0;
    bool ended = false;

private:
    QString m_ready;
    bool m_cancel;
};

} // namespace

TEST(ProcessRunner, EndingReachesWhatTheChildStarted)
{
    TempFolder tmp;
    const QString pidFile = tmp.file(QStringLiteral("grandchild"));
    // The shell starts a grandchild and waits for it, as the encoder script does.
    const Command command = Sh(QStringLiteral("sleep 60 & echo $! > \"$0.tmp\"; mv \"$0.tmp\" \"$0\"; wait"));
    Command withFile = command;
    withFile.arguments.append(pidFile);
    EndingClock clock(pidFile, false);
    EXPECT_EQ(RunAndWait(withFile, nullptr, QString(), std::nullopt, std::nullopt, clock), -1);
    EXPECT_EQ(clock.livesSeen, 1);
    EXPECT_EQ(LiveChildCount(), 0);
    const pid_t grandchild = ReadPid(pidFile);
    ASSERT_GT(grandchild, 0);
    EXPECT_TRUE(GoneWithin(grandchild, 5000)) << "the grandchild outlived the end of its group";
    EXPECT_FALSE(ChildrenCancelled());
    // Ending is not sticky: the next tool runs.
    EXPECT_EQ(RunAndWait(Sh(QStringLiteral("exit 4"))), 4);
}

TEST(ProcessRunner, CancelKeepsNewChildrenFromStarting)
{
    TempFolder tmp;
    const QString ready = tmp.file(QStringLiteral("ready"));
    EndingClock clock(ready, true);
    Command command = Sh(QStringLiteral(": > \"$0\"; sleep 60"));
    command.arguments.append(ready);
    EXPECT_EQ(RunAndWait(command, nullptr, QString(), std::nullopt, std::nullopt, clock), -1);
    EXPECT_TRUE(ChildrenCancelled());

    const int notStarted = FailureNumber::FileNotFound + kObjectErrorBase;
    EXPECT_EQ(RunAndWait(Sh(QStringLiteral("exit 0"))), notStarted);
    EXPECT_EQ(RunAllAndWait({Sh(QStringLiteral("exit 0")), Sh(QStringLiteral("exit 0"))}, 2),
              (std::vector<int>{notStarted, notStarted}));
    EXPECT_EQ(RunCaptured(Sh(QStringLiteral("echo hi")), true, false), QString::fromLatin1(kCreateProcessFailed));

    ResumeChildren();
    EXPECT_FALSE(ChildrenCancelled());
    EXPECT_EQ(RunCaptured(Sh(QStringLiteral("echo hi")), true, false), QStringLiteral("hi\n"));
}

TEST(ProcessRunner, KeepsTheLastErrorLinesBounded)
{
    // 200 KB of noise on standard error, then the reason: only the tail is
    // kept, and the reason is its last line.
    const Command talker = Sh(
        QStringLiteral("head -c 200000 /dev/zero | tr '\\0' x >&2; printf '\\nNo space left on device\\n\\n' >&2; "
                       "echo out; exit 1"));
    QString errors;
    EXPECT_EQ(RunAndWait(talker, nullptr, QString(), std::nullopt, std::nullopt, DefaultPollClock(), &errors), 1);
    EXPECT_LE(errors.size(), kErrorTailBytes);
    EXPECT_TRUE(errors.contains(QStringLiteral("\nNo space left on device\n")));

    QString captured;
    EXPECT_EQ(RunCaptured(talker, true, false, true, &captured), QStringLiteral("out\n"));
    EXPECT_TRUE(captured.endsWith(QStringLiteral("No space left on device\n\n")));

    QStringList each;
    const std::vector<int> codes = RunAllAndWait({talker, Sh(QStringLiteral("echo second >&2"))}, 2, &each);
    EXPECT_EQ(codes, (std::vector<int>{1, 0}));
    ASSERT_EQ(each.size(), 2);
    EXPECT_TRUE(each.at(0).contains(QStringLiteral("No space left")));
    EXPECT_EQ(each.at(1), QStringLiteral("second\n"));

    ChildProcess child(talker);
    ASSERT_TRUE(child.start());
    while (child.running()) {
        child.process().waitForFinished(50);
        child.collect();
    }
    child.collect();
    EXPECT_EQ(child.lastErrorLine(), QStringLiteral("No space left on device"));
}

TEST(ProcessRunner, ChildrenHaveTheirOwnGroupAndDefaultSignals)
{
    // The child's group is its own, and SIGTERM (blocked by the batch
    // program in every thread) is delivered to it normally.
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &block, &old), 0);
    const QString out = RunCaptured(
        Sh(QStringLiteral(
            "[ \"$(ps -o pgid= -p $$ | tr -d ' ')\" = \"$$\" ] && echo own; kill -TERM $$; echo survived")),
        true, false);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    EXPECT_EQ(out, QStringLiteral("own\n"));
}
