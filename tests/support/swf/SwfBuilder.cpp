#include "SwfBuilder.h"

#include <lzma.h>
#include <zlib.h>

#include <stdexcept>

namespace SwfBuild {

namespace {

void Put16(Bytes &out, std::uint16_t value)
{
    out.push_back(std::uint8_t(value));
    out.push_back(std::uint8_t(value >> 8));
}

void Put32(Bytes &out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(value >> (8 * i)));
}

void Append(Bytes &out, const Bytes &more)
{
    out.insert(out.end(), more.begin(), more.end());
}

Bytes WithId(std::uint16_t id, const Bytes &rest = {})
{
    Bytes body;
    Put16(body, id);
    Append(body, rest);
    return body;
}

// RECT of the stage, 0..w*20 x 0..h*20 twips, with just enough bits.
Bytes StageRect(std::uint16_t widthPx, std::uint16_t heightPx)
{
    const std::uint32_t values[4] = {0, std::uint32_t(widthPx) * 20, 0, std::uint32_t(heightPx) * 20};
    int bits = 1;
    while ((std::uint32_t(1) << (bits - 1)) <= std::max(values[1], values[3]))
        ++bits;
    Bytes out;
    std::uint64_t acc = 0;
    int used = 0;
    auto push = [&](std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc = (acc << 1) | ((value >> i) & 1u);
            if (++used == 8) {
                out.push_back(std::uint8_t(acc));
                acc = 0;
                used = 0;
            }
        }
    };
    push(std::uint32_t(bits), 5);
    for (std::uint32_t value : values)
        push(value, bits);
    if (used > 0)
        out.push_back(std::uint8_t(acc << (8 - used)));
    return out;
}

Bytes LzmaAlone(const Bytes &data)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    lzma_stream ls = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&ls, &options) != LZMA_OK)
        throw std::runtime_error("lzma_alone_encoder failed");
    Bytes out(data.size() + data.size() / 2 + 1024);
    ls.next_in = data.data();
    ls.avail_in = data.size();
    ls.next_out = out.data();
    ls.avail_out = out.size();
    const lzma_ret rc = lzma_code(&ls, LZMA_FINISH);
    out.resize(out.size() - ls.avail_out);
    lzma_end(&ls);
    if (rc != LZMA_STREAM_END)
        throw std::runtime_error("lzma encoding failed");
    return out;
}

std::size_t Ceil4(std::size_t value)
{
    return (value + 3) & ~std::size_t(3);
}

} // namespace

Tags &Tags::tag(std::uint16_t code, const Bytes &body, bool longHeader)
{
    if (body.size() >= 0x3F || longHeader) {
        Put16(m_bytes, std::uint16_t(code << 6 | 0x3F));
        Put32(m_bytes, std::uint32_t(body.size()));
    } else {
        Put16(m_bytes, std::uint16_t(code << 6 | body.size()));
    }
    Append(m_bytes, body);
    return *this;
}

Tags &Tags::lyingTag(std::uint16_t code, std::uint32_t claimed, const Bytes &body)
{
    Put16(m_bytes, std::uint16_t(code << 6 | 0x3F));
    Put32(m_bytes, claimed);
    Append(m_bytes, body);
    return *this;
}

Tags &Tags::showFrame()
{
    return tag(1, {});
}

Tags &Tags::end()
{
    return tag(0, {});
}

Tags &Tags::defineShape(std::uint16_t id)
{
    // RECT with 0 bits, empty fill and line style arrays, no shape records
    // but the end record: enough for a reader that only wants the ID.
    return tag(2, WithId(id, {0x00, 0x00, 0x00, 0x00, 0x00}));
}

Tags &Tags::jpegTables(const Bytes &tables)
{
    return tag(8, tables);
}

Tags &Tags::defineBits(std::uint16_t id, const Bytes &image)
{
    return tag(6, WithId(id, image), true);
}

Tags &Tags::defineBitsJpeg2(std::uint16_t id, const Bytes &data)
{
    return tag(21, WithId(id, data), true);
}

Tags &Tags::defineBitsJpeg3(std::uint16_t id, const Bytes &jpeg, const Bytes &alpha)
{
    Bytes body = WithId(id);
    Put32(body, std::uint32_t(jpeg.size()));
    Append(body, jpeg);
    Append(body, ZlibCompress(alpha));
    return tag(35, body, true);
}

Tags &Tags::defineBitsJpeg4(std::uint16_t id, const Bytes &jpeg, const Bytes &alpha, std::uint16_t deblock)
{
    Bytes body = WithId(id);
    Put32(body, std::uint32_t(jpeg.size()));
    Put16(body, deblock);
    Append(body, jpeg);
    Append(body, ZlibCompress(alpha));
    return tag(90, body, true);
}

Tags &Tags::lossless(std::uint16_t code, std::uint16_t id, std::uint8_t format, std::uint16_t width,
                     std::uint16_t height, const Bytes &pixels, std::uint8_t colorTableSize)
{
    Bytes body = WithId(id, {format});
    Put16(body, width);
    Put16(body, height);
    if (format == 3)
        body.push_back(colorTableSize);
    Append(body, ZlibCompress(pixels));
    return tag(code, body, true);
}

Tags &Tags::defineBitsLossless(std::uint16_t id, std::uint8_t format, std::uint16_t width, std::uint16_t height,
                               const Bytes &pixels, std::uint8_t colorTableSize)
{
    return lossless(20, id, format, width, height, pixels, colorTableSize);
}

Tags &Tags::defineBitsLossless2(std::uint16_t id, std::uint8_t format, std::uint16_t width, std::uint16_t height,
                                const Bytes &pixels, std::uint8_t colorTableSize)
{
    return lossless(36, id, format, width, height, pixels, colorTableSize);
}

Tags &Tags::head(std::uint16_t code, std::uint8_t streamFormat, std::uint16_t samplesPerBlock,
                 std::optional<std::int16_t> latencySeek)
{
    Bytes body{std::uint8_t(streamFormat & 0x0F), streamFormat};
    Put16(body, samplesPerBlock);
    if (latencySeek)
        Put16(body, std::uint16_t(*latencySeek));
    return tag(code, body);
}

Tags &Tags::soundStreamHead2(std::uint8_t streamFormat, std::uint16_t samplesPerBlock,
                             std::optional<std::int16_t> latencySeek)
{
    return head(45, streamFormat, samplesPerBlock, latencySeek);
}

Tags &Tags::soundStreamHead(std::uint8_t streamFormat, std::uint16_t samplesPerBlock,
                            std::optional<std::int16_t> latencySeek)
{
    return head(18, streamFormat, samplesPerBlock, latencySeek);
}

Tags &Tags::soundStreamBlock(std::uint16_t sampleCount, std::int16_t seekSamples, const Bytes &frames)
{
    Bytes body;
    Put16(body, sampleCount);
    Put16(body, std::uint16_t(seekSamples));
    Append(body, frames);
    return tag(19, body, true);
}

Tags &Tags::defineSound(std::uint16_t id, std::uint8_t format, std::uint32_t sampleCount, const Bytes &data)
{
    Bytes body = WithId(id, {format});
    Put32(body, sampleCount);
    Append(body, data);
    return tag(14, body, true);
}

Tags &Tags::defineSprite(std::uint16_t id, std::uint16_t frameCount, const Tags &inner)
{
    Bytes body = WithId(id);
    Put16(body, frameCount);
    Append(body, inner.bytes());
    return tag(39, body, true);
}

Bytes BuildSwf(const Tags &tags, Container container, const MovieOptions &options)
{
    Bytes body = StageRect(options.widthPx, options.heightPx);
    Put16(body, options.frameRate);
    Put16(body, options.frameCount);
    Append(body, tags.bytes());

    Bytes file{std::uint8_t(container == Container::Fws ? 'F' : container == Container::Cws ? 'C' : 'Z'), 'W', 'S',
               options.version};
    Put32(file, options.fileLength.value_or(std::uint32_t(body.size() + 8)));
    switch (container) {
    case Container::Fws:
        Append(file, body);
        break;
    case Container::Cws:
        Append(file, ZlibCompress(body));
        break;
    case Container::Zws: {
        // .lzma is 5 property bytes, an 8-byte size, the data; ZWS keeps the
        // properties and the data and puts the data's length before them.
        const Bytes alone = LzmaAlone(body);
        Put32(file, std::uint32_t(alone.size() - 13));
        file.insert(file.end(), alone.begin(), alone.begin() + 5);
        file.insert(file.end(), alone.begin() + 13, alone.end());
        break;
    }
    }
    return file;
}

Bytes ZlibCompress(const Bytes &data)
{
    uLongf size = compressBound(uLong(data.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, data.data(), uLong(data.size()), 6) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

Bytes EncodePalette(std::uint16_t width, std::uint16_t height, const std::vector<std::array<std::uint8_t, 4>> &palette,
                    const std::vector<std::uint8_t> &indices, bool withAlpha)
{
    Bytes out;
    for (const auto &entry : palette)
        out.insert(out.end(), entry.begin(), entry.begin() + (withAlpha ? 4 : 3));
    const std::size_t stride = Ceil4(width);
    for (std::size_t y = 0; y < height; ++y) {
        out.insert(out.end(), indices.begin() + std::ptrdiff_t(y * width),
                   indices.begin() + std::ptrdiff_t((y + 1) * width));
        out.insert(out.end(), stride - width, 0xEE); // padding must be ignored
    }
    return out;
}

Bytes EncodeRgb15(std::uint16_t width, std::uint16_t height, const std::vector<std::uint16_t> &pixels)
{
    Bytes out;
    const std::size_t stride = Ceil4(2 * std::size_t(width));
    for (std::size_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) {
            out.push_back(std::uint8_t(pixels[y * width + x] >> 8));
            out.push_back(std::uint8_t(pixels[y * width + x]));
        }
        out.insert(out.end(), stride - 2 * std::size_t(width), 0xEE);
    }
    return out;
}

Bytes EncodeArgb(const std::vector<std::array<std::uint8_t, 4>> &pixels)
{
    Bytes out;
    for (const auto &pixel : pixels)
        out.insert(out.end(), pixel.begin(), pixel.end());
    return out;
}

std::pair<Bytes, Bytes> SplitJpegTables(const Bytes &jpeg)
{
    Bytes tables{0xFF, 0xD8};
    Bytes image{0xFF, 0xD8};
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        const std::uint8_t marker = jpeg[pos + 1];
        if (marker == 0xDA)
            break;
        const std::size_t length = 2 + ((std::size_t(jpeg[pos + 2]) << 8) | jpeg[pos + 3]);
        Bytes &into = (marker == 0xDB || marker == 0xC4) ? tables : image;
        into.insert(into.end(), jpeg.begin() + std::ptrdiff_t(pos), jpeg.begin() + std::ptrdiff_t(pos + length));
        pos += length;
    }
    image.insert(image.end(), jpeg.begin() + std::ptrdiff_t(pos), jpeg.end());
    tables.push_back(0xFF);
    tables.push_back(0xD9);
    return {tables, image};
}

std::vector<Bytes> SplitMp3Frames(const Bytes &mp3)
{
    static const int kBitrates[2][16] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}, // MPEG-1 layer III
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},     // MPEG-2/2.5 layer III
    };
    static const int kRates[4] = {44100, 48000, 32000, 0};
    std::size_t pos = 0;
    if (mp3.size() >= 10 && mp3[0] == 'I' && mp3[1] == 'D' && mp3[2] == '3')
        pos = 10 + ((std::size_t(mp3[6]) << 21) | (std::size_t(mp3[7]) << 14) | (std::size_t(mp3[8]) << 7) | mp3[9]);
    std::vector<Bytes> frames;
    while (pos + 4 <= mp3.size()) {
        if (mp3[pos] != 0xFF || (mp3[pos + 1] & 0xE0) != 0xE0)
            break;
        const int version = (mp3[pos + 1] >> 3) & 3; // 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
        const int bitrate = kBitrates[version == 3 ? 0 : 1][mp3[pos + 2] >> 4] * 1000;
        int rate = kRates[(mp3[pos + 2] >> 2) & 3];
        if (version == 2)
            rate /= 2;
        else if (version == 0)
            rate /= 4;
        const int padding = (mp3[pos + 2] >> 1) & 1;
        if (bitrate == 0 || rate == 0)
            break;
        const std::size_t length = std::size_t((version == 3 ? 144 : 72) * bitrate / rate + padding);
        if (pos + length > mp3.size())
            break;
        frames.emplace_back(mp3.begin() + std::ptrdiff_t(pos), mp3.begin() + std::ptrdiff_t(pos + length));
        pos += length;
    }
    return frames;
}

} // namespace SwfBuild
