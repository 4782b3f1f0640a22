#pragma once

#include "swfextract/lib/ByteSpan.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace SwfExtract {

// Where a movie's bytes come from: read piece by piece so that a compressed
// file never has to sit in memory next to its decompressed body.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Reads up to `capacity` bytes; returns how many (0 at the end), or -1
    // on a read error.
    virtual std::int64_t read(std::uint8_t *into, std::size_t capacity) = 0;
    // The total size when known, else -1.
    virtual std::int64_t size() const = 0;
};

class MemorySource : public ByteSource
{
public:
    explicit MemorySource(Bytes data)
        : m_data(data)
    {
    }
    std::int64_t read(std::uint8_t *into, std::size_t capacity) override;
    std::int64_t size() const override { return std::int64_t(m_data.size()); }

private:
    Bytes m_data;
    std::size_t m_pos = 0;
};

class FileSource : public ByteSource
{
public:
    explicit FileSource(const std::string &path);
    ~FileSource() override;
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;

    bool isOpen() const { return m_file != nullptr; }
    std::int64_t read(std::uint8_t *into, std::size_t capacity) override;
    std::int64_t size() const override { return m_size; }

private:
    std::FILE *m_file = nullptr;
    std::int64_t m_size = -1;
};

} // namespace SwfExtract
