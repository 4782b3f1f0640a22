#include "swfextract/lib/CharacterUse.h"

#include "swfextract/lib/DisplayRecords.h"
#include "swfextract/lib/TagCode.h"
#include "tarnwick/ByteReader.h"

namespace SwfExtract {

using Tarnwick::ByteReader;

namespace {

// Reads one FILLSTYLE (or MORPHFILLSTYLE); false for an unknown type, after
// which nothing more of the shape can be read.
bool FillStyle(ByteReader &reader, int version, bool morph, std::vector<std::uint16_t> &bitmaps)
{
    const std::uint8_t type = reader.u8();
    const std::size_t colour = morph ? 8 : version >= 3 ? 4 : 3;
    if (type == 0x00) {
        reader.skip(colour);
    } else if (type == 0x10 || type == 0x12 || type == 0x13) {
        (void)ReadMatrix(reader);
        if (morph)
            (void)ReadMatrix(reader);
        // Spread and interpolation modes, then the count of gradient
        // records: ratio and colour (two of each for a morph).
        const std::size_t count = reader.u8() & 0x0Fu;
        reader.skip(count * (morph ? 10 : 1 + colour));
        if (type == 0x13)
            reader.skip(morph ? 4 : 2); // focal point (start and end for a morph)
    } else if (type >= 0x40 && type <= 0x43) {
        bitmaps.push_back(reader.u16());
        (void)ReadMatrix(reader);
        if (morph)
            (void)ReadMatrix(reader);
    } else {
        return false;
    }
    return reader.ok();
}

bool FillStyles(ByteReader &reader, int version, bool morph, std::vector<std::uint16_t> &bitmaps)
{
    std::uint32_t count = reader.u8();
    if (count == 0xFF && (version >= 2 || morph))
        count = reader.u16();
    for (std::uint32_t i = 0; i < count && reader.ok(); ++i)
        if (!FillStyle(reader, version, morph, bitmaps))
            return false;
    return reader.ok();
}

// LINESTYLE, LINESTYLE2 (DefineShape4, which may fill a line with a
// bitmap), MORPHLINESTYLE and MORPHLINESTYLE2.
bool LineStyles(ByteReader &reader, int version, bool morph, std::vector<std::uint16_t> &bitmaps)
{
    std::uint32_t count = reader.u8();
    if (count == 0xFF)
        count = reader.u16();
    for (std::uint32_t i = 0; i < count && reader.ok(); ++i) {
        if (version < 4) {
            reader.skip(morph ? 12 : 2 + (version >= 3 ? 4 : 3));
            continue;
        }
        reader.skip(morph ? 4 : 2);
        const std::uint8_t flags = reader.u8();
        reader.u8();
        const int join = (flags >> 4) & 3;
        const bool hasFill = (flags >> 3) & 1;
        if (join == 2)
            reader.skip(2); // miter limit
        if (!hasFill)
            reader.skip(morph ? 8 : 4);
        else if (!FillStyle(reader, version, morph, bitmaps))
            return false;
    }
    return reader.ok();
}

bool ShapeRecords(ByteReader &reader, int version, std::vector<std::uint16_t> &bitmaps)
{
    reader.align();
    int fillBits = int(reader.bits(4));
    int lineBits = int(reader.bits(4));
    // Every record takes at least six bits, so the reader's end stops this.
    while (reader.ok()) {
        if (reader.bits(1) == 0) {
            const std::uint32_t flags = reader.bits(5);
            if (flags == 0)
                return reader.ok();
            if (flags & 0x01) {
                const int bits = int(reader.bits(5));
                reader.bits(bits);
                reader.bits(bits);
            }
            if (flags & 0x02)
                reader.bits(fillBits);
            if (flags & 0x04)
                reader.bits(fillBits);
            if (flags & 0x08)
                reader.bits(lineBits);
            if ((flags & 0x10) && version >= 2) {
                reader.align();
                if (!FillStyles(reader, version, false, bitmaps) || !LineStyles(reader, version, false, bitmaps))
                    return false;
                fillBits = int(reader.bits(4));
                lineBits = int(reader.bits(4));
            }
        } else {
            const bool straight = reader.bits(1);
            const int bits = int(reader.bits(4)) + 2;
            if (straight) {
                if (reader.bits(1)) {
                    reader.bits(bits);
                    reader.bits(bits);
                } else {
                    reader.bits(1);
                    reader.bits(bits);
                }
            } else {
                for (int i = 0; i < 4; ++i)
                    reader.bits(bits);
            }
        }
    }
    return false;
}

} // namespace

bool BitmapsOfShape(std::uint16_t code, Bytes body, std::vector<std::uint16_t> &bitmaps)
{
    ByteReader reader(body);
    reader.skip(2);
    (void)ReadRect(reader);
    switch (TagCode(code)) {
    case TagCode::DefineMorphShape:
    case TagCode::DefineMorphShape2: {
        const bool second = TagCode(code) == TagCode::DefineMorphShape2;
        (void)ReadRect(reader);
        if (second) {
            (void)ReadRect(reader);
            (void)ReadRect(reader);
            reader.u8();
        }
        reader.skip(4); // offset of the end edges
        const int version = second ? 4 : 3;
        return FillStyles(reader, version, true, bitmaps) && LineStyles(reader, version, true, bitmaps);
    }
    default: break;
    }
    const int version = TagCode(code) == TagCode::DefineShape    ? 1
                        : TagCode(code) == TagCode::DefineShape2 ? 2
                        : TagCode(code) == TagCode::DefineShape3 ? 3
                                                                 : 4;
    if (version == 4) {
        (void)ReadRect(reader);
        reader.u8();
    }
    if (!FillStyles(reader, version, false, bitmaps) || !LineStyles(reader, version, false, bitmaps))
        return false;
    return ShapeRecords(reader, version, bitmaps);
}

} // namespace SwfExtract
