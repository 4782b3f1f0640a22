#include "tarnwick/ByteReader.h"

#include <gtest/gtest.h>

#include <vector>

using Tarnwick::ByteReader;
using Tarnwick::Bytes;

TEST(ByteReader, ReadsLittleEndianFieldsInOrder)
{
    const std::vector<std::uint8_t> data = {0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF};
    ByteReader reader(data);
    EXPECT_EQ(reader.u8(), 0x01);
    EXPECT_EQ(reader.u16(), 0x1234);
    EXPECT_EQ(reader.u32(), 0x12345678u);
    EXPECT_EQ(reader.i32(), -2);
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(reader.position(), data.size());
    EXPECT_EQ(reader.remaining(), 0u);
}

TEST(ByteReader, AReadPastTheEndFailsForGood)
{
    const std::vector<std::uint8_t> data = {0xAA, 0xBB, 0xCC};
    struct Case
    {
        const char *name;
        void (*read)(ByteReader &);
    };
    const Case cases[] = {
        {"u32 of three bytes", [](ByteReader &r) { EXPECT_EQ(r.u32(), 0u); }},
        {"u16 after two bytes",
         [](ByteReader &r) {
             r.u16();
             EXPECT_EQ(r.u16(), 0u);
         }},
        {"take four", [](ByteReader &r) { EXPECT_TRUE(r.take(4).empty()); }},
        {"skip four", [](ByteReader &r) { r.skip(4); }},
        {"seek past the end", [](ByteReader &r) { r.seek(4); }},
        {"25 bits", [](ByteReader &r) { EXPECT_EQ(r.bits(25), 0u); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ByteReader reader(data);
        c.read(reader);
        EXPECT_FALSE(reader.ok());
        EXPECT_EQ(reader.remaining(), 0u);
        // Bytes that are there are no longer given out.
        EXPECT_EQ(reader.u8(), 0);
        EXPECT_TRUE(reader.rest().empty());
        reader.seek(0);
        EXPECT_FALSE(reader.ok());
    }
}

TEST(ByteReader, TakeAndRestAreViewsOfTheData)
{
    const std::vector<std::uint8_t> data = {1, 2, 3, 4, 5};
    ByteReader reader(data);
    const Bytes first = reader.take(2);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first.data(), data.data());
    reader.skip(1);
    const Bytes rest = reader.rest();
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[0], 4);
    EXPECT_TRUE(reader.ok());
    // Nothing left is not a failure; asking for more is.
    EXPECT_TRUE(reader.rest().empty());
    EXPECT_TRUE(reader.ok());
    EXPECT_TRUE(reader.take(1).empty());
    EXPECT_FALSE(reader.ok());
}

TEST(ByteReader, SeekMovesAnywhereUpToTheEnd)
{
    const std::vector<std::uint8_t> data = {0x10, 0x20, 0x30};
    ByteReader reader(data);
    reader.seek(2);
    EXPECT_EQ(reader.u8(), 0x30);
    reader.seek(0);
    EXPECT_EQ(reader.u8(), 0x10);
    reader.seek(3);
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(reader.remaining(), 0u);
}

TEST(ByteReader, BitFieldsAreReadMostSignificantBitFirst)
{
    // 1011 0011 1100 0000: a 1-bit, a 3-bit and a 5-bit field, then padding.
    const std::vector<std::uint8_t> data = {0xB3, 0xC0, 0x7F};
    ByteReader reader(data);
    EXPECT_EQ(reader.bits(1), 1u);
    EXPECT_EQ(reader.bits(3), 0b011u);
    EXPECT_EQ(reader.bits(5), 0b00111u);
    // A byte-sized read drops the rest of the partly read byte.
    EXPECT_EQ(reader.u8(), 0x7F);
    EXPECT_TRUE(reader.ok());
}

TEST(ByteReader, SignedBitFieldsExtendTheirSign)
{
    struct Case
    {
        std::vector<std::uint8_t> data;
        int count;
        std::int32_t expected;
    };
    const Case cases[] = {
        {{0xF0}, 5, -2}, // 11110
        {{0x70}, 5, 14}, // 01110
        {{0x80}, 1, -1}, // a 1-bit field is 0 or -1
        {{0x00}, 0, 0}, // an empty field
        {{0xFF, 0xFF, 0xFF, 0xFF}, 32, -1}, // no room to extend
        {{0x80, 0x00, 0x00, 0x00}, 31, -1073741824},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.count);
        ByteReader reader(c.data);
        EXPECT_EQ(reader.signedBits(c.count), c.expected);
        EXPECT_TRUE(reader.ok());
    }
}

TEST(ByteReader, AlignStartsTheNextFieldOnAByte)
{
    const std::vector<std::uint8_t> data = {0xFF, 0x81};
    ByteReader reader(data);
    EXPECT_EQ(reader.bits(3), 0b111u);
    reader.align();
    EXPECT_EQ(reader.bits(1), 1u);
    EXPECT_EQ(reader.position(), 2u);
}
