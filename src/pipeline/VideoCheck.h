#pragma once

#include <QString>

// Checks of the encoder's input and output with the encoder's own prober:
// the encoder can exit 0 on a full disk and leave a video without its
// index, and a damaged sound can fail a whole encode.
namespace Pipeline {

// The prober that comes with `encoder` (a path, links followed): the
// `ffprobe` beside it, else the one on PATH; empty when there is none.
QString LocateProber(const QString &encoder);

// What the new video lacks: empty when it can be read to its end and holds
// `frames` video frames lasting `seconds` (within one frame), and an audio
// stream when `withSound`; otherwise the reason, for the summary.
QString CheckEncodedVideo(const QString &prober, const QString &path, int frames, double seconds, bool withSound);

} // namespace Pipeline
