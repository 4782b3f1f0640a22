#include "SwfTestKit.h"

#include "swfextract/lib/ByteSink.h"
#include "swfextract/lib/Picture.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace SwfTestKit {

QByteArray ToQt(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

Bytes FromQt(const QByteArray &bytes)
{
    return Bytes(bytes.begin(), bytes.end());
}

QImage Pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y,
                qRgb((x * 255) / std::max(1, width - 1), (y * 255) / std::max(1, height - 1), ((x + y) * 40) % 256));
    return image;
}

namespace {

Bytes Encode(const QImage &image, const char *format, int quality)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return FromQt(data);
}

} // namespace

Bytes EncodeJpeg(const QImage &image, int quality)
{
    return Encode(image, "JPG", quality);
}

Bytes EncodePng(const QImage &image)
{
    return Encode(image, "PNG", -1);
}

QImage Decode(const Bytes &bytes)
{
    QByteArray data = ToQt(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.read();
}

int MaxChannelDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -1;
    const QImage left = a.convertToFormat(QImage::Format_ARGB32);
    const QImage right = b.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int y = 0; y < left.height(); ++y)
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y);
            const QRgb q = right.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return worst;
}

SwfExtract::Result<SwfExtract::Movie> LoadMovie(const Bytes &file, const SwfExtract::Limits &limits)
{
    SwfExtract::MemorySource source(file);
    return SwfExtract::Movie::load(source, limits);
}

SwfExtract::Result<Bytes> PictureBytes(const SwfExtract::Movie &movie, std::size_t index,
                                       const SwfExtract::Limits &limits)
{
    SwfExtract::Result<SwfExtract::Picture> picture = SwfExtract::Picture::prepare(movie, movie.definitions.at(index),
                                                                                   limits);
    if (!picture)
        return picture.error();
    SwfExtract::VectorSink sink;
    bool partial = false;
    std::string note;
    const SwfExtract::Status written = picture->write(movie, sink, partial, note);
    if (!written)
        return written.error();
    return sink.bytes;
}

ProgramRun RunProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("did not finish: ") + process.errorString();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

ProgramRun RunExtractor(const QStringList &arguments)
{
    return RunProgram(QStringLiteral(TARNWICK_BIN_DIR "/swfextract"), arguments);
}

bool HaveFfmpeg()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()
           && !QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty();
}

double MediaDuration(const QString &path)
{
    const ProgramRun run = RunProgram(QStringLiteral("ffprobe"),
                                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                       QStringLiteral("format=duration"), QStringLiteral("-of"),
                                       QStringLiteral("default=noprint_wrappers=1:nokey=1"), path});
    bool ok = false;
    const double seconds = run.out.trimmed().toDouble(&ok);
    return run.exitCode == 0 && ok ? seconds : -1;
}

Bytes ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return FromQt(file.readAll());
}

bool WriteFile(const QString &path, const Bytes &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(ToQt(bytes)) == qint64(bytes.size()) && file.flush();
}

std::vector<FlvTag> ReadFlvTags(const Bytes &flv)
{
    std::vector<FlvTag> tags;
    if (flv.size() < 13 || flv[0] != 'F' || flv[1] != 'L' || flv[2] != 'V')
        return tags;
    std::size_t at = (std::size_t(flv[5]) << 24 | std::size_t(flv[6]) << 16 | std::size_t(flv[7]) << 8 | flv[8]) + 4;
    while (at + 11 <= flv.size()) {
        FlvTag tag;
        tag.type = flv[at];
        const std::size_t size = std::size_t(flv[at + 1]) << 16 | std::size_t(flv[at + 2]) << 8 | flv[at + 3];
        tag.ms = std::uint32_t(flv[at + 4]) << 16 | std::uint32_t(flv[at + 5]) << 8 | flv[at + 6]
                 | std::uint32_t(flv[at + 7]) << 24;
        if (at + 11 + size > flv.size())
            break;
        tag.data.assign(flv.begin() + std::ptrdiff_t(at + 11), flv.begin() + std::ptrdiff_t(at + 11 + size));
        tags.push_back(std::move(tag));
        at += 11 + size + 4;
    }
    return tags;
}

std::vector<FlvTag> EncodeFlv(const QString &path, const QStringList &arguments)
{
    const ProgramRun run = RunProgram(QStringLiteral("ffmpeg"),
                                      QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")}
                                          + arguments + QStringList{QStringLiteral("-f"), QStringLiteral("flv"), path});
    if (run.exitCode != 0)
        return {};
    std::vector<FlvTag> tags = ReadFlvTags(ReadFile(path));
    std::erase_if(tags, [](const FlvTag &tag) { return tag.type != 8 && tag.type != 9; });
    return tags;
}

Bytes JoinPayloads(const std::vector<FlvTag> &tags, std::uint8_t type, std::size_t skip)
{
    Bytes out;
    for (const FlvTag &tag : tags)
        if (tag.type == type && tag.data.size() > skip)
            out.insert(out.end(), tag.data.begin() + std::ptrdiff_t(skip), tag.data.end());
    return out;
}

std::int64_t DecodedSamples(const QString &path)
{
    const QString raw = path + QStringLiteral(".raw");
    const ProgramRun run = RunProgram(QStringLiteral("ffmpeg"),
                                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                                       QStringLiteral("-f"), QStringLiteral("flv"), QStringLiteral("-i"), path,
                                       QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-f"),
                                       QStringLiteral("s16le"), raw});
    if (run.exitCode != 0)
        return -1;
    const std::int64_t bytes = QFileInfo(raw).size();
    QFile::remove(raw);
    return bytes / 2;
}

std::vector<std::int64_t> PacketTimes(const QString &path, const char *streamType)
{
    const ProgramRun run = RunProgram(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), QStringLiteral("flv"),
         QStringLiteral("-select_streams"), QString::fromLatin1(streamType).left(1), QStringLiteral("-show_entries"),
         QStringLiteral("packet=pts_time"), QStringLiteral("-of"), QStringLiteral("csv=p=0"), path});
    std::vector<std::int64_t> times;
    for (const QString &line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        times.push_back(std::llround(line.trimmed().toDouble() * 1000));
    return times;
}

} // namespace SwfTestKit
