#pragma once

// What the whole-job tests share: a fixture with input, output and work
// folders around a recording stand-in for the window, and probes of the
// videos.
#include "RecordingControls.h"

#include "pipeline/ConversionJob.h"
#include "tools/ToolDeployment.h"

#include "MediaProbe.h"
#include "SwfBuilder.h"
#include "TempFolder.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>

namespace Pipeline {

class ConversionJobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            GTEST_SKIP() << "ffmpeg is not installed";
        controls.folder = out.path();
    }

    QString swf(const QString &name, int width, int height, int pictures, double sound = 0, bool jpeg = true)
    {
        const QString path = in.file(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        EXPECT_TRUE(MakeFfmpegSwf(path, width, height, pictures, sound, jpeg));
        return path;
    }

    void run()
    {
        ConversionJob job(controls, work.path());
        job.PushButton2_Click();
        outcome = job.outcome();
    }

    // The work folder holds no tool, no script and nothing in temp/.
    void expectCleanWorkFolder()
    {
        const QDir dir(work.path());
        for (const char *name : {"ffmpeg", "nconvert", "swfextract", "jpg2avi.sh", "jpg2avi.tmp"})
            EXPECT_FALSE(QFileInfo::exists(dir.filePath(QString::fromLatin1(name)))) << name;
        EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("temp"))).isEmpty());
        EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("SWFPic"))).isEmpty());
    }

    TempFolder in;
    TempFolder out;
    Tools::WorkFolderOwner work;
    RecordingControls controls;
    JobOutcome outcome;
};

SwfBuild::Bytes JpegOf(const QImage &image);

QImage Solid(int width, int height, QColor color);

// Each frame of a video, in order, decoded through PNG files in `scratch`.
QList<QImage> DecodedFrames(const QString &video, const TempFolder &scratch);

// The colour in the middle of each frame of a video, in order.
QList<QColor> FrameColours(const QString &video, const TempFolder &scratch);

void ExpectNear(const QColor &actual, const QColor &expected);

// volumedetect's mean level in dB of the audio from `from` to `to` s, after
// a narrow band-pass around `band` Hz when given; -200 when nothing decodes.
double MeanVolume(const QString &media, double from, double to, int band = 0);

// The MD5 of a file's audio packets, copied without decoding.
QString AudioPacketHash(const QString &media);

// Defines sound `id`: a `frequency` Hz tone of `seconds` in `codec`, made
// by FFmpeg (its scratch files named after `name` in `folder`).
bool DefineTone(SwfBuild::Tags &tags, std::uint16_t id, const TempFolder &folder, const QString &name,
                const char *codec, int rate, double seconds, int frequency);

// A movie whose only sound is event sound 1, a `frequency` Hz tone in
// `codec` started at frame 0, with `pictures` solid pictures.
QString EventSoundSwf(const TempFolder &folder, const QString &name, const char *codec, int rate, double seconds,
                      int pictures, int frequency = 440);

} // namespace Pipeline
