#include "SwfListing.h"

#include <QRegularExpression>

#include <algorithm>

namespace Pipeline {

namespace {

// The text after the first marker found in `line`, or nothing.
std::optional<QString> AfterMarker(const QString &line, std::initializer_list<const char *> markers)
{
    for (const char *marker : markers) {
        const QLatin1String text(marker);
        const qsizetype at = line.indexOf(text);
        if (at >= 0)
            return line.mid(at + text.size()).trimmed();
    }
    return std::nullopt;
}

} // namespace

SwfListing ParseSwfListing(const QString &text)
{
    SwfListing listing;
    listing.empty = text.trimmed().isEmpty();
    if (listing.empty)
        return listing;
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    for (const QString &line : text.split(lineBreak)) {
        if (const auto ids = AfterMarker(line, {"JPEGs: ID(s)", "JPEG: ID(s)"})) {
            listing.pictureLines.append({SwfListing::Kind::Jpeg, *ids});
        } else if (const auto pngIds = AfterMarker(line, {"PNGs: ID(s)", "PNG: ID(s)"})) {
            listing.pictureLines.append({SwfListing::Kind::Png, *pngIds});
        } else if (line.contains(QLatin1String("MP3 Sound"))) {
            listing.hasMp3Stream = true;
        }
    }
    return listing;
}

std::optional<PictureKey> PictureKeyOf(const QString &fileName, const QString &stem)
{
    static const QRegularExpression tail(QStringLiteral("^_(\\d+)(?:\\.(\\d+))?\\.[A-Za-z]+$"));
    if (!fileName.startsWith(stem))
        return std::nullopt;
    const QRegularExpressionMatch match = tail.match(QStringView(fileName).mid(stem.size()));
    if (!match.hasMatch())
        return std::nullopt;
    bool idOk = false;
    PictureKey key;
    key.id = match.captured(1).toUInt(&idOk);
    if (!idOk)
        return std::nullopt;
    if (match.hasCaptured(2)) {
        bool definitionOk = false;
        key.definition = match.captured(2).toUInt(&definitionOk);
        if (!definitionOk)
            return std::nullopt;
    }
    return key;
}

QStringList OrderPictures(const QStringList &names, const QString &stem)
{
    QList<std::pair<PictureKey, QString>> keyed;
    for (const QString &name : names) {
        if (const auto key = PictureKeyOf(name, stem))
            keyed.append({*key, name});
    }
    std::sort(keyed.begin(), keyed.end());
    QStringList ordered;
    for (const auto &entry : keyed)
        ordered.append(entry.second);
    return ordered;
}

} // namespace Pipeline
