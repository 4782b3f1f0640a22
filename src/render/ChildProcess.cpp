#include "ChildProcess.h"

#include <QFile>

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
