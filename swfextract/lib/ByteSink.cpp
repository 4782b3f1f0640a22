#include "swfextract/lib/ByteSink.h"

namespace SwfExtract {

bool VectorSink::write(Bytes data)
{
    bytes.insert(bytes.end(), data.begin(), data.end());
    return true;
}

FileSink::FileSink(const std::string &path)
{
    m_file = std::fopen(path.c_str(), "wb");
}

FileSink::~FileSink()
{
    close();
}

bool FileSink::write(Bytes bytes)
{
    if (!m_file || m_failed)
        return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
        m_failed = true;
    return !m_failed;
}

bool FileSink::close()
{
    if (!m_file)
        return false;
    if (std::fclose(m_file) != 0)
        m_failed = true;
    m_file = nullptr;
    return !m_failed;
}

} // namespace SwfExtract
