// Videos with the movie's own timing: real extractor, converter and encoder
// on slide-shows made by the test SWF builder and by FFmpeg.
#include "JobTestKit.h"
#include "SwfTestKit.h"

#include <QProcess>

#include <cmath>

using namespace Pipeline;

namespace {

struct Slide
{
    int frame = 0; // the movie frame the picture comes on stage
    QColor colour;
};

struct Movie
{
    int fps = 24;
    int frames = 120;
    QList<Slide> slides;
    bool stops = false; // a stop action in the last frame
    std::optional<QColor> background;
    // Adds the tags of `frame` before its pictures are placed.
    std::function<void(SwfBuild::Tags &, int frame)> atFrame;
};

// A slide-show: each slide's picture replaces the last one on stage.
QString SlideShow(const TempFolder &folder, const QString &name, const Movie &movie,
                  const std::function<void(SwfBuild::Tags &)> &definitions = {})
{
    using namespace SwfBuild;
    Tags tags;
    if (movie.background)
        tags.setBackgroundColor(std::uint8_t(movie.background->red()), std::uint8_t(movie.background->green()),
                                std::uint8_t(movie.background->blue()));
    if (definitions)
        definitions(tags);
    for (qsizetype i = 0; i < movie.slides.size(); ++i) {
        tags.defineBitsJpeg2(std::uint16_t(1 + i), JpegOf(Solid(64, 48, movie.slides[i].colour)))
            .defineBitmapShape(std::uint16_t(100 + i), std::uint16_t(1 + i));
    }
    bool placed = false;
    for (int frame = 0; frame < movie.frames; ++frame) {
        if (movie.atFrame)
            movie.atFrame(tags, frame);
        for (qsizetype i = 0; i < movie.slides.size(); ++i) {
            if (movie.slides[i].frame == frame) {
                tags.placeObject2(1, std::uint16_t(100 + i), placed);
                placed = true;
            }
        }
        if (movie.stops && frame + 1 == movie.frames)
            tags.doAction({kActionStop});
        tags.showFrame();
    }
    tags.end();
    MovieOptions options;
    options.frameRate = std::uint16_t(movie.fps << 8);
    options.frameCount = std::uint16_t(movie.frames);
    return folder.write(name + QStringLiteral(".swf"), SwfTestKit::ToQt(BuildSwf(tags, Container::Fws, options)));
}

// Each video frame's presentation time, as ffprobe gives them.
QList<double> FrameTimes(const QString &video)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), QStringLiteral("v"),
                 QStringLiteral("-show_entries"), QStringLiteral("frame=pts_time"), QStringLiteral("-of"),
                 QStringLiteral("csv=p=0"), video});
    probe.waitForFinished(60000);
    QList<double> times;
    for (const QString &line : QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        // Side data lines end with a comma and the next field; the time comes first.
        const QString field = line.section(QLatin1Char(','), 0, 0).trimmed();
        if (!field.isEmpty())
            times.append(field.toDouble());
    }
    return times;
}

// The times at which the picture changes colour (the first frame included)
// and the colour shown from each.
QList<std::pair<double, QColor>> Changes(const QString &video, const TempFolder &scratch)
{
    const QList<double> times = FrameTimes(video);
    const QList<QColor> colours = FrameColours(video, scratch);
    EXPECT_EQ(times.size(), colours.size());
    QList<std::pair<double, QColor>> changes;
    for (qsizetype i = 0; i < std::min(times.size(), colours.size()); ++i) {
        const QColor &c = colours[i];
        const bool same = !changes.isEmpty() && std::abs(changes.last().second.red() - c.red()) < 40
                          && std::abs(changes.last().second.green() - c.green()) < 40
                          && std::abs(changes.last().second.blue() - c.blue()) < 40;
        if (!same)
            changes.append({times[i], c});
    }
    return changes;
}

// A movie on a slow clock (`rate` in 1/256 frames a second, so 1 is the
// slowest a SWF can have) with one picture: from frame 0 when `shown`,
// otherwise defined but never put on stage. A long video, cheap to make.
QString SlowMovie(const TempFolder &folder, const QString &name, const QColor &colour, std::uint16_t rate,
                  std::uint16_t frames, bool shown = true)
{
    using namespace SwfBuild;
    Tags tags;
    tags.defineBitsJpeg2(1, JpegOf(Solid(64, 48, colour))).defineBitmapShape(100, 1);
    if (shown)
        tags.placeObject2(1, 100);
    for (int frame = 0; frame < frames; ++frame)
        tags.showFrame();
    tags.end();
    MovieOptions options;
    options.frameRate = rate;
    options.frameCount = frames;
    return folder.write(name + QStringLiteral(".swf"), SwfTestKit::ToQt(BuildSwf(tags, Container::Fws, options)));
}

// Two hours at 1/32 frame a second.
QString TwoHourMovie(const TempFolder &folder, const QString &name, const QColor &colour, bool shown = true)
{
    return SlowMovie(folder, name, colour, 8, 225, shown);
}

class MovieModeTest : public ConversionJobTest
{
protected:
    void SetUp() override
    {
        ConversionJobTest::SetUp();
        controls.slow = false;
        controls.movie = true;
        // No delay is needed as in the movie.
        controls.seconds.clear();
        controls.perSecond.clear();
    }

    QString video(const QString &name) const { return out.file(name + QStringLiteral(".mp4")); }

    std::string said() const { return (controls.messages + outcome.details).join(QLatin1Char('\n')).toStdString(); }

    TempFolder scratch;
};

constexpr double kFrame24 = 1.0 / 24;

} // namespace

TEST_F(MovieModeTest, PicturesChangeWhenTheMovieShowsThem)
{
    // Shown at frames 0, 24 and 72 of 120 at 24 fps; a larger picture the
    // timeline never shows is left out, so it does not size the frame.
    const auto unshown = [](SwfBuild::Tags &tags) { tags.defineBitsJpeg2(50, JpegOf(Solid(200, 150, Qt::yellow))); };
    const Movie slides{24, 120, {{0, Qt::red}, {24, Qt::green}, {72, Qt::blue}}, false, {}, {}};
    controls.files = {SlideShow(in, QStringLiteral("slides"), slides, unshown)};
    run();
    const MediaProbe probe = ProbeMedia(video(QStringLiteral("slides")));
    ASSERT_TRUE(probe.ok) << said();
    EXPECT_EQ(probe.width, 64);
    EXPECT_FALSE(probe.hasAudio);
    EXPECT_NEAR(probe.duration, 5.0, kFrame24);
    const auto changes = Changes(video(QStringLiteral("slides")), scratch);
    ASSERT_EQ(changes.size(), 3);
    EXPECT_NEAR(changes[0].first, 0.0, kFrame24);
    EXPECT_NEAR(changes[1].first, 1.0, kFrame24);
    EXPECT_NEAR(changes[2].first, 3.0, kFrame24);
    ExpectNear(changes[0].second, Qt::red);
    ExpectNear(changes[1].second, Qt::green);
    ExpectNear(changes[2].second, Qt::blue);
    // Variable frame times, not frames repeated up to a fixed rate.
    EXPECT_LE(FrameTimes(video(QStringLiteral("slides"))).size(), 4);
    EXPECT_TRUE(outcome.failed.isEmpty()) << said();
    expectCleanWorkFolder();
}

TEST_F(MovieModeTest, FfmpegSlideShowAtHalfAFrameASecond)
{
    const QString movie = in.file(QStringLiteral("slow.swf"));
    ASSERT_TRUE(RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc=size=96x64:rate=0.5"), QStringLiteral("-c:v"),
                           QStringLiteral("mjpeg"), QStringLiteral("-frames:v"), QStringLiteral("3"),
                           QStringLiteral("-f"), QStringLiteral("swf"), movie}));
    controls.files = {movie};
    run();
    const QList<double> times = FrameTimes(video(QStringLiteral("slow")));
    ASSERT_GE(times.size(), 3) << said();
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(times[i], 2.0 * i, 0.01) << i;
    EXPECT_NEAR(ProbeMedia(video(QStringLiteral("slow"))).duration, 6.0, 2.0 / 24);
}

TEST_F(MovieModeTest, ALoopRepeatsUnderLongerMusicAStoppingMovieHoldsItsLastPicture)
{
    // Twelve frames at 12 fps, a picture every half second, 7 s of music.
    for (const bool stops : {false, true}) {
        SCOPED_TRACE(stops ? "stops" : "loops");
        const QString name = stops ? QStringLiteral("stops") : QStringLiteral("loops");
        Movie loop{12, 12, {{0, Qt::red}, {6, Qt::blue}}, stops, {}, {}};
        loop.atFrame = [](SwfBuild::Tags &tags, int frame) {
            if (frame == 0)
                tags.startSound(1);
        };
        controls.files = {SlideShow(in, name, loop, [&](SwfBuild::Tags &tags) {
            DefineTone(tags, 1, in, name, "pcm_s16le", 11025, 7.0, 440);
        })};
        run();
        const MediaProbe probe = ProbeMedia(video(name));
        ASSERT_TRUE(probe.ok) << said();
        EXPECT_NEAR(probe.duration, 7.0, 0.1);
        EXPECT_NEAR(probe.audioDuration, 7.0, 0.1);
        EXPECT_GT(MeanVolume(video(name), 6.0, 6.9), -40) << "the music plays to its end";
        const auto changes = Changes(video(name), scratch);
        if (stops) {
            ASSERT_EQ(changes.size(), 2);
            EXPECT_NEAR(changes[1].first, 0.5, 1.0 / 12);
        } else {
            ASSERT_EQ(changes.size(), 14) << "red and blue, fourteen half seconds";
            EXPECT_NEAR(changes[13].first, 6.5, 1.0 / 12);
            ExpectNear(changes[13].second, Qt::blue);
        }
        ExpectNear(changes.last().second, Qt::blue);
        // Scratch frames of one run must not be read as the next one's.
        QDir(scratch.path()).removeRecursively();
        QDir().mkpath(scratch.path());
    }
}

TEST_F(MovieModeTest, AStreamFromFrame48StartsAtTwoSeconds)
{
    // An uncompressed 11 kHz mono stream, a block per frame from frame 48.
    constexpr int kRate = 11025;
    constexpr int kPerFrame = kRate / 24;
    Movie movie{24, 120, {{0, Qt::red}}, false, {}, {}};
    int played = 0;
    movie.atFrame = [&](SwfBuild::Tags &tags, int frame) {
        if (frame == 0)
            tags.soundStreamHead2(0x36, kPerFrame);
        if (frame < 48 || frame >= 96)
            return;
        SwfBuild::Bytes block;
        for (int k = 0; k < kPerFrame; ++k, ++played) {
            const auto sample = std::int16_t(12000 * std::sin(2 * M_PI * 440 * played / kRate));
            block.push_back(std::uint8_t(sample & 0xFF));
            block.push_back(std::uint8_t((sample >> 8) & 0xFF));
        }
        tags.soundStreamData(block);
    };
    controls.files = {SlideShow(in, QStringLiteral("late"), movie)};
    run();
    const QString late = video(QStringLiteral("late"));
    const MediaProbe probe = ProbeMedia(late);
    ASSERT_TRUE(probe.hasAudio) << said();
    EXPECT_NEAR(probe.duration, 5.0, kFrame24);
    EXPECT_LT(MeanVolume(late, 0.2, 1.9), -60);
    EXPECT_GT(MeanVolume(late, 2.0 + kFrame24, 3.9), -30);

    // silencedetect: the one silence before the stream ends within a frame of 2 s.
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                                            QStringLiteral("-i"), late, QStringLiteral("-map"), QStringLiteral("0:a"),
                                            QStringLiteral("-af"), QStringLiteral("silencedetect=n=-50dB:d=0.5"),
                                            QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    ffmpeg.waitForFinished(60000);
    const QString log = QString::fromUtf8(ffmpeg.readAllStandardError());
    const qsizetype at = log.indexOf(QStringLiteral("silence_end: "));
    ASSERT_GE(at, 0) << log.toStdString();
    EXPECT_NEAR(log.mid(at + 13).section(QLatin1Char(' '), 0, 0).toDouble(), 2.0, kFrame24);
}

TEST_F(MovieModeTest, EventSoundsArePlacedRepeatedAndStopped)
{
    // A low tone of 0.5 s played twice from frame 0; a high tone of 2.5 s
    // from frame 36 (1.5 s), stopped at frame 72 (3 s).
    Movie movie{24, 120, {{0, Qt::red}}, false, {}, {}};
    movie.atFrame = [](SwfBuild::Tags &tags, int frame) {
        SwfBuild::SoundInfo twice;
        twice.loops = 2;
        SwfBuild::SoundInfo stop;
        stop.syncStop = true;
        if (frame == 0)
            tags.startSound(1, twice);
        if (frame == 36)
            tags.startSound(2);
        if (frame == 72)
            tags.startSound(2, stop);
    };
    controls.files = {SlideShow(in, QStringLiteral("events"), movie, [&](SwfBuild::Tags &tags) {
        DefineTone(tags, 1, in, QStringLiteral("low"), "pcm_s16le", 22050, 0.5, 440);
        DefineTone(tags, 2, in, QStringLiteral("high"), "pcm_s16le", 22050, 2.5, 1760);
    })};
    run();
    const QString events = video(QStringLiteral("events"));
    ASSERT_TRUE(ProbeMedia(events).hasAudio) << said();
    EXPECT_NEAR(ProbeMedia(events).duration, 5.0, kFrame24);
    const double lowRepeat = MeanVolume(events, 0.6, 0.95, 440);
    const double lowAfter = MeanVolume(events, 1.2, 1.45, 440);
    const double highOn = MeanVolume(events, 1.6, 2.9, 1760);
    const double highBefore = MeanVolume(events, 0.2, 1.4, 1760);
    const double highStopped = MeanVolume(events, 3.1, 4.0, 1760);
    EXPECT_GT(lowRepeat, lowAfter + 20) << lowRepeat << " " << lowAfter;
    EXPECT_GT(highOn, highBefore + 20) << highOn << " " << highBefore;
    EXPECT_GT(highOn, highStopped + 20) << highOn << " " << highStopped;
}

TEST_F(MovieModeTest, CombinedMoviesFollowOneAnotherEachWithItsOwnTiming)
{
    controls.combine = true;
    controls.files = {
        SlideShow(in, QStringLiteral("first"), Movie{24, 48, {{0, Qt::red}, {24, Qt::green}}, false, {}, {}}),
        SlideShow(in, QStringLiteral("second"), Movie{12, 36, {{0, Qt::blue}, {12, Qt::yellow}}, false, {}, {}})};
    run();
    const QString combined = video(QStringLiteral("video"));
    const MediaProbe probe = ProbeMedia(combined);
    ASSERT_TRUE(probe.ok) << said();
    EXPECT_NEAR(probe.duration, 5.0, kFrame24) << "2 s and 3 s, no end frame";
    const auto changes = Changes(combined, scratch);
    ASSERT_EQ(changes.size(), 4);
    const double expected[] = {0, 1, 2, 3};
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(changes[i].first, expected[i], kFrame24) << i;
        ExpectNear(changes[i].second, colours[i]);
    }
}

TEST_F(MovieModeTest, BackgroundBeforeTheFirstPictureAndFallbacks)
{
    // The first picture comes at 1 s; before it, the movie's background.
    controls.files = {
        SlideShow(in, QStringLiteral("late"), Movie{24, 48, {{24, Qt::red}}, false, QColor(0, 0, 255), {}})};
    run();
    auto changes = Changes(video(QStringLiteral("late")), scratch);
    ASSERT_EQ(changes.size(), 2) << said();
    ExpectNear(changes[0].second, QColor(0, 0, 255));
    EXPECT_NEAR(changes[1].first, 1.0, kFrame24);
    ExpectNear(changes[1].second, Qt::red);
    QDir(scratch.path()).removeRecursively();
    QDir().mkpath(scratch.path());

    // Pictures the timeline never shows: each for Text1's delay, 3 s when
    // it holds no number, and the details say why.
    controls.files = {EventSoundSwf(in, QStringLiteral("attached"), "pcm_s16le", 11025, 1.0, 2)};
    run();
    const MediaProbe attached = ProbeMedia(video(QStringLiteral("attached")));
    ASSERT_TRUE(attached.ok) << said();
    EXPECT_NEAR(attached.duration, 6.0, 0.1);
    EXPECT_TRUE(outcome.details.join(QLatin1Char('\n')).contains(QStringLiteral("shows none of its pictures")))
        << said();

    controls.seconds = QStringLiteral("1.5");
    run();
    EXPECT_NEAR(ProbeMedia(video(QStringLiteral("attached"))).duration, 3.0, 0.1);

    // A one-frame movie would last 1/24 s: it gets the delay too.
    controls.files = {SlideShow(in, QStringLiteral("still"), Movie{24, 1, {{0, Qt::green}}, false, {}, {}})};
    run();
    EXPECT_NEAR(ProbeMedia(video(QStringLiteral("still"))).duration, 1.5, 0.1) << said();
    expectCleanWorkFolder();
}

TEST_F(MovieModeTest, AnEmbeddedVideoPlaysItsFramesAtTheirOwnTimes)
{
    // A picture from frame 0, then from frame 12 (1 s at 12 fps) a video
    // of twelve FFmpeg flv1 frames, one a movie frame.
    const std::vector<SwfTestKit::FlvTag> packets = SwfTestKit::EncodeFlv(
        in.file(QStringLiteral("clip.flv")), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                              QStringLiteral("testsrc=size=96x64:rate=12"), QStringLiteral("-frames:v"),
                                              QStringLiteral("12"), QStringLiteral("-c:v"), QStringLiteral("flv1")});
    ASSERT_EQ(packets.size(), 12u);
    Movie movie{12, 30, {{0, Qt::red}}, false, {}, {}};
    movie.atFrame = [&](SwfBuild::Tags &tags, int frame) {
        if (frame == 12)
            tags.removeObject2(1).placeObject2(2, 50);
        if (frame >= 12 && frame < 24) {
            const auto &data = packets[std::size_t(frame - 12)].data;
            tags.videoFrame(50, std::uint16_t(frame - 12), SwfBuild::Bytes(data.begin() + 1, data.end()));
        }
    };
    controls.files = {SlideShow(in, QStringLiteral("clip"), movie,
                                [](SwfBuild::Tags &tags) { tags.defineVideoStream(50, 12, 96, 64, 2); })};
    run();
    const QString clip = video(QStringLiteral("clip"));
    const MediaProbe probe = ProbeMedia(clip);
    ASSERT_TRUE(probe.ok) << said();
    EXPECT_EQ(probe.width, 96) << "the video's frames are fitted like pictures";
    EXPECT_NEAR(probe.duration, 2.5, 1.0 / 12);
    const QList<double> times = FrameTimes(clip);
    ASSERT_GE(times.size(), 13) << said();
    EXPECT_NEAR(times[0], 0, 0.01);
    for (int k = 0; k < 12; ++k)
        EXPECT_NEAR(times[1 + k], 1.0 + k / 12.0, 0.01) << k;
    ExpectNear(FrameColours(clip, scratch).first(), Qt::red);
}

TEST_F(MovieModeTest, AVideoIsCutAtThreeHoursAndTheDetailsSaySo)
{
    // The slowest clock a SWF can have, 1/256 frame a second: 50 frames are
    // 12800 s, more than 3 hours.
    controls.files = {SlowMovie(in, QStringLiteral("endless"), Qt::red, 1, 50)};
    run();
    const MediaProbe probe = ProbeMedia(video(QStringLiteral("endless")));
    ASSERT_TRUE(probe.ok) << said();
    EXPECT_NEAR(probe.duration, 3 * 3600.0, 1.0);
    EXPECT_TRUE(outcome.details.join(QLatin1Char('\n')).contains(QStringLiteral("cut at 3 hours"))) << said();
}

TEST_F(MovieModeTest, ACombinedVideoIsCutAtThreeHoursWhateverItsMovies)
{
    // 2 h + 2 h: the second movie is cut an hour in, a third left out.
    controls.combine = true;
    controls.files = {TwoHourMovie(in, QStringLiteral("first"), Qt::red),
                      TwoHourMovie(in, QStringLiteral("second"), Qt::blue),
                      SlideShow(in, QStringLiteral("third"), Movie{24, 48, {{0, Qt::green}}, false, {}, {}})};
    run();
    const QString combined = video(QStringLiteral("video"));
    MediaProbe probe = ProbeMedia(combined);
    ASSERT_TRUE(probe.ok) << said();
    EXPECT_NEAR(probe.duration, 3 * 3600.0, 1.0);
    auto changes = Changes(combined, scratch);
    ASSERT_EQ(changes.size(), 2) << said();
    ExpectNear(changes[0].second, Qt::red);
    EXPECT_NEAR(changes[1].first, 7200.0, 1.0);
    ExpectNear(changes[1].second, Qt::blue);
    QString details = outcome.details.join(QLatin1Char('\n'));
    EXPECT_TRUE(details.contains(controls.files[1] + QStringLiteral(": The video is cut at 3 hours"))) << said();
    EXPECT_TRUE(details.contains(controls.files[2] + QStringLiteral(": Left out"))) << said();
    EXPECT_TRUE(outcome.failed.isEmpty()) << said();
    QDir(scratch.path()).removeRecursively();
    QDir().mkpath(scratch.path());

    // A movie shown with the fixed delay counts towards the same 3 hours.
    controls.seconds = QStringLiteral("7200");
    controls.files = {TwoHourMovie(in, QStringLiteral("attached"), Qt::red, false),
                      TwoHourMovie(in, QStringLiteral("second"), Qt::blue)};
    run();
    probe = ProbeMedia(combined);
    ASSERT_TRUE(probe.ok) << said();
    EXPECT_NEAR(probe.duration, 3 * 3600.0, 1.0);
    changes = Changes(combined, scratch);
    ASSERT_EQ(changes.size(), 2) << said();
    EXPECT_NEAR(changes[1].first, 7200.0, 1.0);
    details = outcome.details.join(QLatin1Char('\n'));
    EXPECT_TRUE(details.contains(QStringLiteral("shows none of its pictures"))) << said();
    EXPECT_TRUE(details.contains(controls.files[1] + QStringLiteral(": The video is cut at 3 hours"))) << said();
    expectCleanWorkFolder();
}
