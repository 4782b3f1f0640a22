#include "JobTestKit.h"

#include "SwfTestKit.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace Pipeline {

SwfBuild::Bytes JpegOf(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return SwfBuild::Bytes(bytes.begin(), bytes.end());
}

QImage Solid(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QList<QImage> DecodedFrames(const QString &video, const TempFolder &scratch)
{
    const QString pattern = scratch.file(QStringLiteral("frame%d.png"));
    EXPECT_TRUE(
        RunFfmpeg({QStringLiteral("-i"), video, QStringLiteral("-fps_mode"), QStringLiteral("passthrough"), pattern}));
    QList<QImage> frames;
    for (int i = 1; QFile::exists(scratch.file(QStringLiteral("frame%1.png").arg(i))); ++i)
        frames.append(QImage(scratch.file(QStringLiteral("frame%1.png").arg(i))));
    return frames;
}

// The colour in the middle of each frame of a video, in order.
QList<QColor> FrameColours(const QString &video, const TempFolder &scratch)
{
    QList<QColor> colours;
    for (const QImage &frame : DecodedFrames(video, scratch))
        colours.append(frame.pixelColor(frame.width() / 2, frame.height() / 2));
    return colours;
}

void ExpectNear(const QColor &actual, const QColor &expected)
{
    EXPECT_NEAR(actual.red(), expected.red(), 24) << actual.name().toStdString();
    EXPECT_NEAR(actual.green(), expected.green(), 24) << actual.name().toStdString();
    EXPECT_NEAR(actual.blue(), expected.blue(), 24) << actual.name().toStdString();
}

// volumedetect's mean level in dB of the audio from `from` to `to` s, after
// a narrow band-pass around `band` Hz when given; -200 when nothing decodes.
double MeanVolume(const QString &media, double from, double to, int band)
{
    QString filter = band > 0
                         ? QStringLiteral("bandpass=f=%1:width_type=q:w=6,bandpass=f=%1:width_type=q:w=6,").arg(band)
                         : QString();
    filter += QStringLiteral("volumedetect");
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-ss"),
                  QString::number(from), QStringLiteral("-t"), QString::number(to - from), QStringLiteral("-i"), media,
                  QStringLiteral("-map"), QStringLiteral("0:a"), QStringLiteral("-af"), filter, QStringLiteral("-f"),
                  QStringLiteral("null"), QStringLiteral("-")});
    ffmpeg.waitForFinished(120000);
    static const QRegularExpression mean(QStringLiteral("mean_volume: (-?[0-9.]+) dB"));
    const QRegularExpressionMatch match = mean.match(QString::fromUtf8(ffmpeg.readAllStandardError()));
    return match.hasMatch() ? match.captured(1).toDouble() : -200;
}

// The MD5 of a file's audio packets, copied without decoding.
QString AudioPacketHash(const QString &media)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-v"),
                  QStringLiteral("error"), QStringLiteral("-i"), media, QStringLiteral("-map"), QStringLiteral("0:a"),
                  QStringLiteral("-c"), QStringLiteral("copy"), QStringLiteral("-f"), QStringLiteral("streamhash"),
                  QStringLiteral("-hash"), QStringLiteral("md5"), QStringLiteral("-")});
    ffmpeg.waitForFinished(120000);
    return QString::fromUtf8(ffmpeg.readAllStandardOutput()).trimmed();
}

bool DefineTone(SwfBuild::Tags &tags, std::uint16_t id, const TempFolder &folder, const QString &name,
                const char *codec, int rate, double seconds, int frequency)
{
    using namespace SwfBuild;
    const QString flv = folder.file(name + QStringLiteral(".flv"));
    const std::vector<SwfTestKit::FlvTag> flvTags = SwfTestKit::EncodeFlv(
        flv, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
              QStringLiteral("sine=frequency=%1:sample_rate=%2:duration=%3").arg(frequency).arg(rate).arg(seconds),
              QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-c:a"), QString::fromLatin1(codec)});
    EXPECT_FALSE(flvTags.empty()) << codec;
    if (flvTags.empty())
        return false;
    const std::uint8_t format = flvTags.front().data.at(0);
    // One ADPCM packet is a whole sound of 4096 samples.
    const bool adpcm = format >> 4 == 1;
    const Bytes data = adpcm ? Bytes(flvTags.front().data.begin() + 1, flvTags.front().data.end())
                             : SwfTestKit::JoinPayloads(flvTags, 8);
    const std::int64_t samples = adpcm ? 4096 : SwfTestKit::DecodedSamples(flv);
    tags.defineSound(id, format, std::uint32_t(samples), data);
    return true;
}

QString EventSoundSwf(const TempFolder &folder, const QString &name, const char *codec, int rate, double seconds,
                      int pictures, int frequency)
{
    using namespace SwfBuild;
    Tags tags;
    if (!DefineTone(tags, 1, folder, name, codec, rate, seconds, frequency))
        return QString();
    tags.startSound(1);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < pictures; ++i)
        tags.defineBitsJpeg2(std::uint16_t(10 + i), JpegOf(Solid(64, 48, colours[i % 4])));
    tags.showFrame().end();
    return folder.write(name + QStringLiteral(".swf"), SwfTestKit::ToQt(BuildSwf(tags)));
}

} // namespace Pipeline
