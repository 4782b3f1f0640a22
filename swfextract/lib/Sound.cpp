#include "swfextract/lib/Sound.h"

#include "tarnwick/ByteReader.h"

#include <string>

namespace SwfExtract {

using Tarnwick::ByteReader;

namespace {

constexpr int kCodecMp3 = 2;

Error WriteError()
{
    return MakeError(ErrorCode::WriteFailed, "cannot write the output file");
}

} // namespace

std::string SoundCodecName(int codec)
{
    switch (codec) {
    case 0: return "uncompressed PCM";
    case 1: return "ADPCM";
    case 2: return "MP3";
    case 3: return "uncompressed little-endian PCM";
    case 4:
    case 5:
    case 6: return "Nellymoser";
    case 11: return "Speex";
    default: return "unknown codec " + std::to_string(codec);
    }
}

Status WriteMp3Stream(const Movie &movie, ByteSink &sink)
{
    if (!movie.mp3Stream || movie.mp3Stream->blocks.empty()) {
        if (movie.otherStreamCodec)
            return MakeError(ErrorCode::Unsupported, "the sound stream is " + SoundCodecName(*movie.otherStreamCodec)
                                                         + ", not MP3; not extracted");
        return MakeError(ErrorCode::NotFound, "the movie has no MP3 sound stream on its main timeline");
    }
    for (const TagRef &block : movie.mp3Stream->blocks)
        if (!sink.write(movie.bytesOf(block)))
            return WriteError();
    return Done{};
}

Status WriteEventSound(const Movie &movie, const Definition &definition, ByteSink &sink)
{
    // ID, format byte, sample count, then for MP3 the seek samples and frames.
    ByteReader reader(movie.bytesOf(definition.tag));
    reader.skip(2);
    const std::uint8_t format = reader.u8();
    reader.skip(4);
    if (!reader.ok())
        return MakeError(ErrorCode::Malformed, "DefineSound " + std::to_string(definition.id) + " is too short");
    if (format >> 4 != kCodecMp3)
        return MakeError(ErrorCode::Unsupported, "sound " + std::to_string(definition.id) + " is "
                                                     + SoundCodecName(format >> 4) + ", not MP3; not extracted");
    reader.skip(2);
    const Bytes frames = reader.rest();
    if (frames.empty())
        return MakeError(ErrorCode::Malformed, "sound " + std::to_string(definition.id) + " holds no MP3 data");
    if (!sink.write(frames))
        return WriteError();
    return Done{};
}

} // namespace SwfExtract
