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

// Runs an encoder that `ls` was set up as over all of `data`.
Bytes LzmaEncode(lzma_stream &ls, const Bytes &data)
{
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

Bytes LzmaAlone(const Bytes &data)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    lzma_stream ls = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&ls, &options) != LZMA_OK)
        throw std::runtime_error("lzma_alone_encoder failed");
    return LzmaEncode(ls, data);
}

// Raw LZMA data of known size, without an end marker, and the five
// property bytes a decoder needs for it.
Bytes LzmaRawNoEndMarker(const Bytes &data, std::array<std::uint8_t, 5> &properties)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.ext_flags = 0;
    lzma_set_ext_size(options, data.size());
    const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream ls = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&ls, filters) != LZMA_OK)
        throw std::runtime_error("lzma_raw_encoder failed");
    const Bytes out = LzmaEncode(ls, data);
    properties[0] = std::uint8_t((options.pb * 5 + options.lp) * 9 + options.lc);
    for (int i = 0; i < 4; ++i)
        properties[1 + i] = std::uint8_t(options.dict_size >> (8 * i));
    return out;
}

// MSB-first bit fields, as RECT, MATRIX and shape records hold them.
class BitWriter
{
public:
    void put(std::uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            m_acc = std::uint8_t((m_acc << 1) | ((value >> i) & 1u));
            if (++m_used == 8)
                flushByte();
        }
    }
    void putSigned(std::int32_t value, int count) { put(std::uint32_t(value), count); }
    // Pads to a byte and appends whole bytes.
    void bytes(const Bytes &more)
    {
        align();
        Append(m_out, more);
    }
    void align()
    {
        if (m_used > 0) {
            m_acc = std::uint8_t(m_acc << (8 - m_used));
            flushByte();
        }
    }
    Bytes finish()
    {
        align();
        return m_out;
    }

private:
    void flushByte()
    {
        m_out.push_back(m_acc);
        m_acc = 0;
        m_used = 0;
    }
    Bytes m_out;
    std::uint8_t m_acc = 0;
    int m_used = 0;
};

// A RECT of 0..size twips on both axes.
Bytes Rect(std::int32_t size)
{
    BitWriter bits;
    bits.put(14, 5);
    for (std::int32_t value : {0, size, 0, size})
        bits.putSigned(value, 14);
    return bits.finish();
}

// An identity MATRIX: no scale, no rotation, 0-bit translation.
const Bytes kIdentityMatrix = {0x00};

// A bitmap FILLSTYLE (clipped bitmap); morph fills have two matrices.
Bytes BitmapFill(std::uint16_t bitmap, bool morph)
{
    Bytes style{0x41};
    Put16(style, bitmap);
    Append(style, kIdentityMatrix);
    if (morph)
        Append(style, kIdentityMatrix);
    return style;
}

// A square outline of straight edges, 12-bit deltas.
void SquareEdges(BitWriter &bits, std::int32_t size)
{
    const std::int32_t moves[4][2] = {{size, 0}, {0, size}, {-size, 0}, {0, -size}};
    for (const auto &move : moves) {
        bits.put(1, 1); // edge
        bits.put(1, 1); // straight
        bits.put(12 - 2, 4);
        bits.put(0, 1); // not general
        const bool vertical = move[0] == 0;
        bits.put(vertical ? 1 : 0, 1);
        bits.putSigned(vertical ? move[1] : move[0], 12);
    }
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

Tags &Tags::defineBitmapShape(std::uint16_t id, std::uint16_t bitmap, int version,
                              std::optional<std::uint16_t> newStylesBitmap)
{
    constexpr std::int32_t kSize = 2000;
    const bool alpha = version >= 3;
    BitWriter bits;
    bits.bytes(WithId(id));
    bits.bytes(Rect(kSize));
    if (version == 4) {
        bits.bytes(Rect(kSize));
        bits.bytes({0x00});
    }
    // Fill styles: a solid one first, so the bitmap is not always style 1.
    Bytes styles{0x02, 0x00, 0x10, 0x20, 0x30};
    if (alpha)
        styles.push_back(0xFF);
    Append(styles, BitmapFill(bitmap, false));
    styles.push_back(0x00); // no line styles
    bits.bytes(styles);
    bits.put(2, 4); // fill bits
    bits.put(0, 4); // line bits
    // Style change: move to 0,0 and select fill style 2.
    bits.put(0, 1);
    bits.put(0x03, 5);
    bits.put(1, 5);
    bits.put(0, 1);
    bits.put(0, 1);
    bits.put(2, 2);
    SquareEdges(bits, kSize);
    if (newStylesBitmap) {
        bits.put(0, 1);
        bits.put(0x10, 5); // new styles only
        Bytes fresh{0x01};
        Append(fresh, BitmapFill(*newStylesBitmap, false));
        fresh.push_back(0x00);
        bits.bytes(fresh);
        bits.put(1, 4);
        bits.put(0, 4);
        bits.put(0, 1);
        bits.put(0x02, 5); // select the new fill style 1
        bits.put(1, 1);
        SquareEdges(bits, kSize);
    }
    bits.put(0, 6); // end of shape
    static const std::uint16_t kCodes[5] = {0, 2, 22, 32, 83};
    return tag(kCodes[version], bits.finish(), true);
}

Tags &Tags::defineBitmapMorphShape(std::uint16_t id, std::uint16_t bitmap, int version)
{
    Bytes body = WithId(id);
    Append(body, Rect(2000));
    Append(body, Rect(4000));
    if (version == 2) {
        Append(body, Rect(2000));
        Append(body, Rect(4000));
        body.push_back(0x00);
    }
    Bytes styles{0x03};
    // Solid: start and end RGBA.
    Append(styles, {0x00, 1, 2, 3, 255, 4, 5, 6, 255});
    // Linear gradient: two matrices, two records of ratio and colour each.
    styles.push_back(0x10);
    Append(styles, kIdentityMatrix);
    Append(styles, kIdentityMatrix);
    Append(styles, {0x02, 0, 1, 1, 1, 255, 0, 2, 2, 2, 255, 255, 3, 3, 3, 255, 255, 4, 4, 4, 255});
    Append(styles, BitmapFill(bitmap, true));
    if (version == 2) {
        // One MORPHLINESTYLE2 with a colour, no fill.
        Append(styles, {0x01, 20, 0, 40, 0, 0x00, 0x00, 9, 9, 9, 255, 8, 8, 8, 255});
    } else {
        Append(styles, {0x01, 20, 0, 40, 0, 9, 9, 9, 255, 8, 8, 8, 255});
    }
    const Bytes startEdges{0x20, 0x00};
    const Bytes endEdges{0x00, 0x00};
    Put32(body, std::uint32_t(styles.size() + startEdges.size()));
    Append(body, styles);
    Append(body, startEdges);
    Append(body, endEdges);
    return tag(version == 2 ? 84 : 46, body, true);
}

Tags &Tags::defineButton(std::uint16_t id, const std::vector<ButtonRecord> &records)
{
    Bytes body = WithId(id);
    for (const ButtonRecord &record : records) {
        body.push_back(record.states);
        Put16(body, record.character);
        Put16(body, record.depth);
        Append(body, kIdentityMatrix);
    }
    body.push_back(0x00); // end of records
    body.push_back(0x00); // ActionEnd
    return tag(7, body);
}

Tags &Tags::defineButton2(std::uint16_t id, const std::vector<ButtonRecord> &records)
{
    Bytes body = WithId(id, {0x00, 0x00, 0x00});
    for (const ButtonRecord &record : records) {
        body.push_back(record.states);
        Put16(body, record.character);
        Put16(body, record.depth);
        Append(body, kIdentityMatrix);
        body.push_back(0x00); // CXFORMWITHALPHA without terms
    }
    body.push_back(0x00);
    return tag(34, body);
}

Tags &Tags::placeObject(std::uint16_t character, std::uint16_t depth)
{
    Bytes body;
    Put16(body, character);
    Put16(body, depth);
    Append(body, kIdentityMatrix);
    return tag(4, body);
}

Tags &Tags::placeObject2(std::uint16_t depth, std::optional<std::uint16_t> character, bool move)
{
    Bytes body{std::uint8_t((character ? 0x06 : 0x04) | (move ? 0x01 : 0x00))};
    Put16(body, depth);
    if (character)
        Put16(body, *character);
    Append(body, kIdentityMatrix);
    return tag(26, body);
}

Tags &Tags::placeObject3(std::uint16_t depth, std::optional<std::uint16_t> character, bool move, const char *className)
{
    Bytes body{std::uint8_t((character ? 0x06 : 0x04) | (move ? 0x01 : 0x00)), std::uint8_t(className ? 0x08 : 0x00)};
    Put16(body, depth);
    if (className) {
        for (const char *c = className; *c; ++c)
            body.push_back(std::uint8_t(*c));
        body.push_back(0);
    }
    if (character)
        Put16(body, *character);
    Append(body, kIdentityMatrix);
    return tag(70, body);
}

Tags &Tags::removeObject(std::uint16_t character, std::uint16_t depth)
{
    Bytes body;
    Put16(body, character);
    Put16(body, depth);
    return tag(5, body);
}

Tags &Tags::removeObject2(std::uint16_t depth)
{
    Bytes body;
    Put16(body, depth);
    return tag(28, body);
}

Tags &Tags::freeCharacter(std::uint16_t id)
{
    return tag(3, WithId(id));
}

namespace {

Bytes EncodeSoundInfo(const SoundInfo &info)
{
    Bytes out{std::uint8_t((info.syncStop ? 0x20 : 0) | (info.noMultiple ? 0x10 : 0)
                           | (info.envelope.empty() ? 0 : 0x08) | (info.loops ? 0x04 : 0) | (info.outPoint ? 0x02 : 0)
                           | (info.inPoint ? 0x01 : 0))};
    if (info.inPoint)
        Put32(out, *info.inPoint);
    if (info.outPoint)
        Put32(out, *info.outPoint);
    if (info.loops)
        Put16(out, *info.loops);
    if (!info.envelope.empty()) {
        out.push_back(std::uint8_t(info.envelope.size()));
        for (const auto &point : info.envelope) {
            Put32(out, point[0]);
            Put16(out, std::uint16_t(point[1]));
            Put16(out, std::uint16_t(point[2]));
        }
    }
    return out;
}

Bytes CString(const char *text)
{
    Bytes out;
    for (const char *c = text; *c; ++c)
        out.push_back(std::uint8_t(*c));
    out.push_back(0);
    return out;
}

} // namespace

Tags &Tags::startSound(std::uint16_t sound, const SoundInfo &info)
{
    return tag(15, WithId(sound, EncodeSoundInfo(info)));
}

Tags &Tags::startSound2(const char *className, const SoundInfo &info)
{
    Bytes body = CString(className);
    Append(body, EncodeSoundInfo(info));
    return tag(89, body);
}

Tags &Tags::symbolClass(const std::vector<std::pair<std::uint16_t, const char *>> &symbols)
{
    Bytes body;
    Put16(body, std::uint16_t(symbols.size()));
    for (const auto &[id, name] : symbols) {
        Put16(body, id);
        Append(body, CString(name));
    }
    return tag(76, body);
}

Tags &Tags::soundStreamData(const Bytes &data)
{
    return tag(19, data, true);
}

Tags &Tags::defineVideoStream(std::uint16_t id, std::uint16_t frameCount, std::uint16_t width, std::uint16_t height,
                              std::uint8_t codec)
{
    Bytes body = WithId(id);
    Put16(body, frameCount);
    Put16(body, width);
    Put16(body, height);
    body.push_back(0x00);
    body.push_back(codec);
    return tag(60, body);
}

Tags &Tags::videoFrame(std::uint16_t stream, std::uint16_t frameNumber, const Bytes &data)
{
    Bytes body = WithId(stream);
    Put16(body, frameNumber);
    Append(body, data);
    return tag(61, body, true);
}

Tags &Tags::doAction(const Bytes &actions)
{
    Bytes body = actions;
    body.push_back(0x00);
    return tag(12, body);
}

Tags &Tags::fileAttributes(std::uint32_t flags)
{
    Bytes body;
    Put32(body, flags);
    return tag(69, body);
}

Tags &Tags::setBackgroundColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return tag(9, {red, green, blue});
}

Bytes BuildSwf(const Tags &tags, Container container, const MovieOptions &options)
{
    Bytes body = StageRect(options.widthPx, options.heightPx);
    Put16(body, options.frameRate);
    Put16(body, options.frameCount);
    Append(body, tags.bytes());

    Bytes file{std::uint8_t(container == Container::Fws   ? 'F'
                            : container == Container::Cws ? 'C'
                                                          : 'Z'),
               'W', 'S', options.version};
    Put32(file, options.fileLength.value_or(std::uint32_t(body.size() + 8)));
    switch (container) {
    case Container::Fws: Append(file, body); break;
    case Container::Cws: Append(file, ZlibCompress(body)); break;
    case Container::Zws: {
        if (!options.lzmaEndMarker) {
            std::array<std::uint8_t, 5> properties;
            const Bytes data = LzmaRawNoEndMarker(body, properties);
            Put32(file, std::uint32_t(data.size()));
            Append(file, Bytes(properties.begin(), properties.end()));
            Append(file, data);
            break;
        }
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
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}, // MPEG-2/2.5 layer III
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
