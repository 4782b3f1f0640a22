#include "ProcessRunner.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

#include <atomic>
#include <csignal>

#include <sys/prctl.h>
#include <unistd.h>

namespace Tools {

namespace {

// Process group ids of the live children, 0 for a free slot. Plain atomics,
// so that a signal handler can walk them.
std::atomic<pid_t> g_liveGroups[kMaxLiveChildren];
std::atomic<bool> g_cancelled{false};

int Register(pid_t pid)
{
    for (int i = 0; i < kMaxLiveChildren; ++i) {
        pid_t expected = 0;
        if (g_liveGroups[i].compare_exchange_strong(expected, pid))
            return i;
    }
    return -1;
}

void AppendBounded(QByteArray &tail, const QByteArray &more)
{
    tail += more;
    if (tail.size() > kErrorTailBytes)
        tail.remove(0, tail.size() - kErrorTailBytes);
}

// Whether a process of the group still runs; zombies do not count, since
// they hold nothing and an init that never reaps would keep them for ever.
bool GroupLives(qint64 group)
{
    if (::kill(-static_cast<pid_t>(group), 0) != 0)
        return false;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!pid.front().isDigit() || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // After the command name: state, ppid, pgrp.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toLongLong() == group && fields[0] != "Z")
            return true;
    }
    return false;
}

} // namespace

ChildProcess::ChildProcess(const Command &command, Capture capture)
    : m_capture(capture)
{
    m_process.setProgram(command.program);
    m_process.setArguments(command.arguments);
    if (!command.workingFolder.isEmpty())
        m_process.setWorkingDirectory(command.workingFolder);
    if (!command.environment.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &entry : command.environment) {
            const qsizetype equals = entry.indexOf(QLatin1Char('='));
            if (equals > 0)
                environment.insert(entry.left(equals), entry.mid(equals + 1));
        }
        m_process.setProcessEnvironment(environment);
    }
    m_process.setStandardInputFile(QProcess::nullDevice());
    switch (capture) {
    case Capture::Nothing:
    case Capture::Errors: m_process.setStandardOutputFile(QProcess::nullDevice()); break;
    case Capture::Output: break;
    case Capture::Merged: m_process.setProcessChannelMode(QProcess::MergedChannels); break;
    }
    const pid_t parent = ::getpid();
    m_process.setChildProcessModifier([parent] {
        // A group of its own, so that ending it also ends whatever it started
        // (the encoder under its script), and a terminal's Ctrl+C reaches
        // only this program, which then ends the children itself.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        // The batch program blocks its stop signals in every thread; a child
        // must get them as usual.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGHUP, SIG_DFL);
    });
    QObject::connect(&m_process, &QProcess::finished, [this] { finishedOrGone(); });
}

ChildProcess::~ChildProcess()
{
    if (running()) {
        const qint64 pid = m_process.processId();
        if (pid > 0)
            ::kill(-static_cast<pid_t>(pid), SIGKILL);
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    finishedOrGone();
}

void ChildProcess::feedInput()
{
    m_process.setStandardInputFile(QString());
}

void ChildProcess::pipeInto(ChildProcess &reader)
{
    m_process.setStandardOutputProcess(&reader.m_process);
}

void ChildProcess::logErrorsTo(const QString &path)
{
    m_errorLog = path;
    m_process.setStandardErrorFile(path);
}

void ChildProcess::stop()
{
    if (m_group > 0)
        ::kill(-static_cast<pid_t>(m_group), SIGKILL);
    if (running()) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // The helpers a browser started outlive its main process for a moment;
    // until they are gone they hold its profile, and a browser started on
    // the same folder meanwhile would hand its page to them and quit.
    for (int waited = 0; m_group > 0 && waited < 5000 && GroupLives(m_group); waited += 20)
        ::usleep(20000);
    finishedOrGone();
    m_group = 0;
}

bool ChildProcess::start()
{
    if (g_cancelled.load())
        return false;
    m_process.start();
    if (!m_process.waitForStarted(-1))
        return false;
    m_group = m_process.processId();
    m_slot = Register(static_cast<pid_t>(m_group));
    // Cancelled while starting: the new child is ended like the others.
    if (g_cancelled.load())
        ::kill(-static_cast<pid_t>(m_process.processId()), SIGKILL);
    return true;
}

void ChildProcess::finishedOrGone()
{
    if (m_slot >= 0) {
        g_liveGroups[m_slot].store(0);
        m_slot = -1;
    }
}

void ChildProcess::collect()
{
    switch (m_capture) {
    case Capture::Nothing: AppendBounded(m_errors, m_process.readAllStandardError()); break;
    case Capture::Output:
        m_output += m_process.readAllStandardOutput();
        AppendBounded(m_errors, m_process.readAllStandardError());
        break;
    case Capture::Merged: {
        const QByteArray more = m_process.readAllStandardOutput();
        m_output += more;
        AppendBounded(m_errors, more);
        break;
    }
    case Capture::Errors: {
        const QByteArray more = m_process.readAllStandardError();
        m_output += more;
        AppendBounded(m_errors, more);
        break;
    }
    }
    if (!running())
        finishedOrGone();
}

int ChildProcess::exitCode() const
{
    if (m_process.exitStatus() == QProcess::CrashExit)
        return -1;
    return m_process.exitCode();
}

QString ChildProcess::errorTail() const
{
    if (!m_errorLog.isEmpty()) {
        QFile log(m_errorLog);
        if (!log.open(QIODevice::ReadOnly))
            return QString();
        if (log.size() > kErrorTailBytes)
            log.seek(log.size() - kErrorTailBytes);
        return QString::fromLocal8Bit(log.readAll());
    }
    return QString::fromLocal8Bit(m_errors);
}

QString ChildProcess::lastErrorLine() const
{
    return LastLineOf(errorTail());
}

QString LastLineOf(const QString &text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = it->trimmed();
        if (!line.isEmpty())
            return line;
    }
    return QString();
}

void EndAllChildren()
{
    for (auto &group : g_liveGroups) {
        const pid_t pid = group.load();
        if (pid > 0)
            ::kill(-pid, SIGKILL);
    }
}

void CancelAllChildren()
{
    g_cancelled.store(true);
    EndAllChildren();
}

void ResumeChildren()
{
    g_cancelled.store(false);
}

bool ChildrenCancelled()
{
    return g_cancelled.load();
}

int LiveChildCount()
{
    int count = 0;
    for (const auto &group : g_liveGroups) {
        if (group.load() > 0)
            ++count;
    }
    return count;
}

} // namespace Tools
