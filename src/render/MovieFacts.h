#pragma once

#include <QList>
#include <QPointF>
#include <QString>

namespace Render {

// A sound the movie's timeline is known to play: a sound started on a
// frame, or a stream. Seconds from the movie's start.
struct SoundPlay
{
    double start = 0;
    double seconds = 0; // one pass
    int loops = 1;
    bool stream = false;
};

// What the recorder knows of a movie before it plays it, as the extractor's
// timeline report gives it.
struct MovieFacts
{
    double widthPx = 0; // the stage, in pixels
    double heightPx = 0;
    double frameRate = 0; // frames a second, as the header says
    int frameCount = 0; // the main timeline's frames
    bool actionScript3 = false;
    // The main timeline starts again after its last frame (no stop there):
    // the sounds heard after it may be its own, started once more.
    bool loops = false;
    QString background = QStringLiteral("#ffffff");
    // Centres (stage pixels) of the buttons on the main timeline, in the
    // order they are first placed.
    QList<QPointF> buttons;
    int longestSpriteFrames = 0;
    QList<SoundPlay> sounds;
    // Sounds the timeline holds that no frame starts (code may play them).
    double longestUnstartedSound = 0;
    // Filters, blend modes or bitmap fills: drawn right only by the full renderer.
    bool needsFullRenderer = false;
};

} // namespace Render
