// The sample movies made at build time: each must be an SWF that FFmpeg
// reads back with the pictures, sizes and sound it was made with.
#include "filelist/Samples.h"

#include "tools/CmdOutput.h"
#include "tools/PathRoutines.h"

#include "QtPrinters.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

constexpr double kSamplesPerMp3Frame = 1152;
constexpr double kSampleRate = 44100;

struct Probe
{
    QString video; // "codec,width,height,frames"
    QString audio; // "codec,frames", or empty
};

Probe ProbeMovie(const QString &path)
{
    const auto entries = [&](const char *stream) {
        return Tools::RunCaptured(
                   {QStringLiteral("ffprobe"),
                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                     QStringLiteral("-select_streams"), QLatin1String(stream), QStringLiteral("-show_entries"),
                     QStringLiteral("stream=codec_name,width,height,nb_read_frames"), QStringLiteral("-of"),
                     QStringLiteral("csv=p=0"), path},
                    QString()},
                   true, false)
            .trimmed();
    };
    return {entries("v"), entries("a")};
}

} // namespace

TEST(Samples, EachMovieHoldsItsPicturesAndSound)
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
        GTEST_SKIP() << "ffprobe is not installed";
    const QString folder = FileList::SamplesFolder(QStringLiteral(TARNWICK_BIN_DIR));
    struct Case
    {
        const char *name;
        const char *video;
        double seconds; // of sound; 0 for none
    } cases[] = {
        {"fractal-zoom-640x480-music.swf", "mjpeg,640,480,8", 4}, {"lossless-shapes-400x300.swf", nullptr, 0},
        {"pixel-life-320x240.swf", "mjpeg,320,240,6", 0},         {"rainbow-800x450.swf", "mjpeg,800,450,5", 0},
        {"test-card-1024x576-chime.swf", "mjpeg,1024,576,5", 2},
    };
    QStringList expected;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        expected.append(QLatin1String(c.name));
        if (!c.video) {
            // FFmpeg cannot read lossless pictures: our extractor lists them.
            const QString listing = Tools::RunCaptured({QStringLiteral(TARNWICK_BIN_DIR "/swfextract"),
                                                        {folder + QLatin1Char('/') + QLatin1String(c.name)},
                                                        QString()},
                                                       true, false);
            EXPECT_TRUE(listing.contains(QStringLiteral(" [-p] 4 PNGs: ID(s) 1-4"))) << listing.toStdString();
            continue;
        }
        const Probe probe = ProbeMovie(folder + QLatin1Char('/') + QLatin1String(c.name));
        EXPECT_EQ(probe.video, QLatin1String(c.video));
        if (c.seconds == 0) {
            EXPECT_EQ(probe.audio, QString());
            continue;
        }
        // All of the sound is kept, not only what fits the pictures' frames.
        EXPECT_EQ(probe.audio.section(QLatin1Char(','), 0, 0), QStringLiteral("mp3"));
        const double frames = probe.audio.section(QLatin1Char(','), 1, 1).toDouble();
        EXPECT_GE(frames * kSamplesPerMp3Frame / kSampleRate, c.seconds - 0.05) << probe.audio.toStdString();
    }
    EXPECT_EQ(Tools::ListFiles(folder, QStringLiteral("*.*")), expected);
}
