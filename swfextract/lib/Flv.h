#pragma once

#include "swfextract/lib/ByteSink.h"
#include "swfextract/lib/Movie.h"
#include "swfextract/lib/Result.h"
#include "swfextract/lib/Timeline.h"

#include <cstdint>

namespace SwfExtract {

// FLV's audio and video codec numbers and audio flag bits are the SWF's
// own, so SWF sound and video data go into FLV tags unchanged.

// An event sound (DefineSound) of any format as an audio-only FLV. MP3 data
// starts after its SeekSamples field (the timeline report gives that
// field). Data too large for one tag is split where the format allows.
// G.711 (A-law, mu-law) is written as 16-bit PCM: FLV readers play G.711
// at 8 kHz only, a rate SWF sound never has.
Status WriteEventSoundFlv(const Movie &movie, const Definition &definition, ByteSink &sink);

// A timeline's stream sound (`sprite` 0 for the main timeline) as an
// audio-only FLV: one audio tag per SoundStreamBlock with data, stamped
// with its block's frame time on the movie's frame clock.
Status WriteStreamFlv(const Movie &movie, const Timeline &timeline, std::uint16_t sprite, ByteSink &sink);

// A DefineVideoStream's VideoFrame data as a video-only FLV, stamped with
// the frame of each VideoFrame tag. H.264 streams are refused.
Status WriteVideoFlv(const Movie &movie, const Timeline &timeline, std::uint16_t id, ByteSink &sink);

// Milliseconds from the start at which a frame begins (frameRate in 8.8
// fixed point, not 0), computed per frame so that nothing drifts.
std::uint32_t FrameMilliseconds(std::uint32_t frame, std::uint16_t frameRate);

} // namespace SwfExtract
