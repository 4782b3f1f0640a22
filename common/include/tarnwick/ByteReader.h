#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace Tarnwick {

using Bytes = std::span<const std::uint8_t>;

// Reads little-endian fields and MSB-first bit fields from a byte span.
// Every read checks the bytes that remain first; a read past the end yields 0
// and leaves the reader failed for good, so a group of reads can be checked
// once with ok().
class ByteReader
{
public:
    explicit ByteReader(Bytes data)
        : m_data(data)
    {
    }

    bool ok() const { return !m_failed; }
    std::size_t position() const { return m_pos; }
    std::size_t remaining() const { return m_failed ? 0 : m_data.size() - m_pos; }

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    std::int32_t i32() { return std::int32_t(u32()); }
    // `count` bytes as a span into the data (empty and failed when short).
    Bytes take(std::size_t count);
    // Everything not read yet.
    Bytes rest();
    void skip(std::size_t count) { take(count); }
    // Moves to an absolute offset; one past the end fails the reader.
    void seek(std::size_t offset);

    // Bit fields: start at the current byte; a byte-sized read afterwards
    // drops the partly read byte.
    std::uint32_t bits(int count);
    std::int32_t signedBits(int count);
    // Drops the rest of a partly read byte: records such as RECT and
    // MATRIX start on a byte.
    void align() { m_bitCount = 0; }

private:
    bool need(std::size_t count);

    Bytes m_data;
    std::size_t m_pos = 0;
    bool m_failed = false;
    std::uint8_t m_bitByte = 0;
    int m_bitCount = 0; // unread bits left in m_bitByte
};

} // namespace Tarnwick
