#include "swfextract/lib/Listing.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace SwfExtract {

namespace {

struct ClassInfo
{
    ObjectClass objectClass;
    char letter;
    const char *word;
};

// Listing order. No word may end in "JPEG" or "PNG" or contain "MP3 Sound":
// readers of the listing look for those markers.
constexpr std::array<ClassInfo, 11> kClasses{{
    {ObjectClass::Shape, 'i', "Shape"},
    {ObjectClass::MorphShape, 'M', "MorphShape"},
    {ObjectClass::Jpeg, 'j', "JPEG"},
    {ObjectClass::Png, 'p', "PNG"},
    {ObjectClass::Sound, 's', "Sound"},
    {ObjectClass::MovieClip, 'n', "MovieClip"},
    {ObjectClass::Font, 'F', "Font"},
    {ObjectClass::Text, 't', "Text"},
    {ObjectClass::Button, 'b', "Button"},
    {ObjectClass::Video, 'v', "Video"},
    {ObjectClass::BinaryData, 'B', "BinaryBlob"},
}};

const ClassInfo &InfoOf(ObjectClass objectClass)
{
    for (const ClassInfo &info : kClasses)
        if (info.objectClass == objectClass)
            return info;
    return kClasses.front();
}

std::string ClassLine(char letter, std::size_t count, const char *word, const std::string &ids)
{
    return std::string(" [-") + letter + "] " + std::to_string(count) + " " + word + (count > 1 ? "s" : "") + ": ID(s) "
           + ids + "\n";
}

std::string Trim(const std::string &text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(text[first])))
        ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1])))
        --last;
    return text.substr(first, last - first);
}

// A whole decimal number in 0..65535.
bool ParseId(const std::string &text, std::uint16_t &id)
{
    if (text.empty() || text.size() > 5)
        return false;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + std::uint32_t(c - '0');
    }
    if (value > 0xFFFF)
        return false;
    id = std::uint16_t(value);
    return true;
}

} // namespace

const char *ClassWordOf(ObjectClass objectClass)
{
    return InfoOf(objectClass).word;
}

std::string FormatIdList(std::vector<std::uint16_t> ids)
{
    std::sort(ids.begin(), ids.end());
    std::string text;
    std::size_t i = 0;
    while (i < ids.size()) {
        std::size_t end = i + 1;
        while (end < ids.size() && ids[end] == ids[end - 1] + 1)
            ++end;
        if (!text.empty())
            text += ", ";
        if (end - i >= 3) {
            text += std::to_string(ids[i]) + "-" + std::to_string(ids[end - 1]);
        } else {
            text += std::to_string(ids[i]);
            if (end - i == 2)
                text += ", " + std::to_string(ids[i + 1]);
        }
        i = end;
    }
    return text;
}

std::string FormatListing(const Movie &movie, const std::string &fileName)
{
    std::string text = "Objects in file " + fileName + ":\n";
    for (const ClassInfo &info : kClasses) {
        std::vector<std::uint16_t> ids;
        for (const Definition &definition : movie.definitions)
            if (definition.objectClass == info.objectClass)
                ids.push_back(definition.id);
        if (!ids.empty())
            text += ClassLine(info.letter, ids.size(), info.word, FormatIdList(ids));
        if (info.objectClass == ObjectClass::Sound && movie.mp3Stream && !movie.mp3Stream->blocks.empty())
            text += " [-m] 1 MP3 Soundstream\n";
    }
    if (movie.frames > 0) {
        // Frames are numbered from 0; too many to list one by one.
        const std::string frames = movie.frames == 1   ? "0"
                                   : movie.frames == 2 ? "0, 1"
                                                       : "0-" + std::to_string(movie.frames - 1);
        text += ClassLine('f', movie.frames, "Frame", frames);
    }
    return text;
}

Result<std::vector<std::uint16_t>> ParseIdList(const std::string &text)
{
    std::vector<std::uint16_t> ids;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string element = Trim(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!element.empty()) {
            const std::size_t dash = element.find('-');
            std::uint16_t first = 0;
            std::uint16_t last = 0;
            const bool parsed = dash == std::string::npos ? ParseId(element, first) && ParseId(element, last)
                                                          : ParseId(Trim(element.substr(0, dash)), first)
                                                                && ParseId(Trim(element.substr(dash + 1)), last);
            if (!parsed || last < first)
                return MakeError(ErrorCode::Malformed, "bad ID list \"" + text + "\" at \"" + element + "\"");
            for (std::uint32_t id = first; id <= last; ++id)
                ids.push_back(std::uint16_t(id));
        }
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (ids.empty())
        return MakeError(ErrorCode::Malformed, "empty ID list \"" + text + "\"");
    return ids;
}

} // namespace SwfExtract
