#pragma once

// Test-only writer of SWF files, byte by byte, so that every kind of tag and
// every kind of damage is one line in a test. It writes what the format
// says and nothing more: no validation, so it can also write broken files.

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace SwfBuild {

using Bytes = std::vector<std::uint8_t>;

enum class Container { Fws, Cws, Zws };

// SOUNDINFO of StartSound and StartSound2.
struct SoundInfo
{
    bool syncStop = false;
    bool noMultiple = false;
    std::optional<std::uint32_t> inPoint;
    std::optional<std::uint32_t> outPoint;
    std::optional<std::uint16_t> loops;
    // Envelope points: position in samples, left and right level.
    std::vector<std::array<std::uint32_t, 3>> envelope;
};

// One record of a button: the character, its depth and the states it is
// drawn in (bit 0 up, 1 over, 2 down, 3 hit test).
struct ButtonRecord
{
    std::uint16_t character;
    std::uint16_t depth;
    std::uint8_t states = 0x0F;
};

// A tag list: the movie's, or a sprite's. End it with end().
class Tags
{
public:
    // Any tag; the long header is chosen when the body needs it or when asked.
    Tags &tag(std::uint16_t code, const Bytes &body, bool longHeader = false);
    // A long header whose length field says `claimed` while `body` follows.
    Tags &lyingTag(std::uint16_t code, std::uint32_t claimed, const Bytes &body);
    Tags &showFrame();
    Tags &end();

    Tags &defineShape(std::uint16_t id);
    Tags &jpegTables(const Bytes &tables);
    Tags &defineBits(std::uint16_t id, const Bytes &image);
    Tags &defineBitsJpeg2(std::uint16_t id, const Bytes &data);
    // `alpha` is the raw plane (one byte per pixel); it is zlib-compressed here.
    Tags &defineBitsJpeg3(std::uint16_t id, const Bytes &jpeg, const Bytes &alpha);
    Tags &defineBitsJpeg4(std::uint16_t id, const Bytes &jpeg, const Bytes &alpha, std::uint16_t deblock = 0);
    // `pixels` is the uncompressed bitmap data (palette first for format 3),
    // as the Encode* helpers below make it; it is zlib-compressed here.
    Tags &defineBitsLossless(std::uint16_t id, std::uint8_t format, std::uint16_t width, std::uint16_t height,
                             const Bytes &pixels, std::uint8_t colorTableSize = 0);
    Tags &defineBitsLossless2(std::uint16_t id, std::uint8_t format, std::uint16_t width, std::uint16_t height,
                              const Bytes &pixels, std::uint8_t colorTableSize = 0);
    // Stream heads: `streamFormat` is the second byte (codec << 4 | rate << 2
    // | size << 1 | stereo); LatencySeek is written only when given.
    Tags &soundStreamHead2(std::uint8_t streamFormat, std::uint16_t samplesPerBlock,
                           std::optional<std::int16_t> latencySeek = std::int16_t(0));
    Tags &soundStreamHead(std::uint8_t streamFormat, std::uint16_t samplesPerBlock,
                          std::optional<std::int16_t> latencySeek = std::int16_t(0));
    Tags &soundStreamBlock(std::uint16_t sampleCount, std::int16_t seekSamples, const Bytes &frames);
    // DefineSound; for MP3 `data` starts with SeekSamples.
    Tags &defineSound(std::uint16_t id, std::uint8_t format, std::uint32_t sampleCount, const Bytes &data);
    // `inner` is the sprite's own tag list (end it with end()).
    Tags &defineSprite(std::uint16_t id, std::uint16_t frameCount, const Tags &inner);

    // A square DefineShape (`version` 1 to 4) filled with bitmap `bitmap`.
    // With `newStylesBitmap`, a style change record inside the shape
    // records brings a new fill style array that fills with that bitmap.
    Tags &defineBitmapShape(std::uint16_t id, std::uint16_t bitmap, int version = 1,
                            std::optional<std::uint16_t> newStylesBitmap = std::nullopt);
    // DefineMorphShape (`version` 1) or DefineMorphShape2 (2) whose one fill
    // style is bitmap `bitmap`, preceded by a solid and a gradient fill.
    Tags &defineBitmapMorphShape(std::uint16_t id, std::uint16_t bitmap, int version = 1);
    Tags &defineButton(std::uint16_t id, const std::vector<ButtonRecord> &records);
    Tags &defineButton2(std::uint16_t id, const std::vector<ButtonRecord> &records);
    Tags &placeObject(std::uint16_t character, std::uint16_t depth);
    // Without `character` and with `move`, the object at `depth` moves.
    Tags &placeObject2(std::uint16_t depth, std::optional<std::uint16_t> character, bool move = false);
    Tags &placeObject3(std::uint16_t depth, std::optional<std::uint16_t> character, bool move = false,
                       const char *className = nullptr);
    Tags &removeObject(std::uint16_t character, std::uint16_t depth);
    Tags &removeObject2(std::uint16_t depth);
    Tags &freeCharacter(std::uint16_t id);
    Tags &startSound(std::uint16_t sound, const SoundInfo &info = {});
    Tags &startSound2(const char *className, const SoundInfo &info = {});
    Tags &symbolClass(const std::vector<std::pair<std::uint16_t, const char *>> &symbols);
    // A stream block as non-MP3 formats store it: the data alone.
    Tags &soundStreamData(const Bytes &data);
    Tags &defineVideoStream(std::uint16_t id, std::uint16_t frameCount, std::uint16_t width, std::uint16_t height,
                            std::uint8_t codec);
    Tags &videoFrame(std::uint16_t stream, std::uint16_t frameNumber, const Bytes &data);
    // DoAction with the given action records (ActionEnd added).
    Tags &doAction(const Bytes &actions);
    Tags &fileAttributes(std::uint32_t flags);
    Tags &setBackgroundColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

    const Bytes &bytes() const { return m_bytes; }

private:
    Tags &lossless(std::uint16_t code, std::uint16_t id, std::uint8_t format, std::uint16_t width, std::uint16_t height,
                   const Bytes &pixels, std::uint8_t colorTableSize);
    Tags &head(std::uint16_t code, std::uint8_t streamFormat, std::uint16_t samplesPerBlock,
               std::optional<std::int16_t> latencySeek);
    Bytes m_bytes;
};

struct MovieOptions
{
    std::uint8_t version = 10;
    std::uint16_t widthPx = 320;
    std::uint16_t heightPx = 240;
    std::uint16_t frameRate = 12 << 8; // 8.8 fixed point
    std::uint16_t frameCount = 1;
    // FileLength as written; by default the true uncompressed size.
    std::optional<std::uint32_t> fileLength;
    // ZWS: whether the LZMA data ends with an end marker (some writers
    // leave it out and rely on FileLength).
    bool lzmaEndMarker = true;
};

// Action records for doAction().
constexpr std::uint8_t kActionPlay = 0x06;
constexpr std::uint8_t kActionStop = 0x07;
// FileAttributes flag of an ActionScript 3 movie.
constexpr std::uint32_t kFileAttributesAs3 = 0x08;

// A whole SWF file around `tags`.
Bytes BuildSwf(const Tags &tags, Container container = Container::Fws, const MovieOptions &options = {});

Bytes ZlibCompress(const Bytes &data);

// Uncompressed lossless bitmap data, rows padded as the format wants.
// Palette entries are RGB (3 bytes) or, with alpha, RGBA (4 bytes).
Bytes EncodePalette(std::uint16_t width, std::uint16_t height, const std::vector<std::array<std::uint8_t, 4>> &palette,
                    const std::vector<std::uint8_t> &indices, bool withAlpha);
// PIX15 words (bit 15 reserved, then 5 bits each of R, G, B), big-endian.
Bytes EncodeRgb15(std::uint16_t width, std::uint16_t height, const std::vector<std::uint16_t> &pixels);
// Four bytes per pixel: A (or reserved), R, G, B, as given.
Bytes EncodeArgb(const std::vector<std::array<std::uint8_t, 4>> &pixels);

// A JPEG cut into its tables (SOI, DQT and DHT segments, EOI) and the rest
// (SOI, everything else), as DefineBits and JPEGTables hold them.
std::pair<Bytes, Bytes> SplitJpegTables(const Bytes &jpeg);

// The MPEG audio frames of an MP3 file (an ID3v2 tag at the start skipped).
std::vector<Bytes> SplitMp3Frames(const Bytes &mp3);

} // namespace SwfBuild
