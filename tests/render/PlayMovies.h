#pragma once

// Movies for the recorder's end-to-end tests: how long real movies of each
// kind play, and where their sounds fall, in small generated files.

#include "TempFolder.h"
#include "VectorSwf.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace PlayMovies {

enum class Codec { Pcm, Adpcm, Mp3 };
const char *CodecName(Codec codec);

// Mono 16-bit samples at 44.1 kHz: `seconds` of a 1 kHz tone.
std::vector<std::int16_t> Tone(double seconds);

// A beep where the timeline says: one on the main timeline at frame
// `mainFrame` and one in a sprite placed at frame `spriteFrame`, each
// as an event sound (StartSound) or as the timeline's stream sound.
struct Beeps
{
    Codec codec = Codec::Pcm;
    bool stream = false;
    int fps = 20;
    int mainFrame = 10;
    int spriteFrame = 30;
    int frames = 50;
};
SwfBuild::Bytes BeepMovie(const Beeps &beeps, const TempFolder &work);

// The kinds of movie that play longer than their main timeline.
// A 12-frame loop at 24 fps under a `song`-second song started on frame 0.
SwfBuild::Bytes LoopUnderSong(double song);
// 17 frames at 12 fps whose frame 8 starts an MP3 of `seconds`.
SwfBuild::Bytes ShortMovieStartingAnMp3(double seconds, const TempFolder &work);
// One main frame holding a sprite that animates for `frames` frames at
// 12 fps and then stops.
SwfBuild::Bytes SpriteAnimationThatStops(int frames);
// A 9-frame menu at 30 fps whose `music`-second music loops 1000 times.
SwfBuild::Bytes MenuWithEndlessMusic(double music);

} // namespace PlayMovies
