#include "PointerFile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

namespace App {

namespace {

// Icon directory header: reserved, type (1 icon, 2 cursor), count; then
// the first entry, whose planes and bit-count fields hold a cursor's hot spot.
constexpr int kTypeOffset = 2;
constexpr int kHotSpotXOffset = 10;
constexpr int kHotSpotYOffset = 12;
constexpr int kCursorType = 2;

} // namespace

std::optional<QCursor> LoadPointerFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxPointerFileBytes)
        return std::nullopt;
    QByteArray bytes = file.readAll();

    int hotX = -1;
    int hotY = -1;
    if (bytes.size() > kHotSpotYOffset + 1
        && qFromLittleEndian<quint16>(bytes.constData() + kTypeOffset) == kCursorType) {
        hotX = qFromLittleEndian<quint16>(bytes.constData() + kHotSpotXOffset);
        hotY = qFromLittleEndian<quint16>(bytes.constData() + kHotSpotYOffset);
        // The picture reader knows icon files only; a cursor differs in the
        // type field alone.
        qToLittleEndian<quint16>(1, bytes.data() + kTypeOffset);
    }

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    if (hotX >= image.width() || hotY >= image.height())
        hotX = hotY = -1;
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

} // namespace App
