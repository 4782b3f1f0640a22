#include "PlayMovies.h"

#include "MediaProbe.h"
#include "SwfTestKit.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

namespace PlayMovies {

using SwfBuild::Bytes;
using SwfBuild::Tags;

namespace {

constexpr int Rate = 44100;
constexpr std::uint16_t BeepSound = 900, SongSound = 901, SpriteId = 902, SpriteShape = 903;
// Uncompressed little-endian, ADPCM and MP3, all 44 kHz 16-bit mono.
constexpr std::uint8_t FormatOf(Codec codec)
{
    return std::uint8_t((codec == Codec::Pcm ? 3 : codec == Codec::Adpcm ? 1 : 2) << 4 | 3 << 2 | 1 << 1);
}

Bytes Little16(const std::vector<std::int16_t> &samples)
{
    Bytes bytes;
    for (std::int16_t s : samples) {
        bytes.push_back(std::uint8_t(s & 0xff));
        bytes.push_back(std::uint8_t((std::uint16_t(s) >> 8) & 0xff));
    }
    return bytes;
}

Bytes ReadAll(const QString &path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    const QByteArray b = f.readAll();
    return Bytes(b.begin(), b.end());
}

QString WriteRaw(const std::vector<std::int16_t> &samples, const TempFolder &work, const QString &name)
{
    const Bytes bytes = Little16(samples);
    return work.write(name, QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
}

QStringList RawInput(const QString &raw)
{
    return {QStringLiteral("-f"),  QStringLiteral("s16le"), QStringLiteral("-ar"), QString::number(Rate),
            QStringLiteral("-ac"), QStringLiteral("1"),     QStringLiteral("-i"),  raw};
}

// The MPEG frames of `samples` encoded by LAME, and the samples its encoder
// and a decoder put in front: what a player skips (SeekSamples).
struct Mp3
{
    std::vector<Bytes> frames;
    int delay = 0;
};

Mp3 EncodeMp3(const std::vector<std::int16_t> &samples, const TempFolder &work)
{
    const QString mp3 = work.file(QStringLiteral("sound.mp3"));
    EXPECT_TRUE(RunFfmpeg(RawInput(WriteRaw(samples, work, QStringLiteral("sound.raw")))
                          + QStringList{QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                                        QStringLiteral("128k"), QStringLiteral("-write_xing"), QStringLiteral("0"),
                                        QStringLiteral("-id3v2_version"), QStringLiteral("0"), QStringLiteral("-f"),
                                        QStringLiteral("mp3"), mp3}));
    // Where the sound starts when decoded: what SeekSamples tells a player to skip.
    const QString decoded = work.file(QStringLiteral("decoded.raw"));
    EXPECT_TRUE(RunFfmpeg({QStringLiteral("-i"), mp3, QStringLiteral("-f"), QStringLiteral("s16le"),
                           QStringLiteral("-ac"), QStringLiteral("1"), decoded}));
    const Bytes pcm = ReadAll(decoded);
    int delay = 0;
    while (std::size_t(delay) * 2 + 1 < pcm.size()
           && std::abs(std::int16_t(pcm[std::size_t(delay) * 2] | pcm[std::size_t(delay) * 2 + 1] << 8)) < 2000)
        ++delay;
    return Mp3{SwfBuild::SplitMp3Frames(ReadAll(mp3)), std::max(0, delay - 1)};
}

// The first ADPCM packet (4096 samples) of `samples`, as DefineSound and a
// stream block store it.
Bytes EncodeAdpcm(const std::vector<std::int16_t> &samples, const TempFolder &work)
{
    const std::vector<SwfTestKit::FlvTag> tags = SwfTestKit::EncodeFlv(
        work.file(QStringLiteral("sound.flv")), RawInput(WriteRaw(samples, work, QStringLiteral("adpcm.raw")))
                                                    + QStringList{QStringLiteral("-c:a"), QStringLiteral("adpcm_swf")});
    EXPECT_FALSE(tags.empty());
    return tags.empty() ? Bytes() : Bytes(tags.front().data.begin() + 1, tags.front().data.end());
}

void DefineSound(Tags &tags, std::uint16_t id, Codec codec, const std::vector<std::int16_t> &samples,
                 const TempFolder &work)
{
    switch (codec) {
    case Codec::Pcm: tags.defineSound(id, FormatOf(codec), std::uint32_t(samples.size()), Little16(samples)); break;
    case Codec::Adpcm: tags.defineSound(id, FormatOf(codec), 4096, EncodeAdpcm(samples, work)); break;
    case Codec::Mp3: {
        const Mp3 mp3 = EncodeMp3(samples, work);
        Bytes data{std::uint8_t(mp3.delay & 0xff), std::uint8_t(mp3.delay >> 8)};
        for (const Bytes &frame : mp3.frames)
            data.insert(data.end(), frame.begin(), frame.end());
        tags.defineSound(id, FormatOf(codec), std::uint32_t(samples.size()), data);
        break;
    }
    }
}

// One SoundStreamBlock: MP3's with its sample count and SeekSamples.
struct StreamBlock
{
    std::uint16_t sampleCount = 0;
    std::int16_t seek = 0;
    Bytes data;
};

// The stream blocks of `samples`, one a frame from the stream's first frame.
std::vector<StreamBlock> StreamBlocks(Codec codec, const std::vector<std::int16_t> &samples, int fps,
                                      const TempFolder &work)
{
    const std::size_t perFrame = std::size_t(Rate / fps);
    std::vector<StreamBlock> blocks;
    if (codec == Codec::Pcm) {
        for (std::size_t from = 0; from < samples.size(); from += perFrame) {
            const std::size_t to = std::min(samples.size(), from + perFrame);
            blocks.push_back(
                {0, 0, Little16(std::vector<std::int16_t>(samples.begin() + long(from), samples.begin() + long(to)))});
        }
    } else if (codec == Codec::Adpcm) {
        blocks.push_back({0, 0, EncodeAdpcm(samples, work)}); // one packet holds the whole beep
    } else {
        const Mp3 mp3 = EncodeMp3(samples, work);
        std::size_t next = 0;
        for (std::size_t from = 0; next < mp3.frames.size(); from += perFrame) {
            // The MPEG frames that start before this frame's samples end,
            // and how many decoded samples to skip to reach its first.
            StreamBlock block;
            const std::size_t first = next;
            while (next < mp3.frames.size() && next * 1152 < from + perFrame + std::size_t(mp3.delay)) {
                block.data.insert(block.data.end(), mp3.frames[next].begin(), mp3.frames[next].end());
                ++next;
            }
            block.sampleCount = std::uint16_t(perFrame);
            block.seek = std::int16_t(int(from) + mp3.delay - int(first * 1152));
            blocks.push_back(block);
        }
    }
    return blocks;
}

void AddStreamHead(Tags &tags, Codec codec, int fps, const std::vector<StreamBlock> &blocks)
{
    const bool mp3 = codec == Codec::Mp3 && !blocks.empty();
    tags.soundStreamHead2(FormatOf(codec), std::uint16_t(Rate / fps),
                          mp3 ? std::optional<std::int16_t>(blocks.front().seek) : std::nullopt);
}

void AddBlock(Tags &tags, Codec codec, const StreamBlock &block)
{
    if (codec == Codec::Mp3)
        tags.soundStreamBlock(block.sampleCount, block.seek, block.data);
    else
        tags.soundStreamData(block.data);
}

SwfBuild::MovieOptions Options(int fps, int frames)
{
    SwfBuild::MovieOptions options;
    options.widthPx = 160;
    options.heightPx = 120;
    options.frameRate = std::uint16_t(fps << 8);
    options.frameCount = std::uint16_t(frames);
    return options;
}

void AddColourFrame(Tags &tags, int f)
{
    const std::uint16_t shape = std::uint16_t(f + 1);
    SwfBuild::AddRectShape(tags, shape, 0, 0, 160 * 20, 120 * 20, SwfBuild::StepColour(f));
    SwfBuild::AddPlace(tags, 1, shape, f > 0);
}

// `frames` frames of full-stage colours at `fps`, `extra` adding to each.
Bytes ColourMovie(int frames, int fps, const std::function<void(Tags &, int)> &extra, Tags tags = Tags())
{
    tags.setBackgroundColor(0x20, 0x20, 0x20);
    for (int f = 0; f < frames; ++f) {
        AddColourFrame(tags, f);
        extra(tags, f);
        tags.showFrame();
    }
    return SwfBuild::BuildSwf(tags.end(), SwfBuild::Container::Fws, Options(fps, frames));
}

} // namespace

const char *CodecName(Codec codec)
{
    return codec == Codec::Pcm ? "pcm" : codec == Codec::Adpcm ? "adpcm" : "mp3";
}

std::vector<std::int16_t> Tone(double seconds)
{
    std::vector<std::int16_t> samples(std::size_t(seconds * Rate));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = std::int16_t(std::lround(12000 * std::sin(2 * M_PI * 1000 * double(i) / Rate)));
    return samples;
}

Bytes BeepMovie(const Beeps &beeps, const TempFolder &work)
{
    const std::vector<std::int16_t> beep = Tone(0.08);
    const std::vector<StreamBlock> blocks = beeps.stream ? StreamBlocks(beeps.codec, beep, beeps.fps, work)
                                                         : std::vector<StreamBlock>();
    Tags tags;
    if (!beeps.stream)
        DefineSound(tags, BeepSound, beeps.codec, beep, work);
    // The sprite: the beep on its first frame, then a few silent frames.
    const int spriteFrames = std::max<int>(10, int(blocks.size()));
    Tags sprite;
    if (beeps.stream)
        AddStreamHead(sprite, beeps.codec, beeps.fps, blocks);
    else
        sprite.startSound(BeepSound);
    for (int f = 0; f < spriteFrames; ++f) {
        if (std::size_t(f) < blocks.size())
            AddBlock(sprite, beeps.codec, blocks[std::size_t(f)]);
        if (f == spriteFrames - 1)
            SwfBuild::AddStopAction(sprite); // one beep, not one every pass
        sprite.showFrame();
    }
    tags.defineSprite(SpriteId, std::uint16_t(spriteFrames), sprite.end());
    if (beeps.stream)
        AddStreamHead(tags, beeps.codec, beeps.fps, blocks);
    // The main timeline's stream starts on its beep's frame.
    return ColourMovie(
        beeps.frames, beeps.fps,
        [&](Tags &t, int f) {
            if (f == beeps.mainFrame && !beeps.stream)
                t.startSound(BeepSound);
            const int block = f - beeps.mainFrame;
            if (beeps.stream && block >= 0 && std::size_t(block) < blocks.size())
                AddBlock(t, beeps.codec, blocks[std::size_t(block)]);
            if (f == beeps.spriteFrame)
                SwfBuild::AddPlace(t, 2, SpriteId, false);
            if (f == beeps.frames - 1)
                SwfBuild::AddStopAction(t);
        },
        tags);
}

Bytes LoopUnderSong(double song)
{
    Tags tags;
    tags.defineSound(SongSound, FormatOf(Codec::Pcm), std::uint32_t(song * Rate), Little16(Tone(song)));
    SwfBuild::SoundInfo once;
    once.noMultiple = true; // a song under a loop starts once, not on every pass
    return ColourMovie(
        12, 24,
        [&](Tags &t, int f) {
            if (f == 0)
                t.startSound(SongSound, once);
        },
        tags);
}

Bytes ShortMovieStartingAnMp3(double seconds, const TempFolder &work)
{
    Tags tags;
    DefineSound(tags, SongSound, Codec::Mp3, Tone(seconds), work);
    return ColourMovie(
        17, 12,
        [&](Tags &t, int f) {
            if (f == 8)
                t.startSound(SongSound);
        },
        tags);
}

Bytes SpriteAnimationThatStops(int frames)
{
    Tags tags;
    tags.setBackgroundColor(0x20, 0x20, 0x20);
    SwfBuild::AddRectShape(tags, SpriteShape, 0, 0, 40 * 20, 40 * 20, {250, 200, 30});
    Tags sprite;
    for (int f = 0; f < frames; ++f) {
        if (f == 0)
            SwfBuild::AddPlace(sprite, 1, SpriteShape, false, 0, 0);
        else
            SwfBuild::AddMove(sprite, 1, f * 2 * 20, f * 20);
        if (f == frames - 1)
            SwfBuild::AddStopAction(sprite);
        sprite.showFrame();
    }
    tags.defineSprite(SpriteId, std::uint16_t(frames), sprite.end());
    SwfBuild::AddPlace(tags, 1, SpriteId, false);
    tags.showFrame();
    return SwfBuild::BuildSwf(tags.end(), SwfBuild::Container::Fws, Options(12, 1));
}

Bytes MenuWithEndlessMusic(double music)
{
    Tags tags;
    tags.defineSound(SongSound, FormatOf(Codec::Pcm), std::uint32_t(music * Rate), Little16(Tone(music)));
    SwfBuild::SoundInfo endless;
    endless.loops = 1000;
    endless.noMultiple = true;
    return ColourMovie(
        9, 30,
        [&](Tags &t, int f) {
            if (f == 0)
                t.startSound(SongSound, endless);
        },
        tags);
}

} // namespace PlayMovies
