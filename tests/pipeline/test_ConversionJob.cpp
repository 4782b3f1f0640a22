// The conversion end to end: real extractor, converter and encoder on SWF
// files made by FFmpeg and by the test SWF builder.
#include "JobTestKit.h"
#include "SwfTestKit.h"

#include "tools/ProcessRunner.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <functional>

using namespace Pipeline;

namespace {

const QString kPlayerHint = QStringLiteral("Done.\r\n\r\nPlease open with 'Media Player Classic - Home Cinema'\r\n(");

} // namespace

TEST(Quality, SliderArithmeticTiesToEven)
{
    struct
    {
        int value, maximum, quality;
    } cases[] = {{0, 100, 31}, {100, 100, 1}, {92, 100, 2}, {76, 100, 8}, {75, 100, 8}, {50, 100, 16}, {99, 100, 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(QualityFromSlider(c.value, c.maximum), c.quality);
    }
}

TEST_F(ConversionJobTest, RefusalsTouchNothing)
{
    controls.files = {swf(QStringLiteral("a.swf"), 64, 48, 1)};
    controls.seconds = QString();
    controls.perSecond = QStringLiteral("x");
    run();
    controls.seconds = QStringLiteral("3");
    controls.files.clear();
    run();
    controls.files = {in.file(QStringLiteral("a.swf"))};
    controls.folder = out.file(QStringLiteral("missing"));
    run();
    controls.beside = true; // the chosen folder is not examined then
    controls.seconds = QStringLiteral("0");
    run();

    EXPECT_EQ(controls.messages,
              (QStringList{QStringLiteral("You must enter a delay."), QStringLiteral("No files added."),
                           QStringLiteral("Folder does not exist. Please select another folder."),
                           QStringLiteral("You must enter a delay.")}));
    EXPECT_TRUE(outcome.refused);
    EXPECT_TRUE(controls.pointers.isEmpty());
    EXPECT_TRUE(QDir(work.path()).isEmpty());
    EXPECT_TRUE(QDir(out.path()).isEmpty());
}

TEST_F(ConversionJobTest, EachFileSlowWithAndWithoutSound)
{
    controls.files = {swf(QStringLiteral("one.swf"), 321, 241, 3, 2.0), swf(QStringLiteral("two.swf"), 200, 150, 2)};
    run();

    ASSERT_EQ(controls.messages.size(), 1);
    EXPECT_TRUE(controls.messages.first().startsWith(kPlayerHint)) << controls.messages.first().toStdString();
    EXPECT_TRUE(controls.reports.isEmpty()) << controls.reports.join(QLatin1Char('\n')).toStdString();

    const MediaProbe one = ProbeMedia(out.file(QStringLiteral("one.mp4")));
    ASSERT_TRUE(one.ok);
    EXPECT_EQ(one.width, 320);
    EXPECT_EQ(one.height, 240);
    EXPECT_EQ(one.videoFrames, 4) << "three pictures and the black end frame";
    EXPECT_NEAR(one.duration, 12.0, 0.2);
    EXPECT_TRUE(one.hasAudio);
    EXPECT_EQ(one.videoCodec, QStringLiteral("h264"));
    EXPECT_EQ(one.pixelFormat, QStringLiteral("yuv420p"));

    const MediaProbe two = ProbeMedia(out.file(QStringLiteral("two.mp4")));
    EXPECT_EQ(two.width, 200);
    EXPECT_EQ(two.videoFrames, 3);
    EXPECT_NEAR(two.duration, 9.0, 0.2);
    EXPECT_FALSE(two.hasAudio);

    EXPECT_TRUE(controls.captions.contains(QStringLiteral("Processing: one.swf")));
    EXPECT_TRUE(controls.captions.contains(QStringLiteral("Processing: two.swf output video")));
    EXPECT_EQ(controls.captions.last(), QStringLiteral("Progress Bar"));
    EXPECT_EQ(controls.pointers, (QList<Pointer>{Pointer::Busy, Pointer::Default}));
    EXPECT_EQ(controls.value(), 0);
    expectCleanWorkFolder();
}

// Each video is checked while the next file is read. A Cancel then may stop
// that check but not the video: it is checked again and kept, as it was when
// the check ended before the next file began.
TEST_F(ConversionJobTest, ACancelAfterAnEncodeKeepsThatVideo)
{
    controls.slow = false;
    controls.perSecond = QStringLiteral("2");
    controls.files = {swf(QStringLiteral("one.swf"), 160, 120, 2, 1.0), swf(QStringLiteral("two.swf"), 160, 120, 2)};
    controls.onYield = [&] {
        if (controls.caption() == QLatin1String("Processing: two.swf"))
            Tools::CancelAllChildren();
    };
    run();

    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.made, QStringList{out.file(QStringLiteral("one.mp4"))});
    EXPECT_TRUE(outcome.failed.isEmpty()) << outcome.failed.join(QLatin1Char('\n')).toStdString();
    const MediaProbe one = ProbeMedia(out.file(QStringLiteral("one.mp4")));
    ASSERT_TRUE(one.ok);
    EXPECT_EQ(one.videoFrames, 2);
    EXPECT_TRUE(one.hasAudio);
    EXPECT_FALSE(QFile::exists(out.file(QStringLiteral("two.mp4"))));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary video is left";
    expectCleanWorkFolder();
}

TEST_F(ConversionJobTest, CombinedFastMixedSizesJoinsEverySound)
{
    controls.combine = true;
    controls.slow = false;
    controls.perSecond = QStringLiteral("2");
    controls.files = {swf(QStringLiteral("a.swf"), 160, 120, 3, 1.0), swf(QStringLiteral("b.swf"), 320, 180, 2),
                      swf(QStringLiteral("c.swf"), 100, 100, 2)};
    run();

    const MediaProbe video = ProbeMedia(out.file(QStringLiteral("video.mp4")));
    ASSERT_TRUE(video.ok);
    EXPECT_EQ(video.width, 320);
    EXPECT_EQ(video.height, 180);
    EXPECT_EQ(video.videoFrames, 7) << "no end frame in FAST mode, no picture twice";
    EXPECT_NEAR(video.duration, 3.5, 0.1);
    EXPECT_TRUE(video.hasAudio) << "the first movie's sound is kept although the last is silent";
    EXPECT_EQ(outcome.made, QStringList{out.file(QStringLiteral("video.mp4"))});
    expectCleanWorkFolder();
}

TEST_F(ConversionJobTest, NoPicturesKeepsOlderVideoAndIsNamed)
{
    const QString silent = swf(QStringLiteral("clip.swf"), 64, 48, 2, 0, false);
    QFile older(out.file(QStringLiteral("clip.mp4")));
    ASSERT_TRUE(older.open(QIODevice::WriteOnly));
    older.write("older");
    older.close();
    controls.files = {silent};
    run();

    ASSERT_EQ(controls.messages.size(), 1);
    EXPECT_EQ(controls.messages.first(),
              QStringLiteral("Done.\r\n\r\nThe following files: \r\n") + silent
                  + QStringLiteral("\r\n\r\n\r\nSWF could not be read or SWF does not contain any images to extract. "
                                   "\r\n\r\nPlease try opening these SWF files in your web browser (Google Chrome for "
                                   "example) to see if they actually play like valid SWF files or have images that "
                                   "can be extracted."));
    EXPECT_EQ(QFileInfo(out.file(QStringLiteral("clip.mp4"))).size(), 5);
    EXPECT_EQ(outcome.noPictures, QStringList{silent});
}

TEST_F(ConversionJobTest, SameNamesHostileNamesAndAFailedEncode)
{
    const QString hostile = QStringLiteral("a \"b\" $(touch x) 'c'.swf");
    controls.files = {swf(QStringLiteral("first/movie.swf"), 64, 48, 1),
                      swf(QStringLiteral("second/movie.swf"), 80, 60, 2), swf(hostile, 64, 48, 1),
                      swf(QStringLiteral("broken.swf"), 64, 48, 1)};
    QDir().mkpath(out.file(QStringLiteral("broken.mp4"))); // a folder where the video should go
    run();

    EXPECT_EQ(ProbeMedia(out.file(QStringLiteral("movie.mp4"))).videoFrames, 2);
    EXPECT_EQ(ProbeMedia(out.file(QStringLiteral("movie (2).mp4"))).videoFrames, 3);
    EXPECT_EQ(ProbeMedia(out.file(QStringLiteral("a \"b\" $(touch x) 'c'.mp4"))).width, 64);
    EXPECT_FALSE(QFile::exists(in.file(QStringLiteral("x"))));
    EXPECT_FALSE(QFile::exists(QDir::current().filePath(QStringLiteral("x"))));

    EXPECT_EQ(outcome.failed, QStringList{out.file(QStringLiteral("broken.mp4"))});
    ASSERT_EQ(controls.messages.size(), 1);
    EXPECT_EQ(controls.messages.first(), QStringLiteral("Done.\r\n\r\nThe following videos could not be made: \r\n")
                                             + out.file(QStringLiteral("broken.mp4"))
                                             + QStringLiteral(": Is a directory\r\n"));
    expectCleanWorkFolder();
}

TEST_F(ConversionJobTest, BesideTheSourceAndASecondClickWhileRunning)
{
    controls.beside = true;
    controls.folder = QStringLiteral("/nonexistent");
    controls.files = {swf(QStringLiteral("sub/m.swf"), 64, 48, 1)};
    ConversionJob job(controls, work.path());
    int nested = 0;
    controls.onYield = [&] {
        if (nested++ == 0)
            job.PushButton2_Click(); // returns at once: a job is running
    };
    job.PushButton2_Click();
    EXPECT_EQ(controls.messages.size(), 1);
    EXPECT_TRUE(QFile::exists(in.file(QStringLiteral("sub/m.mp4"))));
    EXPECT_FALSE(job.converting());
}

TEST_F(ConversionJobTest, LosslessAndJpegPicturesInCharacterOrder)
{
    using namespace SwfBuild;
    // Defined out of ID order; the video shows them by ascending ID.
    std::vector<std::array<std::uint8_t, 4>> green(40 * 30, {255, 0, 200, 0});
    const std::vector<std::uint8_t> blueIndices(35 * 25, 0);
    Tags tags;
    tags.defineBitsLossless2(5, 5, 40, 30, EncodeArgb(green))
        .defineBitsLossless(9, 3, 35, 25, EncodePalette(35, 25, {{0, 0, 255, 255}}, blueIndices, false), 0)
        .defineBitsJpeg2(2, JpegOf(Solid(60, 40, Qt::red)))
        .showFrame()
        .end();
    const Bytes movie = BuildSwf(tags, Container::Cws);
    const QString path = in.write(
        QStringLiteral("lossless.swf"),
        QByteArray(reinterpret_cast<const char *>(movie.data()), static_cast<qsizetype>(movie.size())));

    controls.slow = false;
    controls.perSecond = QStringLiteral("1");
    controls.files = {path};
    run();

    const QString video = out.file(QStringLiteral("lossless.mp4"));
    const MediaProbe probe = ProbeMedia(video);
    ASSERT_TRUE(probe.ok) << controls.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(probe.width, 60);
    EXPECT_EQ(probe.height, 40);
    EXPECT_EQ(probe.videoFrames, 3);
    TempFolder scratch;
    const QList<QColor> colours = FrameColours(video, scratch);
    ASSERT_EQ(colours.size(), 3);
    ExpectNear(colours[0], Qt::red);
    ExpectNear(colours[1], QColor(0, 200, 0));
    ExpectNear(colours[2], Qt::blue);
}

namespace {

constexpr int kHalfClearWidth = 64;
constexpr int kHalfClearHeight = 48;

// A two-picture movie at 12 fps: from frame 0 a DefineBitsLossless2 picture,
// from frame 12 a DefineBitsJPEG3 one. The left half of each is transparent,
// the right half opaque green or blue.
QString HalfClearMovie(const TempFolder &folder, const QString &name, std::optional<QColor> background)
{
    using namespace SwfBuild;
    std::vector<std::array<std::uint8_t, 4>> argb;
    Bytes alpha;
    for (int y = 0; y < kHalfClearHeight; ++y) {
        for (int x = 0; x < kHalfClearWidth; ++x) {
            const bool opaque = x >= kHalfClearWidth / 2;
            // Premultiplied ARGB: opaque green, or nothing at all.
            argb.push_back(opaque ? std::array<std::uint8_t, 4>{255, 0, 200, 0} : std::array<std::uint8_t, 4>{});
            alpha.push_back(opaque ? 255 : 0);
        }
    }
    Tags tags;
    if (background)
        tags.setBackgroundColor(std::uint8_t(background->red()), std::uint8_t(background->green()),
                                std::uint8_t(background->blue()));
    tags.defineBitsLossless2(1, 5, kHalfClearWidth, kHalfClearHeight, EncodeArgb(argb))
        .defineBitmapShape(100, 1)
        .defineBitsJpeg3(2, JpegOf(Solid(kHalfClearWidth, kHalfClearHeight, Qt::blue)), alpha)
        .defineBitmapShape(101, 2);
    for (int frame = 0; frame < 24; ++frame) {
        if (frame == 0)
            tags.placeObject2(1, 100);
        if (frame == 12)
            tags.placeObject2(1, 101, true);
        tags.showFrame();
    }
    tags.end();
    MovieOptions options;
    options.frameCount = 24;
    return folder.write(name + QStringLiteral(".swf"), SwfTestKit::ToQt(BuildSwf(tags, Container::Fws, options)));
}

// The colours at the middle of the left and of the right half of each
// frame of a video, in order.
QList<std::pair<QColor, QColor>> HalfColours(const QString &video)
{
    const TempFolder scratch;
    QList<std::pair<QColor, QColor>> halves;
    for (const QImage &frame : DecodedFrames(video, scratch)) {
        halves.append({frame.pixelColor(frame.width() / 4, frame.height() / 2),
                       frame.pixelColor(frame.width() * 3 / 4, frame.height() / 2)});
    }
    return halves;
}

// Both pictures of a half-clear movie, in order from `first`, laid on `under`.
void ExpectHalfClearPictures(const QList<std::pair<QColor, QColor>> &halves, qsizetype first, const QColor &under)
{
    ASSERT_GE(halves.size(), first + 2);
    ExpectNear(halves[first].first, under);
    ExpectNear(halves[first].second, QColor(0, 200, 0));
    ExpectNear(halves[first + 1].first, under);
    ExpectNear(halves[first + 1].second, Qt::blue);
}

} // namespace

// Lossless and JPEG-with-alpha pictures alike are laid on their own movie's
// background colour in every mode, and on black when it sets none.
TEST_F(ConversionJobTest, TransparentPicturesLieOnTheMoviesBackground)
{
    const QColor orange(230, 120, 20);
    const QString coloured = HalfClearMovie(in, QStringLiteral("coloured"), orange);
    const QString plain = HalfClearMovie(in, QStringLiteral("plain"), std::nullopt);
    const auto said = [&] { return (controls.messages + outcome.details).join(QLatin1Char('\n')).toStdString(); };

    controls.seconds = QStringLiteral("1");
    controls.files = {coloured, plain};
    run();
    {
        SCOPED_TRACE("slow, one video per movie");
        ExpectHalfClearPictures(HalfColours(out.file(QStringLiteral("coloured.mp4"))), 0, orange);
        ExpectHalfClearPictures(HalfColours(out.file(QStringLiteral("plain.mp4"))), 0, Qt::black);
    }

    controls.slow = false;
    controls.perSecond = QStringLiteral("2");
    controls.combine = true;
    controls.files = {plain, coloured};
    run();
    {
        SCOPED_TRACE("fast, combined");
        const QList<std::pair<QColor, QColor>> halves = HalfColours(out.file(QStringLiteral("video.mp4")));
        ASSERT_EQ(halves.size(), 4) << said();
        ExpectHalfClearPictures(halves, 0, Qt::black);
        ExpectHalfClearPictures(halves, 2, orange);
    }

    controls.movie = true;
    controls.combine = false;
    controls.files = {coloured};
    QFile::remove(out.file(QStringLiteral("coloured.mp4")));
    run();
    {
        SCOPED_TRACE("as in the movie");
        ExpectHalfClearPictures(HalfColours(out.file(QStringLiteral("coloured.mp4"))), 0, orange);
        EXPECT_NEAR(ProbeMedia(out.file(QStringLiteral("coloured.mp4"))).duration, 2.0, 1.0 / 12) << said();
    }
    expectCleanWorkFolder();
}

TEST_F(ConversionJobTest, SamplesMakePlayableVideosInBothModes)
{
    const QDir samples(QStringLiteral(TARNWICK_BIN_DIR "/Samples"));
    const QStringList names = samples.entryList({QStringLiteral("*.swf")}, QDir::Files, QDir::Name);
    ASSERT_EQ(names.size(), 5);
    for (const QString &name : names)
        controls.files.append(samples.filePath(name));

    run();
    EXPECT_EQ(outcome.made.size(), 5);
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const MediaProbe probe = ProbeMedia(out.file(QFileInfo(name).completeBaseName() + QStringLiteral(".mp4")));
        EXPECT_TRUE(probe.ok);
        EXPECT_GE(probe.videoFrames, 5);
        EXPECT_EQ(probe.hasAudio, name.contains(QStringLiteral("music")) || name.contains(QStringLiteral("chime")));
    }

    controls.combine = true;
    run();
    const MediaProbe video = ProbeMedia(out.file(QStringLiteral("video.mp4")));
    EXPECT_EQ(video.videoFrames, 8 + 4 + 6 + 5 + 5 + 1);
    EXPECT_EQ(video.width, 1024);
    EXPECT_EQ(video.height, 576);
    EXPECT_TRUE(video.hasAudio);
    EXPECT_TRUE(controls.reports.isEmpty()) << controls.reports.join(QLatin1Char('\n')).toStdString();
}

TEST_F(ConversionJobTest, WithoutAnEncoderNothingIsTouched)
{
    controls.files = {swf(QStringLiteral("a.swf"), 64, 48, 1)};
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", in.path().toLocal8Bit()); // a folder without ffmpeg
    run();
    qputenv("PATH", path);

    EXPECT_EQ(controls.messages, QStringList{QString::fromUtf8(Tools::kEncoderMissingMessage)});
    EXPECT_TRUE(outcome.refused);
    EXPECT_TRUE(controls.pointers.isEmpty());
    EXPECT_TRUE(QDir(work.path()).isEmpty());
    EXPECT_TRUE(QDir(out.path()).isEmpty());
}

TEST_F(ConversionJobTest, ChoicesChangedDuringTheJobChangeNothing)
{
    controls.combine = true;
    controls.slow = false;
    controls.perSecond = QStringLiteral("2");
    controls.files = {swf(QStringLiteral("a.swf"), 64, 48, 2), swf(QStringLiteral("b.swf"), 64, 48, 1),
                      swf(QStringLiteral("c.swf"), 64, 48, 2)};
    const QString elsewhere = in.mkdir(QStringLiteral("elsewhere"));
    int yields = 0;
    controls.onYield = [&] {
        // As a user flipping the choices right after Start.
        if (++yields == 2) {
            controls.combine = false;
            controls.slow = true;
            controls.seconds = QStringLiteral("5");
            controls.folder = elsewhere;
        }
    };
    run();

    EXPECT_GE(yields, 2);
    EXPECT_EQ(outcome.made, QStringList{out.file(QStringLiteral("video.mp4"))});
    const MediaProbe video = ProbeMedia(out.file(QStringLiteral("video.mp4")));
    EXPECT_EQ(video.videoFrames, 5) << "every picture of the three movies, no end frame";
    EXPECT_NEAR(video.duration, 2.5, 0.1);
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    EXPECT_FALSE(QFile::exists(out.file(QStringLiteral("a.mp4"))));
}

TEST_F(ConversionJobTest, EventSoundsGiveTheVideoItsSoundtrack)
{
    struct
    {
        const char *codec;
        int rate;
        double seconds; // ADPCM: one packet, 4096 samples
    } cases[] = {{"adpcm_swf", 11025, 0.3}, {"nellymoser", 22050, 1.0}, {"pcm_s16le", 11025, 1.0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.codec);
        controls.files = {EventSoundSwf(in, QString::fromLatin1(c.codec), c.codec, c.rate, c.seconds, 3)};
        controls.seconds = QStringLiteral("1");
        run();
        const QString video = out.file(QString::fromLatin1(c.codec) + QStringLiteral(".mp4"));
        const MediaProbe probe = ProbeMedia(video);
        ASSERT_TRUE(probe.ok) << controls.messages.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(probe.videoFrames, 4) << "three pictures and the end frame";
        ASSERT_TRUE(probe.hasAudio) << outcome.details.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(probe.audioCodec, QStringLiteral("aac"));
        EXPECT_NEAR(probe.audioDuration, 4.0, 0.1) << "the sound ends with the last picture";
        EXPECT_GT(MeanVolume(video, 0.02, 0.25), -40) << "the sound starts with the first picture";
        EXPECT_LT(MeanVolume(video, 2.0, 3.9), -60) << "silence after the sound";
    }

    // FAST: a longer sound is cut at the video's end.
    controls.slow = false;
    controls.perSecond = QStringLiteral("2");
    controls.files = {EventSoundSwf(in, QStringLiteral("fast"), "pcm_s16le", 11025, 3.0, 3)};
    run();
    const MediaProbe fast = ProbeMedia(out.file(QStringLiteral("fast.mp4")));
    EXPECT_EQ(fast.videoFrames, 3);
    EXPECT_NEAR(fast.audioDuration, 1.5, 0.1);
    EXPECT_GT(MeanVolume(out.file(QStringLiteral("fast.mp4")), 1.0, 1.4), -40);
    EXPECT_TRUE(controls.captions.contains(QStringLiteral("Processing: fast.swf sound")));
    expectCleanWorkFolder();
}

TEST_F(ConversionJobTest, AnMp3StreamIsCopiedUnchanged)
{
    const QString movie = swf(QStringLiteral("song.swf"), 64, 48, 3, 1.5);
    controls.files = {movie};
    run();
    const QString video = out.file(QStringLiteral("song.mp4"));
    const MediaProbe probe = ProbeMedia(video);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.audioCodec, QStringLiteral("mp3"));

    TempFolder scratch;
    const QString mp3 = scratch.file(QStringLiteral("stream.mp3"));
    ASSERT_EQ(SwfTestKit::RunExtractor({QStringLiteral("-m"), movie, QStringLiteral("-o"), mp3}).exitCode, 0);
    const QString hash = AudioPacketHash(mp3);
    EXPECT_FALSE(hash.isEmpty());
    EXPECT_EQ(AudioPacketHash(video), hash);
}

TEST_F(ConversionJobTest, CombinedMoviesEachSoundDuringItsOwnPictures)
{
    // Each tone outlasts its movie's two pictures: the first must be cut
    // where the second movie starts, not joined before it.
    controls.combine = true;
    controls.seconds = QStringLiteral("1");
    controls.files = {EventSoundSwf(in, QStringLiteral("low"), "pcm_s16le", 22050, 3.0, 2, 440),
                      EventSoundSwf(in, QStringLiteral("high"), "pcm_s16le", 22050, 3.0, 2, 1760)};
    run();
    const QString video = out.file(QStringLiteral("video.mp4"));
    const MediaProbe probe = ProbeMedia(video);
    ASSERT_TRUE(probe.ok) << controls.messages.join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(probe.hasAudio);
    EXPECT_NEAR(probe.audioDuration, probe.duration, 0.1);
    const double lowFirst = MeanVolume(video, 0.2, 1.8, 440);
    const double lowSecond = MeanVolume(video, 2.2, 3.8, 440);
    const double highFirst = MeanVolume(video, 0.2, 1.8, 1760);
    const double highSecond = MeanVolume(video, 2.2, 3.8, 1760);
    EXPECT_GT(lowFirst, lowSecond + 20) << lowFirst << " " << lowSecond;
    EXPECT_GT(highSecond, highFirst + 20) << highFirst << " " << highSecond;
    expectCleanWorkFolder();
}
