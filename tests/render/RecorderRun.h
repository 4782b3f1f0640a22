#pragma once

// Records a generated movie with the real extractor, player and encoder, as
// the recorder's end-to-end tests do.

#include "MediaProbe.h"
#include "TempFolder.h"

#include "pipeline/PlayRecording.h"
#include "render/MovieRecorder.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <vector>

inline const QString RenderAssets = QStringLiteral(TARNWICK_BIN_DIR "/render");
inline const QString Extractor = QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-swfextract");

inline bool ChromiumMissing()
{
    return QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty();
}

// A request for `swf` (written into `work`), its facts read by the extractor.
inline Render::RecordRequest RequestFor(const std::vector<std::uint8_t> &swf, const TempFolder &work,
                                        const QString &name = QStringLiteral("movie"))
{
    Render::RecordRequest r;
    r.swfPath = work.write(name + QStringLiteral(".swf"),
                           QByteArray(reinterpret_cast<const char *>(swf.data()), qsizetype(swf.size())));
    QString reason;
    EXPECT_TRUE(Pipeline::ReadMovieFacts(Extractor, r.swfPath, r.movie, reason)) << reason.toStdString();
    r.outputPath = work.file(name + QStringLiteral(".mp4"));
    r.workFolder = work.file(name + QStringLiteral("-work"));
    r.assetsFolder = RenderAssets;
    r.crf = 18;
    return r;
}

// Times at which sound starts after silence, as FFmpeg hears them.
inline std::vector<double> SoundOnsets(const QString &video)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-i"),
                                       video, QStringLiteral("-af"), QStringLiteral("silencedetect=n=-30dB:d=0.05"),
                                       QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    p.waitForFinished(120000);
    const QString log = QString::fromUtf8(p.readAll());
    std::vector<double> onsets;
    static const QRegularExpression end(QStringLiteral("silence_end: ([0-9.]+)"));
    for (auto it = end.globalMatch(log); it.hasNext();)
        onsets.push_back(it.next().captured(1).toDouble());
    return onsets;
}
