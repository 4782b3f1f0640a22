// Times whole tarnwick-batch archive runs over generated movies, with
// --jobs 1 and --jobs 2 (or the counts given), several runs each, and
// prints each run, the median and the throughput ratio.
//
//     bench_batch [--movies N] [--runs R] [--play N] [--jobs A,B,...]
//
// Light movies (default 200): one JPEG picture each, --fast 10. --play N
// also times N vector cartoons of 5 s recorded with --play (needs chromium).
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

namespace {

// Seconds for one whole run into a fresh folder; negative when it failed.
double TimeRun(const QStringList &choices, const QString &movies, int jobs, const QString &scratch)
{
    const QString out = scratch + QStringLiteral("/out-%1").arg(jobs);
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-batch"),
                  choices + QStringList{QStringLiteral("--jobs"), QString::number(jobs), QStringLiteral("--out"), out, movies});
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

// Times each job count `runs` times, interleaved so that a busy moment of
// the machine falls on both; prints the medians and their ratio.
bool Compare(const char *title, const QStringList &choices, const QString &movies, int count,
             const QList<int> &jobCounts, int runs, const QString &scratch)
{
    std::vector<std::vector<double>> seconds(static_cast<size_t>(jobCounts.size()));
    for (int run = 0; run < runs; ++run) {
        for (qsizetype j = 0; j < jobCounts.size(); ++j) {
            const double taken = TimeRun(choices, movies, jobCounts.at(j), scratch);
            if (taken < 0) {
                std::fprintf(stderr, "%s: the run with --jobs %d failed\n", title, jobCounts.at(j));
                return false;
            }
            std::printf("%s, --jobs %d, run %d: %.2f s\n", title, jobCounts.at(j), run + 1, taken);
            std::fflush(stdout);
            seconds[static_cast<size_t>(j)].push_back(taken);
        }
    }
    const double base = Median(seconds.front());
    for (qsizetype j = 0; j < jobCounts.size(); ++j) {
        const double median = Median(seconds[static_cast<size_t>(j)]);
        std::printf("%s, --jobs %d: median %.2f s over %d runs, %.1f movies/s, throughput x%.2f of --jobs %d\n", title,
                    jobCounts.at(j), median, runs, count / median, base / median, jobCounts.front());
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
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--movies"))
            movies = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--runs"))
            runs = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--play"))
            play = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--jobs")) {
            jobCounts.clear();
            for (const QString &count : args.at(i + 1).split(QLatin1Char(',')))
                jobCounts.append(count.toInt());
        }
    }
    if (movies < 1 || runs < 1 || jobCounts.isEmpty()) {
        std::fputs("usage: bench_batch [--movies N] [--runs R] [--play N] [--jobs A,B,...]\n", stderr);
        return 2;
    }

    QTemporaryDir scratch;
    const QString light = scratch.filePath(QStringLiteral("light"));
    if (ArchiveMovies::WriteLightMovies(light, movies).size() != movies)
        return 1;
    if (!Compare("light", {QStringLiteral("--fast"), QStringLiteral("10")}, light, movies, jobCounts, runs, scratch.path()))
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
        if (!Compare("play", {QStringLiteral("--play")}, cartoons, play, jobCounts, runs, scratch.path()))
            return 1;
    }
    return 0;
}
