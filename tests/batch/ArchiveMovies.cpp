#include "ArchiveMovies.h"

#include "SwfBuilder.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

namespace ArchiveMovies {

bool WriteLightMovie(const QString &path, int seed, int pictures)
{
    SwfBuild::Tags tags;
    for (int p = 0; p < pictures; ++p) {
        QImage image(32, 24, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((seed * 37 + p * 101) % 360, 200, 60 + (seed * 7) % 190));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", 80);
        tags.defineBitsJpeg2(static_cast<std::uint16_t>(p + 1), SwfBuild::Bytes(jpeg.begin(), jpeg.end()));
    }
    tags.showFrame().end();
    SwfBuild::MovieOptions options;
    options.widthPx = 32;
    options.heightPx = 24;
    const SwfBuild::Bytes movie = SwfBuild::BuildSwf(tags, SwfBuild::Container::Fws, options);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(reinterpret_cast<const char *>(movie.data()), static_cast<qint64>(movie.size()))
                  == static_cast<qint64>(movie.size());
}

QStringList WriteLightMovies(const QString &folder, int count, int subfolders)
{
    QStringList paths;
    for (int i = 1; i <= count; ++i) {
        QString path = folder;
        if (subfolders > 1)
            path += QStringLiteral("/part-%1").arg(i % subfolders + 1);
        path += QStringLiteral("/movie-%1.swf").arg(i, 4, 10, QLatin1Char('0'));
        if (!WriteLightMovie(path, i))
            return QStringList();
        paths.append(path);
    }
    return paths;
}

} // namespace ArchiveMovies
