#include "swfextract/lib/Json.h"
#include "swfextract/lib/Timeline.h"

#include <cstdio>

namespace SwfExtract {

namespace {

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
    object.add("format", JsonString(SoundFormatName(formatByte >> 4)))
        .add("rate", JsonInteger(SoundRate(formatByte)))
        .add("channels", JsonInteger(SoundChannels(formatByte)))
        .add("bits", JsonInteger(SoundBits(formatByte)));
    return object;
}

JsonObject Stream(const TimelineStream &stream)
{
    JsonObject object = Format(stream.formatByte);
    object.add("firstFrame", JsonOptional(stream.frames.first))
        .add("lastFrame", JsonOptional(stream.frames.last))
        .add("blocks", JsonInteger(stream.blockCount))
        .add("latencySeek", stream.formatByte >> 4 == 2 ? JsonInteger(stream.latencySeek) : "null");
    return object;
}

// The report's lists: JSON arrays with one element a line.
std::string Pictures(const Timeline &timeline)
{
    JsonArray pictures;
    for (const TimelinePicture &picture : timeline.pictures)
        pictures.add(JsonObject()
                         .add("id", JsonInteger(picture.id))
                         .add("definition", JsonInteger(picture.definition))
                         .add("kind", JsonString(picture.jpeg ? "jpeg" : "png"))
                         .add("width", JsonInteger(picture.width))
                         .add("height", JsonInteger(picture.height))
                         .add("alpha", JsonBool(picture.alpha))
                         .add("firstFrame", JsonOptional(picture.onStage.first))
                         .add("lastFrame", JsonOptional(picture.onStage.last))
                         .text());
    return pictures.text(true, 2);
}

std::string SpriteStreams(const Timeline &timeline)
{
    JsonArray spriteStreams;
    for (const TimelineStream &stream : timeline.spriteStreams) {
        if (stream.blockCount == 0)
            continue; // a head alone plays nothing
        JsonArray placedAt;
        for (std::uint32_t frame : stream.placedAt)
            placedAt.add(JsonInteger(frame));
        JsonObject object;
        object.add("sprite", JsonInteger(stream.sprite)).add("placedAt", placedAt.text()).add(Stream(stream));
        spriteStreams.add(object.text());
    }
    return spriteStreams.text(true, 2);
}

std::string Sounds(const Timeline &timeline)
{
    JsonArray sounds;
    for (const TimelineSound &sound : timeline.sounds) {
        const double seconds = double(sound.samples) / SoundRate(sound.formatByte);
        JsonObject object;
        object.add("id", JsonInteger(sound.id))
            .add(Format(sound.formatByte))
            .add("samples", JsonInteger(sound.samples))
            .add("seconds", JsonNumber(seconds));
        // MP3 players drop this many decoded samples first.
        if (sound.seekSamples)
            object.add("seekSamples", JsonInteger(*sound.seekSamples));
        sounds.add(object.text());
    }
    return sounds.text(true, 2);
}

std::string SoundStarts(const Timeline &timeline)
{
    JsonArray starts;
    for (const SoundStart &start : timeline.starts) {
        JsonObject object;
        object.add("frame", JsonInteger(start.frame))
            .add("sound", start.sound ? JsonInteger(*start.sound) : "null")
            .add("sprite", JsonInteger(start.sprite))
            .add("loops", JsonInteger(start.loops))
            .add("stop", JsonBool(start.stop))
            .add("noMultiple", JsonBool(start.noMultiple))
            .add("inPoint", JsonOptional(start.inPoint))
            .add("outPoint", JsonOptional(start.outPoint))
            .add("envelope", JsonBool(start.envelope));
        if (!start.className.empty())
            object.add("className", JsonString(start.className));
        starts.add(object.text());
    }
    return starts.text(true, 2);
}

std::string Videos(const Timeline &timeline)
{
    JsonArray videos;
    for (const TimelineVideo &video : timeline.videos)
        videos.add(JsonObject()
                       .add("id", JsonInteger(video.id))
                       .add("codec", JsonString(VideoCodecName(video.codec)))
                       .add("width", JsonInteger(video.width))
                       .add("height", JsonInteger(video.height))
                       .add("frames", JsonInteger(video.frameCount))
                       .add("firstFrame", JsonOptional(video.onStage.first))
                       .add("lastFrame", JsonOptional(video.onStage.last))
                       .text());
    return videos.text(true, 2);
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
                                 .add("width", JsonNumber(movie.stageWidthTwips / 20.0))
                                 .add("height", JsonNumber(movie.stageHeightTwips / 20.0));
    const std::pair<const char *, std::string> members[] = {
        {"version", JsonInteger(movie.header().version)},
        {"container", JsonString(ContainerName(movie.header().container))},
        {"stage", stage.text()},
        {"frameRate", JsonNumber(movie.frameRate / 256.0)},
        {"frameCount", JsonInteger(timeline.frames)},
        {"background", timeline.background ? JsonString(Colour(*timeline.background)) : "null"},
        {"stops", JsonBool(timeline.stops())},
        {"pictures", Pictures(timeline)},
        {"stream", timeline.stream && timeline.stream->blockCount > 0 ? Stream(*timeline.stream).text() : "null"},
        {"spriteStreams", SpriteStreams(timeline)},
        {"sounds", Sounds(timeline)},
        {"soundStarts", SoundStarts(timeline)},
        {"videos", Videos(timeline)},
        {"warnings", Warnings(timeline)},
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
