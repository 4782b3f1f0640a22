// FLV exports of event sounds, stream sounds and embedded video, checked
// with ffprobe and ffmpeg; the payloads come from FFmpeg's own encoders.
#include "SwfTestKit.h"

#include "MediaProbe.h"
#include "TempFolder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cmath>

using namespace SwfTestKit;
using SwfBuild::BuildSwf;
using SwfBuild::Tags;

namespace {

struct Stream
{
    QString codec;
    int rate = 0;
    int channels = 0;
    int width = 0;
    int height = 0;
    int frames = 0;
};

Stream Probe(const QString &path)
{
    const ProgramRun run = RunProgram(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("flv"),
         QStringLiteral("-count_frames"), QStringLiteral("-show_entries"),
         QStringLiteral("stream=codec_name,sample_rate,channels,width,height,nb_read_frames"), QStringLiteral("-of"),
         QStringLiteral("default=noprint_wrappers=1"), path});
    Stream stream;
    for (const QString &line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const QString value = line.section(QLatin1Char('='), 1);
        if (key == QLatin1String("codec_name"))
            stream.codec = value;
        else if (key == QLatin1String("sample_rate"))
            stream.rate = value.toInt();
        else if (key == QLatin1String("channels"))
            stream.channels = value.toInt();
        else if (key == QLatin1String("width"))
            stream.width = value.toInt();
        else if (key == QLatin1String("height"))
            stream.height = value.toInt();
        else if (key == QLatin1String("nb_read_frames"))
            stream.frames = value.toInt();
    }
    return stream;
}

QStringList Sine(int rate, int channels, double seconds, const char *codec)
{
    return {
        QStringLiteral("-f"),   QStringLiteral("lavfi"),
        QStringLiteral("-i"),   QStringLiteral("sine=frequency=440:sample_rate=%1:duration=%2").arg(rate).arg(seconds),
        QStringLiteral("-ac"),  QString::number(channels),
        QStringLiteral("-c:a"), QString::fromLatin1(codec)};
}

struct Codec
{
    const char *encoder;
    const char *decoder;
    int rate;
    int channels;
};

// FFmpeg's encoders that FLV (and so SWF) can hold.
const Codec kCodecs[] = {
    {"adpcm_swf", "adpcm_swf", 22050, 1}, {"nellymoser", "nellymoser", 22050, 1}, {"pcm_s16le", "pcm_s16le", 44100, 2},
    {"pcm_u8", "pcm_u8", 11025, 1},       {"libmp3lame", "mp3", 22050, 2},
};

constexpr int kFps = 15;

} // namespace

TEST(EventSoundFlv, EveryFfmpegCodecComesOutDecodable)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed";
    for (const Codec &codec : kCodecs) {
        SCOPED_TRACE(codec.encoder);
        TempFolder tmp;
        const QString source = tmp.file(QStringLiteral("source.flv"));
        const std::vector<FlvTag> tags = EncodeFlv(source, Sine(codec.rate, codec.channels, 1.0, codec.encoder));
        ASSERT_FALSE(tags.empty());
        const std::uint8_t format = tags.front().data.at(0);
        // An ADPCM packet is a whole stream of its own: one is a sound.
        const bool adpcm = format >> 4 == 1;
        Bytes data = adpcm ? Bytes(tags.front().data.begin() + 1, tags.front().data.end()) : JoinPayloads(tags, 8);
        // FFmpeg's ADPCM packets hold 4096 samples each.
        const std::int64_t samples = adpcm ? 4096 : DecodedSamples(source);
        ASSERT_GT(samples, 0);
        if (format >> 4 == 2)
            data.insert(data.begin(), {0, 0}); // SeekSamples
        const QString swf = tmp.write(
            QStringLiteral("s.swf"),
            ToQt(BuildSwf(Tags().defineSound(7, format, std::uint32_t(samples), data).showFrame().end())));

        const QString out = tmp.file(QStringLiteral("sound_%d.FLV"));
        const ProgramRun run = RunExtractor(
            {QStringLiteral("-s"), QStringLiteral("7"), swf, QStringLiteral("-o"), out});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QString written = tmp.file(QStringLiteral("sound_7.FLV"));
        const Stream stream = Probe(written);
        EXPECT_EQ(stream.codec, QString::fromLatin1(codec.decoder));
        EXPECT_EQ(stream.rate, codec.rate);
        EXPECT_EQ(stream.channels, codec.channels);
        // Within one movie frame of SampleCount / rate.
        EXPECT_NEAR(double(DecodedSamples(written)) / codec.rate, double(samples) / codec.rate, 1.0 / kFps);
    }
}

TEST(EventSoundFlv, LargeSoundsAreSplitAndUnknownIdsFail)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed";
    TempFolder tmp;
    // 20 MiB of PCM does not fit one FLV tag: split on whole sample frames.
    const std::uint32_t frames = 5u << 20;
    Bytes pcm(std::size_t(frames) * 4);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = std::uint8_t(i * 7);
    const QString swf = tmp.write(QStringLiteral("big.swf"),
                                  ToQt(BuildSwf(Tags().defineSound(2, 0x3F, frames, pcm).showFrame().end())));
    const QString out = tmp.file(QStringLiteral("big.flv"));
    const ProgramRun run = RunExtractor({QStringLiteral("-s"), QStringLiteral("2"), swf, QStringLiteral("-o"), out});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::vector<FlvTag> tags = ReadFlvTags(ReadFile(out));
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ((tags[0].data.size() - 1) % 4, 0u);
    EXPECT_EQ(JoinPayloads(tags, 8), pcm);
    EXPECT_EQ(DecodedSamples(out), std::int64_t(frames));

    const ProgramRun missing = RunExtractor(
        {QStringLiteral("-s"), QStringLiteral("3"), swf, QStringLiteral("-o"), out});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("ID 3"))) << missing.err.toStdString();
}

namespace {

// A movie at kFps whose timeline (main, or sprite 9 placed at `placedAt`)
// carries FFmpeg's packets as stream blocks, one per frame, skipping
// `gapFrame`. Returns the frames that got a block.
std::vector<std::uint32_t> StreamMovie(const std::vector<FlvTag> &packets, bool inSprite, std::uint32_t gapFrame,
                                       Tags &tags, std::uint32_t placedAt = 2)
{
    const std::uint8_t format = packets.front().data.at(0);
    const bool mp3 = format >> 4 == 2;
    Tags timeline;
    timeline.soundStreamHead2(format, 1152);
    std::vector<std::uint32_t> frames;
    std::uint32_t frame = 0;
    for (const FlvTag &packet : packets) {
        if (frame == gapFrame) {
            timeline.showFrame();
            ++frame;
        }
        const Bytes data(packet.data.begin() + 1, packet.data.end());
        if (mp3)
            timeline.soundStreamBlock(1152, 0, data);
        else
            timeline.soundStreamData(data);
        timeline.showFrame();
        frames.push_back(frame++);
    }
    timeline.end();
    if (!inSprite) {
        tags = timeline;
        return frames;
    }
    tags.defineSprite(9, std::uint16_t(frame), timeline);
    for (std::uint32_t i = 0; i < placedAt; ++i)
        tags.showFrame();
    tags.placeObject2(1, 9).showFrame().end();
    return frames;
}

} // namespace

TEST(StreamFlv, BlocksKeepTheFrameClockOnTheMainTimelineAndInSprites)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed";
    for (const Codec &codec : kCodecs) {
        for (const bool inSprite : {false, true}) {
            SCOPED_TRACE(std::string(codec.encoder) + (inSprite ? " in a sprite" : " on the main timeline"));
            TempFolder tmp;
            const QString source = tmp.file(QStringLiteral("source.flv"));
            const std::vector<FlvTag> packets = EncodeFlv(source, Sine(codec.rate, codec.channels, 1.5, codec.encoder));
            ASSERT_GT(packets.size(), 5u);
            const std::int64_t samples = DecodedSamples(source);
            Tags tags;
            const std::vector<std::uint32_t> frames = StreamMovie(packets, inSprite, 3, tags);
            SwfBuild::MovieOptions options;
            options.frameRate = kFps << 8;
            const QString swf = tmp.write(QStringLiteral("m.swf"),
                                          ToQt(BuildSwf(tags, SwfBuild::Container::Fws, options)));
            const QString out = tmp.file(QStringLiteral("stream.flv"));
            const ProgramRun run = RunExtractor({QStringLiteral("--stream"),
                                                 inSprite ? QStringLiteral("9") : QStringLiteral("0"), swf,
                                                 QStringLiteral("-o"), out});
            ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

            const std::vector<FlvTag> written = ReadFlvTags(ReadFile(out));
            ASSERT_EQ(written.size(), packets.size());
            for (std::size_t i = 0; i < written.size(); ++i) {
                // Rounded per block: frame 10 at 15 fps is 667 ms, not 660.
                EXPECT_EQ(written[i].ms, std::lround(frames[i] * 1000.0 / kFps)) << i;
                EXPECT_EQ(written[i].data, packets[i].data) << i;
            }
            const Stream stream = Probe(out);
            EXPECT_EQ(stream.codec, QString::fromLatin1(codec.decoder));
            EXPECT_EQ(stream.rate, codec.rate);
            EXPECT_EQ(stream.channels, codec.channels);
            EXPECT_NEAR(double(DecodedSamples(out)) / codec.rate, double(samples) / codec.rate, 1.0 / kFps);
            if (codec.decoder != std::string("mp3")) {
                // ffprobe sees the gap: the block after it starts a frame late.
                const std::vector<std::int64_t> times = PacketTimes(out, "audio");
                ASSERT_GT(times.size(), 3u);
                EXPECT_NEAR(double(times[3]), 4000.0 / kFps, 1.0);
            }
        }
    }
}

TEST(StreamFlv, MissingStreamsAndWrongCommandLinesAreRefused)
{
    TempFolder tmp;
    const QString swf = tmp.write(QStringLiteral("none.swf"),
                                  ToQt(BuildSwf(Tags().soundStreamHead(0x2E, 1152).showFrame().end())));
    const QString out = tmp.file(QStringLiteral("x.flv"));
    const ProgramRun none = RunExtractor(
        {QStringLiteral("--stream"), QStringLiteral("0"), swf, QStringLiteral("-o"), out});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains(QStringLiteral("no sound stream"))) << none.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
    const ProgramRun sprite = RunExtractor(
        {QStringLiteral("--stream"), QStringLiteral("4"), swf, QStringLiteral("-o"), out});
    EXPECT_EQ(sprite.exitCode, 1);
    EXPECT_TRUE(sprite.err.contains(QStringLiteral("sprite 4"))) << sprite.err.toStdString();

    const QStringList wrong[] = {
        {QStringLiteral("--stream"), QStringLiteral("0"), swf},
        {QStringLiteral("--stream"), QStringLiteral("1-3"), swf, QStringLiteral("-o"), out},
        {QStringLiteral("--video"), swf},
        {QStringLiteral("--timeline"), swf, QStringLiteral("-o"), out},
        {QStringLiteral("--timeline"), QStringLiteral("-m"), swf, QStringLiteral("-o"), out},
        {QStringLiteral("--video"), QStringLiteral("1"), QStringLiteral("--stream"), QStringLiteral("0"), swf,
         QStringLiteral("-o"), out},
    };
    for (const QStringList &arguments : wrong) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        const ProgramRun run = RunExtractor(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("swfextract: "))) << run.err.toStdString();
    }
}

TEST(VideoFlv, Flv1FramesDecodeAtTheirSizeAndTimes)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed";
    TempFolder tmp;
    const QString source = tmp.file(QStringLiteral("v.flv"));
    const std::vector<FlvTag> packets = EncodeFlv(
        source, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("testsrc=size=96x64:rate=10"), QStringLiteral("-frames:v"), QStringLiteral("12"),
                 QStringLiteral("-g"), QStringLiteral("5"), QStringLiteral("-c:v"), QStringLiteral("flv1")});
    ASSERT_EQ(packets.size(), 12u);
    Tags tags;
    tags.defineVideoStream(4, 12, 96, 64, 2).placeObject2(1, 4);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        tags.videoFrame(4, std::uint16_t(i), Bytes(packets[i].data.begin() + 1, packets[i].data.end())).showFrame();
        if (i == 5)
            tags.showFrame(); // a frame without a new picture
    }
    SwfBuild::MovieOptions options;
    options.frameRate = kFps << 8;
    const QString swf = tmp.write(QStringLiteral("v.swf"),
                                  ToQt(BuildSwf(tags.end(), SwfBuild::Container::Cws, options)));
    const QString out = tmp.file(QStringLiteral("out.flv"));
    const ProgramRun run = RunExtractor(
        {QStringLiteral("--video"), QStringLiteral("4"), swf, QStringLiteral("-o"), out});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const Stream stream = Probe(out);
    EXPECT_EQ(stream.codec, QStringLiteral("flv1"));
    EXPECT_EQ(stream.width, 96);
    EXPECT_EQ(stream.height, 64);
    EXPECT_EQ(stream.frames, 12);
    const std::vector<FlvTag> written = ReadFlvTags(ReadFile(out));
    ASSERT_EQ(written.size(), 12u);
    for (std::size_t i = 0; i < written.size(); ++i) {
        SCOPED_TRACE(i);
        // FFmpeg's own key-frame flags, found again from the H.263 picture type.
        EXPECT_EQ(written[i].data[0], packets[i].data[0]);
        const std::uint32_t frame = std::uint32_t(i < 6 ? i : i + 1);
        EXPECT_EQ(written[i].ms, std::uint32_t(std::lround(frame * 1000.0 / kFps)));
    }
}

TEST(VideoFlv, FfmpegSwfVideoAndRefusals)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed";
    TempFolder tmp;
    const QString swf = tmp.file(QStringLiteral("video.swf"));
    ASSERT_TRUE(RunFfmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                           QStringLiteral("testsrc=size=80x48:rate=4"), QStringLiteral("-frames:v"),
                           QStringLiteral("6"), QStringLiteral("-f"), QStringLiteral("swf"), swf}));
    const ProgramRun report = RunExtractor({QStringLiteral("--timeline"), swf});
    ASSERT_EQ(report.exitCode, 0) << report.err.toStdString();
    EXPECT_TRUE(report.out.contains(
        QStringLiteral(R"("codec": "h263", "width": 80, "height": 48, "frames": 6, "firstFrame": 0, "lastFrame": 5)")))
        << report.out.toStdString();
    const QString out = tmp.file(QStringLiteral("out.flv"));
    const ProgramRun run = RunExtractor(
        {QStringLiteral("--video"), QStringLiteral("0"), swf, QStringLiteral("-o"), out});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const Stream stream = Probe(out);
    EXPECT_EQ(stream.codec, QStringLiteral("flv1"));
    EXPECT_EQ(stream.frames, 6);

    const QString avc = tmp.write(
        QStringLiteral("avc.swf"),
        ToQt(BuildSwf(Tags().defineVideoStream(3, 1, 8, 8, 7).videoFrame(3, 0, {0, 0, 0, 1}).showFrame().end())));
    const ProgramRun refused = RunExtractor(
        {QStringLiteral("--video"), QStringLiteral("3"), avc, QStringLiteral("-o"), out});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("H.264"))) << refused.err.toStdString();
    const ProgramRun unknown = RunExtractor(
        {QStringLiteral("--video"), QStringLiteral("9"), avc, QStringLiteral("-o"), out});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_FALSE(QFile::exists(out));
}

TEST(EventSoundFlv, G711ComesOutAsPcmAtItsOwnRate)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed";
    // FLV readers take G.711 as 8 kHz; SWF G.711 is at 11025 Hz or more.
    struct Case
    {
        const char *format;
        std::uint8_t formatByte;
    };
    for (const Case &c : {Case{"alaw", 0x74}, Case{"mulaw", 0x84}}) {
        SCOPED_TRACE(c.format);
        TempFolder tmp;
        const QString raw = tmp.file(QStringLiteral("g711.raw"));
        ASSERT_TRUE(RunFfmpeg(Sine(11025, 1, 0.5, ("pcm_" + std::string(c.format)).c_str())
                              + QStringList{QStringLiteral("-f"), QString::fromLatin1(c.format), raw}));
        const Bytes data = ReadFile(raw);
        ASSERT_EQ(data.size(), 5513u);
        // FFmpeg's own decoding of the same bytes, to compare with.
        const QString reference = tmp.file(QStringLiteral("reference.pcm"));
        ASSERT_TRUE(RunFfmpeg({QStringLiteral("-f"), QString::fromLatin1(c.format), QStringLiteral("-ar"),
                               QStringLiteral("11025"), QStringLiteral("-ac"), QStringLiteral("1"),
                               QStringLiteral("-i"), raw, QStringLiteral("-f"), QStringLiteral("s16le"), reference}));
        const QString swf = tmp.write(
            QStringLiteral("g.swf"),
            ToQt(BuildSwf(Tags().defineSound(1, c.formatByte, std::uint32_t(data.size()), data).showFrame().end())));
        const QString out = tmp.file(QStringLiteral("g.flv"));
        const ProgramRun run = RunExtractor(
            {QStringLiteral("-s"), QStringLiteral("1"), swf, QStringLiteral("-o"), out});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const Stream stream = Probe(out);
        EXPECT_EQ(stream.codec, QStringLiteral("pcm_s16le"));
        EXPECT_EQ(stream.rate, 11025);
        EXPECT_EQ(stream.channels, 1);
        EXPECT_EQ(JoinPayloads(ReadFlvTags(ReadFile(out)), 8), ReadFile(reference));
    }

    TempFolder tmp;
    const QString out = tmp.file(QStringLiteral("real.flv"));
    const ProgramRun written = RunExtractor(
        {QStringLiteral("-s"), QStringLiteral("1"),
         QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/realswf/ruffle-g711-event-alaw.swf"), QStringLiteral("-o"),
         out});
    ASSERT_EQ(written.exitCode, 0) << written.err.toStdString();
    EXPECT_EQ(Probe(out).rate, 11025);
    EXPECT_EQ(DecodedSamples(out), 800); // the file's SampleCount
}
