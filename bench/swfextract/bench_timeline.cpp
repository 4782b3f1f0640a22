// Timeline benchmark: builds movies of N and 4N frames that stress the walk
// (an FFmpeg-style slide show redefining its bitmap every frame, sprites
// nested three deep placed and removed, sound starts and stream blocks in
// every frame, a display list of 200 depths) and times Timeline::read on
// each, best of five, in this process. The walk should stay linear: the
// time per frame of the large movie close to that of the small one.
// Usage: bench_timeline [FRAMES]  (default 5000).
#include "SwfBuilder.h"

#include "swfextract/lib/ByteSource.h"
#include "swfextract/lib/Movie.h"
#include "swfextract/lib/Timeline.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using SwfBuild::Bytes;
using SwfBuild::Tags;

Bytes BuildMovie(int frames)
{
    Tags tags;
    const Bytes pixels = SwfBuild::EncodeArgb(std::vector<std::array<std::uint8_t, 4>>(16, {255, 1, 2, 3}));
    tags.defineBitsLossless(0, 5, 4, 4, pixels).defineBitmapShape(1, 0);
    tags.defineSound(2, 0x3E, 100, Bytes(200, 0));
    // Sprites 10 <- 11 <- 12, the innermost holding the shape and a start.
    tags.defineSprite(10, 1, Tags().placeObject2(1, 1).startSound(2).showFrame().end());
    tags.defineSprite(11, 1, Tags().placeObject2(1, 10).showFrame().end());
    tags.defineSprite(12, 1, Tags().placeObject2(1, 11).showFrame().end());
    for (std::uint16_t depth = 100; depth < 300; ++depth)
        tags.placeObject2(depth, 1);
    tags.soundStreamHead(0x3E, 100).placeObject(1, 1);
    for (int frame = 0; frame < frames; ++frame) {
        tags.freeCharacter(0).defineBitsLossless(0, 5, 4, 4, pixels);
        tags.placeObject2(2, 12).startSound(2).soundStreamData(Bytes(200, 0));
        if (frame % 2)
            tags.removeObject2(2);
        tags.showFrame();
    }
    return SwfBuild::BuildSwf(tags.end());
}

double SecondsToRead(const Bytes &file, std::size_t &pictures)
{
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        SwfExtract::MemorySource source(SwfExtract::Bytes(file.data(), file.size()));
        SwfExtract::Result<SwfExtract::Movie> movie = SwfExtract::Movie::load(source, SwfExtract::Limits());
        if (!movie) {
            std::fprintf(stderr, "bench_timeline: %s\n", movie.error().text().c_str());
            std::exit(1);
        }
        const auto start = std::chrono::steady_clock::now();
        const SwfExtract::Timeline timeline = SwfExtract::Timeline::read(*movie, SwfExtract::Limits());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
        pictures = timeline.pictures.size();
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    std::printf("| frames | file | Timeline::read | per frame | pictures |\n| ---: | ---: | ---: | ---: | ---: |\n");
    double perFrame[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const int count = i == 0 ? frames : frames * 4;
        const Bytes file = BuildMovie(count);
        std::size_t pictures = 0;
        const double seconds = SecondsToRead(file, pictures);
        perFrame[i] = seconds / count;
        std::printf("| %d | %.1f MiB | %.3f s | %.2f us | %zu |\n", count, file.size() / 1048576.0, seconds,
                    perFrame[i] * 1e6, pictures);
    }
    std::printf("\nper-frame cost, large / small: %.2f (1.00 is linear)\n", perFrame[1] / perFrame[0]);
    return 0;
}
