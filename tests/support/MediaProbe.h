#pragma once

#include <QString>

// What ffprobe, an independent reader, says of a media file.
struct MediaProbe
{
    bool ok = false; // ffprobe could read the file
    double duration = 0; // container duration, seconds
    int width = 0;
    int height = 0;
    QString videoCodec; // e.g. "h264"
    QString pixelFormat; // e.g. "yuv420p"
    int videoFrames = 0; // frames actually decoded
    bool hasAudio = false;
    QString audioCodec;
    double audioDuration = 0;
    int audioChannels = 0;
};

// Probes the file with ffprobe (frames counted by decoding).
MediaProbe ProbeMedia(const QString &path);

// Runs ffmpeg with the arguments; true when it exited with 0.
bool RunFfmpeg(const QStringList &arguments);

// Writes a SWF with FFmpeg: `pictures` JPEG pictures of width x height (a
// test pattern that changes every picture) at two pictures per second, and
// with `soundSeconds` > 0 an MP3 sound stream. With `jpeg` false the movie
// holds video frames instead of pictures (nothing to extract).
bool MakeFfmpegSwf(const QString &path, int width, int height, int pictures, double soundSeconds = 0, bool jpeg = true);
