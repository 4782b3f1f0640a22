#include "PictureBuilders.h"

#include <QBuffer>

#include <map>
#include <utility>

namespace {

void Put16(QByteArray &out, std::uint32_t value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

void Put32(QByteArray &out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutColourTable(QByteArray &out, const std::vector<QRgb> &colours)
{
    for (const QRgb colour : colours) {
        out.append(char(qRed(colour)));
        out.append(char(qGreen(colour)));
        out.append(char(qBlue(colour)));
    }
}

int TableSizeField(std::size_t colours)
{
    int field = 0;
    while ((std::size_t(2) << field) < colours)
        ++field;
    return field;
}

class BitWriter
{
public:
    void write(int code, int width)
    {
        m_bits |= std::uint32_t(code) << m_count;
        m_count += width;
        while (m_count >= 8) {
            m_bytes.push_back(std::uint8_t(m_bits & 0xFF));
            m_bits >>= 8;
            m_count -= 8;
        }
    }
    std::vector<std::uint8_t> finish()
    {
        if (m_count > 0)
            m_bytes.push_back(std::uint8_t(m_bits & 0xFF));
        return m_bytes;
    }

private:
    std::vector<std::uint8_t> m_bytes;
    std::uint32_t m_bits = 0;
    int m_count = 0;
};

std::vector<std::uint8_t> LzwEncode(const std::vector<std::uint8_t> &indices, int minCodeSize)
{
    const int clear = 1 << minCodeSize;
    BitWriter out;
    int width = minCodeSize + 1;
    int next = clear + 2;
    std::map<std::pair<int, int>, int> table;
    out.write(clear, width);
    if (indices.empty()) {
        out.write(clear + 1, width);
        return out.finish();
    }
    int prefix = indices[0];
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const int k = indices[i];
        const auto found = table.find({prefix, k});
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        out.write(prefix, width);
        table[{prefix, k}] = next++;
        if (next > (1 << width) && width < 12)
            ++width;
        if (next == 4096) {
            out.write(clear, width);
            table.clear();
            width = minCodeSize + 1;
            next = clear + 2;
        }
        prefix = k;
    }
    out.write(prefix, width);
    out.write(clear + 1, width);
    return out.finish();
}

} // namespace

QByteArray BuildGif(const GifSpec &spec)
{
    QByteArray out("GIF89a");
    Put16(out, std::uint32_t(spec.screenWidth));
    Put16(out, std::uint32_t(spec.screenHeight));
    const bool global = !spec.globalColours.empty();
    out.append(char(global ? 0x80 | TableSizeField(spec.globalColours.size()) : 0));
    out.append('\0');
    out.append('\0');
    if (global) {
        std::vector<QRgb> table = spec.globalColours;
        table.resize(std::size_t(2) << TableSizeField(table.size()));
        PutColourTable(out, table);
    }
    if (spec.transparentIndex >= 0) {
        out.append("\x21\xF9\x04\x01\x00\x00", 6);
        out.append(char(spec.transparentIndex));
        out.append('\0');
    }
    out.append(char(0x2C));
    Put16(out, std::uint32_t(spec.left));
    Put16(out, std::uint32_t(spec.top));
    Put16(out, std::uint32_t(spec.width));
    Put16(out, std::uint32_t(spec.height));
    const bool local = !spec.localColours.empty();
    out.append(char((local ? 0x80 | TableSizeField(spec.localColours.size()) : 0) | (spec.interlaced ? 0x40 : 0)));
    if (local) {
        std::vector<QRgb> table = spec.localColours;
        table.resize(std::size_t(2) << TableSizeField(table.size()));
        PutColourTable(out, table);
    }
    out.append(char(spec.minCodeSize));

    // Rows go into the stream in the order an interlaced file stores them.
    std::vector<std::uint8_t> stored;
    std::vector<int> rows;
    if (spec.interlaced) {
        const int starts[] = {0, 4, 2, 1};
        const int steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = starts[pass]; y < spec.height; y += steps[pass])
                rows.push_back(y);
    } else {
        for (int y = 0; y < spec.height; ++y)
            rows.push_back(y);
    }
    for (const int y : rows)
        stored.insert(stored.end(), spec.indices.begin() + y * spec.width, spec.indices.begin() + (y + 1) * spec.width);

    const std::vector<std::uint8_t> data = LzwEncode(stored, spec.minCodeSize);
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t size = std::min<std::size_t>(255, data.size() - at);
        out.append(char(size));
        out.append(reinterpret_cast<const char *>(data.data() + at), qsizetype(size));
    }
    out.append('\0');
    out.append(char(0x3B));
    return out;
}

QByteArray BuildBmp(const BmpSpec &spec)
{
    const bool masked = spec.masks[0] | spec.masks[1] | spec.masks[2] | spec.masks[3];
    const std::uint32_t headerSize = masked ? 124 : 40;
    const std::uint32_t paletteBytes = std::uint32_t(spec.palette.size() * 4);
    const std::uint32_t stride = std::uint32_t((spec.width * spec.bitsPerPixel + 31) / 32 * 4);
    const std::uint32_t pixelOffset = 14 + headerSize + paletteBytes;

    QByteArray out("BM");
    Put32(out, pixelOffset + stride * std::uint32_t(spec.height));
    Put32(out, 0);
    Put32(out, pixelOffset);
    Put32(out, headerSize);
    Put32(out, std::uint32_t(spec.width));
    Put32(out, std::uint32_t(spec.topDown ? -spec.height : spec.height));
    Put16(out, 1);
    Put16(out, std::uint32_t(spec.bitsPerPixel));
    Put32(out, spec.compression);
    Put32(out, stride * std::uint32_t(spec.height));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, std::uint32_t(spec.palette.size()));
    Put32(out, 0);
    if (masked) {
        for (const std::uint32_t mask : spec.masks)
            Put32(out, mask);
        out.append(QByteArray(int(headerSize) - 56, '\0'));
    }
    for (const QRgb colour : spec.palette) {
        out.append(char(qBlue(colour)));
        out.append(char(qGreen(colour)));
        out.append(char(qRed(colour)));
        out.append('\0');
    }
    for (int row = 0; row < spec.height; ++row) {
        const int y = spec.topDown ? row : spec.height - 1 - row;
        QByteArray line(int(stride), '\0');
        for (int x = 0; x < spec.width; ++x) {
            const std::uint32_t value = spec.values[std::size_t(y * spec.width + x)];
            const int bit = x * spec.bitsPerPixel;
            if (spec.bitsPerPixel < 8) {
                line[bit / 8] = char(line[bit / 8] | (value << (8 - spec.bitsPerPixel - bit % 8)));
            } else {
                // Little-endian, so 24-bit 0xRRGGBB is stored blue, green, red.
                for (int b = 0; b < spec.bitsPerPixel / 8; ++b)
                    line[bit / 8 + b] = char((value >> (8 * b)) & 0xFF);
            }
        }
        out.append(line);
    }
    return out;
}

QByteArray Encode(const QImage &image, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}
