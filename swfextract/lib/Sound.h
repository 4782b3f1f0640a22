#pragma once

#include "swfextract/lib/ByteSink.h"
#include "swfextract/lib/Movie.h"
#include "swfextract/lib/Result.h"

namespace SwfExtract {

// Writes the main timeline's MP3 stream: the MP3 frames of its
// SoundStreamBlocks in file order, which together play as one .mp3 file.
// Fails when the movie has no such stream or the sink fails.
Status WriteMp3Stream(const Movie &movie, ByteSink &sink);

// Writes an event sound (DefineSound) in MP3: its frames after the
// SeekSamples field. Fails for other codecs.
Status WriteEventSound(const Movie &movie, const Definition &definition, ByteSink &sink);

// A codec number as a name for messages ("ADPCM").
std::string SoundCodecName(int codec);

} // namespace SwfExtract
