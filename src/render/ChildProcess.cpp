#include "ChildProcess.h"

#include <QDir>
#include <QFile>

#include <algorithm>

#include <signal.h>
#include <unistd.h>

namespace Render {

ChildProcess::ChildProcess() : m_process(std::make_unique<QProcess>()) {}

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::start(const QString &program, const QStringList &arguments, const QString &logPath)
{
    m_logPath = logPath;
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(logPath.isEmpty() ? QProcess::nullDevice() : logPath);
    m_process->setChildProcessModifier([] { ::setpgid(0, 0); });
    m_process->start(program, arguments);
    if (!m_process->waitForStarted(10000))
        return false;
    m_group = m_process->processId();
    return true;
}

void ChildProcess::stop()
{
    // The group outlives its leader when Chromium's helpers linger, so the
    // whole group is ended even when the leader has already gone.
    if (m_group > 0)
        ::kill(pid_t(-m_group), SIGKILL);
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    m_group = 0;
}

bool ChildProcess::running() const
{
    return m_process->state() == QProcess::Running;
}

void ChildProcess::sampleUsage()
{
    if (m_group <= 0)
        return;
    qint64 rssKb = 0;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool numeric = false;
        const qint64 id = pid.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // The fields after the command name: state, ppid, pgrp, ... utime (12th), stime.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13 || fields[2].toLongLong() != m_group)
            continue;
        m_cpuTicks[id] = fields[11].toLongLong() + fields[12].toLongLong();
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &l : status.readAll().split('\n')) {
                if (l.startsWith("VmRSS:"))
                    rssKb += l.mid(6).trimmed().split(' ').value(0).toLongLong();
            }
        }
    }
    m_peakRssKb = std::max(m_peakRssKb, rssKb);
}

double ChildProcess::cpuSeconds() const
{
    qint64 ticks = 0;
    for (qint64 t : m_cpuTicks)
        ticks += t;
    return double(ticks) / double(::sysconf(_SC_CLK_TCK));
}

QString ChildProcess::logTail(int lines) const
{
    QFile f(m_logPath);
    if (m_logPath.isEmpty() || !f.open(QIODevice::ReadOnly))
        return {};
    if (f.size() > 65536)
        f.seek(f.size() - 65536);
    const QStringList all = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return all.mid(std::max<qsizetype>(0, all.size() - lines)).join(QLatin1Char('\n'));
}

} // namespace Render
