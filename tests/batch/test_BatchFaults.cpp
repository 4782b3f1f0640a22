// tarnwick-batch under faults a user meets: a full disk that the encoder
// does not report, signals mid-encode, folders it may not use, cut movies
// and damaged sounds. The real program, extractor, converter and FFmpeg run
// throughout; a stand-in encoder script is used only where the fault cannot
// be made for real (a truncated video with exit status 0, an encode that
// lasts until it is stopped).
#include "MediaProbe.h"
#include "SwfBuilder.h"
#include "ProcessWatch.h"
#include "TempFolder.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct BatchRun
{
    int status = -1;
    QString out;
    QString err;
};

class BatchFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        realEncoder = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        if (realEncoder.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
            GTEST_SKIP() << "ffmpeg is not installed";
        tmpdir = scratch.mkdir(QStringLiteral("tmp"));
        fakeBin = scratch.mkdir(QStringLiteral("bin"));
        pids = scratch.mkdir(QStringLiteral("pids"));
        ::chmod(QFile::encodeName(tmpdir).constData(), 0700);
    }

    // The environment of a run; with a stand-in, its `ffmpeg` comes first on PATH.
    QProcessEnvironment environment(bool standIn) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmpdir);
        env.insert(QStringLiteral("TEST_PIDS"), pids);
        env.insert(QStringLiteral("REAL_FFMPEG"), realEncoder);
        if (standIn)
            env.insert(QStringLiteral("PATH"), fakeBin + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
        return env;
    }

    void standInEncoder(const QByteArray &body) const
    {
        const QString path = fakeBin + QStringLiteral("/ffmpeg");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\nfor last; do :; done\n" + body);
        file.close();
        ::chmod(QFile::encodeName(path).constData(), 0755);
    }

    void start(QProcess &process, const QStringList &arguments, bool standIn) const
    {
        process.setWorkingDirectory(in.path());
        process.setProcessEnvironment(environment(standIn));
        process.start(QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-batch"), arguments);
    }

    BatchRun run(const QStringList &arguments, bool standIn = false) const
    {
        QProcess process;
        start(process, arguments, standIn);
        BatchRun result;
        if (!process.waitForFinished(300000))
            return result;
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err = QString::fromLocal8Bit(process.readAllStandardError());
        return result;
    }

    QString swf(const QString &name, int pictures, double sound = 0) const
    {
        const QString path = in.file(name);
        EXPECT_TRUE(MakeFfmpegSwf(path, 96, 64, pictures, sound));
        return path;
    }

    QStringList hiddenVideos() const
    {
        return QDir(out.path()).entryList({QStringLiteral(".tarnwick-*")}, QDir::Files | QDir::Hidden);
    }

    pid_t waitForPid(const QString &name, int milliseconds) const
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < milliseconds) {
            QFile file(pids + QLatin1Char('/') + name);
            if (file.open(QIODevice::ReadOnly))
                return static_cast<pid_t>(file.readAll().trimmed().toLongLong());
            QThread::msleep(20);
        }
        return 0;
    }

    QString realEncoder;
    TempFolder scratch;
    TempFolder in;
    TempFolder out;
    QString tmpdir;
    QString fakeBin;
    QString pids;
};

QByteArray Digest(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

mode_t ModeOf(const QString &path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

// The stand-in that encodes for real, then leaves only the first 3000 bytes
// of the video and reports success, as FFmpeg does on a full disk.
const QByteArray kTruncatingEncoder = "\"$REAL_FFMPEG\" \"$@\" || exit $?\n"
                                      "head -c 3000 \"$last\" > \"$last.cut\" && mv \"$last.cut\" \"$last\"\nexit 0\n";

// The stand-in that writes a little and then waits for a child of its own
// until it is stopped (the process group must be ended to reach that child).
const QByteArray kEndlessEncoder = "printf partial > \"$last\"\n"
                                   "sleep 120 &\n"
                                   "echo $! > \"$TEST_PIDS/sleep.tmp\"; mv \"$TEST_PIDS/sleep.tmp\" \"$TEST_PIDS/sleep\"\n"
                                   "wait\n";

// The stand-in that writes a little and then becomes a long sleep, one
// process as FFmpeg is.
const QByteArray kSleepingEncoder = "printf partial > \"$last\"\n"
                                    "echo $$ > \"$TEST_PIDS/sleep.tmp\"; mv \"$TEST_PIDS/sleep.tmp\" \"$TEST_PIDS/sleep\"\n"
                                    "exec sleep 120\n";

SwfBuild::Bytes JpegOf(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return SwfBuild::Bytes(bytes.begin(), bytes.end());
}

} // namespace

TEST_F(BatchFaults, TruncatedVideoKeepsTheOlderOneAndAReplacedOneKeepsItsMode)
{
    const QString movie = swf(QStringLiteral("a.swf"), 3);
    const QString video = out.file(QStringLiteral("video.mp4"));
    const QStringList args{QStringLiteral("--out"), out.path(), movie};
    ASSERT_EQ(run(args).status, 0);
    ASSERT_EQ(::chmod(QFile::encodeName(video).constData(), 0600), 0);
    const QByteArray first = Digest(video);

    // A private video replaced by a new one stays private.
    ASSERT_TRUE(MakeFfmpegSwf(movie, 128, 96, 2));
    const BatchRun again = run(args);
    EXPECT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_NE(Digest(video), first);
    EXPECT_EQ(ModeOf(video), mode_t(0600));
    const QByteArray second = Digest(video);

    // The encoder says all is well, but the video is cut short.
    standInEncoder(kTruncatingEncoder);
    const BatchRun cut = run(args, true);
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(Digest(video), second) << "the older video was replaced";
    EXPECT_EQ(ModeOf(video), mode_t(0600));
    EXPECT_TRUE(cut.out.contains(QStringLiteral("The following videos could not be made: \n") + video + QStringLiteral(": ")))
        << cut.out.toStdString();
    EXPECT_FALSE(cut.out.contains(QStringLiteral("Please open with")));
    EXPECT_TRUE(hiddenVideos().isEmpty()) << hiddenVideos().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(ProbeMedia(video).ok);
}

TEST_F(BatchFaults, SigtermMidEncodeLeavesNothingBehind)
{
    const QString movie = swf(QStringLiteral("a.swf"), 2);
    QFile older(out.file(QStringLiteral("video.mp4")));
    ASSERT_TRUE(older.open(QIODevice::WriteOnly));
    older.write("older video");
    older.close();
    standInEncoder(kEndlessEncoder);

    QProcess batch;
    start(batch, {QStringLiteral("--out"), out.path(), movie}, true);
    const pid_t sleeper = waitForPid(QStringLiteral("sleep"), 60000);
    ASSERT_GT(sleeper, 0) << "the encode never began";
    EXPECT_EQ(hiddenVideos().size(), 1) << "the unfinished video is written beside the output";
    EXPECT_EQ(QDir(tmpdir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 1) << "one WorkFolder";

    ::kill(static_cast<pid_t>(batch.processId()), SIGTERM);
    ASSERT_TRUE(batch.waitForFinished(20000));
    EXPECT_EQ(batch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(batch.exitCode(), 143);
    EXPECT_TRUE(GoneWithin(sleeper, 5000)) << "the encoder's child outlived the program";
    EXPECT_TRUE(hiddenVideos().isEmpty()) << hiddenVideos().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(QDir(tmpdir).isEmpty()) << QDir(tmpdir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(QFileInfo(older.fileName()).size(), 11);
}

TEST_F(BatchFaults, KilledOutrightLeavesNoEncoderAndTheNextJobClearsItsFile)
{
    const QString movie = swf(QStringLiteral("a.swf"), 2);
    standInEncoder(kSleepingEncoder);
    QProcess batch;
    start(batch, {QStringLiteral("--out"), out.path(), movie}, true);
    const pid_t sleeper = waitForPid(QStringLiteral("sleep"), 60000);
    ASSERT_GT(sleeper, 0);
    const qint64 batchPid = batch.processId();
    ::kill(static_cast<pid_t>(batchPid), SIGKILL);
    ASSERT_TRUE(batch.waitForFinished(20000));
    EXPECT_TRUE(GoneWithin(sleeper, 5000)) << "the encoder survived its killed parent";
    ASSERT_EQ(hiddenVideos().size(), 1) << "nothing could remove it: the program was killed";
    EXPECT_TRUE(hiddenVideos().first().startsWith(QStringLiteral(".tarnwick-%1-").arg(batchPid)));

    // The next job writing into the folder removes the file of the dead run.
    const BatchRun next = run({QStringLiteral("--out"), out.path(), movie});
    EXPECT_EQ(next.status, 0) << next.err.toStdString();
    EXPECT_TRUE(hiddenVideos().isEmpty());
    EXPECT_EQ(ProbeMedia(out.file(QStringLiteral("video.mp4"))).videoFrames, 3);
}

TEST_F(BatchFaults, FoldersThatCannotBeUsedAreRefusedBeforeAnyWork)
{
    const QString movie = swf(QStringLiteral("a.swf"), 1);
    // Permission bits do not bind root, but sysfs refuses new files to it.
    const bool root = ::geteuid() == 0;
    const QString locked = root ? QStringLiteral("/sys/kernel") : out.mkdir(QStringLiteral("locked"));
    if (!root) {
        ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0555), 0);
    }
    const QStringList before = QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const BatchRun readOnly = run({QStringLiteral("--out"), locked, movie});
    if (!root)
        ::chmod(QFile::encodeName(locked).constData(), 0755);
    EXPECT_EQ(readOnly.status, 1);
    EXPECT_EQ(readOnly.out, QStringLiteral("Videos cannot be saved in the folder %1 (Permission denied). Please select "
                                           "another folder.\n")
                                .arg(locked));
    EXPECT_FALSE(readOnly.err.contains(QStringLiteral("Processing:"))) << "work began: " << readOnly.err.toStdString();
    EXPECT_EQ(QDir(locked).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);

    // A scratch parent that anyone may write, without the sticky bit.
    ASSERT_EQ(::chmod(QFile::encodeName(tmpdir).constData(), 0777), 0);
    const BatchRun open = run({QStringLiteral("--out"), out.path(), movie});
    EXPECT_EQ(open.status, 1);
    EXPECT_TRUE(open.err.contains(QStringLiteral("TMPDIR (%1) may be written by other users").arg(tmpdir)))
        << open.err.toStdString();
    EXPECT_TRUE(QDir(tmpdir).isEmpty());
    EXPECT_FALSE(QFile::exists(out.file(QStringLiteral("video.mp4"))));

    // The same with the sticky bit, as /tmp is, is fine.
    ASSERT_EQ(::chmod(QFile::encodeName(tmpdir).constData(), 01777), 0);
    EXPECT_EQ(run({QStringLiteral("--out"), out.path(), movie}).status, 0);
    ::chmod(QFile::encodeName(tmpdir).constData(), 0700);
}

TEST_F(BatchFaults, CutMovieIsReportedInPart)
{
    const QString whole = swf(QStringLiteral("whole.swf"), 5);
    QFile file(whole);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    const QString cut = in.write(QStringLiteral("cut.swf"), bytes.left(bytes.size() * 7 / 10));

    const BatchRun result = run({QStringLiteral("--fast"), QStringLiteral("1"), QStringLiteral("--out"), out.path(), cut});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.out.contains(QStringLiteral("The following files could only be read in part: \n") + cut))
        << result.out.toStdString();
    EXPECT_TRUE(result.err.contains(QStringLiteral("cut or damaged"))) << result.err.toStdString();
    const MediaProbe video = ProbeMedia(out.file(QStringLiteral("video.mp4")));
    EXPECT_GT(video.videoFrames, 0);
    EXPECT_LT(video.videoFrames, 5);
}

// A movie whose MP3 stream is garbage, with `pictures` pictures.
QString GarbageSoundSwf(const TempFolder &folder, const QString &name, int pictures)
{
    using namespace SwfBuild;
    const SwfBuild::Bytes garbage(1500, 0x5A);
    Tags tags;
    tags.soundStreamHead2(0x2F, 1152).soundStreamBlock(1152, 0, garbage);
    for (int p = 0; p < pictures; ++p)
        tags.defineBitsJpeg2(std::uint16_t(p + 1), JpegOf(96, 64));
    tags.showFrame().end();
    const Bytes movie = BuildSwf(tags, Container::Fws, MovieOptions{});
    return folder.write(name,
                        QByteArray(reinterpret_cast<const char *>(movie.data()), static_cast<qsizetype>(movie.size())));
}

TEST_F(BatchFaults, GarbageSoundIsLeftOutAndTheOthersStay)
{
    const QString first = swf(QStringLiteral("a.swf"), 2, 1.0);
    const QString bad = GarbageSoundSwf(in, QStringLiteral("b.swf"), 1);
    const QString third = swf(QStringLiteral("c.swf"), 2, 1.0);

    const BatchRun result = run({QStringLiteral("--fast"), QStringLiteral("2"), QStringLiteral("--combine"),
                                 QStringLiteral("--out"), out.path(), first, bad, third});
    EXPECT_EQ(result.status, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QStringLiteral("The sound of %1 was left out: ").arg(bad))) << result.err.toStdString();
    const MediaProbe video = ProbeMedia(out.file(QStringLiteral("video.mp4")));
    ASSERT_TRUE(video.ok);
    EXPECT_EQ(video.videoFrames, 5);
    EXPECT_TRUE(video.hasAudio);
    // Each movie's sound plays during its own pictures: the track spans all
    // five frames at 2 a second, the bad movie's share in silence.
    EXPECT_NEAR(video.audioDuration, 2.5, 0.05);
}

// The sounds, and each file's video, are checked while later movies are
// read: what each check finds is still told in the movies' order.
TEST_F(BatchFaults, NotesOnSoundsKeepTheMoviesOrder)
{
    const QString bad1 = GarbageSoundSwf(in, QStringLiteral("bad1.swf"), 1);
    const QString none = GarbageSoundSwf(in, QStringLiteral("none.swf"), 0);
    const QString good = swf(QStringLiteral("good.swf"), 2, 1.0);
    const QString bad2 = GarbageSoundSwf(in, QStringLiteral("bad2.swf"), 2);
    for (const QString &mode : {QStringLiteral("--combine"), QStringLiteral("--each")}) {
        SCOPED_TRACE(mode.toStdString());
        const BatchRun result = run({QStringLiteral("--fast"), QStringLiteral("2"), mode, QStringLiteral("--out"),
                                     out.path(), bad1, none, good, bad2});
        EXPECT_EQ(result.status, 1) << result.err.toStdString(); // none.swf gave no pictures
        const qsizetype first = result.err.indexOf(QStringLiteral("The sound of %1 was left out: ").arg(bad1));
        const qsizetype empty = result.err.indexOf(none + QStringLiteral(": "));
        const qsizetype second = result.err.indexOf(QStringLiteral("The sound of %1 was left out: ").arg(bad2));
        EXPECT_GE(first, 0) << result.err.toStdString();
        EXPECT_LT(first, empty) << result.err.toStdString();
        EXPECT_LT(empty, second) << result.err.toStdString();
        if (mode == QLatin1String("--each")) {
            // Each video is checked while the next file is read: its note
            // still comes before that file's.
            const qsizetype brief
                = result.err.indexOf(out.file(QStringLiteral("bad1.mp4")) + QStringLiteral(" lasts only"));
            EXPECT_LT(first, brief) << result.err.toStdString();
            EXPECT_LT(brief, empty) << result.err.toStdString();
            EXPECT_TRUE(QFile::exists(out.file(QStringLiteral("bad2.mp4"))));
        }
    }
}

TEST_F(BatchFaults, HugePictureGivesABoundedFrameThatIsNotBlackInBoundedMemory)
{
    using namespace SwfBuild;
    // One 8000 x 6000 photograph among small pictures, as a camera would give.
    QImage huge(8000, 6000, QImage::Format_RGB32);
    huge.fill(QColor(230, 120, 20));
    QByteArray hugeJpeg;
    {
        QBuffer buffer(&hugeJpeg);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(huge.save(&buffer, "JPEG", 90));
    }
    huge = QImage();
    Tags tags;
    tags.defineBitsJpeg2(1, JpegOf(320, 240))
        .defineBitsJpeg2(2, SwfBuild::Bytes(hugeJpeg.begin(), hugeJpeg.end()))
        .defineBitsJpeg2(3, JpegOf(200, 200))
        .showFrame()
        .end();
    const Bytes movie = BuildSwf(tags, Container::Cws, MovieOptions{});
    const QString path = in.write(QStringLiteral("photos.swf"), QByteArray(reinterpret_cast<const char *>(movie.data()),
                                                                           static_cast<qsizetype>(movie.size())));

    const BatchRun result = run({QStringLiteral("--fast"), QStringLiteral("1"), QStringLiteral("--out"), out.path(), path});
    struct rusage children {};
    ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &children), 0);
    EXPECT_EQ(result.status, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QStringLiteral("The video frame was reduced from 8000 x 6000 to 3446 x 2584")))
        << result.err.toStdString();
    EXPECT_LT(children.ru_maxrss, 1024L * 1024) << "peak of one child, KiB";

    const QString video = out.file(QStringLiteral("video.mp4"));
    const MediaProbe probe = ProbeMedia(video);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.width, 3446);
    EXPECT_EQ(probe.height, 2584);
    EXPECT_EQ(probe.videoFrames, 3);
    // The large picture's frame (the second) shows the picture, not black.
    const QString still = scratch.file(QStringLiteral("still.png"));
    ASSERT_TRUE(RunFfmpeg({QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), video,
                           QStringLiteral("-vf"), QStringLiteral("select=eq(n\\,1)"), QStringLiteral("-frames:v"),
                           QStringLiteral("1"), QStringLiteral("-y"), still}));
    const QImage frame(still);
    ASSERT_FALSE(frame.isNull());
    const QColor centre = frame.pixelColor(frame.width() / 2, frame.height() / 2);
    EXPECT_NEAR(centre.red(), 230, 24);
    EXPECT_NEAR(centre.green(), 120, 24);
    EXPECT_NEAR(centre.blue(), 20, 30);
}
