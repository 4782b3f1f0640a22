#include "CmdOutput.h"

#include "Failure.h"
#include "ProcessRunner.h"

#include <QCoreApplication>
#include <QProcess>

namespace Tools {

QString RunCaptured(const Command &command, bool captureStandardOutput, bool captureStandardError, bool oemConversion,
                    QString *errors, int *exitCode)
{
    if (exitCode)
        *exitCode = -1;
    Q_UNUSED(oemConversion);
    if (!captureStandardOutput && !captureStandardError)
        throw Failure(FailureNumber::InvalidCall, QStringLiteral("Invalid procedure call or argument"));

    using Capture = ChildProcess::Capture;
    ChildProcess child(command, captureStandardOutput && captureStandardError ? Capture::Merged
                                : captureStandardOutput                       ? Capture::Output
                                                                              : Capture::Errors);
    if (!child.start())
        return QString::fromLatin1(kCreateProcessFailed);
    QProcess &process = child.process();
    process.setReadChannel(captureStandardOutput ? QProcess::StandardOutput : QProcess::StandardError);

    // Decoded once at the end, so a multi-byte character split across two
    // reads is not garbled.
    QByteArray &collected = child.output();
    for (;;) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        const bool more = process.waitForReadyRead(100);
        child.collect();
        if (collected.size() > kMaxCapturedBytes) {
            collected.truncate(kMaxCapturedBytes);
            process.kill();
            process.waitForFinished(-1);
            exitCode = nullptr; // cut off: its status says nothing
            break;
        }
        if (!more && process.state() == QProcess::NotRunning) {
            child.collect();
            break;
        }
    }
    if (collected.size() > kMaxCapturedBytes)
        collected.truncate(kMaxCapturedBytes);
    if (errors)
        *errors = child.errorTail();
    if (exitCode)
        *exitCode = child.exitCode();
    return QString::fromLocal8Bit(collected);
}

} // namespace Tools
