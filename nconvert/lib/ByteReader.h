#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace NConvert {

// Reads little-endian values from a byte span. Every read checks the bytes
// left first; a read past the end fails and marks the reader as failed, so
// callers may read a whole header and test once.
class ByteReader
{
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes)
        : m_bytes(bytes)
    {
    }

    bool failed() const { return m_failed; }
    std::size_t offset() const { return m_offset; }
    std::size_t remaining() const { return m_bytes.size() - m_offset; }

    std::uint8_t u8()
    {
        if (!need(1))
            return 0;
        return m_bytes[m_offset++];
    }
    std::uint16_t u16()
    {
        const std::uint16_t low = u8();
        return std::uint16_t(low | (u8() << 8));
    }
    std::uint32_t u32()
    {
        const std::uint32_t low = u16();
        return low | (std::uint32_t(u16()) << 16);
    }
    std::int32_t i32() { return std::int32_t(u32()); }

    // The next `count` bytes, or an empty span (and the failed mark).
    std::span<const std::uint8_t> take(std::size_t count)
    {
        if (!need(count))
            return {};
        const auto part = m_bytes.subspan(m_offset, count);
        m_offset += count;
        return part;
    }
    void skip(std::size_t count) { take(count); }
    // Moves to an absolute offset within the span.
    void seek(std::size_t offset)
    {
        if (offset > m_bytes.size())
            m_failed = true;
        else
            m_offset = offset;
    }

private:
    bool need(std::size_t count)
    {
        if (m_failed || count > remaining()) {
            m_failed = true;
            return false;
        }
        return true;
    }

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_offset = 0;
    bool m_failed = false;
};

} // namespace NConvert
