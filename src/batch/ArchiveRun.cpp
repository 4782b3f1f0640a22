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

// One child of --jobs.
struct RunningMovie
{
    MovieTask task;
    QString lineFile;
    std::unique_ptr<Tools::ChildProcess> child;
    int place = -1; // in g_movieChildren
};

ReportLine LineOfChild(const BatchOptions &options, const RunningMovie &running)
{
    QFile file(running.lineFile);
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll().trimmed());
        if (document.isObject()) {
            if (std::optional<ReportLine> line = ReportLine::fromJson(document.object()))
                return *line;
        }
    }
    const int code = running.child->exitCode();
    return FailedMovie(options, running.task,
                       code < 0 ? QStringLiteral("its conversion ended unexpectedly (killed)")
                                : QStringLiteral("its conversion ended unexpectedly (exit status %1)").arg(code));
}

// Runs the tasks up to options.archive.jobs at once, each in a child.
void RunChildren(const BatchOptions &options, const std::deque<MovieTask> &tasks, const QString &workFolder,
                 Results &results)
{
    const QString self = QCoreApplication::applicationFilePath();
    const QString lines = workFolder + QStringLiteral("/lines");
    QDir().mkpath(lines);
    std::deque<RunningMovie> running;
    QEventLoop loop;
    qsizetype next = 0;
    int started = 0;
    while (true) {
        while (static_cast<int>(running.size()) < options.archive.jobs && next < static_cast<qsizetype>(tasks.size())
               && !g_stopping.load()) {
            RunningMovie movie;
            movie.task = tasks.at(static_cast<size_t>(next++));
            movie.lineFile = lines + QStringLiteral("/%1.json").arg(++started);
            QStringList arguments = ChoiceArguments(options);
            arguments << QStringLiteral("--each") << QStringLiteral("--out")
                      << Tools::FolderOf(movie.task.output).chopped(1) << QStringLiteral("--one-movie")
                      << movie.lineFile << movie.task.source << movie.task.relative << QStringLiteral("--")
                      << movie.task.input;
            movie.child = std::make_unique<Tools::ChildProcess>(Tools::Command{self, arguments, QString()},
                                                                Tools::ChildProcess::Capture::Output);
            // Its progress lines name its movie and go straight to the terminal.
            movie.child->process().setProcessChannelMode(QProcess::ForwardedChannels);
            QObject::connect(&movie.child->process(), &QProcess::finished, &loop, &QEventLoop::quit);
            if (!movie.child->start()) {
                if (!g_stopping.load())
                    results.add(movie.task, FailedMovie(options, movie.task,
                                                        QStringLiteral("tarnwick-batch could not be started again")));
                continue;
            }
            for (int place = 0; place < kMaxJobs; ++place) {
                pid_t expected = 0;
                if (g_movieChildren[place].compare_exchange_strong(expected,
                                                                   static_cast<pid_t>(movie.child->group()))) {
                    movie.place = place;
                    break;
                }
            }
            running.push_back(std::move(movie));
        }
        if (running.empty())
            return;
        if (std::all_of(running.cbegin(), running.cend(), [](const RunningMovie &m) { return m.child->running(); }))
            loop.exec();
        for (auto it = running.begin(); it != running.end();) {
            if (it->child->running()) {
                ++it;
                continue;
            }
            if (it->place >= 0)
                g_movieChildren[it->place].store(0);
            if (!g_stopping.load())
                results.add(it->task, LineOfChild(options, *it));
            QFile::remove(it->lineFile);
            it = running.erase(it);
        }
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
        RunChildren(options, toMake, workFolder, results);
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

int RunOneMovie(const BatchOptions &options, const QString &workFolder)
{
    MovieTask task;
    task.input = options.files.value(0);
    task.source = options.archive.lineSource;
    task.relative = options.archive.lineLabel;
    task.output = Tools::CollapseBackslashes(options.outFolder + QLatin1Char('/')
                                             + Tools::StripExtension(Tools::FileNameOf(task.input))
                                             + QStringLiteral(".mp4"));
    const ReportLine line = ConvertMovie(options, task, workFolder, stdout, stderr);
    QFile file(options.archive.lineFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(line.toJson() + '\n') < 0 || !file.flush())
        return 1;
    return line.status == MovieStatus::Made && line.reason.isEmpty() ? 0 : 1;
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
