#pragma once

#include "swfextract/lib/Limits.h"
#include "swfextract/lib/Movie.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace SwfExtract {

// Main-timeline frames are counted from 0: frame N is the one that the
// (N+1)th ShowFrame ends. A first/last pair is unset when never seen.
struct FrameSpan
{
    std::optional<std::uint32_t> first;
    std::optional<std::uint32_t> last;
    void see(std::uint32_t frame)
    {
        if (!first)
            first = frame;
        last = frame;
    }
};

// The walk's records below hold what the report needs and, for the
// exports, where the data lies (tag references, blocks, frames); the report
// gives only the former.

// A picture definition and the main-timeline frames it is on stage.
struct StagedPicture
{
    std::uint16_t id = 0;
    int definition = 1; // 1, 2, ... for the definitions of one ID, as %d names count them
    bool jpeg = true; // JPEG family, else lossless
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool alpha = false;
    FrameSpan onStage;
};

// One SoundStreamBlock: its bytes (for MP3 without the 4-byte
// SampleCount/SeekSamples header) and the frame of its own timeline.
struct StreamBlock
{
    TagRef data;
    std::uint32_t frame = 0;
};

// A stream head and its blocks, on the main timeline or in a sprite.
struct StreamTrack
{
    std::uint16_t sprite = 0; // 0 for the main timeline
    std::uint8_t formatByte = 0; // StreamSoundFormat of the head
    std::int16_t latencySeek = 0; // MP3 only
    FrameSpan frames; // frames of its own timeline with a block
    std::uint32_t blockCount = 0;
    std::vector<StreamBlock> blocks;
    std::vector<std::uint32_t> placedAt; // main-timeline frames the sprite is placed at
};

// A DefineSound: its format and where its tag is.
struct SoundDefinition
{
    std::uint16_t id = 0;
    std::uint8_t formatByte = 0;
    std::uint32_t samples = 0;
    std::optional<std::int16_t> seekSamples; // MP3 only
    TagRef tag;
};

// A StartSound or StartSound2, at its main-timeline frame (a sprite's
// starts once for each time the sprite is placed).
struct SoundStartEvent
{
    std::uint32_t frame = 0;
    std::optional<std::uint16_t> sound; // unset when a StartSound2 class is not found
    std::string className; // StartSound2 only
    std::uint16_t sprite = 0;
    std::uint32_t loops = 1;
    bool stop = false;
    bool noMultiple = false;
    std::optional<std::uint32_t> inPoint;
    std::optional<std::uint32_t> outPoint;
    bool envelope = false;
};

struct VideoFrameRef
{
    TagRef data; // VideoData, after StreamID and FrameNum
    std::uint32_t frame = 0;
};

// A DefineVideoStream and its frames.
struct VideoTrack
{
    std::uint16_t id = 0;
    std::uint8_t codec = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint32_t frameCount = 0; // VideoFrame tags found
    std::vector<VideoFrameRef> frames;
    FrameSpan onStage;
};

// A button character placed on the main timeline: the centre of the
// shapes its up state shows (through their records' matrices), through the
// matrix it is first placed with; in twips on the stage.
struct PlacedButton
{
    std::uint16_t id = 0;
    double x = 0;
    double y = 0;
};

// A DefineSprite and how many frames its own timeline has: its ShowFrame
// tags, not the FrameCount its header claims. Sprites nested deeper than
// the walk follows are not listed.
struct DefinedSprite
{
    std::uint16_t id = 0;
    std::uint32_t frames = 0;
};

// What the movie draws with that a renderer of plain shapes and pictures
// leaves out, anywhere in it (sprites and buttons included).
struct DrawingEffects
{
    bool filters = false; // a PlaceObject3 or button record with filters
    bool blendModes = false; // a blend mode other than normal
    bool bitmapFills = false; // a shape or morph shape filled with a bitmap
};

// What happens when: which pictures and videos are on stage in which
// frames, the sounds, their starts and the streams. Read by one walk over
// the tags, linear in the file's size, every list bounded by Limits.
class Timeline
{
public:
    std::uint32_t frames = 0;
    std::optional<std::uint32_t> background; // 0xRRGGBB
    bool lastFrameStops = false;
    bool actionScript3 = false;
    bool stops() const { return lastFrameStops || actionScript3; }

    std::vector<StagedPicture> pictures;
    std::optional<StreamTrack> stream;
    std::vector<StreamTrack> spriteStreams;
    std::vector<SoundDefinition> sounds;
    std::vector<SoundStartEvent> starts;
    std::vector<VideoTrack> videos;
    std::vector<PlacedButton> buttons; // in first-placement order, each ID once
    std::vector<DefinedSprite> sprites; // in definition order
    DrawingEffects effects;

    // The movie's warnings, then the defects and caps met by the walk,
    // then what the caps left out; at most Limits::maxReportEntries lines.
    std::vector<std::string> warnings;
    // True when a defining tag could not be read whole.
    bool damaged = false;

    static Timeline read(const Movie &movie, const Limits &limits);
};

// Report names of the SoundFormat codes ("mp3", "code-9") and of the
// video codecs ("h263").
std::string SoundFormatName(int code);
std::string VideoCodecName(int code);
// Decoded sample rate, channels and bits of a format byte.
std::uint32_t SoundRate(std::uint8_t formatByte);
int SoundChannels(std::uint8_t formatByte);
int SoundBits(std::uint8_t formatByte);

// The --timeline report: one JSON document (UTF-8, ends with a newline).
std::string FormatTimeline(const Movie &movie, const Timeline &timeline);

} // namespace SwfExtract
