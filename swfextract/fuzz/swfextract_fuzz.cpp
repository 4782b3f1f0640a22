// libFuzzer target: reads any bytes as a SWF movie, lists it, reports its
// timeline and extracts every picture, sound, stream and video to memory
// (FLV exports included), under tight limits. Any crash, hang,
// sanitizer report or broken invariant is a defect; keep the input in
// tests/data/regress.
#include "swfextract/lib/ByteSink.h"
#include "swfextract/lib/ByteSource.h"
#include "swfextract/lib/Flv.h"
#include "swfextract/lib/Listing.h"
#include "swfextract/lib/Movie.h"
#include "swfextract/lib/Picture.h"
#include "swfextract/lib/Sound.h"
#include "swfextract/lib/Timeline.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

using namespace SwfExtract;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Limits limits;
    limits.maxFileBytes = 1u << 20;
    limits.maxBodyBytes = 16u << 20;
    limits.maxLzmaMemory = 16u << 20;
    limits.maxTags = 1u << 16;
    limits.maxPicturePixels = 1u << 20;
    limits.maxReportEntries = 64;
    limits.maxTimelineDepths = 64;
    limits.maxTimelineWork = 1u << 16;

    MemorySource source(Bytes(data, size));
    Result<Movie> movie = Movie::load(source, limits);
    if (!movie) {
        Check(!movie.error().message.empty());
        return 0;
    }
    Check(movie->body().size() <= limits.maxBodyBytes);
    const std::string listing = FormatListing(*movie, "f");
    Check(listing.rfind("Objects in file f:\n", 0) == 0);
    Check((listing.find(" [-m] 1 MP3 Soundstream\n") != std::string::npos)
          == (movie->mp3Stream && !movie->mp3Stream->blocks.empty()));

    for (const Definition &definition : movie->definitions) {
        Check(definition.tag.offset + definition.tag.length <= movie->body().size());
        VectorSink sink;
        if (definition.objectClass == ObjectClass::Sound) {
            (void)WriteEventSound(*movie, definition, sink);
            VectorSink flv;
            (void)WriteEventSoundFlv(*movie, definition, flv);
            continue;
        }
        if (definition.objectClass != ObjectClass::Jpeg && definition.objectClass != ObjectClass::Png)
            continue;
        Result<Picture> picture = Picture::prepare(*movie, definition, limits);
        if (!picture)
            continue;
        bool partial = false;
        std::string note;
        (void)picture->write(*movie, sink, partial, note);
    }
    VectorSink stream;
    (void)WriteMp3Stream(*movie, stream);

    const Timeline timeline = Timeline::read(*movie, limits);
    const std::size_t cap = limits.maxReportEntries;
    Check(timeline.pictures.size() <= cap && timeline.sounds.size() <= cap && timeline.starts.size() <= cap
          && timeline.videos.size() <= cap && timeline.spriteStreams.size() <= cap && timeline.warnings.size() <= cap
          && timeline.buttons.size() <= cap && timeline.sprites.size() <= cap);
    for (const PlacedButton &button : timeline.buttons)
        Check(std::isfinite(button.x) && std::isfinite(button.y));
    for (const StagedPicture &picture : timeline.pictures)
        Check(!picture.onStage.first
              || (*picture.onStage.first <= *picture.onStage.last && *picture.onStage.last < timeline.frames));
    const std::string report = FormatTimeline(*movie, timeline);
    Check(report.rfind("{\n", 0) == 0 && report.size() >= 3 && report.compare(report.size() - 2, 2, "}\n") == 0);
    VectorSink mainStream;
    (void)WriteStreamFlv(*movie, timeline, 0, mainStream);
    for (const StreamTrack &sprite : timeline.spriteStreams) {
        Check(sprite.placedAt.size() <= cap);
        VectorSink flv;
        (void)WriteStreamFlv(*movie, timeline, sprite.sprite, flv);
    }
    for (const VideoTrack &video : timeline.videos) {
        VectorSink flv;
        (void)WriteVideoFlv(*movie, timeline, video.id, flv);
    }
    return 0;
}
