#include "pipeline/MovieTiming.h"
#include "pipeline/Soundtrack.h"
#include "pipeline/TimelineReport.h"
#include "tools/ToolDeployment.h"

#include "MediaProbe.h"
#include "QtPrinters.h"
#include "RecordingBar.h"
#include "TempFolder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Pipeline;

namespace {

QString Ffmpeg()
{
    return Tools::LocateFfmpeg();
}

// What ffmpeg prints on standard error for the arguments.
QString FfmpegLog(const QStringList &arguments)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin")} + arguments);
    ffmpeg.waitForFinished(300000);
    return QString::fromLocal8Bit(ffmpeg.readAllStandardError());
}

double Number(const QString &log, const QString &key)
{
    const QRegularExpression pattern(key + QStringLiteral(":\\s*(-?[0-9.]+|-inf)"));
    const auto match = pattern.match(log);
    if (!match.hasMatch())
        return std::nan("");
    return match.captured(1) == QLatin1String("-inf") ? -200 : match.captured(1).toDouble();
}

// Runs a soundtrack feed into a file, where the encoder would read it.
bool RunFeed(const Tools::Command &feed, const QString &file)
{
    QProcess mixer;
    mixer.setStandardOutputFile(file);
    mixer.start(feed.program, feed.arguments);
    return mixer.waitForFinished(300000) && mixer.exitStatus() == QProcess::NormalExit && mixer.exitCode() == 0;
}

// Mean level in dB of `path` between two times, after an optional filter
// (for example a band-pass). Silence reads about -91 dB.
double MeanLevel(const QString &path, double from, double to, const QString &filter = QString())
{
    QString chain = QStringLiteral("atrim=start=%1:end=%2").arg(from).arg(to);
    if (!filter.isEmpty())
        chain += QLatin1Char(',') + filter;
    const QString log = FfmpegLog({QStringLiteral("-i"), path, QStringLiteral("-af"),
                                   chain + QStringLiteral(",volumedetect"), QStringLiteral("-f"),
                                   QStringLiteral("null"), QStringLiteral("-")});
    return Number(log, QStringLiteral("mean_volume"));
}

// The highest sample in dB of full scale, read as floats: volumedetect
// converts to 16 bits first and could never see a clipped mix.
double PeakLevel(const QString &path)
{
    return Number(
        FfmpegLog({QStringLiteral("-i"), path, QStringLiteral("-af"), QStringLiteral("astats=measure_perchannel=none"),
                   QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")}),
        QStringLiteral("Peak level dB"));
}

// Where the first stretch of silence from the start ends.
double FirstSilenceEnd(const QString &path)
{
    return Number(
        FfmpegLog({QStringLiteral("-i"), path, QStringLiteral("-af"), QStringLiteral("silencedetect=noise=-50dB:d=0.2"),
                   QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")}),
        QStringLiteral("silence_end"));
}

// Where the last stretch of silence begins (the sound's end).
double LastSilenceStart(const QString &path)
{
    const QString log = FfmpegLog({QStringLiteral("-i"), path, QStringLiteral("-af"),
                                   QStringLiteral("silencedetect=noise=-50dB:d=0.2"), QStringLiteral("-f"),
                                   QStringLiteral("null"), QStringLiteral("-")});
    return Number(log.mid(log.lastIndexOf(QStringLiteral("silence_start"))), QStringLiteral("silence_start"));
}

constexpr double kSilent = -70;
constexpr double kLoud = -40;

class SoundtrackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (Ffmpeg().isEmpty())
            GTEST_SKIP() << "ffmpeg is not installed";
    }

    // Writes an audio-only FLV as the extractor does: a tone of `seconds`
    // in `codec`, its timestamps starting at `offset` seconds.
    void MakeFlv(const QString &path, const QString &source, const QString &codec, int rate, double offset = 0,
                 int channels = 1)
    {
        QStringList args{QStringLiteral("-f"),   QStringLiteral("lavfi"),
                         QStringLiteral("-i"),   source,
                         QStringLiteral("-c:a"), codec,
                         QStringLiteral("-ar"),  QString::number(rate),
                         QStringLiteral("-ac"),  QString::number(channels)};
        if (offset > 0)
            args << QStringLiteral("-output_ts_offset") << QString::number(offset);
        args << QStringLiteral("-f") << QStringLiteral("flv") << path;
        ASSERT_TRUE(RunFfmpeg(args)) << path.toStdString();
    }

    static QString Tone(double frequency, double seconds)
    {
        return QStringLiteral("sine=frequency=%1:sample_rate=44100:duration=%2").arg(frequency).arg(seconds);
    }

    // The exports the report asks for, made with ffmpeg in place of the
    // extractor, each from the tone `make` gives for it.
    QList<SoundSource> Export(const TimelineReport &report, const std::function<void(const SoundSource &)> &make)
    {
        QList<SoundSource> sources;
        for (const SoundExport &e :
             SoundExports(report, QStringLiteral("movie.swf"), work.path(), QStringLiteral("movie"))) {
            make(e.source);
            sources << e.source;
        }
        return sources;
    }

    TempFolder work;
};

TimelineReport Report(const char *json)
{
    const TimelineReportResult parsed = ParseTimelineReport(QByteArray(json));
    EXPECT_TRUE(parsed.ok);
    return parsed.report;
}

} // namespace

TEST(SoundExports, OneFilePerSoundThatIsHeard)
{
    const TimelineReport r = Report(R"({"frameRate": 12,
        "stream": {"format": "adpcm", "firstFrame": 0},
        "spriteStreams": [{"sprite": 4, "placedAt": [3]}, {"sprite": 6, "placedAt": []}],
        "sounds": [{"id": 2}, {"id": 3}, {"id": 8}],
        "soundStarts": [{"frame": 0, "sound": 2}, {"frame": 5, "sound": 2}, {"frame": 6, "sound": 3, "stop": true},
                        {"frame": 7, "sound": 9}, {"frame": 8, "sound": 8, "sprite": 4}]})");
    QStringList lines;
    for (const SoundExport &e :
         SoundExports(r, QStringLiteral("/m/a b.swf"), QStringLiteral("/w"), QStringLiteral("swf1")))
        lines << e.arguments.join(QLatin1Char('|'));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("--stream|0|/m/a b.swf|-o|/w/swf1_stream.flv"),
                                  QStringLiteral("--stream|4|/m/a b.swf|-o|/w/swf1_sprite4.flv"),
                                  QStringLiteral("-s|2|/m/a b.swf|-o|/w/swf1_sound2.flv"),
                                  QStringLiteral("-s|8|/m/a b.swf|-o|/w/swf1_sound8.flv")}));
}

TEST(SoundExports, OnlyAMainMp3StreamFromTheFirstFrameIsCopied)
{
    EXPECT_TRUE(IsPlainMp3Stream(Report(R"({"stream": {"format": "mp3", "firstFrame": 0},
                                            "spriteStreams": [{"sprite": 4, "placedAt": []}],
                                            "sounds": [{"id": 1}], "soundStarts": [{"frame": 2, "sound": 1, "stop": true},
                                                                                   {"frame": 2, "sound": 5}]})")));
    EXPECT_FALSE(IsPlainMp3Stream(Report(R"({"stream": {"format": "mp3", "firstFrame": 48}})")));
    EXPECT_FALSE(IsPlainMp3Stream(Report(R"({"stream": {"format": "adpcm", "firstFrame": 0}})")));
    EXPECT_FALSE(IsPlainMp3Stream(Report(R"({"stream": {"format": "mp3", "firstFrame": 0},
                                             "sounds": [{"id": 1}], "soundStarts": [{"frame": 9, "sound": 1}]})")));
    EXPECT_FALSE(IsPlainMp3Stream(Report(R"({"stream": {"format": "mp3", "firstFrame": 0},
                                             "spriteStreams": [{"sprite": 4, "placedAt": [1]}]})")));
    EXPECT_FALSE(IsPlainMp3Stream(Report(R"({"sounds": [{"id": 1}]})")));
}

TEST_F(SoundtrackTest, EveryFlvFormatDecodesAndBrokenFilesAreNamed)
{
    const struct
    {
        const char *codec;
        int rate;
    } formats[] = {{"adpcm_swf", 22050}, {"nellymoser", 22050}, {"pcm_s16le", 11025}, {"libmp3lame", 22050}};
    for (const auto &f : formats) {
        SCOPED_TRACE(f.codec);
        const QString path = work.file(QLatin1String(f.codec) + QStringLiteral(".flv"));
        MakeFlv(path, Tone(440, 1), QLatin1String(f.codec), f.rate);
        const SoundCheck check = CheckSound(path);
        EXPECT_TRUE(check.decodes) << check.reason.toStdString();
        // Codecs pad their last block; never shorter, at most a block longer.
        EXPECT_GE(check.seconds, 0.95);
        EXPECT_LE(check.seconds, 1.2);
        EXPECT_EQ(check.rate, f.rate);
    }

    QFile good(work.file(QStringLiteral("adpcm_swf.flv")));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QString cut = work.write(QStringLiteral("cut.flv"), good.read(13));
    const QString text = work.write(QStringLiteral("text.flv"), "not a sound at all");
    for (const QString &path : {cut, text, work.file(QStringLiteral("missing.flv"))}) {
        SCOPED_TRACE(path.toStdString());
        const SoundCheck check = CheckSound(path);
        EXPECT_FALSE(check.decodes);
        EXPECT_FALSE(check.reason.isEmpty());
    }
    // A video without sound has nothing to play.
    const QString video = work.file(QStringLiteral("video.flv"));
    ASSERT_TRUE(RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc=size=32x32:rate=5:duration=1"), QStringLiteral("-f"),
                           QStringLiteral("flv"), video}));
    EXPECT_FALSE(CheckSound(video).decodes);
}

// Sound 1 (0.5 s, ADPCM) at frame 0 looped twice, restarted with noMultiple
// at frame 12 while it still plays; sound 2 (1 s, Nellymoser) at frame 36
// looped twice but stopped at frame 72; sound 4 (0.5 s, PCM) at frame 96 from
// its in point; sound 3 does not decode and sound 9 does not exist.
TEST_F(SoundtrackTest, EventSoundsArePlacedRepeatedAndStopped)
{
    const TimelineReport report = Report(R"({"frameRate": 24, "frameCount": 48,
        "sounds": [{"id": 1, "format": "adpcm", "rate": 22050, "samples": 11025},
                   {"id": 2, "format": "nellymoser", "rate": 22050, "samples": 22050},
                   {"id": 3, "format": "mp3", "rate": 22050, "samples": 22050},
                   {"id": 4, "format": "pcm-le", "rate": 11025, "samples": 11025}],
        "soundStarts": [{"frame": 0, "sound": 1, "loops": 2},
                        {"frame": 12, "sound": 1, "noMultiple": true},
                        {"frame": 36, "sound": 2, "loops": 2},
                        {"frame": 40, "sound": 3},
                        {"frame": 50, "sound": 9},
                        {"frame": 72, "sound": 2, "stop": true},
                        {"frame": 96, "sound": 4, "inPoint": 5512}]})");
    const QList<SoundSource> sources = Export(report, [&](const SoundSource &s) {
        switch (s.id) {
        case 1: MakeFlv(s.path, Tone(440, 0.5), QStringLiteral("adpcm_swf"), 22050); break;
        case 2: MakeFlv(s.path, Tone(660, 1), QStringLiteral("nellymoser"), 22050); break;
        case 3: work.write(QStringLiteral("movie_sound3.flv"), "FLV damaged"); break;
        case 4: MakeFlv(s.path, Tone(550, 1), QStringLiteral("pcm_s16le"), 11025); break;
        }
    });
    ASSERT_EQ(sources.size(), 4);

    const SoundtrackPlan plan = PlanSoundtrack(report, sources);
    ASSERT_EQ(plan.leftOut.size(), 2);
    EXPECT_TRUE(plan.leftOut[0].startsWith(QStringLiteral("sound 3 (")));
    EXPECT_EQ(plan.leftOut[1], QStringLiteral("sound 9 (not defined in the movie)"));
    ASSERT_EQ(plan.plays.size(), 3);
    // Sound 4 from its in point plays 1 s - 0.5 s: the last sound ends at 4.5 s.
    EXPECT_NEAR(plan.end, 4.5, 0.01);

    const QString track = work.file(QStringLiteral("movie.flac"));
    ASSERT_TRUE(WriteSoundtrack(Ffmpeg(), plan, 5.5, track));
    EXPECT_FALSE(QFile::exists(track + QStringLiteral(".graph")));
    const MediaProbe probe = ProbeMedia(track);
    EXPECT_EQ(probe.audioCodec, QStringLiteral("flac")) << "lossless: the encoder makes the AAC";
    EXPECT_NEAR(probe.duration, 5.5, 0.05);

    const struct
    {
        double from, to;
        bool loud;
    } windows[] = {
        {0.05, 0.45, true}, // sound 1, first play
        {0.55, 0.95, true}, // its second loop
        {1.05, 1.45, false}, // not restarted at 0.5 s (noMultiple)
        {1.55, 2.95, true}, // sound 2 and its loop
        {3.05, 3.95, false}, // stopped at 3 s
        {4.05, 4.45, true}, // sound 4
        {4.55, 5.45, false},
    };
    for (const auto &w : windows) {
        SCOPED_TRACE(testing::Message() << w.from << ".." << w.to);
        const double level = MeanLevel(track, w.from, w.to);
        if (w.loud)
            EXPECT_GT(level, kLoud);
        else
            EXPECT_LT(level, kSilent);
    }
    // Each sound keeps its own level: a 1/8 sine reads about -21 dB, and a
    // mixer dividing by the inputs would bring it near -30.
    EXPECT_NEAR(MeanLevel(track, 0.05, 0.45), -21, 2.5);

    // The video's end cuts sound 2's loops short.
    const QString shortTrack = work.file(QStringLiteral("short.flac"));
    ASSERT_TRUE(WriteSoundtrack(Ffmpeg(), plan, 2.0, shortTrack));
    EXPECT_NEAR(ProbeMedia(shortTrack).duration, 2.0, 0.05);
    EXPECT_GT(MeanLevel(shortTrack, 1.55, 1.95), kLoud);
}

TEST_F(SoundtrackTest, LoudSoundsTogetherDoNotClip)
{
    const TimelineReport report = Report(R"({"frameRate": 12, "frameCount": 12,
        "sounds": [{"id": 1, "rate": 44100}, {"id": 2, "rate": 44100}],
        "soundStarts": [{"frame": 0, "sound": 1}, {"frame": 0, "sound": 2}]})");
    const QList<SoundSource> sources = Export(report, [&](const SoundSource &s) {
        MakeFlv(s.path, QStringLiteral("aevalsrc=0.9*sin(2*PI*440*t):s=44100:d=1"), QStringLiteral("pcm_s16le"), 44100);
    });
    const SoundtrackPlan plan = PlanSoundtrack(report, sources);
    ASSERT_EQ(plan.plays.size(), 2);
    const QString track = work.file(QStringLiteral("loud.flac"));
    RecordingBar bar;
    ASSERT_TRUE(WriteSoundtrack(Ffmpeg(), plan, 1.0, track, &bar, SoundtrackCaption(QStringLiteral("loud.swf"))));
    ASSERT_FALSE(bar.captions.isEmpty());
    EXPECT_EQ(bar.captions.first(), QStringLiteral("Processing: loud.swf sound"));
    // The sum would peak near +5 dB; the limiter holds it at full scale,
    // and the mix stays louder than either sound alone (-4 dB).
    EXPECT_LT(PeakLevel(track), 0.6);
    EXPECT_GT(MeanLevel(track, 0.1, 0.9), -4.5);
}

TEST_F(SoundtrackTest, StreamsStartAtTheirFirstBlockAndSpritesAtTheirPlacement)
{
    // Main stream: MP3 from frame 48 of 24 fps, stamped from 2 s as the
    // extractor stamps blocks. Sprite stream: from its frame 12, the sprite
    // placed at frame 96, so it starts at 4.5 s. The MP3 encoder's delay is
    // given as the stream's latency, as authoring tools write it.
    const TimelineReport report = Report(R"({"frameRate": 24, "frameCount": 48,
        "stream": {"format": "mp3", "rate": 22050, "firstFrame": 48, "lastFrame": 71, "latencySeek": 1105},
        "spriteStreams": [{"sprite": 7, "format": "adpcm", "firstFrame": 12, "placedAt": [96]}]})");
    EXPECT_FALSE(IsPlainMp3Stream(report));
    const QList<SoundSource> sources = Export(report, [&](const SoundSource &s) {
        if (s.kind == SoundSource::Kind::MainStream)
            MakeFlv(s.path, Tone(440, 1), QStringLiteral("libmp3lame"), 22050, 2.0);
        else
            MakeFlv(s.path, Tone(880, 0.5), QStringLiteral("adpcm_swf"), 22050, 0.5);
    });
    const SoundtrackPlan plan = PlanSoundtrack(report, sources);
    ASSERT_EQ(plan.plays.size(), 2);
    EXPECT_TRUE(plan.leftOut.isEmpty());
    // The sprite's 0.5 s (plus ADPCM's padding) from 4.5 s; a file's own
    // start stamp is not counted as sound.
    EXPECT_NEAR(plan.end, 5.05, 0.1);

    const QString track = work.file(QStringLiteral("stream.flac"));
    ASSERT_TRUE(WriteSoundtrack(Ffmpeg(), plan, 6.0, track));
    EXPECT_NEAR(FirstSilenceEnd(track), 2.0, 1.0 / 24);
    EXPECT_GT(MeanLevel(track, 2.1, 2.9), kLoud);
    EXPECT_LT(MeanLevel(track, 3.2, 4.4), kSilent);
    EXPECT_GT(MeanLevel(track, 4.6, 4.9), kLoud);
}

TEST_F(SoundtrackTest, StartsBeyondThePlayCapAreLeftOutAndTheRestStillMix)
{
    // A click started every frame for 600 frames: more than the mixer takes.
    QJsonArray starts;
    for (int frame = 0; frame < 600; ++frame)
        starts.append(QJsonObject{{QStringLiteral("frame"), frame}, {QStringLiteral("sound"), 1}});
    const QJsonObject root{{QStringLiteral("frameRate"), 24},
                           {QStringLiteral("frameCount"), 600},
                           {QStringLiteral("sounds"), QJsonArray{QJsonObject{{QStringLiteral("id"), 1}}}},
                           {QStringLiteral("soundStarts"), starts}};
    const TimelineReport report = Report(QJsonDocument(root).toJson().constData());
    const QList<SoundSource> sources = Export(
        report, [&](const SoundSource &s) { MakeFlv(s.path, Tone(440, 0.02), QStringLiteral("pcm_s16le"), 44100); });
    const SoundtrackPlan plan = PlanSoundtrack(report, sources);
    EXPECT_EQ(plan.plays.size(), kMaxSoundPlays);
    EXPECT_EQ(plan.notes.size(), 1);
    const QString track = work.file(QStringLiteral("clicks.flac"));
    ASSERT_TRUE(WriteSoundtrack(Ffmpeg(), plan, 25.0, track));
    // Hundreds of clicks laid one after another stay on the frame clock.
    EXPECT_NEAR(LastSilenceStart(track), double(kMaxSoundPlays - 1) / 24 + 0.02, 0.01);
    const double lastHeard = double(kMaxSoundPlays) / 24;
    EXPECT_GT(MeanLevel(track, lastHeard - 0.5, lastHeard - 0.1), kLoud);
    EXPECT_LT(MeanLevel(track, lastHeard + 0.2, 24.9), kSilent);
}

TEST_F(SoundtrackTest, Mp3EventSoundSkipsItsEncoderDelay)
{
    // The MP3 encoder puts 1105 samples of delay before the tone; the
    // sound's SeekSamples says so, and the tone starts on its frame.
    const TimelineReport report = Report(R"({"frameRate": 24, "frameCount": 48,
        "sounds": [{"id": 1, "format": "mp3", "rate": 22050, "samples": 22050, "seekSamples": 1105}],
        "soundStarts": [{"frame": 12, "sound": 1}]})");
    const QList<SoundSource> sources = Export(
        report, [&](const SoundSource &s) { MakeFlv(s.path, Tone(440, 1), QStringLiteral("libmp3lame"), 22050); });
    const SoundtrackPlan plan = PlanSoundtrack(report, sources);
    ASSERT_EQ(plan.plays.size(), 1);
    EXPECT_NEAR(plan.end, 1.5, 0.01);
    const QString track = work.file(QStringLiteral("mp3.flac"));
    ASSERT_TRUE(WriteSoundtrack(Ffmpeg(), plan, 2.0, track));
    EXPECT_NEAR(FirstSilenceEnd(track), 0.5, 0.015);
    EXPECT_NEAR(LastSilenceStart(track), 1.5, 0.015);

    // A video that ends before the sound starts still gets its silent track.
    const QString early = work.file(QStringLiteral("early.flac"));
    ASSERT_TRUE(WriteSoundtrack(Ffmpeg(), plan, 0.4, early));
    EXPECT_NEAR(ProbeMedia(early).duration, 0.4, 0.05);
    EXPECT_LT(MeanLevel(early, 0, 0.4), kSilent);
}

TEST_F(SoundtrackTest, GapsInAStreamStaySilent)
{
    // Blocks for 0-0.5 s, none for a second, then blocks again.
    const TimelineReport report = Report(R"({"frameRate": 24, "frameCount": 60,
        "stream": {"format": "adpcm", "rate": 22050, "firstFrame": 0, "lastFrame": 47}})");
    const QList<SoundSource> sources = Export(report, [&](const SoundSource &s) {
        MakeFlv(s.path, Tone(440, 1) + QStringLiteral(",asetpts=PTS+gte(T\\,0.5)/TB"), QStringLiteral("adpcm_swf"),
                22050);
    });
    const SoundtrackPlan plan = PlanSoundtrack(report, sources);
    ASSERT_EQ(plan.plays.size(), 1);
    EXPECT_NEAR(plan.end, 2.0, 0.2); // ADPCM pads its last block of 4096 samples
    const QString track = work.file(QStringLiteral("gap.flac"));
    ASSERT_TRUE(WriteSoundtrack(Ffmpeg(), plan, 2.5, track));
    EXPECT_GT(MeanLevel(track, 0.05, 0.35), kLoud);
    EXPECT_LT(MeanLevel(track, 0.7, 1.4), kSilent);
    EXPECT_GT(MeanLevel(track, 1.6, 1.9), kLoud);
    EXPECT_LT(MeanLevel(track, 2.15, 2.45), kSilent);
}

TEST_F(SoundtrackTest, CombinedSoundtracksPlayDuringTheirOwnMoviesOnly)
{
    // Movie A (0-3 s) has a 10 s low tone, cut to its span; movie B (3-4 s)
    // is silent; movie C (4-8 s) has a 2 s high tone, padded with silence.
    const QString low = work.file(QStringLiteral("a.mp3"));
    const QString high = work.file(QStringLiteral("c.m4a"));
    ASSERT_TRUE(RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), Tone(300, 10), low}));
    ASSERT_TRUE(RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), Tone(3000, 2),
                           QStringLiteral("-c:a"), QStringLiteral("aac"), high}));
    const QString graph = work.file(QStringLiteral("all.graph"));
    const auto feed = CombinedSoundtrackFeed(Ffmpeg(), {{low, 0, 3}, {QString(), 3, 4}, {high, 4, 8}}, graph);
    ASSERT_TRUE(feed);
    const QString track = work.file(QStringLiteral("all.nut"));
    ASSERT_TRUE(RunFeed(*feed, track));
    EXPECT_NEAR(ProbeMedia(track).duration, 8.0, 0.05);

    const QString lowBand = QStringLiteral("bandpass=f=300:width_type=q:w=8,bandpass=f=300:width_type=q:w=8");
    const QString highBand = QStringLiteral("bandpass=f=3000:width_type=q:w=8,bandpass=f=3000:width_type=q:w=8");
    EXPECT_GT(MeanLevel(track, 0.2, 2.8, lowBand), kLoud);
    EXPECT_LT(MeanLevel(track, 0.2, 2.8, highBand), kSilent);
    EXPECT_LT(MeanLevel(track, 3.2, 3.8), kSilent);
    EXPECT_GT(MeanLevel(track, 4.2, 5.8, highBand), kLoud);
    EXPECT_LT(MeanLevel(track, 4.2, 5.8, lowBand), kSilent);
    EXPECT_LT(MeanLevel(track, 6.2, 7.8), kSilent);

    EXPECT_FALSE(CombinedSoundtrackFeed(Ffmpeg(), {{low, 2, 2}}, work.file(QStringLiteral("none.graph"))));
    EXPECT_FALSE(CombinedSoundtrackFeed(Ffmpeg(), {{low, 0, 3}}, work.file(QStringLiteral("no/such/folder.graph"))));
}

// A soundtrack is stereo when one of its sounds is, and then a mono sound
// plays on both sides at its full level; mono sounds alone stay mono, which
// costs the AAC encoder less than half as much.
TEST_F(SoundtrackTest, MonoSoundsPlayOnBothSidesOfAStereoSoundtrack)
{
    // One movie: a mono stream from the start, a stereo event sound at 1 s.
    const TimelineReport report = Report(R"({"frameRate": 12, "frameCount": 36,
        "stream": {"format": "adpcm", "rate": 22050, "firstFrame": 0, "lastFrame": 11},
        "sounds": [{"id": 1, "format": "adpcm", "rate": 22050, "channels": 2}],
        "soundStarts": [{"frame": 18, "sound": 1}]})");
    const QList<SoundSource> sources = Export(report, [&](const SoundSource &s) {
        const bool stereo = s.kind == SoundSource::Kind::Event;
        MakeFlv(s.path, Tone(440, 1), QStringLiteral("adpcm_swf"), 22050, 0, stereo ? 2 : 1);
    });
    const SoundtrackPlan plan = PlanSoundtrack(report, sources);
    ASSERT_EQ(plan.plays.size(), 2);
    EXPECT_TRUE(plan.stereo);
    const QString movie = work.file(QStringLiteral("movie.flac"));
    ASSERT_TRUE(WriteSoundtrack(Ffmpeg(), plan, 3.0, movie));
    EXPECT_EQ(ProbeMedia(movie).audioChannels, 2);
    for (const char *side : {"pan=mono|c0=c0", "pan=mono|c0=c1"}) {
        const double mono = MeanLevel(movie, 0.1, 0.8, QLatin1String(side));
        const double stereo = MeanLevel(movie, 1.6, 2.3, QLatin1String(side));
        EXPECT_GT(mono, kLoud) << side;
        EXPECT_NEAR(mono, stereo, 1.0) << side;
    }

    // Movies one after another: a mono MP3, then a stereo one.
    const QString mono = work.file(QStringLiteral("mono.mp3"));
    const QString stereo = work.file(QStringLiteral("stereo.mp3"));
    ASSERT_TRUE(RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), Tone(440, 2),
                           QStringLiteral("-ac"), QStringLiteral("1"), mono}));
    ASSERT_TRUE(RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), Tone(440, 2),
                           QStringLiteral("-ac"), QStringLiteral("2"), stereo}));
    const SoundCheck monoCheck = CheckSound(mono);
    const SoundCheck stereoCheck = CheckSound(stereo);
    EXPECT_EQ(monoCheck.channels, 1);
    EXPECT_EQ(stereoCheck.channels, 2);
    const auto mixed = [&](const QList<MovieSoundSpan> &spans, const QString &name) {
        const auto feed = CombinedSoundtrackFeed(Ffmpeg(), spans, work.file(name + QStringLiteral(".graph")));
        const QString track = work.file(name + QStringLiteral(".nut"));
        EXPECT_TRUE(feed && RunFeed(*feed, track));
        return track;
    };
    const QString both = mixed({{mono, 0, 2, 44100, monoCheck.channels}, {stereo, 2, 4, 44100, stereoCheck.channels}},
                               QStringLiteral("both"));
    EXPECT_EQ(ProbeMedia(both).audioChannels, 2);
    for (const char *side : {"pan=mono|c0=c0", "pan=mono|c0=c1"})
        EXPECT_NEAR(MeanLevel(both, 0.3, 1.7, QLatin1String(side)), MeanLevel(both, 2.3, 3.7, QLatin1String(side)), 1.0)
            << side;
    const QString monos = mixed({{mono, 0, 2, 44100, 1}, {QString(), 2, 3, 0, 0}, {mono, 3, 5, 44100, 1}},
                                QStringLiteral("monos"));
    EXPECT_EQ(ProbeMedia(monos).audioChannels, 1);
    EXPECT_NEAR(ProbeMedia(monos).duration, 5.0, 0.05);
}

TEST(CombinedSoundtrackRate, TheHighestOfTheSoundsUpToTheSoundtracksOwn)
{
    const MovieSoundSpan low{QStringLiteral("a.mp3"), 0, 1, 11025};
    const MovieSoundSpan mid{QStringLiteral("b.mp3"), 1, 2, 22050};
    const MovieSoundSpan silent{QString(), 2, 3, 0};
    EXPECT_EQ(CombinedSoundtrackRate({low, silent, mid}), 22050);
    EXPECT_EQ(CombinedSoundtrackRate({low}), 11025);
    EXPECT_EQ(CombinedSoundtrackRate({low, {QStringLiteral("c.flac"), 3, 4, 0}}), kSoundtrackRate)
        << "a sound of unknown rate keeps the full rate";
    EXPECT_EQ(CombinedSoundtrackRate({{QStringLiteral("d.mp3"), 0, 1, 48000}}), kSoundtrackRate);
    EXPECT_EQ(CombinedSoundtrackRate({silent}), kSoundtrackRate);
    EXPECT_TRUE(CombinedSoundtrackGraph({low, silent, mid}).contains(QStringLiteral("anullsrc=r=22050")));
}

TEST_F(SoundtrackTest, TimedPicturesChangeOnTheMovieFrameClock)
{
    struct Case
    {
        const char *report;
        QList<double> changes; // picture changes, the last being the repeated end
    };
    const Case cases[] = {
        {R"({"frameRate": 24, "frameCount": 120, "pictures": [
              {"id": 1, "firstFrame": 0}, {"id": 2, "firstFrame": 24}, {"id": 3, "firstFrame": 72}]})",
         {0, 1, 3, 5}},
        // Background first; two pictures share the frame-30 interval.
        {R"({"frameRate": 24, "frameCount": 72, "pictures": [
              {"id": 1, "firstFrame": 6}, {"id": 3, "firstFrame": 30}, {"id": 2, "firstFrame": 30},
              {"id": 4, "firstFrame": 60}]})",
         {0, 0.25, 1.25, 1.875, 2.5, 3.0}},
    };
    QStringList colours{QStringLiteral("black"), QStringLiteral("red"), QStringLiteral("green"), QStringLiteral("blue"),
                        QStringLiteral("white")};
    for (int i = 0; i < colours.size(); ++i) {
        ASSERT_TRUE(RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                               QStringLiteral("color=c=%1:s=64x48").arg(colours[i]), QStringLiteral("-frames:v"),
                               QStringLiteral("1"), work.file(QStringLiteral("p%1.jpg").arg(i))}));
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.report);
        const MovieTiming timing = PlanMovieTiming(Report(c.report), 0, 3);
        QList<ConcatEntry> entries;
        for (const TimedFrame &f : timing.frames)
            entries << ConcatEntry{work.file(QStringLiteral("p%1.jpg").arg(f.picture ? f.picture->id : 0)), f.start,
                                   f.end};
        const QString list = work.write(QStringLiteral("list.txt"), ConcatList(entries).toUtf8());
        const QString video = work.file(QStringLiteral("timed.mp4"));
        ASSERT_TRUE(RunFfmpeg(ConcatInputArguments(list)
                              + QStringList{QStringLiteral("-c:v"), QStringLiteral("libx264"),
                                            QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")}
                              + VariableFrameArguments() + QStringList{video}));

        QProcess ffprobe;
        ffprobe.start(QStringLiteral("ffprobe"),
                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                       QStringLiteral("frame=pts_time"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), video});
        ASSERT_TRUE(ffprobe.waitForFinished(60000));
        const QStringList times =
            QString::fromLatin1(ffprobe.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_EQ(times.size(), c.changes.size());
        for (qsizetype i = 0; i < times.size(); ++i)
            EXPECT_NEAR(times[i].trimmed().toDouble(), c.changes[i], 1.0 / 24) << i;
        EXPECT_NEAR(ProbeMedia(video).duration, c.changes.last(), 1.0 / 24);
    }
}
