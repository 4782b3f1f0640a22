#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Pipeline {

// What the extractor's listing says a movie holds.
struct SwfListing
{
    enum class Kind { Jpeg, Png };
    struct PictureLine
    {
        Kind kind;
        QString ids; // the ID list as printed, e.g. "1-3, 5"
    };

    QList<PictureLine> pictureLines; // in listing order
    bool hasMp3Stream = false;
    bool empty = true; // nothing but blanks was printed
};

// Parses the listing text line by line. Each line is judged by the first
// marker it holds, tested in this order: "JPEGs: ID(s)" or "JPEG: ID(s)",
// "PNGs: ID(s)" or "PNG: ID(s)", "MP3 Sound". Other lines are ignored.
SwfListing ParseSwfListing(const QString &text);

// The sort key of an extracted picture's file name `<stem>_<id>[.<n>].<ext>`:
// pictures order by character ID, then by definition number (1 for the
// first definition). Nothing when the name is not of that form.
struct PictureKey
{
    quint32 id = 0;
    quint32 definition = 1;
    auto operator<=>(const PictureKey &) const = default;
};
std::optional<PictureKey> PictureKeyOf(const QString &fileName, const QString &stem);

// The file names among `names` that belong to `stem`, in picture order.
QStringList OrderPictures(const QStringList &names, const QString &stem);

} // namespace Pipeline
