#pragma once

#include "Soundtrack.h"
#include "SwfListing.h"
#include "TimelineReport.h"

#include <QSet>
#include <QString>

#include <optional>

namespace Pipeline {

// One movie to extract: the SWF, and where its pictures and MP3 stream go.
struct MovieToExtract
{
    QString extractor;
    QString source;
    QString pictureFolder;
    QString stem; // its pictures are <stem>_<id>.jpg or .png in pictureFolder
    QString soundPath; // where its MP3 stream goes, when it is copied as it is
    SoundChecker checkSound;
};

// What the extractor gave of one movie.
struct ExtractedMovie
{
    SwfListing listing;
    std::optional<TimelineReport> report; // none when it could not be read
    // Its MP3 stream's check, once written to soundPath: the encoder would
    // fail the whole video on a sound it cannot decode.
    std::optional<SoundCheck> soundCheck;
    bool readInPart = false; // the movie is cut or damaged
    QString reason; // the extractor's last word on the movie
    // Pictures (file names) that are already JPEGs the encoder reads as
    // they are, exactly as the converter would copy them.
    QSet<QString> passable;
};

// Lists the movie, reads its timeline and writes its pictures and its MP3
// stream (when its timeline plays no other sound) in one more run, then
// checks that stream and finds the pictures that need no conversion. Shows no progress, so that it
// can run on a thread of its own beside other work; stops between steps
// once the children are cancelled.
ExtractedMovie ExtractMovie(const MovieToExtract &movie);

} // namespace Pipeline
