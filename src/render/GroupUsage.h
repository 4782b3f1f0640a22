#pragma once

#include <QHash>
#include <QString>

namespace Render {

// What one child of a recording (Chromium or the encoder) and everything
// it started use: read from /proc for every process of its group.
class GroupUsage
{
public:
    // Adds to the totals: CPU time used so far, and the peak of the group's
    // summed resident memory. Does nothing for group 0.
    void sample(qint64 group);
    double cpuSeconds() const;
    double peakMemoryMb() const { return m_peakRssKb / 1024.0; }

private:
    QHash<qint64, qint64> m_cpuTicks; // pid -> user + system ticks last seen
    qint64 m_peakRssKb = 0;
};

// The last `lines` non-empty lines of a text, for a message.
QString LastLines(const QString &text, int lines);

} // namespace Render
