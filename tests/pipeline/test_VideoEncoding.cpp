#include "pipeline/MovieTiming.h"
#include "pipeline/Soundtrack.h"
#include "pipeline/VideoCheck.h"
#include "pipeline/VideoEncoding.h"

#include "MediaProbe.h"
#include "RecordingBar.h"
#include "TempFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <future>
#include <vector>

#include <gtest/gtest.h>

using namespace Pipeline;

namespace {

// A work folder with `frames` numbered 160x120 frames in temp/.
class EncodingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            GTEST_SKIP() << "ffmpeg is not installed";
        work.mkdir(QStringLiteral("temp"));
        out = work.mkdir(QStringLiteral("out a \"b\" $(touch x) 'c'"));
    }

    void makeFrames(int frames)
    {
        ASSERT_TRUE(RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("testsrc=size=160x120:rate=1"), QStringLiteral("-frames:v"),
                               QString::number(frames), work.file(QStringLiteral("temp/image%d.jpg"))}));
    }

    QString makeSound(const QString &name, double seconds, int rate)
    {
        const QString path = work.file(QStringLiteral("temp/") + name);
        EXPECT_TRUE(RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("sine=frequency=440:sample_rate=%1:duration=%2").arg(rate).arg(seconds),
                               QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), path}));
        return path;
    }

    EncodeRequest request(int frames, const QString &rate, double seconds)
    {
        EncodeRequest r;
        r.encoder = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        r.rate = rate;
        r.frameCount = frames;
        r.frameSeconds = seconds;
        r.quality = 8;
        r.output = out + QStringLiteral("/movie 'x'.mp4");
        return r;
    }

    QStringList leftovers() const { return QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot); }

    TempFolder work;
    QString out;
};

} // namespace

TEST(EncoderArguments, QualityRateAndLength)
{
    EncodeRequest r;
    r.encoder = QStringLiteral("ffmpeg");
    r.rate = QStringLiteral("1/2.5");
    r.frameCount = 4;
    r.frameSeconds = 2.5;
    r.quality = 31;
    const QStringList args = EncoderArguments(r, QStringLiteral("/o/x.mp4"));
    EXPECT_EQ(args.mid(args.indexOf(QStringLiteral("-r")), 4),
              (QStringList{QStringLiteral("-r"), QStringLiteral("1/2.5"), QStringLiteral("-i"),
                           QStringLiteral("temp/image%d.jpg")}));
    EXPECT_EQ(args.at(args.indexOf(QStringLiteral("-crf")) + 1), QStringLiteral("41"));
    EXPECT_EQ(args.at(args.indexOf(QStringLiteral("-t")) + 1).toDouble(), 10.0);
    EXPECT_FALSE(args.contains(QStringLiteral("-c:a")));
    EXPECT_EQ(args.last(), QStringLiteral("/o/x.mp4"));

    const QString script = EncoderScript(QStringLiteral("/w/ffmpeg"), {QStringLiteral("a'b")});
    EXPECT_EQ(script, QStringLiteral("'/w/ffmpeg' 'a'\\''b'\nstatus=$?\nrm -f jpg2avi.tmp\nexit $status\n"));
}

TEST_F(EncodingTest, SilentVideoHasEveryFrameAndTheExactLength)
{
    makeFrames(4);
    const EncodeRequest r = request(4, QStringLiteral("1/2"), 2);
    ASSERT_TRUE(EncodeVideo(r, work.path()));
    const MediaProbe probe = ProbeMedia(r.output);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.videoCodec, QStringLiteral("h264"));
    EXPECT_EQ(probe.pixelFormat, QStringLiteral("yuv420p"));
    EXPECT_EQ(probe.width, 160);
    EXPECT_EQ(probe.videoFrames, 4);
    EXPECT_NEAR(probe.duration, 8.0, 0.1);
    EXPECT_FALSE(probe.hasAudio);
    EXPECT_FALSE(QFile::exists(work.file(QStringLiteral("jpg2avi.tmp"))));
    EXPECT_TRUE(QFile::exists(work.file(QStringLiteral("jpg2avi.sh"))));
    EXPECT_EQ(leftovers(), QStringList{QStringLiteral("movie 'x'.mp4")});
    EXPECT_FALSE(QFile::exists(work.file(QStringLiteral("x"))));
}

TEST(EncodeProgress, LastFrameLineOfTheReportCounts)
{
    EXPECT_EQ(EncodedFrames(QByteArray()), 0);
    EXPECT_EQ(EncodedFrames("frame=12\nfps=0.0\nprogress=continue\nframe=40\nfps=9\nprogress=end\n"), 40);
    // A line still being written is not read yet; "dup_frames=" is no frame line.
    EXPECT_EQ(EncodedFrames("frame=12\nprogress=continue\nframe=4"), 0);
    EXPECT_EQ(EncodedFrames("drop_frames=7\n"), 0);
}

TEST_F(EncodingTest, BarFollowsTheFramesEncodedAndReachesTheEnd)
{
    makeFrames(30);
    EncodeRequest r = request(30, QStringLiteral("10"), 0.1);
    RecordingBar bar;
    r.progress = &bar;
    ASSERT_TRUE(EncodeVideo(r, work.path()));
    ASSERT_FALSE(bar.values.empty());
    EXPECT_EQ(bar.values.front(), 0.0);
    EXPECT_EQ(bar.values.back(), 100.0);
    EXPECT_TRUE(std::is_sorted(bar.values.begin(), bar.values.end()));
    EXPECT_FALSE(QFile::exists(work.file(QStringLiteral("encode-progress.txt"))));
    EXPECT_EQ(ProbeMedia(r.output).videoFrames, 30);
}

TEST_F(EncodingTest, ShortSoundDoesNotCutPicturesLongSoundIsCut)
{
    makeFrames(10);
    EncodeRequest r = request(10, QStringLiteral("1/3"), 3);
    r.sounds = {makeSound(QStringLiteral("jingle.mp3"), 3, 44100)};
    ASSERT_TRUE(EncodeVideo(r, work.path()));
    MediaProbe probe = ProbeMedia(r.output);
    EXPECT_EQ(probe.videoFrames, 10);
    EXPECT_NEAR(probe.duration, 30.0, 0.2);
    EXPECT_TRUE(probe.hasAudio);
    EXPECT_EQ(probe.audioCodec, QStringLiteral("mp3"));

    r.frameCount = 2;
    QFile::remove(work.file(QStringLiteral("temp/image3.jpg")));
    r.sounds = {makeSound(QStringLiteral("long.mp3"), 20, 22050)};
    ASSERT_TRUE(EncodeVideo(r, work.path()));
    probe = ProbeMedia(r.output);
    EXPECT_EQ(probe.videoFrames, 2);
    EXPECT_NEAR(probe.duration, 6.0, 0.2);
    EXPECT_LE(probe.audioDuration, 6.1);

    // A soundtrack the job mixed comes losslessly and is encoded here.
    const QString mixed = work.file(QStringLiteral("temp/video") + QLatin1String(kSoundtrackSuffix));
    ASSERT_TRUE(
        RunFfmpeg({QStringLiteral("-i"), makeSound(QStringLiteral("mixed.mp3"), 4, 44100), QStringLiteral("-c:a"),
                   QStringLiteral("flac"), QStringLiteral("-f"), QStringLiteral("flac"), mixed}));
    r.sounds = {mixed};
    ASSERT_TRUE(EncodeVideo(r, work.path()));
    probe = ProbeMedia(r.output);
    EXPECT_EQ(probe.audioCodec, QStringLiteral("aac"));
    EXPECT_NEAR(probe.audioDuration, 4.0, 0.1);
    EXPECT_NEAR(probe.duration, 6.0, 0.2);
}

TEST_F(EncodingTest, SeveralSoundsJoinInOrder)
{
    makeFrames(4);
    EncodeRequest r = request(4, QStringLiteral("1/5"), 5);
    r.sounds = {makeSound(QStringLiteral("a.mp3"), 2, 22050), makeSound(QStringLiteral("b.mp3"), 3, 44100)};
    ASSERT_TRUE(EncodeVideo(r, work.path()));
    const MediaProbe probe = ProbeMedia(r.output);
    EXPECT_TRUE(probe.hasAudio);
    EXPECT_NEAR(probe.audioDuration, 5.0, 0.3);
    EXPECT_NEAR(probe.duration, 20.0, 0.2);
}

// The combined soundtrack reaches the encoder through a pipe as it is mixed:
// with frames at a fixed rate and with a timed list, its sound lasts the
// video, and a feed that stops short is found by the check.
TEST_F(EncodingTest, AFedSoundtrackIsEncodedAsItIsMixedAndMustLastTheVideo)
{
    makeFrames(2);
    const QString tone = makeSound(QStringLiteral("tone.mp3"), 10, 22050);
    const QString graph = work.file(QStringLiteral("temp/video.graph"));
    EncodeRequest r = request(2, QStringLiteral("1/3"), 3);
    r.soundFeed = CombinedSoundtrackFeed(r.encoder, {{tone, 0, 2}, {QString(), 2, 6}}, graph);
    ASSERT_TRUE(r.soundFeed);
    QString reason;
    bool feedFailed = true;
    QString target = EncodeToTemporary(r, work.path(), &reason, &feedFailed);
    ASSERT_FALSE(target.isEmpty()) << reason.toStdString();
    EXPECT_FALSE(feedFailed);
    EXPECT_EQ(CheckTemporaryVideo(r, target), QString());
    ASSERT_TRUE(PublishVideo(r, target, QString()));
    MediaProbe probe = ProbeMedia(r.output);
    EXPECT_EQ(probe.videoFrames, 2);
    EXPECT_EQ(probe.audioCodec, QStringLiteral("aac"));
    EXPECT_NEAR(probe.audioDuration, 6.0, 0.1);

    // Timed pictures: 1 s and 4 s, the sound cut on its way in.
    QFile list(work.file(QStringLiteral("temp/frames.txt")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(
        QFile::encodeName(ConcatList({{QStringLiteral("image1.jpg"), 0, 1}, {QStringLiteral("image2.jpg"), 1, 5}})));
    list.close();
    r.frameList = QStringLiteral("temp/frames.txt");
    r.frameCount = 3;
    r.length = 5;
    r.soundFeed = CombinedSoundtrackFeed(r.encoder, {{tone, 0, 1}, {tone, 1, 5}}, graph);
    ASSERT_TRUE(EncodeVideo(r, work.path(), &reason)) << reason.toStdString();
    probe = ProbeMedia(r.output);
    EXPECT_NEAR(probe.duration, 5.0, 0.1);
    EXPECT_NEAR(probe.audioDuration, 5.0, 0.1);

    // A mix that dies part way: the encoder still makes a video, but its
    // sound stops short.
    r.soundFeed = Tools::Command{QStringLiteral("/bin/sh"),
                                 {QStringLiteral("-c"),
                                  QStringLiteral("\"$0\" -v error -f lavfi -i "
                                                 "sine=sample_rate=22050:duration=2 -c:a "
                                                 "pcm_s24le -f nut pipe:1; exit 1"),
                                  r.encoder},
                                 QString()};
    target = EncodeToTemporary(r, work.path(), &reason, &feedFailed);
    ASSERT_FALSE(target.isEmpty()) << reason.toStdString();
    EXPECT_TRUE(feedFailed);
    const QString problem = CheckTemporaryVideo(r, target);
    EXPECT_TRUE(problem.startsWith(QStringLiteral("the new video's sound ends at 2.0"))) << problem.toStdString();
    EXPECT_FALSE(PublishVideo(r, target, problem));
    EXPECT_EQ(leftovers(), QStringList{QStringLiteral("movie 'x'.mp4")});
}

TEST_F(EncodingTest, FailedEncodeKeepsTheOlderVideo)
{
    // No frames at all: the encoder fails.
    EncodeRequest r = request(3, QStringLiteral("1/3"), 3);
    QFile old(r.output);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("older video");
    old.close();
    EXPECT_FALSE(EncodeVideo(r, work.path()));
    QFile kept(r.output);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("older video"));
    EXPECT_EQ(leftovers(), QStringList{QStringLiteral("movie 'x'.mp4")});
    EXPECT_FALSE(QFile::exists(work.file(QStringLiteral("jpg2avi.tmp"))));
}

// The check reads real videos with FFmpeg's libraries: each way a video can
// come out wrong is named, also when several are read at once.
TEST_F(EncodingTest, TheCheckReadsTheVideoToItsEndAndNamesWhatIsMissing)
{
    const QString whole = work.file(QStringLiteral("whole.mp4"));
    ASSERT_TRUE(
        RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                   QStringLiteral("testsrc=size=320x240:rate=5"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                   QStringLiteral("-i"), QStringLiteral("sine=frequency=440:sample_rate=22050"), QStringLiteral("-t"),
                   QStringLiteral("4"), QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-pix_fmt"),
                   QStringLiteral("yuv420p"), QStringLiteral("-movflags"), QStringLiteral("+faststart"), whole}));
    const QString silent = work.file(QStringLiteral("silent.mp4"));
    ASSERT_TRUE(RunFfmpeg(
        {QStringLiteral("-i"), whole, QStringLiteral("-an"), QStringLiteral("-c"), QStringLiteral("copy"), silent}));
    const QString sound = makeSound(QStringLiteral("alone.mp3"), 4, 22050);
    // The index kept, the data cut: only reading every packet finds it.
    QFile full(whole);
    ASSERT_TRUE(full.open(QIODevice::ReadOnly));
    const QString cut = work.write(QStringLiteral("cut.mp4"), full.read(full.size() * 6 / 10));
    const QString garbage = work.write(QStringLiteral("garbage.mp4"), "this is no video");

    EXPECT_EQ(CheckEncodedVideo(whole, 20, 4.0, true), QString());
    EXPECT_EQ(CheckEncodedVideo(silent, 20, 4.0, false), QString());
    EXPECT_EQ(CheckEncodedVideo(silent, 20, 4.0, true), QStringLiteral("the new video has no sound"));
    EXPECT_TRUE(
        CheckEncodedVideo(whole, 24, 4.8, true).startsWith(QStringLiteral("the new video holds 20 of 24 frames")));
    EXPECT_EQ(CheckEncodedVideo(whole, 20, 9.0, true), QStringLiteral("the new video lasts 4.00 s instead of 9.00 s"));
    EXPECT_EQ(CheckEncodedVideo(sound, 20, 4.0, true), QStringLiteral("the new video has no picture stream"));
    const QString shortened = CheckEncodedVideo(cut, 20, 4.0, true);
    EXPECT_TRUE(shortened.startsWith(QStringLiteral("the new video holds "))) << shortened.toStdString();
    // FFmpeg's first complaint, as its programs print it.
    EXPECT_TRUE(CheckEncodedVideo(garbage, 20, 4.0, true).endsWith(QStringLiteral("] moov atom not found")));
    EXPECT_TRUE(CheckEncodedVideo(work.file(QStringLiteral("none.mp4")), 20, 4.0, true)
                    .endsWith(QStringLiteral(": No such file or directory")));

    // FFmpeg's complaints are kept per thread: a damaged video read beside a
    // whole one does not lend it its error.
    std::vector<std::future<QString>> checks;
    for (int i = 0; i < 8; ++i)
        checks.push_back(
            std::async(std::launch::async, [&, i] { return CheckEncodedVideo(i % 2 ? cut : whole, 20, 4.0, true); }));
    for (int i = 0; i < 8; ++i) {
        const QString verdict = checks[size_t(i)].get();
        if (i % 2)
            EXPECT_TRUE(verdict.startsWith(QStringLiteral("the new video holds "))) << verdict.toStdString();
        else
            EXPECT_EQ(verdict, QString());
    }
}

// Frames left smaller than the video are fitted by the encoder as the
// redraw fits them: scaled with the aspect ratio kept, centred on black.
// The frames differ in size from one to the next, as in a combined video.
TEST_F(EncodingTest, TheEncoderFitsSmallerFramesCentredOnBlack)
{
    const auto solid = [&](int number, const QString &size, const QString &colour) {
        return RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                          QStringLiteral("color=c=%1:size=%2").arg(colour, size), QStringLiteral("-frames:v"),
                          QStringLiteral("1"), work.file(QStringLiteral("temp/image%1.jpg").arg(number))});
    };
    ASSERT_TRUE(solid(1, QStringLiteral("160x90"), QStringLiteral("0x00C000")));
    ASSERT_TRUE(solid(2, QStringLiteral("40x40"), QStringLiteral("0xE00000")));
    ASSERT_TRUE(solid(3, QStringLiteral("80x45"), QStringLiteral("0x0000E0")));
    ASSERT_TRUE(solid(4, QStringLiteral("40x40"), QStringLiteral("0xE00000")));
    EncodeRequest r = request(4, QStringLiteral("1"), 1);
    r.fitTo = QSize(160, 90);
    ASSERT_TRUE(EncodeVideo(r, work.path()));
    ASSERT_EQ(CheckEncodedVideo(r.output, 4, 4.0, false), QString());

    const QString raw = work.file(QStringLiteral("frames.rgb"));
    ASSERT_TRUE(RunFfmpeg({QStringLiteral("-i"), r.output, QStringLiteral("-f"), QStringLiteral("rawvideo"),
                           QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"), raw}));
    QFile file(raw);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray pixels = file.readAll();
    constexpr int kWidth = 160;
    constexpr int kFrameBytes = kWidth * 90 * 3;
    ASSERT_EQ(pixels.size(), 4 * kFrameBytes);
    // The strongest channel of a pixel on the middle row: 0 red, 1 green,
    // 2 blue, -1 black.
    const auto colourAt = [&](int frame, int x) {
        const char *pixel = pixels.constData() + frame * kFrameBytes + (45 * kWidth + x) * 3;
        int strongest = -1;
        int level = 64;
        for (int c = 0; c < 3; ++c) {
            if (quint8(pixel[c]) > level) {
                level = quint8(pixel[c]);
                strongest = c;
            }
        }
        return strongest;
    };
    for (const int x : {0, 80, 159})
        EXPECT_EQ(colourAt(0, x), 1) << x;
    // 40 x 40 grows to 90 x 90 at x = 35.
    for (const int frame : {1, 3}) {
        SCOPED_TRACE(frame);
        for (const int x : {0, 32})
            EXPECT_EQ(colourAt(frame, x), -1) << x;
        for (const int x : {38, 80, 121})
            EXPECT_EQ(colourAt(frame, x), 0) << x;
        for (const int x : {128, 159})
            EXPECT_EQ(colourAt(frame, x), -1) << x;
    }
    for (const int x : {0, 80, 159})
        EXPECT_EQ(colourAt(2, x), 2) << "16:9 fills the frame: " << x;
}
