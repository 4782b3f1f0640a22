#include "pipeline/PlayRecording.h"
#include "render/MovieRecorder.h"

#include "ColourFrames.h"
#include "MediaProbe.h"
#include "TempFolder.h"
#include "VectorSwf.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

using namespace Render;

namespace {

const QString Assets = QStringLiteral(TARNWICK_BIN_DIR "/render");
const QString Extractor = QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-swfextract");

QByteArray ToQt(const SwfBuild::Bytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), qsizetype(b.size()));
}

// FFmpeg's output (stderr and stdout together) for `arguments`.
QByteArray Ffmpeg(const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ffmpeg"),
            QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin")} + arguments);
    p.waitForFinished(120000);
    return p.readAll();
}

// Times at which sound starts after silence.
std::vector<double> SoundOnsets(const QString &video)
{
    const QString log = QString::fromUtf8(
        Ffmpeg({QStringLiteral("-i"), video, QStringLiteral("-af"), QStringLiteral("silencedetect=n=-30dB:d=0.05"),
                QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")}));
    std::vector<double> onsets;
    const QRegularExpression end(QStringLiteral("silence_end: ([0-9.]+)"));
    for (auto it = end.globalMatch(log); it.hasNext();)
        onsets.push_back(it.next().captured(1).toDouble());
    return onsets;
}

class MovieRecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty())
            GTEST_SKIP() << "chromium is not installed";
        // With Chromium present the rest must be too: a missing player is a fault.
        ASSERT_EQ(MovieRecorder::MissingParts(Assets), QString());
    }

    RecordRequest request(const SwfBuild::ColourMovie &movie)
    {
        QFile f(work.file(QStringLiteral("movie.swf")));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ToQt(SwfBuild::ColourStepMovie(movie)));
        f.close();
        RecordRequest r;
        QString reason;
        EXPECT_TRUE(Pipeline::ReadMovieFacts(Extractor, f.fileName(), r.movie, reason)) << reason.toStdString();
        r.swfPath = f.fileName();
        r.outputPath = work.file(QStringLiteral("out video.mp4"));
        r.workFolder = work.mkdir(QStringLiteral("work"));
        r.assetsFolder = Assets;
        r.crf = 18;
        return r;
    }

    SwfBuild::Bytes beep()
    {
        const QString path = work.file(QStringLiteral("beep.raw"));
        EXPECT_TRUE(RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("sine=frequency=1000:duration=0.3:sample_rate=44100"),
                               QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), QStringLiteral("-f"),
                               QStringLiteral("s16le"), QStringLiteral("-ac"), QStringLiteral("1"), path}));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray b = f.readAll();
        return SwfBuild::Bytes(b.begin(), b.end());
    }

    TempFolder work;
};

} // namespace

TEST_F(MovieRecorderTest, RecordsEveryFrameInOrderWithTheBeepOnTime)
{
    SwfBuild::ColourMovie movie;
    movie.beepFrame = 10;
    movie.beepPcm = beep();
    RecordRequest r = request(movie);
    std::vector<std::pair<int, int>> progress;
    r.progress = [&](int done, int total) { progress.emplace_back(done, total); };

    const RecordResult result = MovieRecorder().record(r);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.stop, StopReason::Finished);
    EXPECT_EQ(result.framesRecorded, 30);
    EXPECT_EQ(result.width, 960); // 320 x 240 grown to fit 1280 x 720
    EXPECT_EQ(result.height, 720);
    EXPECT_TRUE(result.hasSound);
    EXPECT_FALSE(result.notes.join(QLatin1Char(' ')).contains(QStringLiteral("pressed")));
    ASSERT_EQ(progress.size(), 30u);
    for (std::size_t i = 0; i < progress.size(); ++i)
        EXPECT_EQ(progress[i], std::make_pair(int(i) + 1, 30));

    const MediaProbe probe = ProbeMedia(r.outputPath);
    ASSERT_TRUE(probe.ok);
    EXPECT_NEAR(probe.duration, 3.0, 0.1);
    EXPECT_NEAR(probe.videoFrames, 30, 1);
    EXPECT_EQ(probe.width, 960);
    EXPECT_TRUE(probe.hasAudio);

    const std::vector<SwfBuild::Rgb> colours = PixelPerFrame(r.outputPath, 100, 100, work);
    ASSERT_EQ(colours.size(), 30u);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(NearestStep(colours[std::size_t(i)], 30), i) << "frame " << i;

    const std::vector<double> onsets = SoundOnsets(r.outputPath);
    ASSERT_FALSE(onsets.empty());
    EXPECT_NEAR(onsets.front(), 1.0, 0.040);

    // Nothing of the recording is left behind in the work folder.
    EXPECT_FALSE(QFile::exists(r.workFolder + QStringLiteral("/recorded-video.mp4")));
    EXPECT_FALSE(QFile::exists(r.workFolder + QStringLiteral("/recorded-sound.f32")));
}

TEST_F(MovieRecorderTest, PressesTheButtonOfAMovieThatWaitsForAClick)
{
    SwfBuild::ColourMovie movie;
    movie.stopWithButton = true;
    RecordRequest r = request(movie);
    const RecordResult result = MovieRecorder().record(r);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.framesRecorded, 30);
    EXPECT_FALSE(result.hasSound);
    const QStringList presses = result.notes.filter(QStringLiteral("pressed"));
    ASSERT_EQ(presses.size(), 1) << result.notes.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(presses[0].contains(QStringLiteral("480, 360"))) << presses[0].toStdString();

    // Standing on the first frame, then playing on from the press.
    const std::vector<SwfBuild::Rgb> colours = PixelPerFrame(r.outputPath, 100, 100, work);
    ASSERT_EQ(colours.size(), 30u);
    EXPECT_EQ(NearestStep(colours[0], 30), 0);
    EXPECT_EQ(NearestStep(colours[10], 30), 0);
    int previous = 0;
    for (const SwfBuild::Rgb &c : colours) {
        const int step = NearestStep(c, 30);
        EXPECT_TRUE(step == previous || step == previous + 1) << step << " after " << previous;
        previous = step;
    }
    EXPECT_GE(previous, 15);
}

TEST_F(MovieRecorderTest, WatchdogEndsAMovieStuckInAScript)
{
    // Stuck after 1.5 s: what came before is kept, and the details say why.
    SwfBuild::ColourMovie movie;
    movie.endlessLoopFrame = 15;
    RecordRequest r = request(movie);
    r.stepTimeoutMs = 3000;
    const RecordResult kept = MovieRecorder().record(r);
    ASSERT_TRUE(kept.ok) << kept.error.toStdString();
    EXPECT_EQ(kept.stop, StopReason::StepTimeout);
    EXPECT_EQ(kept.framesRecorded, 15);
    ASSERT_EQ(kept.notes.filter(QStringLiteral("stopped after frame 15 (1.50 s)")).size(), 1)
        << kept.notes.join(QLatin1Char('\n')).toStdString();
    EXPECT_NEAR(ProbeMedia(r.outputPath).duration, 1.5, 0.1);

    // Stuck at once: nothing worth keeping, and the reason is given.
    movie.endlessLoopFrame = 0;
    r = request(movie);
    r.outputPath = work.file(QStringLiteral("stuck.mp4"));
    r.stepTimeoutMs = 3000;
    const RecordResult lost = MovieRecorder().record(r);
    EXPECT_FALSE(lost.ok);
    EXPECT_EQ(lost.stop, StopReason::Failed);
    EXPECT_TRUE(lost.error.contains(QStringLiteral("took too long"))) << lost.error.toStdString();
    EXPECT_FALSE(QFile::exists(r.outputPath));
}

TEST_F(MovieRecorderTest, CancelEndsThePlayerAndWritesNothing)
{
    SwfBuild::ColourMovie movie;
    movie.frames = 200;
    RecordRequest r = request(movie);
    std::atomic_bool cancel = false;
    int lastProgress = 0;
    r.cancel = &cancel;
    r.progress = [&](int done, int) {
        lastProgress = done;
        if (done == 5)
            cancel = true;
    };
    const RecordResult result = MovieRecorder().record(r);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.stop, StopReason::Failed);
    EXPECT_TRUE(result.error.contains(QStringLiteral("cancelled")));
    EXPECT_LT(lastProgress, 60);
    EXPECT_FALSE(QFile::exists(r.outputPath));
    // Chromium's processes are gone: the profile is no longer locked.
    EXPECT_FALSE(QFile::exists(r.workFolder + QStringLiteral("/player-profile/SingletonLock")));
}

TEST(MovieRecorderParts, MissingPartsNameWhatToInstall)
{
    TempFolder empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", empty.path().toLocal8Bit());
    const QString noChromium = MovieRecorder::MissingParts(Assets);
    qputenv("PATH", path);
    EXPECT_TRUE(noChromium.contains(QStringLiteral("package chromium"))) << noChromium.toStdString();

    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty())
        return;
    const QString noPlayer = MovieRecorder::MissingParts(empty.path());
    EXPECT_TRUE(noPlayer.contains(QStringLiteral("Ruffle"))) << noPlayer.toStdString();
    EXPECT_TRUE(noPlayer.contains(QStringLiteral("install-deps")));

    RecordRequest r;
    r.swfPath = empty.file(QStringLiteral("none.swf"));
    r.assetsFolder = empty.path();
    const RecordResult result = MovieRecorder().record(r);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, noPlayer);
}
