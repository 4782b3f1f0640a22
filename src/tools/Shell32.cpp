#include "Shell32.h"

#include "Failure.h"
#include "PathRoutines.h"
#include "ProgressSink.h"
#include "Rounding.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <QVariant>

#include <memory>

#include <csignal>
#include <unistd.h>

namespace Tools {

namespace {

QProcess *g_waitedFor = nullptr;

constexpr int kShellOk = 42;

// The bar's animation for poll number `poll` (counted from 1).
void AnimateBar(ProgressSink &bar, int poll, const QString &caption, std::optional<int> start,
                std::optional<int> count, PollClock &clock)
{
    clock.yield();
    const int waited = poll - 50;
    bar.setCaption(caption + (caption.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("Please wait.. ")
                   + QString::number(waited));
    if (start && waited % 150 == 0) {
        double step = 0;
        double limit = 0;
        if (!count || *count == 0) {
            step = RoundHalfEven((100.0 - *start) / 10.0);
            limit = 100.0 - step;
        } else {
            const double share = 100.0 / *count;
            step = RoundHalfEven(share / 10.0);
            limit = RoundHalfEven(share + *start - step);
        }
        const double value = static_cast<double>(waited / 150) * step + *start;
        bar.setValue(value < limit ? value : limit);
    }
    clock.yield();
}

} // namespace

void PollClock::yield()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void PollClock::pause(QProcess &process, int milliseconds)
{
    // Returns early when the process ends, so a short tool costs no idle
    // tail; a running one is polled every `milliseconds` as before.
    process.waitForFinished(milliseconds);
}

PollClock &DefaultPollClock()
{
    static PollClock clock;
    return clock;
}

int RunAndWait(const Command &command, ProgressSink *bar, const QString &caption, std::optional<int> start,
               std::optional<int> count, PollClock &clock)
{
    QProcess process;
    process.setProgram(command.program);
    process.setArguments(command.arguments);
    if (!command.workingFolder.isEmpty())
        process.setWorkingDirectory(command.workingFolder);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // A group of its own, so that ending the wait also ends whatever the
    // child started (the encoder under its script).
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start();
    if (!process.waitForStarted(-1))
        return FailureNumber::FileNotFound + kObjectErrorBase;

    QProcess *const previous = g_waitedFor;
    g_waitedFor = &process;
    int poll = 0;
    for (;;) {
        const bool stillActive = process.state() != QProcess::NotRunning;
        clock.yield();
        clock.pause(process, kPollMilliseconds);
        if (bar) {
            clock.yield();
            ++poll;
            if (poll >= 50)
                AnimateBar(*bar, poll, caption, start, count, clock);
            clock.yield();
        }
        clock.yield();
        if (!stillActive)
            break;
    }
    g_waitedFor = previous;

    if (bar)
        bar->setCaption(caption.isEmpty() ? QStringLiteral("Progress Bar") : caption);
    if (process.exitStatus() == QProcess::CrashExit)
        return -1;
    return process.exitCode();
}

std::vector<int> RunAllAndWait(const QList<Command> &commands, int parallel)
{
    std::vector<int> codes(commands.size(), FailureNumber::FileNotFound + kObjectErrorBase);
    std::vector<std::unique_ptr<QProcess>> running;
    QEventLoop loop;
    qsizetype next = 0;
    const auto startNext = [&] {
        const Command &command = commands.at(next);
        auto process = std::make_unique<QProcess>();
        process->setProgram(command.program);
        process->setArguments(command.arguments);
        if (!command.workingFolder.isEmpty())
            process->setWorkingDirectory(command.workingFolder);
        process->setStandardInputFile(QProcess::nullDevice());
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        process->setProperty("index", QVariant::fromValue(next));
        QObject::connect(process.get(), &QProcess::finished, &loop, &QEventLoop::quit);
        process->start();
        if (process->waitForStarted(-1))
            running.push_back(std::move(process));
        ++next;
    };
    while (next < commands.size() || !running.empty()) {
        while (static_cast<int>(running.size()) < std::max(parallel, 1) && next < commands.size())
            startNext();
        if (running.empty())
            continue;
        // Woken by any child's end, or after one poll interval to repaint.
        QTimer::singleShot(kPollMilliseconds, &loop, &QEventLoop::quit);
        loop.exec();
        for (auto it = running.begin(); it != running.end();) {
            QProcess &process = **it;
            if (process.state() == QProcess::NotRunning) {
                const qsizetype index = process.property("index").value<qsizetype>();
                codes[index] = process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode();
                it = running.erase(it);
            } else {
                ++it;
            }
        }
    }
    return codes;
}

int ShellOpenAndWait(const QString &script, const QString &folder, PollClock &clock)
{
    return RunAndWait(Command{QStringLiteral("/bin/sh"), {script}, folder}, nullptr, QString(), std::nullopt,
                      std::nullopt, clock);
}

void AbortRunningProcess()
{
    if (g_waitedFor) {
        const qint64 pid = g_waitedFor->processId();
        if (pid > 0)
            ::kill(-static_cast<pid_t>(pid), SIGKILL);
        g_waitedFor->kill();
        g_waitedFor->waitForFinished(1000);
    }
}

int ShellOpen(const QString &target, const UrlOpener &opener)
{
    const QUrl url = target.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(target) : QUrl(target);
    if (url.isLocalFile() && !FileExists(url.toLocalFile()))
        throw Failure(FailureNumber::FileNotFound, QStringLiteral("File not found"));
    // The desktop's handler lives in the GUI layer, which passes it in.
    const bool opened = opener && opener(url);
    if (!opened)
        throw Failure(kShellErrorBase + 31, QStringLiteral("No application is associated with this file type."));
    return kShellOk;
}

} // namespace Tools
