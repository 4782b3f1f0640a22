#include "ArchiveRun.h"

#include "ArchiveList.h"
#include "BatchControls.h"
#include "BatchReport.h"
#include "MovieRun.h"

#include "pipeline/OutputFolder.h"
#include "tools/PathRoutines.h"
#include "tools/ProcessRunner.h"
#include "tools/StopCleanup.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>

#include <csignal>
#include <unistd.h>

namespace Batch {

namespace {

// The running children of --jobs, 0 for a free place: plain atomics, for
// the signal thread.
std::atomic<pid_t> g_movieChildren[kMaxJobs];
std::atomic<bool> g_stopping{false};

// How long a child asked to stop may take to clean up before it is killed.
constexpr int kChildStopMilliseconds = 10000;

void Print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = (text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// True while `pid` runs: gone or a zombie is done.
bool Alive(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() && text.at(close + 2) != 'Z';
}

struct Tally
{
    int made = 0;
    int kept = 0;
    int failed = 0;
    int skipped = 0;
    bool whole = true; // every movie made (or made before) from all it holds

    void count(const ReportLine &line)
    {
        switch (line.status) {
        case MovieStatus::Made: ++made; break;
        case MovieStatus::Kept: ++kept; break;
        case MovieStatus::Failed: ++failed; break;
        case MovieStatus::Skipped: ++skipped; break;
        }
        if ((line.status != MovieStatus::Made && line.status != MovieStatus::Skipped) || !line.reason.isEmpty())
            whole = false;
    }
};

// Writes the movie's line, says on standard output what became of it, and
// counts it.
class Results
{
public:
    Results(ReportWriter *report, Tally &tally)
        : m_report(report)
        , m_tally(tally)
    {
    }

    bool add(const MovieTask &task, const ReportLine &line)
    {
        if (m_report) {
            const QString error = m_report->append(line);
            if (!error.isEmpty()) {
                Print(stderr, QStringLiteral("tarnwick-batch: ") + error);
                return false;
            }
        }
        m_tally.count(line);
        QString shown = task.relative + QStringLiteral(": ") + StatusName(line.status);
        if (line.status == MovieStatus::Made || line.status == MovieStatus::Skipped)
            shown += QLatin1Char(' ') + line.output;
        if (!line.reason.isEmpty())
            shown += QStringLiteral(" (") + line.reason + QLatin1Char(')');
        Print(stdout, shown);
        return true;
    }

private:
    ReportWriter *m_report;
    Tally &m_tally;
};

// The folder the task's video goes into, made when --keep-folders needs
// it; the reason when it cannot be.
QString PrepareOutputFolder(const MovieTask &task)
{
    const QString folder = Tools::FolderOf(task.output);
    if (!Tools::IsFolder(folder) && !QDir().mkpath(folder))
        return QStringLiteral("the folder %1 cannot be created").arg(folder);
    return QString();
}

// A link named after the task's numbered video, for the job to name it by.
QString LinkFor(const MovieTask &task, const QString &workFolder, int number)
{
    const QString name = Tools::StripExtension(Tools::FileNameOf(task.output));
    const QString source = Tools::FileNameOf(task.source);
    const QString extension = Tools::StripExtension(source) == source ? QString() : Tools::ExtensionOf(source);
    const QString folder = workFolder + QStringLiteral("/links/%1").arg(number);
    const QString link = folder + QLatin1Char('/') + name
                         + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
    if (!QDir().mkpath(folder) || !QFile::link(task.source, link))
        return QString();
    return link;
}

// The task as a worker is sent it, and back.
QByteArray TaskLine(const MovieTask &task)
{
    const QJsonObject object{{QStringLiteral("source"), task.source},
                             {QStringLiteral("relative"), task.relative},
                             {QStringLiteral("output"), task.output},
                             {QStringLiteral("input"), task.input}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<MovieTask> TaskFromLine(const QByteArray &line)
{
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    MovieTask task;
    task.source = object.value(QStringLiteral("source")).toString();
    task.relative = object.value(QStringLiteral("relative")).toString();
    task.output = object.value(QStringLiteral("output")).toString();
    task.input = object.value(QStringLiteral("input")).toString();
    if (task.source.isEmpty() || task.output.isEmpty() || task.input.isEmpty())
        return std::nullopt;
    return task;
}

// One worker of --jobs and the movie it converts.
struct Worker
{
    std::unique_ptr<Tools::ChildProcess> child;
    std::optional<MovieTask> task;
    int place = -1; // in g_movieChildren
};

// Runs the tasks on up to options.archive.jobs workers, each sent its next
// movie as it answers the one before: a worker's start costs more than a
// light movie.
void RunWorkers(const BatchOptions &options, const std::deque<MovieTask> &tasks, Results &results)
{
    const QString self = QCoreApplication::applicationFilePath();
    const QStringList arguments = ChoiceArguments(options) << QStringLiteral("--worker");
    std::deque<Worker> workers;
    QEventLoop loop;
    // A wake-up besides the workers' own signals, which may come before the loop waits.
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
    tick.start(250);
    size_t next = 0;

    const auto give = [&](Worker &worker) {
        if (next < tasks.size() && !g_stopping.load()) {
            worker.task = tasks.at(next++);
            worker.child->process().write(TaskLine(*worker.task));
        } else {
            worker.task.reset();
            worker.child->process().closeWriteChannel();
        }
    };
    const auto startWorker = [&]() {
        Worker worker;
        worker.child = std::make_unique<Tools::ChildProcess>(Tools::Command{self, arguments, QString()},
                                                             Tools::ChildProcess::Capture::Output);
        worker.child->feedInput();
        // Its progress lines name their movie and go straight to the terminal.
        worker.child->process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&worker.child->process(), &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
        QObject::connect(&worker.child->process(), &QProcess::finished, &loop, &QEventLoop::quit);
        if (!worker.child->start())
            return false;
        for (int place = 0; place < kMaxJobs; ++place) {
            pid_t expected = 0;
            if (g_movieChildren[place].compare_exchange_strong(expected, static_cast<pid_t>(worker.child->group()))) {
                worker.place = place;
                break;
            }
        }
        give(worker);
        workers.push_back(std::move(worker));
        return true;
    };

    while (static_cast<int>(workers.size()) < options.archive.jobs && next < tasks.size()) {
        if (!startWorker()) {
            // No worker at all: the movies cannot be converted.
            if (workers.empty() && !g_stopping.load()) {
                for (; next < tasks.size(); ++next)
                    results.add(tasks.at(next),
                                FailedMovie(options, tasks.at(next),
                                            QStringLiteral("tarnwick-batch could not be started again")));
            }
            break;
        }
    }
    while (!workers.empty()) {
        loop.exec();
        int lost = 0;
        for (auto it = workers.begin(); it != workers.end();) {
            Tools::ChildProcess &child = *it->child;
            child.collect();
            QByteArray &output = child.output();
            for (qsizetype end = output.indexOf('\n'); end >= 0 && it->task; end = output.indexOf('\n')) {
                const QJsonDocument document = QJsonDocument::fromJson(output.left(end));
                output.remove(0, end + 1);
                std::optional<ReportLine> line;
                if (document.isObject())
                    line = ReportLine::fromJson(document.object());
                if (!g_stopping.load())
                    results.add(*it->task, line ? *line
                                                : FailedMovie(options, *it->task,
                                                              QStringLiteral("its worker gave no report line")));
                give(*it);
            }
            if (child.running()) {
                ++it;
                continue;
            }
            if (it->place >= 0)
                g_movieChildren[it->place].store(0);
            // A worker that died took its movie with it; another takes over.
            if (it->task && !g_stopping.load()) {
                const int code = child.exitCode();
                results.add(
                    *it->task,
                    FailedMovie(options, *it->task,
                                code < 0
                                    ? QStringLiteral("its conversion ended unexpectedly (killed)")
                                    : QStringLiteral("its conversion ended unexpectedly (exit status %1)").arg(code)));
                ++lost;
            }
            it = workers.erase(it);
        }
        for (; lost > 0 && next < tasks.size() && !g_stopping.load(); --lost)
            startWorker();
    }
}

} // namespace

int RunArchive(const BatchOptions &options, const QString &workFolder)
{
    const ArchiveOptions &archive = options.archive;
    BatchControls controls(options, stdout, stderr);
    QStringList notes;
    const QString root = ListRoot(options.files);
    const QStringList files = ExpandFolders(options.files, controls.errorReporter(), notes);
    for (const QString &note : notes)
        Print(stderr, QStringLiteral("tarnwick-batch: ") + TerminalText(note));

    // Checked before anything is written.
    ReportContents earlier;
    if (!archive.reportPath.isEmpty()) {
        const QString error = ReadReport(archive.reportPath, earlier);
        if (!error.isEmpty()) {
            Print(stderr, QStringLiteral("tarnwick-batch: ") + error);
            return 2;
        }
    }
    if (!options.beside) {
        const QString problem = Pipeline::OutputFolderProblem(options.outFolder);
        if (!problem.isEmpty()) {
            Print(stderr, QStringLiteral("tarnwick-batch: the output folder %1 cannot be used: %2")
                              .arg(options.outFolder, problem));
            return 1;
        }
    }

    const QList<MovieTask> planned = PlanMovies(files, root, options);
    std::deque<MovieTask> tasks;
    for (const MovieTask &task : planned) {
        if (archive.shardCount == 0 || InShard(task.relative, archive.shardIndex, archive.shardCount))
            tasks.push_back(task);
    }

    std::unique_ptr<ReportWriter> report;
    if (!archive.reportPath.isEmpty()) {
        report = std::make_unique<ReportWriter>();
        const QString error = report->open(archive.reportPath, earlier);
        if (!error.isEmpty()) {
            Print(stderr, QStringLiteral("tarnwick-batch: ") + error);
            return 1;
        }
    }
    Tally tally;
    Results results(report.get(), tally);

    // Movies made before are passed over; the rest get their folders and,
    // where the video is numbered, the link the job names it by.
    const ResumeIndex index(archive.resume ? earlier.lines : QList<ReportLine>());
    std::deque<MovieTask> toMake;
    int links = 0;
    bool written = true;
    for (MovieTask &task : tasks) {
        if (archive.resume) {
            ReportLine wanted;
            wanted.source = task.source;
            wanted.choices = ReportChoices(options);
            wanted.output = task.output;
            if (const std::optional<ReportLine> made = index.madeBefore(wanted)) {
                ReportLine skipped = *made;
                skipped.status = MovieStatus::Skipped;
                skipped.notes = {QStringLiteral("made by an earlier run")};
                skipped.wallSeconds = 0;
                skipped.cpuSeconds = 0;
                written = written && results.add(task, skipped);
                continue;
            }
        }
        QString problem = PrepareOutputFolder(task);
        if (problem.isEmpty()
            && Tools::StripExtension(Tools::FileNameOf(task.output))
                   != Tools::StripExtension(Tools::FileNameOf(task.source))) {
            task.input = LinkFor(task, workFolder, ++links);
            if (task.input.isEmpty())
                problem = QStringLiteral("the link naming its numbered video cannot be made");
        }
        if (!problem.isEmpty())
            written = written && results.add(task, FailedMovie(options, task, problem));
        else
            toMake.push_back(task);
    }

    if (written && archive.jobs > 1) {
        RunWorkers(options, toMake, results);
    } else if (written) {
        for (const MovieTask &task : toMake) {
            if (!results.add(task, ConvertMovie(options, task, workFolder, stdout, stderr)))
                break;
        }
    }

    QString summary = QStringLiteral("Done: %1 movies").arg(tasks.size());
    if (archive.shardCount > 0)
        summary +=
            QStringLiteral(" (share %1/%2 of %3)").arg(archive.shardIndex).arg(archive.shardCount).arg(planned.size());
    summary += QStringLiteral(": %1 made, %2 kept, %3 failed, %4 skipped (made before)")
                   .arg(tally.made)
                   .arg(tally.kept)
                   .arg(tally.failed)
                   .arg(tally.skipped);
    Print(stdout, summary);
    return tally.whole && written ? 0 : 1;
}

int RunWorker(const BatchOptions &options, const QString &workFolder)
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return 1;
    bool whole = true;
    for (QByteArray line = input.readLine(); !line.isEmpty(); line = input.readLine()) {
        const std::optional<MovieTask> task = TaskFromLine(line);
        if (!task)
            return 2;
        // Standard output carries the answers only: the movie's lines go to
        // standard error.
        const ReportLine made = ConvertMovie(options, *task, workFolder, stderr, stderr);
        const QByteArray answer = made.toJson() + '\n';
        std::fwrite(answer.constData(), 1, static_cast<size_t>(answer.size()), stdout);
        std::fflush(stdout);
        whole = whole && made.status == MovieStatus::Made && made.reason.isEmpty();
    }
    return whole ? 0 : 1;
}

void StopMovieChildren()
{
    g_stopping.store(true);
    // Twice: a child that started as the first round began is caught by the second.
    for (int round = 0; round < 2; ++round) {
        QList<pid_t> asked;
        for (std::atomic<pid_t> &place : g_movieChildren) {
            const pid_t pid = place.load();
            if (pid > 0 && ::kill(pid, SIGTERM) == 0)
                asked.append(pid);
        }
        for (int waited = 0; waited < kChildStopMilliseconds; waited += 20) {
            if (std::none_of(asked.cbegin(), asked.cend(), Alive))
                break;
            ::usleep(20 * 1000);
        }
    }
    HoldReportForExit();
}

} // namespace Batch
