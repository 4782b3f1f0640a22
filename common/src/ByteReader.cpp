#include "tarnwick/ByteReader.h"

namespace Tarnwick {

bool ByteReader::need(std::size_t count)
{
    align();
    if (m_failed || m_data.size() - m_pos < count) {
        m_failed = true;
        return false;
    }
    return true;
}

std::uint8_t ByteReader::u8()
{
    if (!need(1))
        return 0;
    return m_data[m_pos++];
}

std::uint16_t ByteReader::u16()
{
    if (!need(2))
        return 0;
    const std::uint16_t value = std::uint16_t(m_data[m_pos] | (m_data[m_pos + 1] << 8));
    m_pos += 2;
    return value;
}

std::uint32_t ByteReader::u32()
{
    if (!need(4))
        return 0;
    const std::uint32_t value = std::uint32_t(m_data[m_pos]) | (std::uint32_t(m_data[m_pos + 1]) << 8)
                                | (std::uint32_t(m_data[m_pos + 2]) << 16) | (std::uint32_t(m_data[m_pos + 3]) << 24);
    m_pos += 4;
    return value;
}

Bytes ByteReader::take(std::size_t count)
{
    if (!need(count))
        return {};
    const Bytes part = m_data.subspan(m_pos, count);
    m_pos += count;
    return part;
}

Bytes ByteReader::rest()
{
    return take(remaining());
}

void ByteReader::seek(std::size_t offset)
{
    align();
    if (m_failed || offset > m_data.size())
        m_failed = true;
    else
        m_pos = offset;
}

std::uint32_t ByteReader::bits(int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        if (m_bitCount == 0) {
            if (m_failed || m_pos >= m_data.size()) {
                m_failed = true;
                return 0;
            }
            m_bitByte = m_data[m_pos++];
            m_bitCount = 8;
        }
        --m_bitCount;
        value = (value << 1) | ((m_bitByte >> m_bitCount) & 1u);
    }
    return value;
}

std::int32_t ByteReader::signedBits(int count)
{
    const std::uint32_t raw = bits(count);
    if (count == 0 || count >= 32)
        return std::int32_t(raw);
    const std::uint32_t sign = 1u << (count - 1);
    return std::int32_t((raw ^ sign) - sign);
}

} // namespace Tarnwick
