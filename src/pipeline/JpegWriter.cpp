#include "JpegWriter.h"

#include "tools/Failure.h"

#include "tarnwick/JpegCompress.h"

#include <QImage>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <new>
#include <optional>

namespace Pipeline {

namespace {

constexpr int kBestQuality = 100;

[[noreturn]] void RaiseSaveFailure(JpegStatus status)
{
    throw Tools::Failure(kSaveFailureNumber, QLatin1String(kSaveFailureText) + QString::number(int(status)));
}

// The encoded file, or the failure it is reported as.
Tarnwick::JpegBytes Encode(const QImage &picture, int quality)
{
    // 32-bit RGB in memory is B, G, R, X on little-endian machines; other
    // layouts are converted to one with a fixed byte order first.
    QImage converted;
    const QImage *source = &picture;
    Tarnwick::PixelLayout layout = Tarnwick::PixelLayout::Bgrx;
    if (picture.format() != QImage::Format_RGB32 || Q_BYTE_ORDER != Q_LITTLE_ENDIAN) {
        converted = picture.convertToFormat(QImage::Format_RGBX8888);
        if (converted.isNull())
            RaiseSaveFailure(JpegStatus::OutOfMemory);
        source = &converted;
        layout = Tarnwick::PixelLayout::Rgbx;
    }
    const Tarnwick::PixelRows rows{source->constBits(), source->width(), source->height(),
                                   std::size_t(source->bytesPerLine()), layout};
    auto jpeg = Tarnwick::CompressJpeg(rows, std::max(quality, 1));
    if (!jpeg)
        RaiseSaveFailure(jpeg.error().failure == Tarnwick::JpegFailure::NoEncoder ? JpegStatus::OutOfMemory
                                                                                  : JpegStatus::GenericError);
    return std::move(*jpeg);
}

} // namespace

void SaveJpeg(const QImage &picture, const QString &path, quint8 quality)
{
    if (picture.isNull() || quality > kBestQuality)
        RaiseSaveFailure(JpegStatus::InvalidParameter);
    std::optional<Tarnwick::JpegBytes> jpeg;
    try {
        jpeg = Encode(picture, quality);
    } catch (const std::bad_alloc &) {
        RaiseSaveFailure(JpegStatus::OutOfMemory);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        RaiseSaveFailure(JpegStatus::FileError);
    const std::span<const std::uint8_t> bytes = jpeg->bytes();
    const qint64 size = qint64(bytes.size());
    if (file.write(reinterpret_cast<const char *>(bytes.data()), size) != size || !file.commit())
        RaiseSaveFailure(JpegStatus::FileError);
}

} // namespace Pipeline
