#include "SwfTestKit.h"

#include "TempFolder.h"

#include "swfextract/lib/Extraction.h"
#include "swfextract/lib/Sound.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace SwfTestKit;
using SwfBuild::BuildSwf;
using SwfBuild::Tags;
using SwfExtract::Limits;
using SwfExtract::Movie;
using SwfExtract::Result;

namespace {

constexpr std::uint8_t kMp3Stereo44k = 0x2F;

// An MP3 made by FFmpeg: no ID3 or Xing header, so its bytes are frames only.
Bytes MakeMp3(const TempFolder &tmp, const QString &name, int frequency, double seconds)
{
    const QString path = tmp.file(name);
    const ProgramRun run = RunProgram(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("lavfi"),
         QStringLiteral("-i"),
         QStringLiteral("sine=frequency=%1:sample_rate=44100:duration=%2").arg(frequency).arg(seconds),
         QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-ac"), QStringLiteral("2"),
         QStringLiteral("-write_xing"), QStringLiteral("0"), QStringLiteral("-id3v2_version"), QStringLiteral("0"),
         QStringLiteral("-f"), QStringLiteral("mp3"), path});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    return ReadFile(path);
}

Bytes Concatenate(const std::vector<Bytes> &frames, std::size_t first, std::size_t count)
{
    Bytes out;
    for (std::size_t i = first; i < first + count && i < frames.size(); ++i)
        out.insert(out.end(), frames[i].begin(), frames[i].end());
    return out;
}

Bytes WriteStream(const Movie &movie)
{
    SwfExtract::VectorSink sink;
    EXPECT_TRUE(SwfExtract::WriteMp3Stream(movie, sink).ok());
    return sink.bytes;
}

} // namespace

TEST(Mp3Stream, MainTimelineBlocksMakeOnePlayableFile)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    TempFolder tmp;
    const Bytes mp3 = MakeMp3(tmp, QStringLiteral("main.mp3"), 440, 2.0);
    const std::vector<Bytes> frames = SwfBuild::SplitMp3Frames(mp3);
    ASSERT_GT(frames.size(), 60u);
    const std::vector<Bytes> spriteFrames = SwfBuild::SplitMp3Frames(MakeMp3(tmp, QStringLiteral("s.mp3"), 880, 0.5));
    ASSERT_FALSE(spriteFrames.empty());

    // A sprite with a stream of its own comes first: its blocks play on the
    // sprite's clock and must not leak into the soundtrack.
    Tags sprite;
    sprite.soundStreamHead2(kMp3Stereo44k, 1152);
    for (const Bytes &frame : spriteFrames)
        sprite.soundStreamBlock(1152, 0, frame).showFrame();
    sprite.end();

    Tags tags;
    tags.defineSprite(9, std::uint16_t(spriteFrames.size()), sprite);
    tags.soundStreamBlock(1152, 0, spriteFrames[0]); // before any head: not part of the stream
    tags.soundStreamHead(kMp3Stereo44k, 2304, std::nullopt);
    // Frames in blocks of 1 to 3; some SWF frames have a block with no data.
    std::size_t next = 0;
    for (int i = 0; next < frames.size(); ++i) {
        const std::size_t count = std::size_t(i % 3 + 1);
        tags.soundStreamBlock(std::uint16_t(count * 1152), i == 0 ? 0 : 576, Concatenate(frames, next, count));
        if (i % 5 == 4)
            tags.soundStreamBlock(0, 0, {});
        tags.showFrame();
        next += count;
    }
    tags.end();

    const Result<Movie> movie = LoadMovie(BuildSwf(tags, SwfBuild::Container::Cws));
    ASSERT_TRUE(movie.ok());
    const Bytes written = WriteStream(*movie);
    EXPECT_TRUE(written == mp3) << written.size() << " bytes written, " << mp3.size() << " expected";

    QFile out(tmp.file(QStringLiteral("out.mp3")));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(ToQt(written));
    out.close();
    const double expected = MediaDuration(tmp.file(QStringLiteral("main.mp3")));
    EXPECT_NEAR(MediaDuration(out.fileName()), expected, 0.03);
    EXPECT_NEAR(expected, 2.0, 0.1);
}

TEST(Mp3Stream, AudioOnlyMovieFromFfmpegWithALyingFileLength)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    TempFolder tmp;
    const QString swf = tmp.file(QStringLiteral("audio only.swf"));
    const ProgramRun made = RunProgram(QStringLiteral("ffmpeg"),
                                       {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                                        QStringLiteral("lavfi"), QStringLiteral("-i"),
                                        QStringLiteral("sine=sample_rate=22050:duration=2"), QStringLiteral("-c:a"),
                                        QStringLiteral("libmp3lame"), QStringLiteral("-ac"), QStringLiteral("1"),
                                        QStringLiteral("-f"), QStringLiteral("swf"), swf});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();

    const ProgramRun listing = RunExtractor({swf});
    EXPECT_EQ(listing.exitCode, 0) << listing.err.toStdString();
    EXPECT_TRUE(listing.out.contains(QStringLiteral("\n [-m] 1 MP3 Soundstream\n"))) << listing.out.toStdString();

    const QString mp3 = tmp.file(QStringLiteral("a.mp3"));
    const ProgramRun extracted = RunExtractor({QStringLiteral("-m"), swf, QStringLiteral("-o"), mp3});
    EXPECT_EQ(extracted.exitCode, 0) << extracted.err.toStdString();
    EXPECT_NEAR(MediaDuration(mp3), 2.0, 0.15);
    const ProgramRun decode = RunProgram(QStringLiteral("ffmpeg"),
                                         {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), mp3,
                                          QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_TRUE(decode.err.trimmed().isEmpty()) << decode.err.toStdString();
}

TEST(Mp3Stream, OtherCodecsAndMissingStreamsAreReported)
{
    struct Case
    {
        const char *name;
        Tags tags;
        const char *reason;
    };
    const Case cases[] = {
        {"ADPCM stream", Tags().soundStreamHead2(0x16, 512).soundStreamBlock(512, 0, {1, 2, 3}).end(), "ADPCM"},
        {"no stream", Tags().showFrame().end(), "no MP3"},
        {"head only", Tags().soundStreamHead2(kMp3Stereo44k, 1152).end(), "no MP3"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Result<Movie> movie = LoadMovie(BuildSwf(c.tags));
        ASSERT_TRUE(movie.ok());
        SwfExtract::VectorSink sink;
        const SwfExtract::Status status = SwfExtract::WriteMp3Stream(*movie, sink);
        ASSERT_FALSE(status.ok());
        EXPECT_NE(status.error().message.find(c.reason), std::string::npos) << status.error().message;
        EXPECT_TRUE(sink.bytes.empty());
    }
}

TEST(EventSounds, Mp3DefineSoundIsItsFramesAfterTheSeekField)
{
    const Bytes frames = {0xFF, 0xFB, 0x90, 0x64, 1, 2, 3, 4, 5};
    Bytes data = {0x40, 0x02}; // SeekSamples
    data.insert(data.end(), frames.begin(), frames.end());
    const Result<Movie> movie = LoadMovie(
        BuildSwf(Tags().defineSound(3, 0x2F, 1152, data).defineSound(4, 0x1E, 100, {1, 2, 3, 4}).end()));
    ASSERT_TRUE(movie.ok());
    TempFolder tmp;
    SwfExtract::Request request;
    request.soundIds = {3, 4};
    request.out = (tmp.path() + QStringLiteral("/s%d.mp3")).toStdString();
    const SwfExtract::ExtractionReport report = SwfExtract::Extract(*movie, request, Limits());
    EXPECT_EQ(ReadFile(tmp.file(QStringLiteral("s3.mp3"))), frames);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("ADPCM"), std::string::npos) << report.failures[0];
    EXPECT_FALSE(QFile::exists(tmp.file(QStringLiteral("s4.mp3"))));
}
