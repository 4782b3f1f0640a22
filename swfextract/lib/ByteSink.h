#pragma once

#include "swfextract/lib/ByteSpan.h"

#include <cstdio>
#include <string>
#include <vector>

namespace SwfExtract {

// Where extracted bytes go: a file, or memory for tests and fuzzing.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    // False once any write has failed.
    virtual bool write(Bytes bytes) = 0;
};

class VectorSink : public ByteSink
{
public:
    bool write(Bytes bytes) override;
    std::vector<std::uint8_t> bytes;
};

// Writes a file; close() reports whether every byte reached it.
class FileSink : public ByteSink
{
public:
    explicit FileSink(const std::string &path);
    ~FileSink() override;
    FileSink(const FileSink &) = delete;
    FileSink &operator=(const FileSink &) = delete;

    bool isOpen() const { return m_file != nullptr; }
    bool write(Bytes bytes) override;
    // Flushes and closes; false when a write or the close failed.
    bool close();

private:
    std::FILE *m_file = nullptr;
    bool m_failed = false;
};

} // namespace SwfExtract
