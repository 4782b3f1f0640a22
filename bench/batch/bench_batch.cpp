// Times whole tarnwick-batch archive runs over generated movies, with
// --jobs 1 and --jobs 2 (or the counts given), several runs each, and
// prints each run, the median and the throughput ratio.
//
//     bench_batch [--movies N] [--runs R] [--play N] [--jobs A,B,...] [--plain 1]
//
// Light movies (default 200; 0 for none): one JPEG picture each, --fast 10.
// --play N also times N vector cartoons of 5 s recorded with --play (needs
// chromium).
#include "ArchiveMovies.h"
#include "VectorSwf.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {

// One way of running the archive: its label and its options.
struct Setup
{
    QString label;
    QStringList options;
};

// CPU seconds of the children waited for so far.
double ChildrenCpu()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Seconds for one whole run into a fresh folder; negative when it failed.
double TimeRun(const QStringList &choices, const Setup &setup, const QString &movies, const QString &scratch)
{
    const QString out = scratch + QStringLiteral("/out");
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    QFile::remove(scratch + QStringLiteral("/r.jsonl"));
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setWorkingDirectory(scratch);
    QElapsedTimer timer;
    timer.start();
    // TARNWICK_BATCH: a copy to time while the build tree changes.
    const QString program = qEnvironmentVariable("TARNWICK_BATCH", QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-batch"));
    process.start(program, choices + setup.options + QStringList{QStringLiteral("--out"), out, movies});
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s", process.readAllStandardOutput().constData());
        return -1;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Times each setup `runs` times, interleaved so that a busy moment of the
// machine falls on all of them; prints the medians and their throughput
// against the first setup's.
bool Compare(const char *title, const QStringList &choices, const QString &movies, int count,
             const QList<Setup> &setups, int runs, const QString &scratch)
{
    std::vector<std::vector<double>> seconds(static_cast<size_t>(setups.size()));
    for (int run = 0; run < runs; ++run) {
        for (qsizetype s = 0; s < setups.size(); ++s) {
            const double cpuBefore = ChildrenCpu();
            const double taken = TimeRun(choices, setups.at(s), movies, scratch);
            if (taken < 0) {
                std::fprintf(stderr, "%s: the run %s failed\n", title, qPrintable(setups.at(s).label));
                return false;
            }
            std::printf("%s, %s, run %d: %.2f s, CPU %.2f s\n", title, qPrintable(setups.at(s).label), run + 1, taken,
                        ChildrenCpu() - cpuBefore);
            std::fflush(stdout);
            seconds[static_cast<size_t>(s)].push_back(taken);
        }
    }
    const double base = Median(seconds.front());
    for (qsizetype s = 0; s < setups.size(); ++s) {
        const double median = Median(seconds[static_cast<size_t>(s)]);
        std::printf("%s, %s: median %.2f s over %d runs, %.2f movies/s, throughput x%.2f of %s\n", title,
                    qPrintable(setups.at(s).label), median, runs, count / median, base / median,
                    qPrintable(setups.front().label));
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int movies = 200;
    int runs = 3;
    int play = 0;
    QList<int> jobCounts{1, 2};
    bool plain = false;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--movies"))
            movies = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--runs"))
            runs = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--play"))
            play = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--plain"))
            plain = args.at(i + 1) != QLatin1String("0");
        else if (args.at(i) == QLatin1String("--jobs")) {
            jobCounts.clear();
            for (const QString &count : args.at(i + 1).split(QLatin1Char(',')))
                jobCounts.append(count.toInt());
        }
    }
    if (movies < 0 || runs < 1 || jobCounts.isEmpty() || (movies == 0 && play == 0)) {
        std::fputs("usage: bench_batch [--movies N] [--runs R] [--play N] [--jobs A,B,...] [--plain 1]\n", stderr);
        return 2;
    }

    // Archive runs, one job per movie with a report; --plain 1 adds the one
    // job over the whole list that a run without archive options is.
    QList<Setup> setups;
    for (const int jobs : jobCounts)
        setups.append(
            {QStringLiteral("--jobs %1 --report").arg(jobs),
             {QStringLiteral("--jobs"), QString::number(jobs), QStringLiteral("--report"), QStringLiteral("r.jsonl")}});
    if (plain)
        setups.append({QStringLiteral("one job, no report"), {QStringLiteral("--each")}});

    QTemporaryDir scratch;
    const QString light = scratch.filePath(QStringLiteral("light"));
    if (movies > 0
        && (ArchiveMovies::WriteLightMovies(light, movies).size() != movies
            || !Compare("light", {QStringLiteral("--fast"), QStringLiteral("10")}, light, movies, setups, runs,
                        scratch.path())))
        return 1;

    if (play > 0) {
        const QString cartoons = scratch.filePath(QStringLiteral("play"));
        QDir().mkpath(cartoons);
        for (int i = 0; i < play; ++i) {
            const SwfBuild::Bytes swf = SwfBuild::VectorCartoon(40 + i, 20, 100);
            QFile file(cartoons + QStringLiteral("/cartoon-%1.swf").arg(i));
            if (!file.open(QIODevice::WriteOnly)
                || file.write(reinterpret_cast<const char *>(swf.data()), qint64(swf.size())) != qint64(swf.size()))
                return 1;
        }
        if (!Compare("play", {QStringLiteral("--play")}, cartoons, play, setups, runs, scratch.path()))
            return 1;
    }
    return 0;
}
