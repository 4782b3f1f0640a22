#pragma once

#include <QString>

// Reads media files in this process with FFmpeg's own libraries: the same
// demuxers the encoder and its prober use, without the tenth of a second of
// CPU that starting either costs.
namespace Pipeline {

// What reading a file's packets to its end found.
struct PacketCount
{
    bool opened = false; // the container was recognised and its streams found
    int videoPackets = -1; // packets of the first video stream; -1 without one
    bool audio = false; // it has an audio stream
    double audioEnd = 0; // where its first audio stream's packets end, in seconds
    double duration = 0; // the container's duration in seconds; 0 when unknown
    // FFmpeg's first complaint, worded as its programs print it; empty when
    // it had none.
    QString firstError;
};

// Opens the file and reads every packet to its end, as `ffprobe
// -count_packets` does, so that data cut short is found even when the index
// is whole. Safe to call from several threads at once.
PacketCount CountPackets(const QString &path);

// What decoding a file's first audio stream to its end found.
struct DecodedSound
{
    double seconds = 0; // the audio decoded, in seconds
    int rate = 0; // the highest sample rate decoded; 0 when nothing was
    int channels = 0; // the most channels of a decoded block; 0 when nothing was
    // FFmpeg's first complaint, worded as its programs print it; empty when
    // it had none.
    QString firstError;
};

// Decodes the file's first audio stream to its end, as `ffmpeg -i FILE -map
// 0:a:0 -f null -` does. Safe to call from several threads at once.
DecodedSound DecodeFirstAudio(const QString &path);

} // namespace Pipeline
