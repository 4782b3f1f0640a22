#pragma once

#include <QElapsedTimer>
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
