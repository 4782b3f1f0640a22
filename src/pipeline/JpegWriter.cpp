#include "JpegWriter.h"

#include "tools/Failure.h"

#include "tarnwick/JpegCompress.h"

#include <QFile>
#include <QString>

#include <algorithm>
#include <filesystem>
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
Tarnwick::JpegBytes Encode(const NConvert::Picture &picture, int quality)
{
    const Tarnwick::PixelRows rows{picture.rgba.data(), int(picture.width), int(picture.height),
                                   std::size_t(picture.width) * 4, Tarnwick::PixelLayout::Rgbx};
    auto jpeg = Tarnwick::CompressJpeg(rows, std::max(quality, 1));
    if (!jpeg)
        RaiseSaveFailure(jpeg.error().failure == Tarnwick::JpegFailure::NoEncoder ? JpegStatus::OutOfMemory
                                                                                  : JpegStatus::GenericError);
    return std::move(*jpeg);
}

} // namespace

void SaveJpeg(const NConvert::Picture &picture, const QString &path, quint8 quality)
{
    const bool empty = picture.width == 0 || picture.height == 0
                       || picture.rgba.size() != std::size_t(picture.width) * picture.height * 4;
    if (empty || quality > kBestQuality)
        RaiseSaveFailure(JpegStatus::InvalidParameter);
    std::optional<Tarnwick::JpegBytes> jpeg;
    try {
        jpeg = Encode(picture, quality);
    } catch (const std::bad_alloc &) {
        RaiseSaveFailure(JpegStatus::OutOfMemory);
    }
    // Written beside the file and renamed over it, so that a failed save
    // leaves the old one. Not synced to disk, as QSaveFile would: frames are
    // scratch that a crash loses with the job anyway, and a sync per frame
    // costs more than its encode.
    const QString partial = path + QStringLiteral(".part");
    QFile file(partial);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        RaiseSaveFailure(JpegStatus::FileError);
    const std::span<const std::uint8_t> bytes = jpeg->bytes();
    const qint64 size = qint64(bytes.size());
    const bool written = file.write(reinterpret_cast<const char *>(bytes.data()), size) == size && file.flush();
    file.close();
    std::error_code error;
    if (written)
        std::filesystem::rename(QFile::encodeName(partial).toStdString(), QFile::encodeName(path).toStdString(), error);
    if (!written || error) {
        QFile::remove(partial);
        RaiseSaveFailure(JpegStatus::FileError);
    }
}

} // namespace Pipeline
