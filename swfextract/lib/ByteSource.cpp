#include "swfextract/lib/ByteSource.h"

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

namespace SwfExtract {

std::int64_t MemorySource::read(std::uint8_t *into, std::size_t capacity)
{
    const std::size_t count = std::min(capacity, m_data.size() - m_pos);
    if (count > 0)
        std::memcpy(into, m_data.data() + m_pos, count);
    m_pos += count;
    return std::int64_t(count);
}

FileSource::FileSource(const std::string &path)
{
    m_file = std::fopen(path.c_str(), "rb");
    if (!m_file)
        return;
    struct stat info;
    if (::fstat(::fileno(m_file), &info) == 0 && S_ISREG(info.st_mode))
        m_size = info.st_size;
}

FileSource::~FileSource()
{
    if (m_file)
        std::fclose(m_file);
}

std::int64_t FileSource::read(std::uint8_t *into, std::size_t capacity)
{
    if (!m_file)
        return -1;
    const std::size_t count = std::fread(into, 1, capacity, m_file);
    if (count == 0 && std::ferror(m_file))
        return -1;
    return std::int64_t(count);
}

} // namespace SwfExtract
