#include "swfextract/lib/Flv.h"

#include "swfextract/lib/Sound.h"
#include "tarnwick/ByteReader.h"

#include <algorithm>

namespace SwfExtract {

using Tarnwick::ByteReader;

namespace {

constexpr std::uint8_t kAudioTag = 8;
constexpr std::uint8_t kVideoTag = 9;
constexpr std::size_t kMaxTagData = 0xFFFFFF; // DataSize is 24 bits
constexpr int kCodecMp3 = 2;

class FlvWriter
{
public:
    FlvWriter(ByteSink &sink, bool audio, bool video)
        : m_sink(sink)
    {
        const std::uint8_t header[13] = {'F', 'L', 'V', 1, std::uint8_t((audio ? 4 : 0) | (video ? 1 : 0)), 0, 0, 0, 9,
                                         0,   0,   0,   0};
        m_ok = m_sink.write(Bytes(header, sizeof header));
    }

    // One tag: `head` (the codec byte and what FLV adds) and then `data`.
    bool tag(std::uint8_t type, std::uint32_t ms, Bytes head, Bytes data)
    {
        const std::uint32_t size = std::uint32_t(head.size() + data.size());
        const std::uint8_t header[11] = {type,
                                         std::uint8_t(size >> 16),
                                         std::uint8_t(size >> 8),
                                         std::uint8_t(size),
                                         std::uint8_t(ms >> 16),
                                         std::uint8_t(ms >> 8),
                                         std::uint8_t(ms),
                                         std::uint8_t(ms >> 24),
                                         0,
                                         0,
                                         0};
        const std::uint32_t previous = size + 11;
        const std::uint8_t trailer[4] = {std::uint8_t(previous >> 24), std::uint8_t(previous >> 16),
                                         std::uint8_t(previous >> 8), std::uint8_t(previous)};
        m_ok = m_ok && m_sink.write(Bytes(header, sizeof header)) && m_sink.write(head) && m_sink.write(data)
               && m_sink.write(Bytes(trailer, sizeof trailer));
        return m_ok;
    }

    bool ok() const { return m_ok; }

private:
    ByteSink &m_sink;
    bool m_ok = false;
};

Error WriteError()
{
    return MakeError(ErrorCode::WriteFailed, "cannot write the output file");
}

constexpr int kCodecPcmLe = 3;
constexpr int kCodecAlaw = 7;
constexpr int kCodecMulaw = 8;

std::int16_t DecodeAlaw(std::uint8_t code)
{
    code ^= 0x55;
    int value = (code & 0x0F) << 4;
    const int segment = (code & 0x70) >> 4;
    if (segment == 0)
        value += 8;
    else
        value = (value + 0x108) << (segment - 1);
    return std::int16_t(code & 0x80 ? value : -value);
}

std::int16_t DecodeMulaw(std::uint8_t code)
{
    code = std::uint8_t(~code);
    const int value = (((code & 0x0F) << 3) + 0x84) << ((code & 0x70) >> 4);
    return std::int16_t(code & 0x80 ? 0x84 - value : value - 0x84);
}

// FLV readers take G.711 as 8 kHz whatever the rate bits say, and SWF
// rates are never 8 kHz: such sound is written as 16-bit PCM at its rate.
struct Payload
{
    std::uint8_t formatByte = 0;
    Bytes view; // the movie's own bytes, or
    std::vector<std::uint8_t> decoded; // what was converted
    bool converted = false;
    Bytes data() const { return converted ? Bytes(decoded) : view; }
};

Payload PlayablePayload(std::uint8_t formatByte, Bytes data)
{
    const int codec = formatByte >> 4;
    if (codec != kCodecAlaw && codec != kCodecMulaw)
        return {formatByte, data, {}, false};
    Payload payload;
    payload.converted = true;
    payload.formatByte = std::uint8_t(kCodecPcmLe << 4 | (formatByte & 0x0C) | 0x02 | (formatByte & 0x01));
    payload.decoded.reserve(data.size() * 2);
    for (const std::uint8_t code : data) {
        const std::int16_t sample = codec == kCodecAlaw ? DecodeAlaw(code) : DecodeMulaw(code);
        payload.decoded.push_back(std::uint8_t(sample));
        payload.decoded.push_back(std::uint8_t(std::uint16_t(sample) >> 8));
    }
    return payload;
}

// Bytes of one sample frame, or 1 for formats FFmpeg parses from any cut
// (MP3), or 0 for data that must stay whole (ADPCM's bit stream, Speex).
std::size_t SplitUnit(std::uint8_t formatByte)
{
    const int channels = SoundChannels(formatByte);
    switch (formatByte >> 4) {
    case 0:
    case 3: return std::size_t(channels * SoundBits(formatByte) / 8);
    case 2:
    case 14: return 1;
    case 4:
    case 5:
    case 6: return 64; // Nellymoser blocks
    case 7:
    case 8: return std::size_t(channels);
    default: return 0;
    }
}

// VideoData of one VideoFrame is a key frame: H.263's picture type, VP6's
// frame mode; screen video is taken as key only for its first frame.
bool IsKeyFrame(std::uint8_t codec, Bytes data, bool first)
{
    ByteReader reader(data);
    switch (codec) {
    case 2: {
        reader.bits(17 + 5 + 8); // start code, version, temporal reference
        const std::uint32_t size = reader.bits(3);
        if (size == 0)
            reader.bits(16);
        else if (size == 1)
            reader.bits(32);
        return reader.ok() && reader.bits(2) == 0;
    }
    case 4: return !data.empty() && (data[0] & 0x80) == 0;
    case 5: return data.size() > 3 && (data[3] & 0x80) == 0;
    default: return first;
    }
}

} // namespace

std::uint32_t FrameMilliseconds(std::uint32_t frame, std::uint16_t frameRate)
{
    return std::uint32_t((std::uint64_t(frame) * 1000 * 256 + frameRate / 2) / frameRate);
}

Status WriteEventSoundFlv(const Movie &movie, const Definition &definition, ByteSink &sink)
{
    ByteReader reader(movie.bytesOf(definition.tag));
    reader.skip(2);
    const std::uint8_t format = reader.u8();
    const std::uint32_t samples = reader.u32();
    if (format >> 4 == kCodecMp3)
        reader.skip(2); // SeekSamples
    const std::string label = "sound " + std::to_string(definition.id);
    if (!reader.ok() || reader.remaining() == 0)
        return MakeError(ErrorCode::Malformed, label + " holds no sound data");
    const Payload payload = PlayablePayload(format, reader.rest());
    const Bytes data = payload.data();
    const std::size_t unit = SplitUnit(payload.formatByte);
    if (data.size() > kMaxTagData - 1 && unit == 0)
        return MakeError(ErrorCode::TooLarge, label + " (" + SoundCodecName(format >> 4)
                                                  + ") is too large for one FLV tag and cannot be split");
    const std::size_t chunk = unit == 0 ? data.size() : (kMaxTagData - 1) / unit * unit;
    const std::uint64_t totalMs = std::uint64_t(samples) * 1000 / SoundRate(format);
    FlvWriter flv(sink, true, false);
    for (std::size_t at = 0; at < data.size(); at += chunk) {
        const Bytes part = data.subspan(at, std::min(chunk, data.size() - at));
        const std::uint32_t ms = std::uint32_t(totalMs * at / data.size());
        if (!flv.tag(kAudioTag, ms, Bytes(&payload.formatByte, 1), part))
            return WriteError();
    }
    return flv.ok() ? Status(Done{}) : Status(WriteError());
}

Status WriteStreamFlv(const Movie &movie, const Timeline &timeline, std::uint16_t sprite, ByteSink &sink)
{
    const StreamTrack *stream = nullptr;
    if (sprite == 0) {
        stream = timeline.stream ? &*timeline.stream : nullptr;
    } else {
        for (const StreamTrack &candidate : timeline.spriteStreams)
            if (candidate.sprite == sprite) {
                stream = &candidate;
                break;
            }
    }
    const std::string where = sprite == 0 ? "the main timeline" : "sprite " + std::to_string(sprite);
    if (!stream || stream->blocks.empty())
        return MakeError(ErrorCode::NotFound, where + " has no sound stream");
    if (movie.frameRate == 0)
        return MakeError(ErrorCode::Unsupported, "the movie's frame rate is 0, so its stream has no timing");
    FlvWriter flv(sink, true, false);
    for (const StreamBlock &block : stream->blocks) {
        const Payload payload = PlayablePayload(stream->formatByte, movie.bytesOf(block.data));
        if (payload.data().size() > kMaxTagData - 1)
            return MakeError(ErrorCode::TooLarge, "a sound stream block is too large for an FLV tag");
        if (!flv.tag(kAudioTag, FrameMilliseconds(block.frame, movie.frameRate), Bytes(&payload.formatByte, 1),
                     payload.data()))
            return WriteError();
    }
    return flv.ok() ? Status(Done{}) : Status(WriteError());
}

Status WriteVideoFlv(const Movie &movie, const Timeline &timeline, std::uint16_t id, ByteSink &sink)
{
    const VideoTrack *video = nullptr;
    for (const VideoTrack &candidate : timeline.videos)
        if (candidate.id == id) {
            video = &candidate;
            break;
        }
    const std::string label = "video " + std::to_string(id);
    if (!video)
        return MakeError(ErrorCode::NotFound, "ID " + std::to_string(id) + ": no video stream with this ID");
    if (video->codec == 7)
        return MakeError(ErrorCode::Unsupported, label + " is H.264, which this extractor does not write as FLV");
    if (video->frames.empty())
        return MakeError(ErrorCode::NotFound, label + " has no VideoFrame data");
    if (movie.frameRate == 0)
        return MakeError(ErrorCode::Unsupported, "the movie's frame rate is 0, so its video has no timing");
    FlvWriter flv(sink, false, true);
    bool first = true;
    for (const VideoFrameRef &frame : video->frames) {
        const Bytes data = movie.bytesOf(frame.data);
        if (data.empty())
            continue;
        if (data.size() > kMaxTagData - 2)
            return MakeError(ErrorCode::TooLarge, label + ": a frame is too large for an FLV tag");
        const bool key = IsKeyFrame(video->codec, data, first);
        first = false;
        // VP6 in FLV carries one more byte: the crop adjustment, none here.
        const std::uint8_t head[2] = {std::uint8_t((key ? 0x10 : 0x20) | (video->codec & 0x0F)), 0};
        const bool vp6 = video->codec == 4 || video->codec == 5;
        if (!flv.tag(kVideoTag, FrameMilliseconds(frame.frame, movie.frameRate), Bytes(head, vp6 ? 2 : 1), data))
            return WriteError();
    }
    return flv.ok() ? Status(Done{}) : Status(WriteError());
}

} // namespace SwfExtract
