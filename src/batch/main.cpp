// tarnwick-batch: the conversion of the window, for scripts and many files.
#include "ArchiveList.h"
#include "ArchiveRun.h"
#include "BatchControls.h"

#include "pipeline/ConversionJob.h"
#include "render/MovieRecorder.h"
#include "tools/DataFolder.h"
#include "tools/Failure.h"
#include "tools/ToolDeployment.h"

#include "tools/StopCleanup.h"
#include "tools/ProcessRunner.h"

#include <QCoreApplication>
#include <QDir>

#include <memory>
#include <mutex>
#include <thread>

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace {

// Held by the signal thread from the moment it takes a signal: the main
// thread takes it before returning, so a job that ends because its children
// were stopped cannot exit before the signal thread has cleaned up.
std::mutex g_exitLock;

// SIGINT, SIGTERM and SIGHUP are taken by one thread of their own: it ends
// every child with all it started, removes the hidden unfinished video and
// the WorkFolder, and exits with 128 + the signal's number. Blocked before
// any other thread exists, so that no other thread receives them.
void HandleStopSignals()
{
    static sigset_t stops;
    sigemptyset(&stops);
    for (const int signo : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stops, signo);
    ::pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    std::thread([] {
        int signo = 0;
        while (::sigwait(&stops, &signo) != 0) {
        }
        g_exitLock.lock();
        // The movies of --jobs clean up after themselves when asked.
        Batch::StopMovieChildren();
        Tools::CancelAllChildren();
        Tools::RemoveRegisteredOnStop();
        // A frame being written as the folder went may have made it again.
        ::usleep(100 * 1000);
        Tools::EndAllChildren();
        Tools::RemoveRegisteredOnStop();
        std::fprintf(stderr, "tarnwick-batch: stopped by signal %d\n", signo);
        std::fflush(stderr);
        ::_exit(128 + signo);
    }).detach();
}

} // namespace

int main(int argc, char *argv[])
{
    HandleStopSignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnwick-batch"));

    Batch::BatchOptions options;
    const QString error = Batch::ParseArguments(QCoreApplication::arguments().mid(1), QDir::currentPath(), options,
                                                Tools::DataFolder());
    if (!error.isEmpty()) {
        std::fprintf(stderr, "tarnwick-batch: %s\n\n%s", error.toLocal8Bit().constData(),
                     Batch::UsageText().toLocal8Bit().constData());
        return 2;
    }

    if (options.help) {
        std::fputs(Batch::UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    }

    for (const QString &note : options.notes)
        std::fprintf(stderr, "tarnwick-batch: %s\n", note.toLocal8Bit().constData());
    if (options.play) {
        const QString missing = Render::MovieRecorder::MissingParts(Tools::DataFolder() + QStringLiteral("/render"));
        if (!missing.isEmpty()) {
            std::fprintf(stderr, "tarnwick-batch: %s\n", missing.toLocal8Bit().constData());
            return 2;
        }
    }

    std::unique_ptr<Tools::WorkFolderOwner> workFolder;
    try {
        workFolder = std::make_unique<Tools::WorkFolderOwner>();
    } catch (const Tools::Failure &failure) {
        std::fprintf(stderr, "tarnwick-batch: cannot create a private scratch folder: %s\n",
                     failure.description().toLocal8Bit().constData());
        return 1;
    }
    Tools::RemoveOnStop(workFolder->path());
    if (options.archive.worker || options.archive.perMovie()) {
        const int status = options.archive.worker ? Batch::RunWorker(options, workFolder->path())
                                                  : Batch::RunArchive(options, workFolder->path());
        const std::lock_guard<std::mutex> exiting(g_exitLock);
        return status;
    }

    {
        Batch::BatchControls walking(options, stdout, stderr);
        QStringList notes;
        options.files = Batch::ExpandFolders(options.files, walking.errorReporter(), notes);
        for (const QString &note : notes)
            std::fprintf(stderr, "tarnwick-batch: %s\n", Batch::TerminalText(note).toLocal8Bit().constData());
    }
    Batch::BatchControls controls(options, stdout, stderr);
    Pipeline::ConversionJob job(controls, workFolder->path());
    job.PushButton2_Click();

    const Pipeline::JobOutcome &outcome = job.outcome();
    // A movie read only in part makes a video that lacks what could not be
    // read: that is not a complete run either.
    const bool complete = !outcome.refused && outcome.failed.isEmpty() && outcome.noPictures.isEmpty()
                          && outcome.partlyRead.isEmpty() && !outcome.made.isEmpty() && controls.errorReports() == 0;
    const std::lock_guard<std::mutex> exiting(g_exitLock);
    return complete ? 0 : 1;
}
