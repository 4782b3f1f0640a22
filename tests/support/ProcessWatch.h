#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QList>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <sys/types.h>

// True once no process with this id exists (it was killed and reaped),
// checked until `milliseconds` have passed.
inline bool GoneWithin(pid_t pid, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        if (::kill(pid, 0) != 0 && errno == ESRCH)
            return true;
        QThread::msleep(10);
    }
    return false;
}

// The live processes (zombies left out) whose ancestors include `root`.
inline QList<qint64> LiveDescendants(qint64 root)
{
    QHash<qint64, qint64> parent;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!numeric || !stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces and brackets.
        const QByteArray line = stat.readAll();
        const QByteArray rest = line.mid(line.lastIndexOf(')') + 2);
        if (rest.startsWith('Z'))
            continue;
        parent.insert(pid, rest.split(' ').value(1).toLongLong());
    }
    QList<qint64> found;
    for (auto it = parent.cbegin(); it != parent.cend(); ++it) {
        for (qint64 p = it.value(); p > 1; p = parent.value(p, 0)) {
            if (p == root) {
                found.append(it.key());
                break;
            }
        }
    }
    return found;
}
