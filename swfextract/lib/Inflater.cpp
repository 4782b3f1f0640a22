#include "swfextract/lib/Inflater.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace SwfExtract {

struct Inflater::State
{
    z_stream zs{};
};

Inflater::Inflater(Bytes compressed)
    : m_state(new State)
{
    m_state->zs.next_in = const_cast<std::uint8_t *>(compressed.data());
    m_state->zs.avail_in = uInt(std::min<std::size_t>(compressed.size(), UINT_MAX));
    m_failed = inflateInit(&m_state->zs) != Z_OK;
}

Inflater::~Inflater()
{
    if (!m_failed)
        inflateEnd(&m_state->zs);
    delete m_state;
}

std::size_t Inflater::read(std::uint8_t *into, std::size_t count)
{
    std::size_t done = 0;
    while (done < count && !m_finished && !m_failed) {
        z_stream &zs = m_state->zs;
        const std::size_t step = std::min<std::size_t>(count - done, UINT_MAX);
        zs.next_out = into + done;
        zs.avail_out = uInt(step);
        const int rc = inflate(&zs, Z_NO_FLUSH);
        done += step - zs.avail_out;
        if (rc == Z_STREAM_END)
            m_finished = true;
        else if (rc != Z_OK) // damaged data, or no input left (Z_BUF_ERROR)
            break;
    }
    return done;
}

std::vector<std::uint8_t> Inflater::inflateAll(Bytes compressed, std::size_t cap)
{
    std::vector<std::uint8_t> out;
    Inflater inflater(compressed);
    std::size_t chunk = std::min<std::size_t>(cap, std::max<std::size_t>(compressed.size() * 4, 4096));
    while (out.size() < cap) {
        const std::size_t before = out.size();
        out.resize(std::min(cap, before + chunk));
        const std::size_t got = inflater.read(out.data() + before, out.size() - before);
        out.resize(before + got);
        if (got == 0 || inflater.finished())
            break;
        chunk *= 2;
    }
    return out;
}

} // namespace SwfExtract
