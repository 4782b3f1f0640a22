#include "Shell32.h"

#include "Failure.h"
#include "ProcessRunner.h"
#include "PathRoutines.h"
#include "ProgressSink.h"
#include "Rounding.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <memory>

namespace Tools {

namespace {

// Per thread: a job's side tasks wait for children of their own.
thread_local QProcess *g_waitedFor = nullptr;

constexpr int kShellOk = 42;

} // namespace

WaitingBar::WaitingBar(ProgressSink &bar, QString caption, std::optional<int> start, std::optional<int> count,
                       PollClock &clock)
    : m_bar(bar)
    , m_caption(std::move(caption))
    , m_start(start)
    , m_count(count)
    , m_clock(clock)
{
}

void WaitingBar::poll()
{
    ++m_polls;
    if (m_polls < 50)
        return;
    m_clock.yield();
    const int waited = m_polls - 50;
    m_bar.setCaption(m_caption + (m_caption.isEmpty() ? QString() : QStringLiteral(", "))
                     + QStringLiteral("Please wait.. ") + QString::number(waited));
    if (m_start && waited % 150 == 0) {
        double step = 0;
        double limit = 0;
        if (!m_count || *m_count == 0) {
            step = RoundHalfEven((100.0 - *m_start) / 10.0);
            limit = 100.0 - step;
        } else {
            const double share = 100.0 / *m_count;
            step = RoundHalfEven(share / 10.0);
            limit = RoundHalfEven(share + *m_start - step);
        }
        const double value = static_cast<double>(waited / 150) * step + *m_start;
        m_bar.setValue(value < limit ? value : limit);
    }
    m_clock.yield();
}

void WaitingBar::end()
{
    m_bar.setCaption(m_caption.isEmpty() ? QStringLiteral("Progress Bar") : m_caption);
}

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

namespace {

// How long a feed may go on after its reader has ended: it stops at its next
// write to the closed pipe.
constexpr int kFeedGraceMilliseconds = 5000;

// Starts the feed with its output piped to `reader`, which is started next.
bool StartFeed(ChildProcess &feeder, ChildProcess &reader, Feed &feed)
{
    feeder.pipeInto(reader);
    if (feeder.start())
        return true;
    feed.exitCode = FailureNumber::FileNotFound + kObjectErrorBase;
    feed.errors = feeder.errorTail();
    return false;
}

void FinishFeed(ChildProcess &feeder, Feed &feed)
{
    if (feeder.running() && !feeder.process().waitForFinished(kFeedGraceMilliseconds))
        feeder.stop();
    feeder.collect();
    feed.exitCode = feeder.exitCode();
    feed.errors = feeder.errorTail();
}

int RunFedAndWait(const Command &command, Feed *feed, ProgressSink *bar, const QString &caption,
                  std::optional<int> start, std::optional<int> count, PollClock &clock, QString *errors)
{
    ChildProcess child(command);
    std::optional<ChildProcess> feeder;
    if (feed) {
        feeder.emplace(feed->command);
        if (!StartFeed(*feeder, child, *feed))
            return FailureNumber::FileNotFound + kObjectErrorBase;
    }
    if (!child.start()) {
        if (feeder) {
            feeder->stop();
            FinishFeed(*feeder, *feed);
        }
        return FailureNumber::FileNotFound + kObjectErrorBase;
    }
    QProcess &process = child.process();

    QProcess *const previous = g_waitedFor;
    g_waitedFor = &process;
    std::optional<WaitingBar> waiting;
    if (bar)
        waiting.emplace(*bar, caption, start, count, clock);
    for (;;) {
        const bool stillActive = process.state() != QProcess::NotRunning;
        clock.yield();
        clock.pause(process, kPollMilliseconds);
        child.collect();
        if (feeder)
            feeder->collect(); // its error text, which nothing else drains
        if (waiting) {
            clock.yield();
            waiting->poll();
            clock.yield();
        }
        clock.yield();
        if (!stillActive)
            break;
    }
    g_waitedFor = previous;
    child.collect();
    if (errors)
        *errors = child.errorTail();
    if (feeder)
        FinishFeed(*feeder, *feed);

    if (waiting)
        waiting->end();
    return child.exitCode();
}

} // namespace

int RunAndWait(const Command &command, ProgressSink *bar, const QString &caption, std::optional<int> start,
               std::optional<int> count, PollClock &clock, QString *errors)
{
    return RunFedAndWait(command, nullptr, bar, caption, start, count, clock, errors);
}

std::vector<int> RunAllAndWait(const QList<Command> &commands, int parallel, QStringList *errors)
{
    std::vector<int> codes(commands.size(), FailureNumber::FileNotFound + kObjectErrorBase);
    if (errors)
        *errors = QStringList(commands.size(), QString());
    std::vector<std::pair<qsizetype, std::unique_ptr<ChildProcess>>> running;
    QEventLoop loop;
    qsizetype next = 0;
    const auto startNext = [&] {
        auto child = std::make_unique<ChildProcess>(commands.at(next));
        QObject::connect(&child->process(), &QProcess::finished, &loop, &QEventLoop::quit);
        if (child->start())
            running.emplace_back(next, std::move(child));
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
            ChildProcess &child = *it->second;
            child.collect();
            if (!child.running()) {
                codes[it->first] = child.exitCode();
                if (errors)
                    (*errors)[it->first] = child.errorTail();
                it = running.erase(it);
            } else {
                ++it;
            }
        }
    }
    return codes;
}

int ShellOpenAndWait(const QString &script, const QString &folder, PollClock &clock, QString *errors, Feed *feed)
{
    return RunFedAndWait(Command{QStringLiteral("/bin/sh"), {script}, folder}, feed, nullptr, QString(), std::nullopt,
                         std::nullopt, clock, errors);
}

void AbortRunningProcess()
{
    EndAllChildren();
    if (g_waitedFor)
        g_waitedFor->waitForFinished(1000);
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
