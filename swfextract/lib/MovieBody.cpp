#include "swfextract/lib/MovieBody.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace SwfExtract {

namespace {

constexpr std::size_t kInputChunk = 256 * 1024;
constexpr std::size_t kMinGrowth = 64 * 1024;

std::uint32_t ReadLe32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

// Fills `into` completely unless the source ends; returns the count read or -1.
std::int64_t ReadFully(ByteSource &source, std::uint8_t *into, std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        const std::int64_t n = source.read(into + done, count - done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    return std::int64_t(done);
}

std::string MiB(std::uint64_t bytes)
{
    return std::to_string(bytes >> 20) + " MiB";
}

Error ReadError()
{
    return MakeError(ErrorCode::Unreadable, "cannot read the file");
}

Error BodyTooLarge(std::uint64_t cap)
{
    return MakeError(ErrorCode::TooLarge, "the movie decompresses to more than the " + MiB(cap) + " limit");
}

// First guess at the body size: what the file itself holds, never what its
// header claims, so a small hostile file cannot make us reserve much.
std::size_t FirstCapacity(const ByteSource &source, std::size_t cap)
{
    const std::int64_t known = source.size();
    const std::uint64_t guess = known > 0 ? std::uint64_t(known) * 2 : kMinGrowth;
    return std::size_t(std::min<std::uint64_t>(std::max<std::uint64_t>(guess, kMinGrowth), cap));
}

Status LoadPlain(ByteSource &source, MovieBody &body, const Limits &limits)
{
    const std::size_t cap = std::size_t(limits.maxBodyBytes);
    std::size_t want = FirstCapacity(source, cap);
    for (;;) {
        std::span<std::uint8_t> room = body.grow(want, cap);
        if (room.empty()) {
            std::uint8_t probe;
            const std::int64_t more = source.read(&probe, 1);
            if (more < 0)
                return ReadError();
            if (more == 0)
                return Done{};
            return BodyTooLarge(cap);
        }
        const std::int64_t n = source.read(room.data(), room.size());
        if (n < 0)
            return ReadError();
        if (n == 0)
            return Done{};
        body.commit(std::size_t(n));
        want = kInputChunk;
    }
}

// The body size the header allows: FileLength - 8, within the hard cap.
struct BodyBound
{
    std::size_t cap;
    bool fromLimit; // the hard cap is the tighter bound
};

BodyBound BoundFor(const FileHeader &header, const Limits &limits)
{
    const std::uint64_t claimed = header.fileLength - 8u;
    if (claimed > limits.maxBodyBytes)
        return {std::size_t(limits.maxBodyBytes), true};
    return {std::size_t(claimed), false};
}

Status LoadZlib(ByteSource &source, MovieBody &body, const Limits &limits)
{
    const BodyBound bound = BoundFor(body.header, limits);
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return MakeError(ErrorCode::TooLarge, "out of memory for decompression");
    std::vector<std::uint8_t> input(kInputChunk);
    bool sourceEnded = false;
    int rc = Z_OK;
    bool outputFull = false; // zlib may still hold output for a full buffer
    std::size_t want = FirstCapacity(source, bound.cap);
    Status status = Done{};
    while (rc != Z_STREAM_END) {
        if (zs.avail_in == 0 && !sourceEnded) {
            const std::int64_t n = source.read(input.data(), input.size());
            if (n < 0) {
                status = ReadError();
                break;
            }
            sourceEnded = n == 0;
            zs.next_in = input.data();
            zs.avail_in = uInt(n);
        }
        if (zs.avail_in == 0 && sourceEnded && !outputFull) {
            body.complete = false;
            body.warnings.push_back("the compressed movie ends early (cut file); using what decompressed");
            break;
        }
        std::span<std::uint8_t> room = body.grow(want, bound.cap);
        if (room.empty()) {
            if (bound.fromLimit) {
                status = BodyTooLarge(bound.cap);
            } else {
                // FileLength is reached: the movie is whole even when the
                // stream's checksum is cut off. Say so only if more follows.
                std::uint8_t probe;
                zs.next_out = &probe;
                zs.avail_out = 1;
                if (inflate(&zs, Z_NO_FLUSH) == Z_OK && zs.avail_out == 0)
                    body.warnings.push_back("compressed data beyond the header's FileLength ignored");
            }
            break;
        }
        want = kMinGrowth;
        const std::size_t step = std::min<std::size_t>(room.size(), 1u << 30);
        zs.next_out = room.data();
        zs.avail_out = uInt(step);
        rc = inflate(&zs, Z_NO_FLUSH);
        body.commit(step - zs.avail_out);
        outputFull = zs.avail_out == 0;
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
            body.complete = false;
            body.warnings.push_back(std::string("the compressed movie is damaged (") + (zs.msg ? zs.msg : "zlib error")
                                    + "); using what decompressed");
            break;
        }
    }
    inflateEnd(&zs);
    return status;
}

// Reads the ZWS fields before the LZMA data (UI32 compressed length, unused,
// and 5 LZMA property bytes), checks the dictionary size, and makes the
// classic .lzma header liblzma wants: properties, then the size. It always
// gives the known size: with "unknown" a stream without an end marker never
// ends and the decoder runs on past the real data.
Result<std::array<std::uint8_t, 13>> ReadLzmaHeader(ByteSource &source, const FileHeader &header, const Limits &limits)
{
    std::uint8_t fields[9];
    const std::int64_t got = ReadFully(source, fields, sizeof fields);
    if (got < 0)
        return ReadError();
    if (got < std::int64_t(sizeof fields))
        return MakeError(ErrorCode::Truncated, "the LZMA header of the movie is cut off", 8 + got);
    const std::uint32_t dictionary = ReadLe32(fields + 5);
    if (dictionary > limits.maxLzmaMemory)
        return MakeError(
            ErrorCode::TooLarge,
            "the LZMA dictionary (" + MiB(dictionary) + ") exceeds the " + MiB(limits.maxLzmaMemory) + " limit", 13);
    std::array<std::uint8_t, 13> alone;
    std::memcpy(alone.data(), fields + 4, 5);
    const std::uint64_t size = header.fileLength - 8u;
    for (int i = 0; i < 8; ++i)
        alone[5 + i] = std::uint8_t(size >> (8 * i));
    return alone;
}

Status LoadLzma(ByteSource &source, MovieBody &body, const Limits &limits)
{
    const Result<std::array<std::uint8_t, 13>> alone = ReadLzmaHeader(source, body.header, limits);
    if (!alone)
        return alone.error();
    const BodyBound bound = BoundFor(body.header, limits);
    lzma_stream ls = LZMA_STREAM_INIT;
    // Twice the dictionary leaves room for the decoder's own state.
    if (lzma_alone_decoder(&ls, limits.maxLzmaMemory * 2 + (1u << 20)) != LZMA_OK)
        return MakeError(ErrorCode::TooLarge, "out of memory for decompression");

    std::vector<std::uint8_t> input(kInputChunk);
    ls.next_in = alone->data();
    ls.avail_in = alone->size();
    bool sourceEnded = false;
    std::size_t want = FirstCapacity(source, bound.cap);
    Status status = Done{};
    for (;;) {
        if (ls.avail_in == 0 && !sourceEnded) {
            const std::int64_t n = source.read(input.data(), input.size());
            if (n < 0) {
                status = ReadError();
                break;
            }
            sourceEnded = n == 0;
            ls.next_in = input.data();
            ls.avail_in = std::size_t(n);
        }
        std::span<std::uint8_t> room = body.grow(want, bound.cap);
        if (room.empty()) {
            // The decoder was told FileLength - 8, so reaching that is the end.
            if (body.bytes().size() < bound.cap)
                status = MakeError(ErrorCode::TooLarge, "out of memory for the movie");
            else if (bound.fromLimit)
                status = BodyTooLarge(bound.cap);
            break;
        }
        want = kMinGrowth;
        const std::size_t inBefore = ls.avail_in;
        ls.next_out = room.data();
        ls.avail_out = room.size();
        const lzma_ret rc = lzma_code(&ls, sourceEnded ? LZMA_FINISH : LZMA_RUN);
        body.commit(room.size() - ls.avail_out);
        if (rc == LZMA_STREAM_END)
            break;
        const bool progressed = ls.avail_out != room.size() || ls.avail_in != inBefore;
        if (rc == LZMA_OK && (progressed || !sourceEnded))
            continue;
        if (rc == LZMA_MEMLIMIT_ERROR || rc == LZMA_MEM_ERROR) {
            status = MakeError(ErrorCode::TooLarge, "the LZMA stream needs more memory than allowed");
            break;
        }
        body.complete = false;
        body.warnings.push_back(rc == LZMA_OK || rc == LZMA_BUF_ERROR
                                    ? "the compressed movie ends early (cut file); using what decompressed"
                                    : "the compressed movie is damaged; using what decompressed");
        break;
    }
    lzma_end(&ls);
    return status;
}

} // namespace

void MovieBody::Free::operator()(std::uint8_t *p) const
{
    std::free(p);
}

std::span<std::uint8_t> MovieBody::grow(std::size_t count, std::size_t cap)
{
    if (m_size >= cap)
        return {};
    if (m_capacity - m_size < count && m_capacity < cap) {
        // Double, so that growing to N bytes costs O(N); realloc of a large
        // block remaps pages instead of copying them.
        std::size_t wanted = std::max(m_size + count, m_capacity * 2);
        wanted = std::min(wanted, cap);
        void *grown = std::realloc(m_data.get(), wanted);
        if (!grown)
            return {};
        (void)m_data.release();
        m_data.reset(static_cast<std::uint8_t *>(grown));
        m_capacity = wanted;
    }
    return {m_data.get() + m_size, std::min(m_capacity, cap) - m_size};
}

Result<MovieBody> LoadMovieBody(ByteSource &source, const Limits &limits)
{
    if (source.size() > std::int64_t(limits.maxFileBytes))
        return MakeError(ErrorCode::TooLarge, "the file is larger than the " + MiB(limits.maxFileBytes) + " limit");
    std::uint8_t head[8];
    const std::int64_t got = ReadFully(source, head, sizeof head);
    if (got < 0)
        return ReadError();
    if (got < 8)
        return MakeError(ErrorCode::NotSwf, "not a SWF movie: only " + std::to_string(got) + " bytes");

    MovieBody body;
    if (head[1] != 'W' || head[2] != 'S' || (head[0] != 'F' && head[0] != 'C' && head[0] != 'Z'))
        return MakeError(ErrorCode::NotSwf, "not a SWF movie: unknown signature", 0);
    body.header.container = head[0] == 'F' ? Container::Fws : head[0] == 'C' ? Container::Cws : Container::Zws;
    body.header.version = head[3];
    body.header.fileLength = ReadLe32(head + 4);

    Status status = Done{};
    if (body.header.container == Container::Fws) {
        status = LoadPlain(source, body, limits);
    } else if (body.header.fileLength < 8) {
        return MakeError(ErrorCode::Malformed,
                         "the header's FileLength (" + std::to_string(body.header.fileLength)
                             + ") is smaller than the header itself",
                         4);
    } else if (body.header.container == Container::Cws) {
        status = LoadZlib(source, body, limits);
    } else {
        status = LoadLzma(source, body, limits);
    }
    if (!status)
        return status.error();
    return body;
}

} // namespace SwfExtract
