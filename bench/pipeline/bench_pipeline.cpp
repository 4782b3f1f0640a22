// Times tarnwick-batch on a generated corpus (SWFs of mixed-size JPEG
// pictures with an MP3 stream each), per file and combined, against the floor
// no converter can beat: FFmpeg alone encoding the same final frames with the
// same settings.
//
//     bench_pipeline [SWFS [PICTURES]]     (default 20 SWFs of 30 pictures)
#include "SwfBuilder.h"

#include "pipeline/VideoEncoding.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QSize kSizes[] = {{640, 480}, {800, 600}, {480, 360}, {1024, 768}, {720, 540}};
const QSize kLargest(1024, 768);
constexpr int kSecondsPerPicture = 3;

// A picture with gradients, shapes and noise, so the JPEG costs what a real
// photo-like slide costs.
QImage Picture(QSize size, int seed)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor::fromHsv(seed * 37 % 360, 200, 220));
    gradient.setColorAt(1, QColor::fromHsv(seed * 91 % 360, 180, 90));
    painter.fillRect(image.rect(), gradient);
    QRandomGenerator random(seed);
    for (int i = 0; i < 40; ++i) {
        painter.setBrush(QColor::fromHsv(random.bounded(360), 160, 200));
        painter.drawEllipse(random.bounded(size.width()), random.bounded(size.height()), 30 + random.bounded(120),
                            30 + random.bounded(120));
    }
    painter.end();
    for (int y = 0; y < size.height(); y += 2) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); x += 3)
            line[x] ^= random.bounded(0x10) * 0x010101;
    }
    return image;
}

SwfBuild::Bytes Jpeg(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return SwfBuild::Bytes(bytes.begin(), bytes.end());
}

bool Run(const QString &program, const QStringList &arguments, const QString &folder = QString())
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString &path, const SwfBuild::Bytes &bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
}

// FFmpeg alone on frames already at their final size, with the job's own
// arguments; returns seconds.
double Floor(const QString &folder, int frames, const QStringList &sounds)
{
    Pipeline::EncodeRequest request;
    request.rate = QStringLiteral("1/%1").arg(kSecondsPerPicture);
    request.frameCount = frames;
    request.frameSeconds = kSecondsPerPicture;
    request.quality = 8; // the default slider position, 75
    request.sounds = sounds;
    QElapsedTimer timer;
    timer.start();
    Run(QStringLiteral("ffmpeg"), Pipeline::EncoderArguments(request, QStringLiteral("floor.mp4")), folder);
    return timer.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int swfs = argc > 1 ? std::atoi(argv[1]) : 20;
    const int pictures = argc > 2 ? std::atoi(argv[2]) : 30;
    QTemporaryDir dir;
    const QDir root(dir.path());
    root.mkpath(QStringLiteral("in"));
    root.mkpath(QStringLiteral("out"));
    root.mkpath(QStringLiteral("floor/temp"));

    // One MP3 for every movie, as long as its pictures last.
    const QString mp3 = root.filePath(QStringLiteral("sound.mp3"));
    Run(QStringLiteral("ffmpeg"), {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                                   QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                   QStringLiteral("sine=frequency=330:sample_rate=22050:duration=%1")
                                       .arg(pictures * kSecondsPerPicture),
                                   QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-ar"),
                                   QStringLiteral("22050"), mp3});
    const QByteArray mp3Bytes = ReadAll(mp3);
    const std::vector<SwfBuild::Bytes> frames
        = SwfBuild::SplitMp3Frames(SwfBuild::Bytes(mp3Bytes.begin(), mp3Bytes.end()));

    std::printf("Generating %d SWFs of %d pictures...\n", swfs, pictures);
    QStringList files;
    for (int s = 0; s < swfs; ++s) {
        SwfBuild::Tags tags;
        tags.soundStreamHead2(0x2A, 576); // MP3, 22 kHz, 16-bit, mono
        const size_t perFrame = frames.size() / static_cast<size_t>(pictures) + 1;
        for (int p = 0; p < pictures; ++p) {
            tags.defineBitsJpeg2(static_cast<std::uint16_t>(p + 1), Jpeg(Picture(kSizes[(s + p) % 5], s * 1000 + p)));
            SwfBuild::Bytes block;
            for (size_t f = p * perFrame; f < std::min(frames.size(), (p + 1) * perFrame); ++f)
                block.insert(block.end(), frames[f].begin(), frames[f].end());
            if (!block.empty())
                tags.soundStreamBlock(static_cast<std::uint16_t>(576 * perFrame), 0, block);
            tags.showFrame();
        }
        tags.end();
        const QString path = root.filePath(QStringLiteral("in/movie%1.swf").arg(s + 1));
        Write(path, SwfBuild::BuildSwf(tags, SwfBuild::Container::Cws));
        files.append(path);
    }
    // The floor's frames: every picture already at the final size.
    for (int p = 0; p <= pictures; ++p)
        Picture(kLargest, p).save(root.filePath(QStringLiteral("floor/temp/image%1.jpg").arg(p + 1)), "JPEG", 100);

    const QString batch = QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-batch");
    for (const bool combine : {false, true}) {
        QElapsedTimer timer;
        timer.start();
        const bool ok = Run(batch, QStringList{combine ? QStringLiteral("--combine") : QStringLiteral("--each"),
                                               QStringLiteral("--out"), root.filePath(QStringLiteral("out"))}
                                       + files);
        const double ours = timer.elapsed() / 1000.0;

        double floor = 0;
        if (combine) {
            const QString big = root.filePath(QStringLiteral("floor/temp"));
            // The combined floor encodes all pictures plus the end frame once.
            for (int p = pictures + 1; p <= swfs * pictures + 1; ++p)
                QFile::copy(QStringLiteral("%1/image%2.jpg").arg(big).arg((p - 1) % (pictures + 1) + 1),
                            QStringLiteral("%1/image%2.jpg").arg(big).arg(p));
            QStringList sounds;
            for (int s = 0; s < swfs; ++s)
                sounds.append(mp3);
            floor = Floor(root.filePath(QStringLiteral("floor")), swfs * pictures + 1, sounds);
        } else {
            for (int s = 0; s < swfs; ++s)
                floor += Floor(root.filePath(QStringLiteral("floor")), pictures + 1, {mp3});
        }
        std::printf("%-9s tarnwick-batch %7.2f s%s   ffmpeg alone %7.2f s   ratio %.2f\n",
                    combine ? "combined" : "per-file", ours, ok ? "" : " (FAILED)", floor, ours / floor);
    }
    return 0;
}
