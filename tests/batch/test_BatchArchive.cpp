// Archive runs of the real tarnwick-batch over generated movies: parallel
// movies, the report, resuming after a kill, shares, lists and refusals.
#include "ArchiveMovies.h"
#include "TempFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace {

struct BatchRun
{
    int status = -1;
    QString out;
    QString err;
};

QList<QJsonObject> ReportLines(const QString &path)
{
    QList<QJsonObject> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        EXPECT_TRUE(document.isObject()) << line.toStdString();
        lines.append(document.object());
    }
    return lines;
}

int LineCount(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? static_cast<int>(file.readAll().count('\n')) : 0;
}

QStringList FilesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next().mid(folder.size() + 1));
    files.sort();
    return files;
}

// Live processes whose environment holds `setting` (a test's own TMPDIR):
// a run's workers and their tools, also once the run has gone and they were
// handed to another parent.
QList<qint64> ProcessesWith(const QString &setting)
{
    QList<qint64> found;
    const QByteArray wanted = QFile::encodeName(setting) + '\0';
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        QFile environment(QStringLiteral("/proc/%1/environ").arg(entry));
        if (numeric && pid != QCoreApplication::applicationPid() && environment.open(QIODevice::ReadOnly)
            && ('\0' + environment.readAll()).contains('\0' + wanted))
            found.append(pid);
    }
    return found;
}

class BatchArchive : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            GTEST_SKIP() << "ffmpeg is not installed";
        tmpdir = scratch.mkdir(QStringLiteral("tmp"));
        ::chmod(QFile::encodeName(tmpdir).constData(), 0700);
        report = scratch.file(QStringLiteral("r.jsonl"));
    }

    void start(QProcess &process, const QStringList &arguments) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmpdir);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(in.path());
        process.start(QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-batch"), arguments);
        process.waitForStarted();
    }

    BatchRun run(const QStringList &arguments, const QByteArray &input = QByteArray()) const
    {
        QProcess process;
        start(process, arguments);
        process.write(input);
        process.closeWriteChannel();
        BatchRun result;
        if (!process.waitForFinished(600000))
            return result;
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err = QString::fromLocal8Bit(process.readAllStandardError());
        return result;
    }

    // The light choices every test converts with: a tenth of a second a picture.
    QStringList light(const QStringList &more) const
    {
        return QStringList{QStringLiteral("--fast"), QStringLiteral("10"), QStringLiteral("--out"), out.path()} + more;
    }

    // Waits until the report holds `lines` lines (or the run ended).
    void waitForLines(QProcess &process, int lines) const
    {
        while (LineCount(report) < lines && process.state() == QProcess::Running)
            process.waitForFinished(20);
    }

    TempFolder scratch;
    TempFolder in;
    TempFolder out;
    QString tmpdir;
    QString report;
};

} // namespace

TEST_F(BatchArchive, KilledHalfWayAndResumedMakesEveryMovieOnce)
{
    const QStringList movies = ArchiveMovies::WriteLightMovies(in.path(), 200, 5);
    ASSERT_EQ(movies.size(), 200);
    const QStringList arguments = light({QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--report"),
                                         report, QStringLiteral("--keep-folders"), in.path()});

    QProcess first;
    start(first, arguments);
    waitForLines(first, 100);
    ASSERT_EQ(first.state(), QProcess::Running) << "the run ended before half its movies";
    const qint64 pid = first.processId();
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    first.waitForFinished(10000);
    // Its movies die with it (the parent-death signal).
    for (int i = 0; i < 100 && !ProcessesWith(QStringLiteral("TMPDIR=") + tmpdir).isEmpty(); ++i)
        QThread::msleep(50);
    EXPECT_TRUE(ProcessesWith(QStringLiteral("TMPDIR=") + tmpdir).isEmpty());
    const int madeFirst = LineCount(report);
    ASSERT_GE(madeFirst, 100);
    ASSERT_LT(madeFirst, 200);

    const BatchRun second = run(QStringList(arguments) << QStringLiteral("--resume"));
    EXPECT_EQ(second.status, 0) << second.err.toStdString();
    EXPECT_TRUE(second.out.contains(QStringLiteral("%1 skipped").arg(madeFirst))) << second.out.toStdString();

    const QList<QJsonObject> lines = ReportLines(report);
    QSet<QString> made;
    int skipped = 0;
    for (const QJsonObject &line : lines) {
        const QString status = line.value(QStringLiteral("status")).toString();
        const QString source = line.value(QStringLiteral("source")).toString();
        if (status == QLatin1String("made")) {
            EXPECT_FALSE(made.contains(source)) << "made twice: " << source.toStdString();
            made.insert(source);
            EXPECT_GT(line.value(QStringLiteral("video_seconds")).toDouble(), 0);
            EXPECT_EQ(line.value(QStringLiteral("pictures")).toInt(), 1);
        } else {
            EXPECT_EQ(status, QStringLiteral("skipped"));
            ++skipped;
        }
    }
    EXPECT_EQ(made.size(), 200);
    EXPECT_EQ(made, QSet<QString>(movies.cbegin(), movies.cend()));
    EXPECT_EQ(skipped, madeFirst);

    // The videos mirror the movies' folders, and nothing else is left.
    QStringList expected;
    for (const QString &movie : movies)
        expected.append(movie.mid(in.path().size() + 1).replace(QStringLiteral(".swf"), QStringLiteral(".mp4")));
    expected.sort();
    EXPECT_EQ(FilesUnder(out.path()), expected);
}

TEST_F(BatchArchive, ReportLinesSayWhatWasMadeAndWhy)
{
    ASSERT_TRUE(ArchiveMovies::WriteLightMovie(in.file(QStringLiteral("good.swf")), 1, 3));
    const QString broken = in.write(QStringLiteral("broken.swf"), "FWS not a movie");
    // Two movies that share a name: the later video is numbered.
    ASSERT_TRUE(ArchiveMovies::WriteLightMovie(in.file(QStringLiteral("sub/good.swf")), 2));

    const BatchRun result = run(
        light({QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--report"), report,
               in.file(QStringLiteral("good.swf")), broken, in.file(QStringLiteral("sub/good.swf"))}));
    EXPECT_EQ(result.status, 1) << result.err.toStdString();
    // Progress lines name their movie.
    EXPECT_TRUE(result.err.contains(QStringLiteral("sub/good.swf: "))) << result.err.toStdString();

    const QList<QJsonObject> lines = ReportLines(report);
    ASSERT_EQ(lines.size(), 3);
    QHash<QString, QJsonObject> bySource;
    for (const QJsonObject &line : lines)
        bySource.insert(line.value(QStringLiteral("source")).toString(), line);

    const QJsonObject good = bySource.value(in.file(QStringLiteral("good.swf")));
    EXPECT_EQ(good.value(QStringLiteral("status")).toString(), QStringLiteral("made"));
    EXPECT_EQ(good.value(QStringLiteral("output")).toString(), out.file(QStringLiteral("good.mp4")));
    EXPECT_EQ(good.value(QStringLiteral("output_size")).toInteger(),
              QFile(out.file(QStringLiteral("good.mp4"))).size());
    EXPECT_EQ(good.value(QStringLiteral("size")).toInteger(), QFile(in.file(QStringLiteral("good.swf"))).size());
    EXPECT_EQ(good.value(QStringLiteral("sha256")).toString().size(), 64);
    EXPECT_EQ(good.value(QStringLiteral("pictures")).toInt(), 3);
    EXPECT_EQ(good.value(QStringLiteral("sounds")).toInt(), 0);
    // Three pictures at ten a second, and the end frame.
    EXPECT_NEAR(good.value(QStringLiteral("video_seconds")).toDouble(), 0.4, 0.11);
    EXPECT_GT(good.value(QStringLiteral("wall_seconds")).toDouble(), 0);
    const QJsonObject choices = good.value(QStringLiteral("choices")).toObject();
    EXPECT_EQ(choices.value(QStringLiteral("mode")).toString(), QStringLiteral("fast"));
    EXPECT_EQ(choices.value(QStringLiteral("delay")).toString(), QStringLiteral("10"));
    EXPECT_EQ(choices.value(QStringLiteral("quality")).toInt(), 75);

    const QJsonObject numbered = bySource.value(in.file(QStringLiteral("sub/good.swf")));
    EXPECT_EQ(numbered.value(QStringLiteral("status")).toString(), QStringLiteral("made"));
    EXPECT_EQ(numbered.value(QStringLiteral("output")).toString(), out.file(QStringLiteral("good (2).mp4")));

    const QJsonObject failed = bySource.value(broken);
    EXPECT_EQ(failed.value(QStringLiteral("status")).toString(), QStringLiteral("failed"));
    EXPECT_FALSE(failed.value(QStringLiteral("reason")).toString().isEmpty());
    EXPECT_EQ(FilesUnder(out.path()), (QStringList{QStringLiteral("good (2).mp4"), QStringLiteral("good.mp4")}));
}

TEST_F(BatchArchive, SharesSplitTheListAndListsComeFromFilesOrInput)
{
    const QStringList movies = ArchiveMovies::WriteLightMovies(in.path(), 12, 3);
    ASSERT_EQ(movies.size(), 12);
    // Relative to the current folder, as on the command line.
    QByteArray list;
    for (const QString &movie : movies)
        list += movie.mid(in.path().size() + 1).toUtf8() + '\n';
    const QString listFile = scratch.write(QStringLiteral("list.txt"), list);

    QSet<QString> seen;
    int total = 0;
    for (int share = 1; share <= 3; ++share) {
        const QString shareReport = scratch.file(QStringLiteral("r%1.jsonl").arg(share));
        const QStringList arguments = light({QStringLiteral("--shard"), QStringLiteral("%1/3").arg(share),
                                             QStringLiteral("--report"), shareReport, QStringLiteral("--from-list"),
                                             share == 2 ? QStringLiteral("-") : listFile});
        const BatchRun result = run(arguments, share == 2 ? list : QByteArray());
        EXPECT_EQ(result.status, 0) << result.err.toStdString();
        for (const QJsonObject &line : ReportLines(shareReport)) {
            seen.insert(line.value(QStringLiteral("source")).toString());
            ++total;
        }
    }
    EXPECT_EQ(total, 12) << "a movie fell in two shares";
    EXPECT_EQ(seen, QSet<QString>(movies.cbegin(), movies.cend()));
    EXPECT_EQ(FilesUnder(out.path()).size(), 12);
}

TEST_F(BatchArchive, BadInputIsRefusedBeforeAnythingIsWritten)
{
    const QString movie = in.file(QStringLiteral("a.swf"));
    ASSERT_TRUE(ArchiveMovies::WriteLightMovie(movie, 1));
    const QString foreign = scratch.write(QStringLiteral("notes.txt"), "my notes\nnot a report\n");
    const struct
    {
        QStringList arguments;
        const char *says;
    } cases[] = {
        {light({QStringLiteral("--from-list"), scratch.file(QStringLiteral("missing.txt")), QStringLiteral("--report"),
                report}),
         "cannot be read"},
        {light({QStringLiteral("--from-list"), in.path(), QStringLiteral("--report"), report}), "cannot be read"},
        {light({QStringLiteral("--shard"), QStringLiteral("5/4"), QStringLiteral("--report"), report, movie}),
         "--shard"},
        {light({QStringLiteral("--shard"), QStringLiteral("two/4"), QStringLiteral("--report"), report, movie}),
         "--shard"},
        {light({QStringLiteral("--report"), foreign, movie}), "not a JSON Lines file"},
        {light({QStringLiteral("--report"), foreign, QStringLiteral("--resume"), movie}), "not a JSON Lines file"},
        {light({QStringLiteral("--combine"), QStringLiteral("--jobs"), QStringLiteral("2"), movie}), "--combine"},
    };
    for (const auto &refused : cases) {
        SCOPED_TRACE(refused.arguments.join(QLatin1Char(' ')).toStdString());
        const BatchRun result = run(refused.arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(result.err.contains(QLatin1String(refused.says))) << result.err.toStdString();
        EXPECT_TRUE(FilesUnder(out.path()).isEmpty());
        EXPECT_FALSE(QFile::exists(report));
        EXPECT_TRUE(FilesUnder(tmpdir).isEmpty());
    }
    QFile kept(foreign);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("my notes\nnot a report\n"));
}

TEST_F(BatchArchive, StoppedRunEndsEveryMovieAndLeavesNoFiles)
{
    ASSERT_EQ(ArchiveMovies::WriteLightMovies(in.path(), 40).size(), 40);
    QProcess process;
    start(process,
          light({QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--report"), report, in.path()}));
    waitForLines(process, 3);
    ASSERT_EQ(process.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 128 + SIGTERM);
    // Asked to stop, each movie has ended its tools and removed its files
    // before the run exits.
    EXPECT_TRUE(ProcessesWith(QStringLiteral("TMPDIR=") + tmpdir).isEmpty());
    EXPECT_TRUE(FilesUnder(tmpdir).isEmpty()) << FilesUnder(tmpdir).join(QLatin1Char(' ')).toStdString();
    const QStringList videos = FilesUnder(out.path());
    for (const QString &video : videos)
        EXPECT_FALSE(video.startsWith(QLatin1Char('.'))) << video.toStdString();
    // Every line is whole, and each names a video that is there.
    const QList<QJsonObject> lines = ReportLines(report);
    EXPECT_EQ(lines.size(), LineCount(report));
    EXPECT_LE(lines.size(), videos.size());
    for (const QJsonObject &line : lines)
        EXPECT_TRUE(QFile::exists(line.value(QStringLiteral("output")).toString()));
}

TEST_F(BatchArchive, OlderVideoKeptAfterAFailedCheckIsReportedKept)
{
    const QString movie = in.file(QStringLiteral("a.swf"));
    ASSERT_TRUE(ArchiveMovies::WriteLightMovie(movie, 1, 2));
    ASSERT_EQ(run(light({QStringLiteral("--report"), report, movie})).status, 0);
    QFile video(out.file(QStringLiteral("a.mp4")));
    ASSERT_TRUE(video.open(QIODevice::ReadOnly));
    const QByteArray older = video.readAll();
    video.close();

    // An encoder that says all is well but leaves the video cut short, as
    // FFmpeg does on a full disk; the movie changed, so it is made again.
    const QString bin = scratch.mkdir(QStringLiteral("bin"));
    const QString encoder = scratch.write(
        QStringLiteral("bin/ffmpeg"),
        "#!/bin/sh\nfor last; do :; done\n\"$REAL_FFMPEG\" \"$@\" || exit $?\n"
        "head -c $(($(wc -c < \"$last\") / 2)) \"$last\" > \"$last.cut\" && mv \"$last.cut\" \"$last\"\nexit 0\n");
    ::chmod(QFile::encodeName(encoder).constData(), 0755);
    ASSERT_TRUE(ArchiveMovies::WriteLightMovie(movie, 2, 2));
    qputenv("REAL_FFMPEG", QFile::encodeName(QStandardPaths::findExecutable(QStringLiteral("ffmpeg"))));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin) + ':' + path);
    const BatchRun cut = run(light({QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("--report"), report,
                                    QStringLiteral("--resume"), movie}));
    qputenv("PATH", path);
    EXPECT_EQ(cut.status, 1);

    const QList<QJsonObject> lines = ReportLines(report);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines.at(1).value(QStringLiteral("status")).toString(), QStringLiteral("kept"));
    EXPECT_FALSE(lines.at(1).value(QStringLiteral("reason")).toString().isEmpty());
    ASSERT_TRUE(video.open(QIODevice::ReadOnly));
    EXPECT_EQ(video.readAll(), older);
}
