#pragma once

#include <QString>

#include "MediaReader.h"

#include <functional>

// Checks of the encoder's output: the encoder can exit 0 on a full disk and
// leave a video without its index or with its data cut short.
namespace Pipeline {

// The prober that comes with `encoder` (a path, links followed): the
// `ffprobe` beside it, else the one on PATH; empty when there is none.
QString LocateProber(const QString &encoder);

// What a new video that reads as `read` lacks: empty when it could be read
// to its end and holds `frames` video frames lasting `seconds` (within one
// frame), and an audio stream when `withSound`; otherwise the reason, for
// the summary.
QString JudgeVideo(const PacketCount &read, int frames, double seconds, bool withSound);

// What a sound fed to the encoder as it was made lacks: empty when it lasts
// the video's `seconds` (within one of its `frames`, as JudgeVideo allows),
// so that a feed cut short is found.
QString JudgeFedSound(const PacketCount &read, int frames, double seconds);

// JudgeVideo on the file read in this process (CountPackets).
QString CheckEncodedVideo(const QString &path, int frames, double seconds, bool withSound);

// How a new video is read: CountPackets, or what stands in for it.
using PacketReader = std::function<PacketCount(const QString &path)>;

} // namespace Pipeline
