#include "JpegWriter.h"

#include "tools/Failure.h"

#include <QImage>
#include <QSaveFile>
#include <QString>

#include <turbojpeg.h>

#include <memory>
#include <new>

namespace Pipeline {

namespace {

constexpr int kBestQuality = 100;

[[noreturn]] void RaiseSaveFailure(JpegStatus status)
{
    throw Tools::Failure(kSaveFailureNumber, QLatin1String(kSaveFailureText) + QString::number(int(status)));
}

struct CompressorCloser
{
    void operator()(void *handle) const { tjDestroy(handle); }
};

struct BufferFreer
{
    void operator()(unsigned char *buffer) const { tjFree(buffer); }
};

std::unique_ptr<unsigned char, BufferFreer> Encode(const QImage &picture, int quality, unsigned long &size)
{
    // 32-bit RGB in memory is B, G, R, X on little-endian machines; other
    // layouts are converted to one with a fixed byte order first.
    QImage converted;
    const QImage *source = &picture;
    int pixelFormat = TJPF_BGRX;
    if (picture.format() != QImage::Format_RGB32 || Q_BYTE_ORDER != Q_LITTLE_ENDIAN) {
        converted = picture.convertToFormat(QImage::Format_RGBX8888);
        if (converted.isNull())
            RaiseSaveFailure(JpegStatus::OutOfMemory);
        source = &converted;
        pixelFormat = TJPF_RGBX;
    }
    const std::unique_ptr<void, CompressorCloser> compressor(tjInitCompress());
    if (!compressor)
        RaiseSaveFailure(JpegStatus::OutOfMemory);
    unsigned char *buffer = nullptr;
    size = 0;
    const int status = tjCompress2(compressor.get(), source->constBits(), source->width(),
                                   int(source->bytesPerLine()), source->height(), pixelFormat, &buffer, &size,
                                   TJSAMP_444, std::max(quality, 1), TJFLAG_ACCURATEDCT);
    std::unique_ptr<unsigned char, BufferFreer> owned(buffer);
    if (status != 0)
        RaiseSaveFailure(JpegStatus::GenericError);
    return owned;
}

} // namespace

void SaveJpeg(const QImage &picture, const QString &path, quint8 quality)
{
    if (picture.isNull() || quality > kBestQuality)
        RaiseSaveFailure(JpegStatus::InvalidParameter);
    unsigned long size = 0;
    std::unique_ptr<unsigned char, BufferFreer> jpeg;
    try {
        jpeg = Encode(picture, quality, size);
    } catch (const std::bad_alloc &) {
        RaiseSaveFailure(JpegStatus::OutOfMemory);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        RaiseSaveFailure(JpegStatus::FileError);
    if (file.write(reinterpret_cast<const char *>(jpeg.get()), qint64(size)) != qint64(size) || !file.commit())
        RaiseSaveFailure(JpegStatus::FileError);
}

} // namespace Pipeline
