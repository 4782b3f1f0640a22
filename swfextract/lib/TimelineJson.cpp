#include "swfextract/lib/Json.h"
#include "swfextract/lib/Timeline.h"
#include "tarnwick/TimelineKeys.h"

#include <cstdio>

namespace SwfExtract {

namespace {

using namespace Tarnwick::TimelineKeys;

std::string ContainerName(Container container)
{
    switch (container) {
    case Container::Fws: return "FWS";
    case Container::Cws: return "CWS";
    case Container::Zws: return "ZWS";
    }
    return "FWS";
}

std::string Colour(std::uint32_t rgb)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", unsigned(rgb & 0xFFFFFF));
    return text;
}

// Format, rate, channels and bits of a format byte, as the first members.
JsonObject Format(std::uint8_t formatByte)
{
    JsonObject object;
    object.add(kFormat, JsonString(SoundFormatName(formatByte >> 4)))
        .add(kRate, JsonInteger(SoundRate(formatByte)))
        .add(kChannels, JsonInteger(SoundChannels(formatByte)))
        .add(kBits, JsonInteger(SoundBits(formatByte)));
    return object;
}

JsonObject Stream(const StreamTrack &stream)
{
    JsonObject object = Format(stream.formatByte);
    object.add(kFirstFrame, JsonOptional(stream.frames.first))
        .add(kLastFrame, JsonOptional(stream.frames.last))
        .add(kBlocks, JsonInteger(stream.blockCount))
        .add(kLatencySeek, stream.formatByte >> 4 == 2 ? JsonInteger(stream.latencySeek) : "null");
    return object;
}

// The report's lists: JSON arrays with one element a line.
std::string Pictures(const Timeline &timeline)
{
    JsonArray pictures;
    for (const StagedPicture &picture : timeline.pictures)
        pictures.add(JsonObject()
                         .add(kId, JsonInteger(picture.id))
                         .add(kDefinition, JsonInteger(picture.definition))
                         .add(kKind, JsonString(picture.jpeg ? kKindJpeg : kKindPng))
                         .add(kWidth, JsonInteger(picture.width))
                         .add(kHeight, JsonInteger(picture.height))
                         .add(kAlpha, JsonBool(picture.alpha))
                         .add(kFirstFrame, JsonOptional(picture.onStage.first))
                         .add(kLastFrame, JsonOptional(picture.onStage.last))
                         .text());
    return pictures.text(true, 2);
}

std::string SpriteStreams(const Timeline &timeline)
{
    JsonArray spriteStreams;
    for (const StreamTrack &stream : timeline.spriteStreams) {
        if (stream.blockCount == 0)
            continue; // a head alone plays nothing
        JsonArray placedAt;
        for (std::uint32_t frame : stream.placedAt)
            placedAt.add(JsonInteger(frame));
        JsonObject object;
        object.add(kSprite, JsonInteger(stream.sprite)).add(kPlacedAt, placedAt.text()).add(Stream(stream));
        spriteStreams.add(object.text());
    }
    return spriteStreams.text(true, 2);
}

std::string Sounds(const Timeline &timeline)
{
    JsonArray sounds;
    for (const SoundDefinition &sound : timeline.sounds) {
        const double seconds = double(sound.samples) / SoundRate(sound.formatByte);
        JsonObject object;
        object.add(kId, JsonInteger(sound.id))
            .add(Format(sound.formatByte))
            .add(kSamples, JsonInteger(sound.samples))
            .add(kSeconds, JsonNumber(seconds));
        // MP3 players drop this many decoded samples first.
        if (sound.seekSamples)
            object.add(kSeekSamples, JsonInteger(*sound.seekSamples));
        sounds.add(object.text());
    }
    return sounds.text(true, 2);
}

std::string SoundStarts(const Timeline &timeline)
{
    JsonArray starts;
    for (const SoundStartEvent &start : timeline.starts) {
        JsonObject object;
        object.add(kFrame, JsonInteger(start.frame))
            .add(kSound, start.sound ? JsonInteger(*start.sound) : "null")
            .add(kSprite, JsonInteger(start.sprite))
            .add(kLoops, JsonInteger(start.loops))
            .add(kStop, JsonBool(start.stop))
            .add(kNoMultiple, JsonBool(start.noMultiple))
            .add(kInPoint, JsonOptional(start.inPoint))
            .add(kOutPoint, JsonOptional(start.outPoint))
            .add(kEnvelope, JsonBool(start.envelope));
        if (!start.className.empty())
            object.add(kClassName, JsonString(start.className));
        starts.add(object.text());
    }
    return starts.text(true, 2);
}

std::string Videos(const Timeline &timeline)
{
    JsonArray videos;
    for (const VideoTrack &video : timeline.videos)
        videos.add(JsonObject()
                       .add(kId, JsonInteger(video.id))
                       .add(kCodec, JsonString(VideoCodecName(video.codec)))
                       .add(kWidth, JsonInteger(video.width))
                       .add(kHeight, JsonInteger(video.height))
                       .add(kFrames, JsonInteger(video.frameCount))
                       .add(kFirstFrame, JsonOptional(video.onStage.first))
                       .add(kLastFrame, JsonOptional(video.onStage.last))
                       .text());
    return videos.text(true, 2);
}

// Centres in stage pixels.
std::string Buttons(const Timeline &timeline)
{
    JsonArray buttons;
    for (const PlacedButton &button : timeline.buttons)
        buttons.add(JsonObject().add(kX, JsonNumber(button.x / 20.0)).add(kY, JsonNumber(button.y / 20.0)).text());
    return buttons.text(true, 2);
}

std::string Sprites(const Timeline &timeline)
{
    JsonArray sprites;
    for (const DefinedSprite &sprite : timeline.sprites)
        sprites.add(JsonObject().add(kId, JsonInteger(sprite.id)).add(kFrames, JsonInteger(sprite.frames)).text());
    return sprites.text(true, 2);
}

std::string Effects(const Timeline &timeline)
{
    return JsonObject()
        .add(kFilters, JsonBool(timeline.effects.filters))
        .add(kBlendModes, JsonBool(timeline.effects.blendModes))
        .add(kBitmapFills, JsonBool(timeline.effects.bitmapFills))
        .text();
}

std::string Warnings(const Timeline &timeline)
{
    JsonArray warnings;
    for (const std::string &warning : timeline.warnings)
        warnings.add(JsonString(warning));
    return warnings.text(true, 2);
}

} // namespace

std::string FormatTimeline(const Movie &movie, const Timeline &timeline)
{
    const JsonObject stage = JsonObject()
                                 .add(kWidth, JsonNumber(movie.stageWidthTwips / 20.0))
                                 .add(kHeight, JsonNumber(movie.stageHeightTwips / 20.0));
    const std::pair<const char *, std::string> members[] = {
        {kVersion, JsonInteger(movie.header().version)},
        {kContainer, JsonString(ContainerName(movie.header().container))},
        {kStage, stage.text()},
        {kFrameRate, JsonNumber(movie.frameRate / 256.0)},
        {kFrameCount, JsonInteger(timeline.frames)},
        {kBackground, timeline.background ? JsonString(Colour(*timeline.background)) : "null"},
        {kStops, JsonBool(timeline.stops())},
        {kActionScript3, JsonBool(timeline.actionScript3)},
        {kPictures, Pictures(timeline)},
        {kStream, timeline.stream && timeline.stream->blockCount > 0 ? Stream(*timeline.stream).text() : "null"},
        {kSpriteStreams, SpriteStreams(timeline)},
        {kSounds, Sounds(timeline)},
        {kSoundStarts, SoundStarts(timeline)},
        {kVideos, Videos(timeline)},
        {kButtons, Buttons(timeline)},
        {kSprites, Sprites(timeline)},
        {kEffects, Effects(timeline)},
        {kWarnings, Warnings(timeline)},
    };
    std::string text = "{";
    bool first = true;
    for (const auto &[key, value] : members) {
        text += first ? "\n  " : ",\n  ";
        text += JsonString(key) + ": " + value;
        first = false;
    }
    return text + "\n}\n";
}

} // namespace SwfExtract
