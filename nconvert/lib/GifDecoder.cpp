#include "GifDecoder.h"

#include "ByteReader.h"

#include <algorithm>
#include <array>
#include <vector>

namespace NConvert {

namespace {

enum class Block : std::uint8_t {
    Extension = 0x21,
    Image = 0x2C,
    Trailer = 0x3B,
};

enum class ExtensionLabel : std::uint8_t {
    GraphicControl = 0xF9,
};

constexpr int kMaxCodeBits = 12;
constexpr int kMaxCodes = 1 << kMaxCodeBits;

struct ColourTable
{
    std::span<const std::uint8_t> rgb;
    std::size_t size() const { return rgb.size() / 3; }
};

Error Truncated()
{
    return MakeError(ErrorCode::Malformed, "the GIF data ends early");
}

// The data of consecutive sub-blocks, up to the empty block ending them.
// Returns false when the data ends before that block.
bool ReadSubBlocks(ByteReader &reader, std::vector<std::uint8_t> *out)
{
    for (;;) {
        const std::uint8_t size = reader.u8();
        if (reader.failed())
            return false;
        if (size == 0)
            return true;
        const auto data = reader.take(size);
        if (reader.failed())
            return false;
        if (out)
            out->insert(out->end(), data.begin(), data.end());
    }
}

// Reads variable-width codes, least significant bit first.
class CodeReader
{
public:
    explicit CodeReader(const std::vector<std::uint8_t> &data)
        : m_data(data)
    {
    }

    // The next code, or -1 at the end of the data.
    int next(int width)
    {
        while (m_count < width) {
            if (m_offset >= m_data.size())
                return -1;
            m_bits |= std::uint32_t(m_data[m_offset++]) << m_count;
            m_count += 8;
        }
        const int code = int(m_bits & ((1u << width) - 1));
        m_bits >>= width;
        m_count -= width;
        return code;
    }

private:
    const std::vector<std::uint8_t> &m_data;
    std::size_t m_offset = 0;
    std::uint32_t m_bits = 0;
    int m_count = 0;
};

// Decodes LZW data into at most indices.size() colour indices; returns how
// many were produced. Stops quietly at the end code, the end of the data or
// the first invalid code.
std::size_t DecodeLzw(const std::vector<std::uint8_t> &data, int minCodeSize, std::vector<std::uint8_t> &indices)
{
    std::array<std::uint16_t, kMaxCodes> prefix {};
    std::array<std::uint8_t, kMaxCodes> suffix {};
    std::array<std::uint8_t, kMaxCodes> first {};
    std::array<std::uint8_t, kMaxCodes> stack {};

    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    for (int code = 0; code < clear; ++code) {
        suffix[code] = std::uint8_t(code);
        first[code] = std::uint8_t(code);
    }

    CodeReader reader(data);
    int width = minCodeSize + 1;
    int available = clear + 2;
    int previous = -1;
    std::size_t produced = 0;

    while (produced < indices.size()) {
        const int code = reader.next(width);
        if (code < 0 || code == end)
            break;
        if (code == clear) {
            width = minCodeSize + 1;
            available = clear + 2;
            previous = -1;
            continue;
        }
        if (previous < 0) {
            if (code >= clear)
                break;
            indices[produced++] = std::uint8_t(code);
            previous = code;
            continue;
        }
        if (code > available || (code == available && available >= kMaxCodes))
            break;

        // Unwind the string of `code` (or of `previous` plus its first
        // byte, for the code being defined right now) onto the stack.
        std::size_t depth = 0;
        int walk = code;
        if (code == available) {
            stack[depth++] = first[previous];
            walk = previous;
        }
        while (walk >= clear) {
            stack[depth++] = suffix[walk];
            walk = prefix[walk];
        }
        stack[depth++] = std::uint8_t(walk);
        const std::uint8_t head = std::uint8_t(walk);

        while (depth > 0 && produced < indices.size())
            indices[produced++] = stack[--depth];

        if (available < kMaxCodes) {
            prefix[available] = std::uint16_t(previous);
            suffix[available] = head;
            first[available] = first[previous];
            ++available;
            if (available == (1 << width) && width < kMaxCodeBits)
                ++width;
        }
        previous = code;
    }
    return produced;
}

// Row order of an interlaced frame: every 8th row from 0, every 8th from 4,
// every 4th from 2, every 2nd from 1.
std::vector<std::uint32_t> RowOrder(std::uint32_t height, bool interlaced)
{
    std::vector<std::uint32_t> rows;
    rows.reserve(height);
    if (!interlaced) {
        for (std::uint32_t y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    constexpr std::uint32_t starts[] = {0, 4, 2, 1};
    constexpr std::uint32_t steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (std::uint32_t y = starts[pass]; y < height; y += steps[pass])
            rows.push_back(y);
    return rows;
}

} // namespace

bool LooksLikeGif(std::span<const std::uint8_t> bytes)
{
    static constexpr std::uint8_t gif87[] = {'G', 'I', 'F', '8', '7', 'a'};
    static constexpr std::uint8_t gif89[] = {'G', 'I', 'F', '8', '9', 'a'};
    return bytes.size() >= 6
        && (std::equal(gif87, gif87 + 6, bytes.begin()) || std::equal(gif89, gif89 + 6, bytes.begin()));
}

Result<Picture> DecodeGif(std::span<const std::uint8_t> bytes, const Limits &limits)
{
    if (!LooksLikeGif(bytes))
        return MakeError(ErrorCode::UnknownFormat, "not a GIF file");
    ByteReader reader(bytes);
    reader.skip(6);
    const std::uint32_t screenWidth = reader.u16();
    const std::uint32_t screenHeight = reader.u16();
    const std::uint8_t screenFlags = reader.u8();
    reader.skip(2); // background colour index and aspect ratio: viewers ignore both
    ColourTable global;
    if (screenFlags & 0x80)
        global.rgb = reader.take(3u << ((screenFlags & 0x07) + 1));
    if (reader.failed())
        return Truncated();

    int transparentIndex = -1;
    for (;;) {
        const std::uint8_t introducer = reader.u8();
        if (reader.failed())
            return Truncated();
        if (introducer == 0x00)
            continue; // stray padding between blocks, written by some encoders
        if (introducer == std::uint8_t(Block::Trailer))
            return MakeError(ErrorCode::Malformed, "the GIF holds no frame");
        if (introducer == std::uint8_t(Block::Extension)) {
            const std::uint8_t label = reader.u8();
            std::vector<std::uint8_t> data;
            const bool graphicControl = label == std::uint8_t(ExtensionLabel::GraphicControl);
            if (!ReadSubBlocks(reader, graphicControl ? &data : nullptr))
                return Truncated();
            if (graphicControl && data.size() >= 4)
                transparentIndex = (data[0] & 0x01) ? data[3] : -1;
            continue;
        }
        if (introducer != std::uint8_t(Block::Image))
            return MakeError(ErrorCode::Malformed, "unknown GIF block " + std::to_string(introducer));
        break;
    }

    const std::uint32_t left = reader.u16();
    const std::uint32_t top = reader.u16();
    const std::uint32_t frameWidth = reader.u16();
    const std::uint32_t frameHeight = reader.u16();
    const std::uint8_t frameFlags = reader.u8();
    ColourTable local;
    if (frameFlags & 0x80)
        local.rgb = reader.take(3u << ((frameFlags & 0x07) + 1));
    const int minCodeSize = reader.u8();
    if (reader.failed())
        return Truncated();
    if (minCodeSize < 1 || minCodeSize > 8)
        return MakeError(ErrorCode::Malformed, "invalid LZW code size " + std::to_string(minCodeSize));

    const std::uint64_t canvasWidth = std::max<std::uint64_t>(screenWidth, std::uint64_t(left) + frameWidth);
    const std::uint64_t canvasHeight = std::max<std::uint64_t>(screenHeight, std::uint64_t(top) + frameHeight);
    Result<Picture> canvas = AllocatePicture(canvasWidth, canvasHeight, limits);
    if (!canvas)
        return canvas;
    Picture &picture = canvas.value();

    // Whatever the sub-blocks hold beyond the frame's pixels is never decoded,
    // and they cannot hold more than the file.
    std::vector<std::uint8_t> data;
    ReadSubBlocks(reader, &data);

    std::vector<std::uint8_t> indices;
    try {
        indices.resize(std::size_t(frameWidth) * frameHeight);
    } catch (const std::bad_alloc &) {
        return MakeError(ErrorCode::OutOfMemory, "not enough memory for the GIF frame");
    }
    const std::size_t produced = DecodeLzw(data, minCodeSize, indices);

    const ColourTable &table = local.rgb.empty() ? global : local;
    const std::vector<std::uint32_t> rows = RowOrder(frameHeight, frameFlags & 0x40);
    std::size_t n = 0;
    for (std::uint32_t row = 0; row < frameHeight && n < produced; ++row) {
        const std::uint32_t y = top + rows[row];
        for (std::uint32_t x = 0; x < frameWidth && n < produced; ++x, ++n) {
            const std::uint8_t index = indices[n];
            if (int(index) == transparentIndex || index >= table.size())
                continue;
            std::uint8_t *out = picture.pixel(left + x, y);
            out[0] = table.rgb[index * 3u];
            out[1] = table.rgb[index * 3u + 1];
            out[2] = table.rgb[index * 3u + 2];
            out[3] = 255;
        }
    }
    return canvas;
}

} // namespace NConvert
