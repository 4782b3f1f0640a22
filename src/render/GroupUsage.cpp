#include "GroupUsage.h"

#include <QDir>
#include <QFile>

#include <algorithm>

#include <unistd.h>

namespace Render {

void GroupUsage::sample(qint64 group)
{
    if (group <= 0)
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
        if (fields.size() < 13 || fields[2].toLongLong() != group)
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

double GroupUsage::cpuSeconds() const
{
    qint64 ticks = 0;
    for (qint64 t : m_cpuTicks)
        ticks += t;
    return double(ticks) / double(::sysconf(_SC_CLK_TCK));
}

QString LastLines(const QString &text, int lines)
{
    const QStringList all = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return all.mid(std::max<qsizetype>(0, all.size() - lines)).join(QLatin1Char('\n'));
}

} // namespace Render
