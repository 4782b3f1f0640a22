#pragma once

#include <QHash>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace Render {

// One child program of a recording (Chromium or the encoder), started in a
// process group of its own so that ending it ends everything it started
// (Chromium's renderer and helper processes too). Ending happens on stop()
// and at destruction, whatever state the recording is in.
class ChildProcess
{
public:
    ChildProcess();
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Standard error goes to `logPath` when given (kept for the details of
    // a failure), else is dropped; standard output is dropped.
    bool start(const QString &program, const QStringList &arguments, const QString &logPath = QString());
    void stop();
    bool running() const;
    QProcess &process() { return *m_process; }
    // Looks at every process of the group (in /proc) and adds to the totals:
    // CPU time used so far, and the peak of their summed resident memory.
    void sampleUsage();
    double cpuSeconds() const;
    double peakMemoryMb() const { return m_peakRssKb / 1024.0; }
    // The last lines of the error log, for a message.
    QString logTail(int lines = 5) const;

private:
    std::unique_ptr<QProcess> m_process;
    QString m_logPath;
    qint64 m_group = 0;
    QHash<qint64, qint64> m_cpuTicks; // pid -> user + system ticks last seen
    qint64 m_peakRssKb = 0;
};

} // namespace Render
