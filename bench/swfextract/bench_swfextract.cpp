// Extractor benchmark: builds a large CWS movie (hundreds of pictures of
// every kind and an MP3 stream), then measures, each in a fresh process,
// plain zlib decompression of it against listing and extracting everything
// from it. Usage: bench_swfextract [FILE.swf]  (the movie is kept at FILE).
#include "SwfBuilder.h"

#include "swfextract/lib/Extraction.h"
#include "swfextract/lib/Listing.h"
#include "swfextract/lib/Movie.h"

#include <turbojpeg.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using SwfBuild::Bytes;
using Clock = std::chrono::steady_clock;

constexpr int kJpeg2 = 300;
constexpr int kDefineBits = 20;
constexpr int kJpeg3Alpha = 10;
constexpr int kLossless = 40;

Bytes MakeJpeg(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<unsigned char> rgb(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char *p = rgb.data() + (std::size_t(y) * width + x) * 3;
            p[0] = (unsigned char)(x * 255 / width);
            p[1] = (unsigned char)(y * 255 / height);
            p[2] = (unsigned char)(random() & 0xFF); // noise keeps the JPEG large, as photos are
        }
    tjhandle tj = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_420, 90, 0);
    Bytes jpeg(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

Bytes MakeMovie()
{
    std::vector<Bytes> jpegs;
    for (unsigned i = 0; i < 8; ++i)
        jpegs.push_back(MakeJpeg(800, 600, i));
    SwfBuild::Tags tags;
    std::uint16_t id = 1;
    for (int i = 0; i < kJpeg2; ++i)
        tags.defineBitsJpeg2(id++, jpegs[std::size_t(i) % jpegs.size()]).showFrame();
    const auto [tables, image] = SwfBuild::SplitJpegTables(jpegs[0]);
    tags.jpegTables(tables);
    for (int i = 0; i < kDefineBits; ++i)
        tags.defineBits(id++, image).showFrame();
    const Bytes small = MakeJpeg(400, 300, 99);
    Bytes alpha(400 * 300);
    for (std::size_t i = 0; i < alpha.size(); ++i)
        alpha[i] = std::uint8_t(i % 400 < 200 ? 255 : (i / 400) % 256);
    for (int i = 0; i < kJpeg3Alpha; ++i)
        tags.defineBitsJpeg3(id++, small, alpha).showFrame();
    std::vector<std::array<std::uint8_t, 4>> argb(256 * 256);
    for (std::size_t i = 0; i < argb.size(); ++i) {
        const std::uint8_t a = std::uint8_t(i % 256);
        argb[i] = {a, std::uint8_t((i / 256) * a / 255), std::uint8_t((i % 97) * a / 255), 0};
    }
    const Bytes pixels = SwfBuild::EncodeArgb(argb);
    for (int i = 0; i < kLossless; ++i)
        tags.defineBitsLossless2(id++, 5, 256, 256, pixels).showFrame();
    // One MP3 stream of 2000 blocks (frame-shaped filler: only bytes matter here).
    tags.soundStreamHead2(0x2F, 1152);
    Bytes frame(417, 0x55);
    frame[0] = 0xFF;
    frame[1] = 0xFB;
    for (int i = 0; i < 2000; ++i)
        tags.soundStreamBlock(1152, 0, frame).showFrame();
    tags.end();
    return SwfBuild::BuildSwf(tags, SwfBuild::Container::Cws);
}

// Child: what any reader must at least do, done as fast as zlib allows:
// read the file in chunks and inflate it into one buffer of the final size.
int Baseline(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    unsigned char head[8];
    if (!file || std::fread(head, 1, 8, file) != 8)
        return 1;
    const std::size_t length = (std::uint32_t(head[4]) | std::uint32_t(head[5]) << 8 | std::uint32_t(head[6]) << 16
                                | std::uint32_t(head[7]) << 24)
                               - 8u;
    std::unique_ptr<std::uint8_t, decltype(&std::free)> body(static_cast<std::uint8_t *>(std::malloc(length)),
                                                             &std::free);
    std::vector<std::uint8_t> chunk(256 * 1024);
    z_stream zs{};
    inflateInit(&zs);
    zs.next_out = body.get();
    zs.avail_out = uInt(length);
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_in = chunk.data();
        zs.avail_in = uInt(std::fread(chunk.data(), 1, chunk.size(), file));
        if (zs.avail_in == 0)
            break;
        rc = inflate(&zs, Z_NO_FLUSH);
    }
    inflateEnd(&zs);
    std::fclose(file);
    return rc == Z_STREAM_END ? 0 : 1;
}

// Child: list and extract everything in one process.
int ExtractEverything(const std::string &path, const std::string &folder)
{
    const SwfExtract::Limits limits;
    SwfExtract::Result<SwfExtract::Movie> movie = SwfExtract::Movie::open(path, limits);
    if (!movie)
        return 1;
    const std::string listing = SwfExtract::FormatListing(*movie, path);
    SwfExtract::Request pictures;
    for (const SwfExtract::Definition &definition : movie->definitions)
        (definition.objectClass == SwfExtract::ObjectClass::Jpeg ? pictures.jpegIds : pictures.pngIds)
            .push_back(definition.id);
    pictures.out = folder + "/x_%d.jpg";
    SwfExtract::Request sound;
    sound.mp3 = true;
    sound.out = folder + "/sound.mp3";
    const bool ok = SwfExtract::Extract(*movie, pictures, limits).ok()
                    && SwfExtract::Extract(*movie, sound, limits).ok();
    return ok && !listing.empty() ? 0 : 1;
}

struct Measure
{
    double seconds;
    double peakMiB;
    int status;
};

Measure Spawn(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return {0, 0, -1};
    int status = 0;
    struct rusage usage
    {
    };
    wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {seconds, usage.ru_maxrss / 1024.0, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// Best of three: the least disturbed run.
Measure Best(const std::vector<std::string> &args, const std::string &cleanFolder = {})
{
    Measure best{1e9, 0, 0};
    for (int i = 0; i < 3; ++i) {
        if (!cleanFolder.empty()) {
            std::filesystem::remove_all(cleanFolder);
            std::filesystem::create_directories(cleanFolder);
        }
        const Measure m = Spawn(args);
        if (m.seconds < best.seconds)
            best = m;
    }
    return best;
}

void Row(const char *what, const Measure &m, const Measure &base, double bodyMiB)
{
    std::printf("%-44s %8.3f s  %5.2fx   %7.1f MiB  %5.2fx body%s\n", what, m.seconds, m.seconds / base.seconds,
                m.peakMiB, m.peakMiB / bodyMiB, m.status == 0 ? "" : "   (FAILED)");
}

} // namespace

int main(int argc, char **argv)
{
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    if (argc == 3 && std::strcmp(argv[1], "--baseline") == 0)
        return Baseline(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--extract") == 0)
        return ExtractEverything(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--make") == 0) {
        const Bytes movie = MakeMovie();
        std::ofstream(argv[2], std::ios::binary)
            .write(reinterpret_cast<const char *>(movie.data()), std::streamsize(movie.size()));
        return 0;
    }

    const std::string file = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "bench-large.swf").string();
    // The movie is made in a child process: a child's peak memory counts the
    // memory of the process it was started from.
    if (!std::filesystem::exists(file)) {
        std::printf("Building %s ...\n", file.c_str());
        Spawn({self, "--make", file});
    }
    unsigned char head[8] = {};
    std::ifstream(file, std::ios::binary).read(reinterpret_cast<char *>(head), 8);
    const double bodyMiB = ((std::uint32_t(head[4]) | std::uint32_t(head[5]) << 8 | std::uint32_t(head[6]) << 16
                             | std::uint32_t(head[7]) << 24)
                            - 8)
                           / 1048576.0;
    std::printf("%s: %.1f MiB compressed, %.1f MiB decompressed, %d pictures, 1 MP3 stream\n\n", file.c_str(),
                std::filesystem::file_size(file) / 1048576.0, bodyMiB, kJpeg2 + kDefineBits + kJpeg3Alpha + kLossless);

    const std::string out = (std::filesystem::temp_directory_path() / "bench-swfextract-out").string();
    const std::string program = TARNWICK_BIN_DIR "/swfextract";
    std::string jpegIds = "1-" + std::to_string(kJpeg2 + kDefineBits + kJpeg3Alpha);
    std::string pngIds = std::to_string(kJpeg2 + kDefineBits + kJpeg3Alpha + 1) + "-"
                         + std::to_string(kJpeg2 + kDefineBits + kJpeg3Alpha + kLossless);

    const Measure base = Best({self, "--baseline", file});
    std::printf("%-44s %10s  %6s   %11s  %s\n", "", "time", "vs zlib", "peak RSS", "vs body");
    Row("plain zlib decompression (read + inflate)", base, base, bodyMiB);
    Row("library: list + extract everything", Best({self, "--extract", file, out}, out), base, bodyMiB);
    Row("program: listing", Best({program, file}), base, bodyMiB);
    Row("program: -j all -p all -o %d",
        Best({program, "-j", jpegIds, "-p", pngIds, file, "-o", out + "/x_%d.jpg"}, out), base, bodyMiB);
    Row("program: -m", Best({program, "-m", file, "-o", out + "/s.mp3"}, out), base, bodyMiB);
    std::filesystem::remove_all(out);
    return 0;
}
