#pragma once

#include "swfextract/lib/ByteSpan.h"

#include <cstdint>
#include <vector>

namespace SwfExtract {

// Inflates one zlib stream held in memory, piece by piece, never producing
// more than the caller asks for: the caller's expected size is the bomb guard.
class Inflater
{
public:
    explicit Inflater(Bytes compressed);
    ~Inflater();
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    // Fills `into` as far as the stream goes; returns the bytes produced.
    // Fewer than asked means the stream ended, is cut or is damaged.
    std::size_t read(std::uint8_t *into, std::size_t count);
    // True once the stream's end was reached.
    bool finished() const { return m_finished; }

    // Inflates at most `cap` bytes of a whole stream.
    static std::vector<std::uint8_t> inflateAll(Bytes compressed, std::size_t cap);

private:
    struct State;
    State *m_state;
    bool m_finished = false;
    bool m_failed = false;
};

} // namespace SwfExtract
