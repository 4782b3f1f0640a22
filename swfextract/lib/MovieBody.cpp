#include "swfextract/lib/MovieBody.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

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

// FileLength - 8 when the header gives a size the body may have; nullopt for
// one that cannot be right (below the header's own 8 bytes, or beyond the
// body limit). It is never used to size a buffer: a tiny file claiming 4 GiB
// must not make us reserve it.
std::optional<std::uint64_t> ClaimedBody(const FileHeader &header, const Limits &limits)
{
    if (header.fileLength < 8 || header.fileLength - 8u > limits.maxBodyBytes)
        return std::nullopt;
    return header.fileLength - 8u;
}

// Room for more of a decompressed body: up to FileLength while below it, so
// that a movie whose header is right is held in a block of just its size;
// past it, up to one byte over the limit, which tells a movie that is too
// large from one exactly as large as allowed.
std::span<std::uint8_t> RoomFor(MovieBody &body, std::size_t want, const std::optional<std::uint64_t> &claimed,
                                std::size_t cap)
{
    const std::size_t size = body.bytes().size();
    return body.grow(want, claimed && size < *claimed ? std::size_t(*claimed) : cap + 1);
}

// How a compressed stream stopped.
enum class StreamEnd { Whole, Cut, Damaged };

// Compares what decompressed (or what an FWS file holds) with the header's
// FileLength. Players read a movie as far as its data goes whatever the
// header says, and so do we: a wrong FileLength is only a warning. A stream
// that stops early is a cut movie unless the body FileLength promises is
// already whole (a checksum cut off after it, say).
void SettleLength(MovieBody &body, const Limits &limits, StreamEnd end, const std::string &endWarning)
{
    const std::uint64_t size = body.bytes().size();
    const std::optional<std::uint64_t> claimed = ClaimedBody(body.header, limits);
    const bool whole = end == StreamEnd::Whole || (claimed && size >= *claimed);
    if (!whole) {
        body.complete = false;
        body.warnings.push_back(endWarning);
    }
    if (claimed == size || (!whole && claimed))
        return; // right, or cut before its end: the cut says it all
    const std::string length = "the header's FileLength (" + std::to_string(body.header.fileLength) + ")";
    if (claimed && size < *claimed)
        body.warnings.push_back("the movie's data (" + std::to_string(size + 8) + " bytes) ends before " + length
                                + " says: the file is cut or its header is wrong; it is read as far as it goes");
    else
        body.warnings.push_back(length + " is not the movie's size (" + std::to_string(size + 8)
                                + " bytes); the movie is read as far as its data goes");
}

Status LoadZlib(ByteSource &source, MovieBody &body, const Limits &limits)
{
    const std::size_t cap = std::size_t(limits.maxBodyBytes);
    const std::optional<std::uint64_t> claimed = ClaimedBody(body.header, limits);
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return MakeError(ErrorCode::TooLarge, "out of memory for decompression");
    std::vector<std::uint8_t> input(kInputChunk);
    bool sourceEnded = false;
    int rc = Z_OK;
    bool outputFull = false; // zlib may still hold output for a full buffer
    std::size_t want = FirstCapacity(source, cap);
    Status status = Done{};
    StreamEnd end = StreamEnd::Whole;
    std::string endWarning;
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
            end = StreamEnd::Cut;
            endWarning = "the compressed movie ends early (cut file); using what decompressed";
            break;
        }
        std::span<std::uint8_t> room = RoomFor(body, want, claimed, cap);
        if (room.empty()) {
            status = body.bytes().size() > cap ? BodyTooLarge(cap)
                                               : MakeError(ErrorCode::TooLarge, "out of memory for the movie");
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
            end = StreamEnd::Damaged;
            endWarning = std::string("the compressed movie is damaged (") + (zs.msg ? zs.msg : "zlib error")
                         + "); using what decompressed";
            break;
        }
    }
    inflateEnd(&zs);
    if (status && body.bytes().size() > cap)
        status = BodyTooLarge(cap);
    if (status)
        SettleLength(body, limits, end, endWarning);
    return status;
}

// Reads the ZWS fields before the LZMA data (UI32 compressed length, unused,
// and 5 LZMA property bytes), checks the dictionary size, and makes the
// classic .lzma header liblzma wants: properties, then the size. The size
// is given as unknown, so that a movie larger than its FileLength says is
// read to its end; LoadLzma drops what a stream without an end marker
// decodes past it.
Result<std::array<std::uint8_t, 13>> ReadLzmaHeader(ByteSource &source, const Limits &limits)
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
    std::fill(alone.begin() + 5, alone.end(), 0xFF);
    return alone;
}

Status LoadLzma(ByteSource &source, MovieBody &body, const Limits &limits)
{
    const Result<std::array<std::uint8_t, 13>> alone = ReadLzmaHeader(source, limits);
    if (!alone)
        return alone.error();
    const std::size_t cap = std::size_t(limits.maxBodyBytes);
    const std::optional<std::uint64_t> claimed = ClaimedBody(body.header, limits);
    lzma_stream ls = LZMA_STREAM_INIT;
    // Twice the dictionary leaves room for the decoder's own state.
    if (lzma_alone_decoder(&ls, limits.maxLzmaMemory * 2 + (1u << 20)) != LZMA_OK)
        return MakeError(ErrorCode::TooLarge, "out of memory for decompression");

    std::vector<std::uint8_t> input(kInputChunk);
    ls.next_in = alone->data();
    ls.avail_in = alone->size();
    bool sourceEnded = false;
    std::size_t want = FirstCapacity(source, cap);
    std::optional<std::uint64_t> inputAtClaimed; // compressed bytes used when FileLength was reached
    Status status = Done{};
    StreamEnd end = StreamEnd::Whole;
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
        std::span<std::uint8_t> room = RoomFor(body, want, claimed, cap);
        if (room.empty()) {
            if (body.bytes().size() <= cap)
                status = MakeError(ErrorCode::TooLarge, "out of memory for the movie");
            break;
        }
        want = kMinGrowth;
        // The room ends at FileLength once, to note how much input that took.
        const std::size_t step = room.size();
        const std::size_t inBefore = ls.avail_in;
        ls.next_out = room.data();
        ls.avail_out = step;
        const lzma_ret rc = lzma_code(&ls, sourceEnded ? LZMA_FINISH : LZMA_RUN);
        body.commit(step - ls.avail_out);
        if (claimed && !inputAtClaimed && body.bytes().size() == *claimed)
            inputAtClaimed = ls.total_in;
        if (rc == LZMA_STREAM_END)
            break;
        const bool progressed = ls.avail_out != step || ls.avail_in != inBefore;
        if (rc == LZMA_OK && (progressed || !sourceEnded))
            continue;
        if (rc == LZMA_MEMLIMIT_ERROR || rc == LZMA_MEM_ERROR) {
            status = MakeError(ErrorCode::TooLarge, "the LZMA stream needs more memory than allowed");
            break;
        }
        end = rc == LZMA_OK || rc == LZMA_BUF_ERROR ? StreamEnd::Cut : StreamEnd::Damaged;
        break;
    }
    const std::uint64_t inputUsed = ls.total_in;
    lzma_end(&ls);
    if (!status)
        return status;
    // A stream without an end marker, its size unknown to the decoder,
    // decodes a byte or two past its real end from the state its last
    // bytes leave, taking no more input. Output beyond FileLength that took
    // no input is that, and is dropped; output that took input is movie
    // data a too small FileLength left out.
    if (end != StreamEnd::Whole && inputAtClaimed && body.bytes().size() > *claimed && inputUsed == *inputAtClaimed) {
        body.truncate(std::size_t(*claimed));
    }
    // Many writers leave the end marker out, so a stream that stops with its
    // data is no sign of a cut file: the movie's own tags tell.
    if (end == StreamEnd::Cut)
        end = StreamEnd::Whole;
    if (body.bytes().size() > cap)
        return BodyTooLarge(cap);
    SettleLength(body, limits, end, "the compressed movie is damaged; using what decompressed");
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
        if (status)
            SettleLength(body, limits, StreamEnd::Whole, "");
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
