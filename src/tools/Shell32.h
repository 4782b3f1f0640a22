#pragma once

#include "Command.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>
#include <vector>

class QProcess;

namespace Tools {

class ProgressSink;

// How the wait loops spend one poll. The default yields to the event loop
// and waits up to the given time for the process to end; tests count polls
// instead of waiting five or fifteen real seconds.
class PollClock
{
public:
    virtual ~PollClock() = default;
    virtual void yield();
    virtual void pause(QProcess &process, int milliseconds);
};

// The clock used when none is passed.
PollClock &DefaultPollClock();

// Polls between checks of a waited-for process.
inline constexpr int kPollMilliseconds = 100;

// The bar during a long wait, one poll at a time: after 50 polls the
// caption counts them ("Please wait.. N") and every 150 polls the value
// creeps forward from `start` by a tenth of one file's share (of the rest of
// the bar without a `count`).
class WaitingBar
{
public:
    WaitingBar(ProgressSink &bar, QString caption, std::optional<int> start, std::optional<int> count,
               PollClock &clock = DefaultPollClock());
    void poll();
    // Shows the caption the wait began with ("Progress Bar" for none).
    void end();

private:
    ProgressSink &m_bar;
    QString m_caption;
    std::optional<int> m_start;
    std::optional<int> m_count;
    PollClock &m_clock;
    int m_polls = 0;
};

// Starts the command and waits for it, polling every 100 ms with the event
// loop kept alive. With a progress bar, after 50 polls the caption counts
// the polls ("Please wait.. N") and every 150 polls the value creeps forward
// from `start` by a tenth of one file's share. Returns the exit code, or 53
// plus kObjectErrorBase when the program cannot be started or the job was
// cancelled (the bar is then untouched); a program that crashed or was ended
// returns -1. `errors` receives the last lines of its standard error.
int RunAndWait(const Command &command, ProgressSink *bar = nullptr, const QString &caption = QString(),
               std::optional<int> start = std::nullopt, std::optional<int> count = std::nullopt,
               PollClock &clock = DefaultPollClock(), QString *errors = nullptr);

// Runs every command, up to `parallel` at a time, and waits for all of them
// with the event loop kept alive. Returns each command's exit code in order
// (53 plus kObjectErrorBase for one that could not start); `errors` receives
// the last lines of each one's standard error, in the same order.
std::vector<int> RunAllAndWait(const QList<Command> &commands, int parallel, QStringList *errors = nullptr);

// A child whose standard output is another's standard input, so that the
// reader takes what it makes as it is made, and how it ended.
struct Feed
{
    Command command;
    // After the wait: its exit code (-1 when it crashed or was ended, 53
    // plus kObjectErrorBase when it could not be started) and the last lines
    // of its standard error. A feed that outlives its reader is ended.
    int exitCode = 0;
    QString errors;
};

// Runs a script with /bin/sh in `folder` and waits for it to end. Returns
// its exit code, or 53 plus kObjectErrorBase when it cannot be started.
// With a `feed`, the feed is started first and the script reads it on its
// standard input; the script is not started when the feed cannot be.
int ShellOpenAndWait(const QString &script, const QString &folder, PollClock &clock = DefaultPollClock(),
                     QString *errors = nullptr, Feed *feed = nullptr);

// Ends every running child process with all it started (the window is
// closing); the waits then return. CancelAllChildren (ProcessRunner.h) also
// keeps new ones from starting.
void AbortRunningProcess();

// Opens a folder, file or web address through `opener` (the desktop's
// default handler, App::DesktopOpener in the window). Returns a value above
// 32 on success; on failure raises the matching numbered Failure ("File not
// found" for a missing local path, otherwise "No application is associated
// with this file type.", also when no opener is given).
using UrlOpener = std::function<bool(const QUrl &)>;
int ShellOpen(const QString &target, const UrlOpener &opener);

} // namespace Tools
