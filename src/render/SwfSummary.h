#pragma once

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QString>

namespace Render {

// What the recorder needs to know of a movie before it plays it, read from
// the SWF itself.
struct SwfSummary
{
    bool ok = false;
    QString error;
    int version = 0;
    double widthPx = 0; // the stage, in pixels
    double heightPx = 0;
    double frameRate = 0; // frames a second, as the header says
    int frameCount = 0;
    bool actionScript3 = false;
    bool eventSounds = false; // StartSound anywhere
    bool streamSound = false; // a sound stream head anywhere
    QString background = QStringLiteral("#ffffff");
    // Centres (stage pixels) of the buttons placed on the main timeline,
    // in the order they are first placed.
    QList<QPointF> buttons;
};

// Uncompressed movies larger than this are not read.
inline constexpr qint64 MaxSwfBytes = 512LL * 1024 * 1024;

SwfSummary ReadSwfSummary(const QByteArray &file);
SwfSummary ReadSwfSummaryFile(const QString &path);

} // namespace Render
