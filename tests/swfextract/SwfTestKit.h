#pragma once

// Helpers shared by the extractor's tests: making pictures with Qt, decoding
// what the extractor wrote with decoders it does not use, and running the
// real programs (swfextract, ffmpeg, ffprobe).

#include "SwfBuilder.h"

#include "swfextract/lib/Limits.h"
#include "swfextract/lib/Movie.h"
#include "swfextract/lib/Result.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace SwfTestKit {

using SwfBuild::Bytes;

QByteArray ToQt(const Bytes &bytes);
Bytes FromQt(const QByteArray &bytes);

// A picture with a different colour at every pixel, so that a swapped
// channel, a wrong stride or a shifted row shows.
QImage Pattern(int width, int height);
Bytes EncodeJpeg(const QImage &image, int quality = 95);
Bytes EncodePng(const QImage &image);

// Decodes picture bytes with Qt's readers (libjpeg, libpng): a null image
// when they refuse the data.
QImage Decode(const Bytes &bytes);
// Largest difference of one channel between two equally sized pictures
// (alpha included); -1 when the sizes differ.
int MaxChannelDifference(const QImage &a, const QImage &b);

SwfExtract::Result<SwfExtract::Movie> LoadMovie(const Bytes &file,
                                                const SwfExtract::Limits &limits = SwfExtract::Limits());
// The picture bytes the extractor writes for the definition at `index`.
SwfExtract::Result<Bytes> PictureBytes(const SwfExtract::Movie &movie, std::size_t index,
                                       const SwfExtract::Limits &limits = SwfExtract::Limits());

struct ProgramRun
{
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs a program and waits (up to a minute).
ProgramRun RunProgram(const QString &program, const QStringList &arguments);
// Our extractor as built.
ProgramRun RunExtractor(const QStringList &arguments);
bool HaveFfmpeg();
// ffprobe's duration of a media file in seconds, or -1.
double MediaDuration(const QString &path);
// The bytes of a file (empty when missing).
Bytes ReadFile(const QString &path);
bool WriteFile(const QString &path, const Bytes &bytes);

// One tag of an FLV file.
struct FlvTag
{
    std::uint8_t type = 0; // 8 audio, 9 video
    std::uint32_t ms = 0;
    Bytes data; // codec byte first
};
// The tags of an FLV file, read by this test kit's own reader.
std::vector<FlvTag> ReadFlvTags(const Bytes &flv);
// Runs ffmpeg with `arguments` (inputs and codec) writing an FLV at `path`
// and returns its audio and video tags (its metadata left out): real
// payloads of FFmpeg's encoders.
std::vector<FlvTag> EncodeFlv(const QString &path, const QStringList &arguments);
// The data of the tags of one type after their codec byte, joined.
Bytes JoinPayloads(const std::vector<FlvTag> &tags, std::uint8_t type, std::size_t skip = 1);
// Samples per channel that ffmpeg decodes from a media file, or -1.
std::int64_t DecodedSamples(const QString &path);
// Presentation times of the packets of the first audio or video stream, as
// ffprobe reads them, in milliseconds.
std::vector<std::int64_t> PacketTimes(const QString &path, const char *streamType);

} // namespace SwfTestKit
