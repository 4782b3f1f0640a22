#include "CmdOutput.h"

#include "Failure.h"

#include <QCoreApplication>
#include <QProcess>

namespace Tools {

QString RunCaptured(const Command &command, bool captureStandardOutput, bool captureStandardError,
                    bool oemConversion)
{
    Q_UNUSED(oemConversion);
    if (!captureStandardOutput && !captureStandardError)
        throw Failure(FailureNumber::InvalidCall, QStringLiteral("Invalid procedure call or argument"));

    QProcess process;
    process.setProgram(command.program);
    process.setArguments(command.arguments);
    if (!command.workingFolder.isEmpty())
        process.setWorkingDirectory(command.workingFolder);
    process.setStandardInputFile(QProcess::nullDevice());
    if (captureStandardOutput && captureStandardError) {
        process.setProcessChannelMode(QProcess::MergedChannels);
    } else if (captureStandardOutput) {
        process.setStandardErrorFile(QProcess::nullDevice());
    } else {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setReadChannel(QProcess::StandardError);
    }

    process.start();
    if (!process.waitForStarted(-1))
        return QString::fromLatin1(kCreateProcessFailed);

    // Decoded once at the end, so a multi-byte character split across two
    // reads is not garbled.
    QByteArray collected;
    for (;;) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        const bool more = process.waitForReadyRead(100);
        collected += process.readAll();
        if (collected.size() > kMaxCapturedBytes) {
            collected.truncate(kMaxCapturedBytes);
            process.kill();
            process.waitForFinished(-1);
            break;
        }
        if (!more && process.state() == QProcess::NotRunning) {
            collected += process.readAll();
            break;
        }
    }
    if (collected.size() > kMaxCapturedBytes)
        collected.truncate(kMaxCapturedBytes);
    return QString::fromLocal8Bit(collected);
}

} // namespace Tools
