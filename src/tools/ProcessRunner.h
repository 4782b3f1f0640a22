#pragma once

#include "Command.h"

#include "tarnwick/Limits.h"

#include <QByteArray>
#include <QProcess>
#include <QString>

// The one place where the program starts child processes. Every child runs
// in a process group of its own, is killed by the kernel when this program
// dies (PR_SET_PDEATHSIG), and is known to the runner while it lives, so that
// one call can end all of them with everything they started.
namespace Tools {

// Bytes of a child's standard error kept: its last lines, where a tool
// writes why it failed.
inline constexpr qsizetype kErrorTailBytes = Tarnwick::kMaxErrorTailBytes;

// Children that can be alive at once and still be reached by EndAllChildren.
inline constexpr int kMaxLiveChildren = 256;

class ChildProcess
{
public:
    // What happens to the child's output. The standard error's last
    // kErrorTailBytes are kept in every mode.
    enum class Capture {
        Nothing, // standard output discarded
        Output, // standard output kept
        Merged, // both channels kept, interleaved
        Errors, // standard error kept whole, standard output discarded
    };

    explicit ChildProcess(const Command &command, Capture capture = Capture::Nothing);
    ~ChildProcess(); // a child still running is ended with its group
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Before start(): the child's standard input stays a pipe that
    // process().write() feeds (an encoder taking raw frames);
    // process().closeWriteChannel() ends it.
    void feedInput();
    // Before either starts: this child's standard output becomes `reader`'s
    // standard input (a mixer feeding an encoder). Start this one first.
    void pipeInto(ChildProcess &reader);
    // Before start(): standard error goes to this file instead of memory,
    // for a talkative child (a browser); errorTail() reads the file's end.
    void logErrorsTo(const QString &path);

    // Starts the child; false when it cannot be started or when the runner
    // was cancelled (CancelAllChildren).
    bool start();
    // Ends the child's whole process group, also when the child itself has
    // already gone and left helpers behind (a browser's), and waits for it.
    void stop();
    // The child's process group; 0 before start().
    qint64 group() const { return m_group; }
    bool running() const { return m_process.state() != QProcess::NotRunning; }

    // Moves what the child wrote into output() and errorTail(). Call it at
    // every poll so that a talkative child never fills its pipe.
    void collect();

    // The exit code; -1 when the child crashed or was killed.
    int exitCode() const;

    QByteArray &output() { return m_output; }
    // The last kErrorTailBytes of standard error, decoded.
    QString errorTail() const;
    // The last non-empty line of errorTail(), trimmed.
    QString lastErrorLine() const;

    QProcess &process() { return m_process; }

private:
    void finishedOrGone();

    QProcess m_process;
    Capture m_capture;
    QByteArray m_output;
    QByteArray m_errors;
    QString m_errorLog;
    qint64 m_group = 0;
    int m_slot = -1;
};

// The last line of a tool's output with more than blanks in it, trimmed:
// what a message quotes of why the tool failed. Empty when there is none.
QString LastLineOf(const QString &text);

// Kills every live child's process group. Safe to call from a signal
// handler or another thread; the children's waits then return.
void EndAllChildren();

// EndAllChildren, and no child starts until ResumeChildren: a job stopping
// does not begin its next step's tools.
void CancelAllChildren();
void ResumeChildren();
bool ChildrenCancelled();

// Children alive now (started and not yet seen to end).
int LiveChildCount();

} // namespace Tools
