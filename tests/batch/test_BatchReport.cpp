// The parts of archive runs that need no conversion: their options, the
// list's root and shares, the videos' names, and reading a report back.
#include "batch/ArchiveList.h"
#include "batch/BatchControls.h"
#include "batch/BatchReport.h"
#include "batch/MovieRun.h"

#include "QtPrinters.h"
#include "TempFolder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QSet>

#include <gtest/gtest.h>

using namespace Batch;

namespace {

QByteArray Read(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

ReportLine MadeLine(const QString &source, const QString &output)
{
    ReportLine line;
    line.source = source;
    line.sha256 = FileSha256(source, &line.size);
    line.output = output;
    line.outputSize = QFile(output).size();
    line.status = MovieStatus::Made;
    line.choices = QJsonObject{{QStringLiteral("mode"), QStringLiteral("slow")}};
    return line;
}

} // namespace

TEST(BatchArchiveOptions, TakenAndCheckedWithTheRest)
{
    BatchOptions options;
    ASSERT_EQ(ParseArguments({QStringLiteral("--jobs"), QStringLiteral("4"), QStringLiteral("--report"),
                              QStringLiteral("r.jsonl"), QStringLiteral("--resume"), QStringLiteral("--shard"),
                              QStringLiteral("2/3"), QStringLiteral("--keep-folders"), QStringLiteral("a.swf")},
                             QStringLiteral("/w"), options),
              QString());
    EXPECT_EQ(options.archive.jobs, 4);
    EXPECT_EQ(options.archive.reportPath, QStringLiteral("/w/r.jsonl"));
    EXPECT_TRUE(options.archive.resume);
    EXPECT_EQ(options.archive.shardIndex, 2);
    EXPECT_EQ(options.archive.shardCount, 3);
    EXPECT_TRUE(options.archive.perMovie());
    // One video per movie without being asked.
    EXPECT_FALSE(options.combine);

    const QStringList bad[] = {
        {QStringLiteral("--jobs"), QStringLiteral("0"), QStringLiteral("a.swf")},
        {QStringLiteral("--jobs"), QStringLiteral("33"), QStringLiteral("a.swf")},
        {QStringLiteral("--shard"), QStringLiteral("0/4"), QStringLiteral("a.swf")},
        {QStringLiteral("--shard"), QStringLiteral("5/4"), QStringLiteral("a.swf")},
        {QStringLiteral("--shard"), QStringLiteral("1/0"), QStringLiteral("a.swf")},
        {QStringLiteral("--shard"), QStringLiteral("2"), QStringLiteral("a.swf")},
        {QStringLiteral("--shard"), QStringLiteral("-1/4"), QStringLiteral("a.swf")},
        {QStringLiteral("--resume"), QStringLiteral("a.swf")},
        {QStringLiteral("--combine"), QStringLiteral("--jobs"), QStringLiteral("2"), QStringLiteral("a.swf")},
        {QStringLiteral("--report"), QStringLiteral("r.jsonl"), QStringLiteral("--combine"), QStringLiteral("a.swf")},
        {QStringLiteral("--keep-folders"), QStringLiteral("--beside"), QStringLiteral("a.swf")},
        {QStringLiteral("--from-list"), QStringLiteral("/no/such/list")},
    };
    for (const QStringList &arguments : bad) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        BatchOptions refused;
        EXPECT_FALSE(ParseArguments(arguments, QStringLiteral("/w"), refused).isEmpty());
    }
    // --combine given earlier is overridden by a later --each.
    BatchOptions each;
    EXPECT_EQ(ParseArguments({QStringLiteral("--combine"), QStringLiteral("--each"), QStringLiteral("--jobs"),
                              QStringLiteral("2"), QStringLiteral("a.swf")},
                             QStringLiteral("/w"), each),
              QString());
}

TEST(BatchArchiveOptions, ListFilesJoinTheListAtTheirPlace)
{
    TempFolder folder;
    const QString list = folder.write(QStringLiteral("list.txt"), "b.swf\r\n\n/m/c.swf\nsub dir/d e.swf");
    BatchOptions options;
    ASSERT_EQ(ParseArguments({QStringLiteral("a.swf"), QStringLiteral("--from-list"), list, QStringLiteral("z.swf")},
                             QStringLiteral("/w"), options),
              QString());
    EXPECT_EQ(options.files,
              (QStringList{QStringLiteral("/w/a.swf"), QStringLiteral("/w/b.swf"), QStringLiteral("/m/c.swf"),
                           QStringLiteral("/w/sub dir/d e.swf"), QStringLiteral("/w/z.swf")}));

    BatchOptions folderAsList;
    const QString error = ParseArguments({QStringLiteral("--from-list"), folder.path()}, QStringLiteral("/w"),
                                         folderAsList);
    EXPECT_TRUE(error.contains(QStringLiteral("cannot be read"))) << error.toStdString();
}

TEST(BatchArchiveList, RootNamesAndShares)
{
    TempFolder folder;
    const QString a = folder.write(QStringLiteral("arc/x/a.swf"));
    const QString b = folder.write(QStringLiteral("arc/y/a.swf"));
    const QString c = folder.write(QStringLiteral("arc/y/c.SWF"));
    const QString d = folder.write(QStringLiteral("arc/y/c.swf"));
    const QString root = folder.path() + QStringLiteral("/arc/");
    EXPECT_EQ(ListRoot({a, b, c}), root);
    EXPECT_EQ(ListRoot({folder.path() + QStringLiteral("/arc/x")}), folder.path() + QStringLiteral("/arc/x/"));
    EXPECT_EQ(ListRoot({a, QStringLiteral("/elsewhere/b.swf")}), QStringLiteral("/"));

    BatchOptions flat;
    flat.outFolder = QStringLiteral("/out");
    const QList<MovieTask> tasks = PlanMovies({a, b, c, d, a}, root, flat);
    QStringList outputs;
    for (const MovieTask &task : tasks)
        outputs.append(task.output);
    // Numbered as one job numbers them, whatever share makes them.
    EXPECT_EQ(outputs,
              (QStringList{QStringLiteral("/out/a.mp4"), QStringLiteral("/out/a (2).mp4"), QStringLiteral("/out/c.mp4"),
                           QStringLiteral("/out/c (2).mp4"), QStringLiteral("/out/a (3).mp4")}));
    EXPECT_EQ(tasks.at(1).relative, QStringLiteral("y/a.swf"));

    BatchOptions kept = flat;
    kept.archive.keepFolders = true;
    const QList<MovieTask> mirrored = PlanMovies({a, b, c, d}, root, kept);
    EXPECT_EQ(mirrored.at(0).output, QStringLiteral("/out/x/a.mp4"));
    EXPECT_EQ(mirrored.at(1).output, QStringLiteral("/out/y/a.mp4"));
    EXPECT_EQ(mirrored.at(3).output, QStringLiteral("/out/y/c (2).mp4"));

    BatchOptions beside = flat;
    beside.beside = true;
    EXPECT_EQ(PlanMovies({a}, root, beside).at(0).output, folder.path() + QStringLiteral("/arc/x/a.mp4"));

    // Every movie falls in exactly one share, and the same one each time.
    int inFirst = 0;
    for (int i = 0; i < 400; ++i) {
        const QString relative = QStringLiteral("part-%1/movie-%2.swf").arg(i % 7).arg(i);
        int shares = 0;
        for (int k = 1; k <= 4; ++k)
            shares += InShard(relative, k, 4) ? 1 : 0;
        EXPECT_EQ(shares, 1) << relative.toStdString();
        inFirst += InShard(relative, 1, 4) ? 1 : 0;
    }
    EXPECT_GT(inFirst, 60);
    EXPECT_LT(inFirst, 140);
    EXPECT_TRUE(InShard(QStringLiteral("anything"), 1, 1));
}

TEST(BatchReportFile, LinesRoundTripAndCrashLeftoversAreHandled)
{
    TempFolder folder;
    ReportLine line;
    line.source = QStringLiteral("/a/\"odd\"\nname.swf");
    line.size = 12;
    line.sha256 = QStringLiteral("ab");
    line.choices = QJsonObject{{QStringLiteral("mode"), QStringLiteral("fast")},
                               {QStringLiteral("delay"), QStringLiteral("2")}};
    line.output = QStringLiteral("/o/name.mp4");
    line.outputSize = 99;
    line.status = MovieStatus::Kept;
    line.reason = QStringLiteral("cut short");
    line.videoSeconds = 1.5;
    line.pictures = 3;
    line.notes = {QStringLiteral("one"), QStringLiteral("two")};
    const QByteArray text = line.toJson();
    EXPECT_FALSE(text.contains('\n'));

    const QString path = folder.file(QStringLiteral("r.jsonl"));
    {
        ReportWriter writer;
        ASSERT_EQ(writer.open(path, ReportContents()), QString());
        ASSERT_EQ(writer.append(line), QString());
    }
    ReportContents contents;
    ASSERT_EQ(ReadReport(path, contents), QString());
    ASSERT_EQ(contents.lines.size(), 1);
    const ReportLine &back = contents.lines.at(0);
    EXPECT_EQ(back.source, line.source);
    EXPECT_EQ(back.status, MovieStatus::Kept);
    EXPECT_EQ(back.choices, line.choices);
    EXPECT_EQ(back.videoSeconds, 1.5);
    EXPECT_EQ(back.pictures, 3);
    EXPECT_FALSE(back.sounds.has_value());
    EXPECT_EQ(back.notes, line.notes);

    // A line cut short by a crash is dropped before the next one is added.
    QFile torn(path);
    ASSERT_TRUE(torn.open(QIODevice::Append));
    torn.write("{\"source\":\"/a/b.sw");
    torn.close();
    ASSERT_EQ(ReadReport(path, contents), QString());
    EXPECT_EQ(contents.lines.size(), 1);
    {
        ReportWriter writer;
        ASSERT_EQ(writer.open(path, contents), QString());
        ASSERT_EQ(writer.append(line), QString());
    }
    EXPECT_EQ(Read(path), text + '\n' + text + '\n');

    // Files that are not reports are refused, and left as they are.
    const QByteArray notReports[] = {"hello\nworld\n", "[1,2]\n", "{\"a\":1}\nnot json\n{\"b\":2}\n", "plain"};
    for (const QByteArray &other : notReports) {
        const QString foreign = folder.write(QStringLiteral("other.txt"), other);
        EXPECT_TRUE(ReadReport(foreign, contents).contains(QStringLiteral("not a JSON Lines file")))
            << other.toStdString();
    }
    EXPECT_EQ(ReadReport(folder.file(QStringLiteral("missing.jsonl")), contents), QString());
    EXPECT_TRUE(contents.lines.isEmpty());
}

TEST(BatchReportFile, ResumeSkipsOnlyWhatWasMadeAsItWouldBeNow)
{
    TempFolder folder;
    const QString source = folder.write(QStringLiteral("a.swf"), "movie bytes");
    const QString output = folder.write(QStringLiteral("a.mp4"), "video bytes");
    const ReportLine made = MadeLine(source, output);
    EXPECT_EQ(made.sha256,
              QString::fromLatin1(QCryptographicHash::hash("movie bytes", QCryptographicHash::Sha256).toHex()));

    const auto wanted = [&] {
        ReportLine line;
        line.source = source;
        line.choices = made.choices;
        line.output = output;
        return line;
    };
    ReportLine same = wanted();
    EXPECT_TRUE(ResumeIndex({made}).madeBefore(same).has_value());

    // A skipped line stands for the made one before it; a later failure does not.
    ReportLine skipped = made;
    skipped.status = MovieStatus::Skipped;
    ReportLine failed = made;
    failed.status = MovieStatus::Failed;
    ReportLine again = wanted();
    EXPECT_TRUE(ResumeIndex({made, skipped}).madeBefore(again).has_value());
    again = wanted();
    EXPECT_FALSE(ResumeIndex({made, failed}).madeBefore(again).has_value());

    ReportLine otherChoices = wanted();
    otherChoices.choices = QJsonObject{{QStringLiteral("mode"), QStringLiteral("fast")}};
    EXPECT_FALSE(ResumeIndex({made}).madeBefore(otherChoices).has_value());
    ReportLine otherOutput = wanted();
    otherOutput.output = folder.file(QStringLiteral("b.mp4"));
    EXPECT_FALSE(ResumeIndex({made}).madeBefore(otherOutput).has_value());

    // The video changed or went, or the movie changed: made again.
    folder.write(QStringLiteral("a.mp4"), "video bytes, cut");
    ReportLine videoChanged = wanted();
    EXPECT_FALSE(ResumeIndex({made}).madeBefore(videoChanged).has_value());
    folder.write(QStringLiteral("a.mp4"), "video bytes");
    folder.write(QStringLiteral("a.swf"), "movie BYTES");
    ReportLine movieChanged = wanted();
    EXPECT_FALSE(ResumeIndex({made}).madeBefore(movieChanged).has_value());
}

TEST(BatchReportFile, ChoicesDecideTheVideo)
{
    BatchOptions slow;
    BatchOptions fast;
    fast.slow = false;
    fast.perSecond = QStringLiteral("10");
    BatchOptions play;
    play.play = true;
    play.playFps = 24;
    EXPECT_EQ(ReportChoices(slow).value(QStringLiteral("delay")).toString(), QStringLiteral("3"));
    EXPECT_EQ(ReportChoices(fast).value(QStringLiteral("delay")).toString(), QStringLiteral("10"));
    EXPECT_NE(ReportChoices(slow), ReportChoices(fast));
    EXPECT_EQ(ReportChoices(play).value(QStringLiteral("mode")).toString(), QStringLiteral("play"));
    EXPECT_TRUE(ReportChoices(play).contains(QStringLiteral("play_height")));

    // A child given these arguments has the same choices.
    for (const BatchOptions &options : {slow, fast, play}) {
        BatchOptions child;
        ASSERT_EQ(ParseArguments(ChoiceArguments(options) << QStringLiteral("a.swf"), QStringLiteral("/"), child),
                  QString());
        EXPECT_EQ(ReportChoices(child), ReportChoices(options));
    }
}
