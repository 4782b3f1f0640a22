#include "swfextract/lib/JpegData.h"

#include <algorithm>
#include <cstring>

namespace SwfExtract {

namespace {

constexpr std::uint8_t kEoi[] = {0xFF, 0xD9};

bool HasAt(Bytes data, std::size_t at, std::initializer_list<std::uint8_t> bytes)
{
    if (at > data.size() || data.size() - at < bytes.size())
        return false;
    return std::equal(bytes.begin(), bytes.end(), data.begin() + std::ptrdiff_t(at));
}

bool IsStandalone(std::uint8_t marker)
{
    return marker == 0xD8 || marker == 0xD9 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

// Frame headers (SOF0-15 but DHT, JPG and DAC) and SOS: entropy-coded data
// may follow, so the walk stops.
bool EndsHeaderWalk(std::uint8_t marker)
{
    return marker == 0xDA || (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC);
}

void Append(Pieces &pieces, Bytes part)
{
    if (!part.empty())
        pieces.push_back(part);
}

bool EndsWithEoi(const Pieces &pieces)
{
    std::uint8_t last[2];
    std::size_t have = 0;
    for (auto it = pieces.rbegin(); it != pieces.rend() && have < 2; ++it)
        for (auto b = it->rbegin(); b != it->rend() && have < 2; ++b)
            last[1 - have++] = *b;
    return have == 2 && last[0] == 0xFF && last[1] == 0xD9;
}

bool StartsWithSoi(const Pieces &pieces)
{
    std::uint8_t first[2];
    std::size_t have = 0;
    for (const Bytes &piece : pieces)
        for (std::size_t i = 0; i < piece.size() && have < 2; ++i)
            first[have++] = piece[i];
    return have == 2 && first[0] == 0xFF && first[1] == 0xD8;
}

void DropBack(Pieces &pieces, std::size_t count)
{
    while (count > 0 && !pieces.empty()) {
        const std::size_t cut = std::min(count, pieces.back().size());
        pieces.back() = pieces.back().first(pieces.back().size() - cut);
        count -= cut;
        if (pieces.back().empty())
            pieces.pop_back();
    }
}

void DropFront(Pieces &pieces, std::size_t count)
{
    while (count > 0 && !pieces.empty()) {
        const std::size_t cut = std::min(count, pieces.front().size());
        pieces.front() = pieces.front().subspan(cut);
        count -= cut;
        if (pieces.front().empty())
            pieces.erase(pieces.begin());
    }
}

} // namespace

PayloadKind DetectPayload(Bytes data)
{
    if (HasAt(data, 0, {0xFF, 0xD8}) || HasAt(data, 0, {0xFF, 0xD9, 0xFF, 0xD8}))
        return PayloadKind::Jpeg;
    if (HasAt(data, 0, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        return PayloadKind::Png;
    if (HasAt(data, 0, {'G', 'I', 'F', '8', '9', 'a'}) || HasAt(data, 0, {'G', 'I', 'F', '8', '7', 'a'}))
        return PayloadKind::Gif;
    return PayloadKind::Unknown;
}

std::size_t TotalSize(const Pieces &pieces)
{
    std::size_t total = 0;
    for (const Bytes &piece : pieces)
        total += piece.size();
    return total;
}

Pieces NormaliseJpeg(Bytes data)
{
    Pieces pieces;
    std::size_t kept = 0; // start of the piece not yet emitted
    std::size_t pos = 0;
    while (pos + 1 < data.size() && data[pos] == 0xFF) {
        if (HasAt(data, pos, {0xFF, 0xD9, 0xFF, 0xD8})) {
            Append(pieces, data.subspan(kept, pos - kept));
            pos += 4;
            kept = pos;
            continue;
        }
        const std::uint8_t marker = data[pos + 1];
        if (marker == 0xFF) { // fill byte before a marker
            ++pos;
            continue;
        }
        if (EndsHeaderWalk(marker))
            break;
        if (IsStandalone(marker)) {
            pos += 2;
            continue;
        }
        if (pos + 4 > data.size())
            break;
        pos += 2 + ((std::size_t(data[pos + 2]) << 8) | data[pos + 3]);
    }
    Append(pieces, data.subspan(std::min(kept, data.size())));
    if (!EndsWithEoi(pieces))
        pieces.push_back(Bytes(kEoi, sizeof kEoi));
    return pieces;
}

Pieces MergeJpegTables(Bytes tables, Bytes image)
{
    Pieces merged = NormaliseJpeg(image);
    if (tables.size() < 4)
        return merged;
    Pieces head = NormaliseJpeg(tables);
    if (!EndsWithEoi(head) || !StartsWithSoi(merged) || !StartsWithSoi(head))
        return merged;
    DropBack(head, 2);
    DropFront(merged, 2);
    head.insert(head.end(), merged.begin(), merged.end());
    return head;
}

} // namespace SwfExtract
