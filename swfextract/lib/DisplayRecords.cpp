#include "swfextract/lib/DisplayRecords.h"

#include "swfextract/lib/TagCode.h"

#include <algorithm>

namespace SwfExtract {

using Tarnwick::ByteReader;

namespace {

constexpr double kFixed16 = 65536.0;

void SkipString(ByteReader &reader)
{
    while (reader.ok() && reader.u8() != 0) {
    }
}

} // namespace

void Box::add(double x, double y)
{
    if (empty) {
        xMin = xMax = x;
        yMin = yMax = y;
        empty = false;
        return;
    }
    xMin = std::min(xMin, x);
    xMax = std::max(xMax, x);
    yMin = std::min(yMin, y);
    yMax = std::max(yMax, y);
}

Box Matrix::map(const Box &box) const
{
    Box mapped;
    if (box.empty)
        return mapped;
    for (const double x : {box.xMin, box.xMax})
        for (const double y : {box.yMin, box.yMax})
            mapped.add(mapX(x, y), mapY(x, y));
    return mapped;
}

Rect ReadRect(ByteReader &reader)
{
    reader.align();
    const int bits = int(reader.bits(5));
    Rect rect;
    rect.xMin = reader.signedBits(bits);
    rect.xMax = reader.signedBits(bits);
    rect.yMin = reader.signedBits(bits);
    rect.yMax = reader.signedBits(bits);
    return rect;
}

Matrix ReadMatrix(ByteReader &reader)
{
    reader.align();
    Matrix matrix;
    if (reader.bits(1)) {
        const int bits = int(reader.bits(5));
        matrix.a = reader.signedBits(bits) / kFixed16;
        matrix.d = reader.signedBits(bits) / kFixed16;
    }
    if (reader.bits(1)) {
        const int bits = int(reader.bits(5));
        matrix.b = reader.signedBits(bits) / kFixed16;
        matrix.c = reader.signedBits(bits) / kFixed16;
    }
    const int bits = int(reader.bits(5));
    matrix.tx = reader.signedBits(bits);
    matrix.ty = reader.signedBits(bits);
    return matrix;
}

void SkipColorTransform(ByteReader &reader, bool withAlpha)
{
    reader.align();
    const bool add = reader.bits(1);
    const bool mult = reader.bits(1);
    const int bits = int(reader.bits(4));
    const int fields = withAlpha ? 4 : 3;
    for (int i = 0; i < (add ? fields : 0) + (mult ? fields : 0); ++i)
        reader.bits(bits);
}

// DropShadow, Blur, Glow, Bevel, GradientGlow, Convolution, ColorMatrix,
// GradientBevel.
std::optional<int> SkipFilters(ByteReader &reader)
{
    const std::uint8_t count = reader.u8();
    for (int i = 0; i < count && reader.ok(); ++i) {
        switch (reader.u8()) {
        case 0: reader.skip(23); break;
        case 1: reader.skip(9); break;
        case 2: reader.skip(15); break;
        case 3: reader.skip(27); break;
        case 4:
        case 7: reader.skip(std::size_t(reader.u8()) * 5 + 19); break;
        case 5: {
            const std::size_t columns = reader.u8();
            const std::size_t rows = reader.u8();
            reader.skip(8 + columns * rows * 4 + 4 + 1);
            break;
        }
        case 6: reader.skip(80); break;
        default: return std::nullopt;
        }
    }
    return count;
}

bool ReadPlaceRecord(std::uint16_t code, Bytes body, PlaceRecord &place)
{
    ByteReader reader(body);
    if (TagCode(code) == TagCode::PlaceObject) {
        place.character = reader.u16();
        place.depth = reader.u16();
        if (!reader.ok())
            return false;
        place.matrix = ReadMatrix(reader);
        if (!reader.ok())
            place.matrix = Matrix();
        return true;
    }
    const bool third = TagCode(code) == TagCode::PlaceObject3;
    const std::uint8_t flags = reader.u8();
    const std::uint8_t flags2 = third ? reader.u8() : 0;
    place.depth = reader.u16();
    const bool hasCharacter = flags & 0x02;
    if (flags2 & 0x08 || ((flags2 & 0x10) && hasCharacter))
        SkipString(reader); // class name
    if (hasCharacter)
        place.character = reader.u16();
    if (!reader.ok())
        return false;
    if (flags & 0x04) {
        const Matrix matrix = ReadMatrix(reader);
        if (reader.ok())
            place.matrix = matrix;
    }
    if (flags & 0x08)
        SkipColorTransform(reader, true);
    if (flags & 0x10)
        reader.skip(2); // ratio
    if (flags & 0x20)
        SkipString(reader); // name
    if (flags & 0x40)
        reader.skip(2); // clip depth
    if (flags2 & 0x01) {
        // A list cut off or unknown still asks for filters.
        const std::optional<int> filters = SkipFilters(reader);
        place.filters = !reader.ok() || !filters || *filters > 0;
    }
    if (flags2 & 0x02) {
        const std::uint8_t mode = reader.u8();
        if (reader.ok())
            place.blendMode = mode;
    }
    return true;
}

bool ReadButtonParts(std::uint16_t code, Bytes body, std::vector<ButtonPart> &parts)
{
    const bool second = TagCode(code) == TagCode::DefineButton2;
    ByteReader reader(body);
    reader.skip(second ? 5 : 2);
    while (reader.ok()) {
        const std::uint8_t flags = reader.u8();
        if (!reader.ok())
            return false;
        if (flags == 0)
            return true;
        ButtonPart part;
        part.states = flags & 0x0F;
        part.character = reader.u16();
        reader.skip(2); // depth
        part.matrix = ReadMatrix(reader);
        if (second) {
            SkipColorTransform(reader, true);
            if (flags & 0x10) {
                const std::optional<int> filters = SkipFilters(reader);
                if (!filters)
                    return false;
                part.filters = *filters > 0;
            }
            if (flags & 0x20)
                part.blendMode = reader.u8();
        }
        if (!reader.ok())
            return false;
        parts.push_back(part);
    }
    return false;
}

} // namespace SwfExtract
