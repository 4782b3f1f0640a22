#include "GifDecoder.h"

#include "tarnwick/ByteReader.h"

#include <algorithm>
#include <array>
#include <vector>

namespace NConvert {

using Tarnwick::ByteReader;

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
        if (!reader.ok())
            return false;
        if (size == 0)
            return true;
        const auto data = reader.take(size);
        if (!reader.ok())
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
    std::array<std::uint16_t, kMaxCodes> prefix{};
    std::array<std::uint8_t, kMaxCodes> suffix{};
    std::array<std::uint8_t, kMaxCodes> first{};
    std::array<std::uint8_t, kMaxCodes> stack{};

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

// The logical screen: its size and the global colour table.
struct Screen
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    ColourTable global;
};

Result<Screen> ReadScreen(ByteReader &reader)
{
    Screen screen;
    reader.skip(6);
    screen.width = reader.u16();
    screen.height = reader.u16();
    const std::uint8_t flags = reader.u8();
    reader.skip(2); // background colour index and aspect ratio: viewers ignore both
    if (flags & 0x80)
        screen.global.rgb = reader.take(3u << ((flags & 0x07) + 1));
    if (!reader.ok())
        return Truncated();
    return screen;
}

// Reads the blocks up to the first image descriptor; returns the
// transparent colour index the last graphic control extension before it
// names, or -1.
Result<int> SkipToFirstImage(ByteReader &reader)
{
    int transparentIndex = -1;
    for (;;) {
        const std::uint8_t introducer = reader.u8();
        if (!reader.ok())
            return Truncated();
        if (introducer == 0x00)
            continue; // stray padding between blocks, written by some encoders
        if (introducer == std::uint8_t(Block::Trailer))
            return MakeError(ErrorCode::Malformed, "the GIF holds no frame");
        if (introducer == std::uint8_t(Block::Image))
            return transparentIndex;
        if (introducer != std::uint8_t(Block::Extension))
            return MakeError(ErrorCode::Malformed, "unknown GIF block " + std::to_string(introducer));
        const std::uint8_t label = reader.u8();
        std::vector<std::uint8_t> data;
        const bool graphicControl = label == std::uint8_t(ExtensionLabel::GraphicControl);
        if (!ReadSubBlocks(reader, graphicControl ? &data : nullptr))
            return Truncated();
        if (graphicControl && data.size() >= 4)
            transparentIndex = (data[0] & 0x01) ? data[3] : -1;
    }
}

// The image descriptor of the first frame, its local colour table and LZW
// code size.
struct Frame
{
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool interlaced = false;
    ColourTable local;
    int minCodeSize = 0;
};

Result<Frame> ReadFrame(ByteReader &reader)
{
    Frame frame;
    frame.left = reader.u16();
    frame.top = reader.u16();
    frame.width = reader.u16();
    frame.height = reader.u16();
    const std::uint8_t flags = reader.u8();
    frame.interlaced = flags & 0x40;
    if (flags & 0x80)
        frame.local.rgb = reader.take(3u << ((flags & 0x07) + 1));
    frame.minCodeSize = reader.u8();
    if (!reader.ok())
        return Truncated();
    if (frame.minCodeSize < 1 || frame.minCodeSize > 8)
        return MakeError(ErrorCode::Malformed, "invalid LZW code size " + std::to_string(frame.minCodeSize));
    return frame;
}

// Paints the first `produced` decoded indices of the frame onto the canvas;
// the transparent index and indices beyond the table leave pixels clear.
void PaintFrame(const Frame &frame, const ColourTable &table, int transparentIndex,
                const std::vector<std::uint8_t> &indices, std::size_t produced, Picture &picture)
{
    const std::vector<std::uint32_t> rows = RowOrder(frame.height, frame.interlaced);
    std::size_t n = 0;
    for (std::uint32_t row = 0; row < frame.height && n < produced; ++row) {
        const std::uint32_t y = frame.top + rows[row];
        for (std::uint32_t x = 0; x < frame.width && n < produced; ++x, ++n) {
            const std::uint8_t index = indices[n];
            if (int(index) == transparentIndex || index >= table.size())
                continue;
            std::uint8_t *out = picture.pixel(frame.left + x, y);
            out[0] = table.rgb[index * 3u];
            out[1] = table.rgb[index * 3u + 1];
            out[2] = table.rgb[index * 3u + 2];
            out[3] = 255;
        }
    }
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
    Result<Screen> screen = ReadScreen(reader);
    if (!screen)
        return screen.error();
    Result<int> transparentIndex = SkipToFirstImage(reader);
    if (!transparentIndex)
        return transparentIndex.error();
    Result<Frame> read = ReadFrame(reader);
    if (!read)
        return read.error();
    const Frame &frame = read.value();

    const std::uint64_t canvasWidth = std::max<std::uint64_t>(screen.value().width,
                                                              std::uint64_t(frame.left) + frame.width);
    const std::uint64_t canvasHeight = std::max<std::uint64_t>(screen.value().height,
                                                               std::uint64_t(frame.top) + frame.height);
    Result<Picture> canvas = AllocatePicture(canvasWidth, canvasHeight, limits);
    if (!canvas)
        return canvas;

    // Whatever the sub-blocks hold beyond the frame's pixels is never decoded,
    // and they cannot hold more than the file.
    std::vector<std::uint8_t> data;
    ReadSubBlocks(reader, &data);

    std::vector<std::uint8_t> indices;
    try {
        indices.resize(std::size_t(frame.width) * frame.height);
    } catch (const std::bad_alloc &) {
        return MakeError(ErrorCode::OutOfMemory, "not enough memory for the GIF frame");
    }
    const std::size_t produced = DecodeLzw(data, frame.minCodeSize, indices);
    const ColourTable &table = frame.local.rgb.empty() ? screen.value().global : frame.local;
    PaintFrame(frame, table, transparentIndex.value(), indices, produced, canvas.value());
    return canvas;
}

} // namespace NConvert
