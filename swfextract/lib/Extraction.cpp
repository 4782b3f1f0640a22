#include "swfextract/lib/Extraction.h"

#include "swfextract/lib/ByteSink.h"
#include "swfextract/lib/Flv.h"
#include "swfextract/lib/Listing.h"
#include "swfextract/lib/Picture.h"
#include "swfextract/lib/Sound.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

namespace SwfExtract {

namespace {

// Most threads that write objects at once.
constexpr std::size_t kMaxWriterThreads = 4;

struct Selected
{
    const Definition *definition;
    int number; // 1 for the first definition of its ID among those written
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool EndsWith(const std::string &text, const std::string &suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Label(const Definition &definition)
{
    return std::string(ClassWordOf(definition.objectClass)) + " " + std::to_string(definition.id);
}

// Why an ID is not of the asked class: names the class it does have.
std::string NotFoundReason(const Movie &movie, ObjectClass wanted, std::uint16_t id)
{
    std::string reason = "ID " + std::to_string(id) + ": no " + ClassWordOf(wanted) + " with this ID";
    for (const Definition &definition : movie.definitions)
        if (definition.id == id && definition.objectClass != wanted)
            return reason + " (it is a " + ClassWordOf(definition.objectClass) + ")";
    return reason;
}

// Adds the definitions of each asked ID; unknown IDs become failures.
void Select(const Movie &movie, ObjectClass objectClass, const std::vector<std::uint16_t> &ids,
            std::vector<const Definition *> &selected, ExtractionReport &report)
{
    std::vector<std::uint16_t> unique = ids;
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    for (std::uint16_t id : unique) {
        bool found = false;
        for (const Definition &definition : movie.definitions)
            if (definition.id == id && definition.objectClass == objectClass) {
                selected.push_back(&definition);
                found = true;
            }
        if (!found)
            report.failures.push_back(NotFoundReason(movie, objectClass, id));
    }
}

// Writes one file through `write`; removes it again when writing fails.
template <typename WriteFn>
bool WriteFile(const std::string &path, const std::string &label, ExtractionReport &report, WriteFn write)
{
    FileSink sink(path);
    if (!sink.isOpen()) {
        report.failures.push_back(label + ": cannot create " + path + ": " + std::strerror(errno));
        return false;
    }
    const Status status = write(sink);
    const bool closed = sink.close();
    if (!status || !closed) {
        std::remove(path.c_str());
        report.failures.push_back(label + ": " + (status ? "cannot write " + path : status.error().text()));
        return false;
    }
    report.written.push_back(path);
    return true;
}

void WriteOne(const Movie &movie, const Selected &item, const std::string &pattern, const Limits &limits,
              ExtractionReport &report)
{
    const Definition &definition = *item.definition;
    const std::string label = Label(definition);
    std::string path = OutputName(pattern, definition.id, item.number);
    if (definition.objectClass == ObjectClass::Sound) {
        const bool flv = IsFlvName(path);
        WriteFile(path, label, report, [&](ByteSink &sink) {
            return flv ? WriteEventSoundFlv(movie, definition, sink) : WriteEventSound(movie, definition, sink);
        });
        return;
    }
    Result<Picture> picture = Picture::prepare(movie, definition, limits);
    if (!picture) {
        report.failures.push_back(label + ": " + picture.error().text());
        return;
    }
    for (const std::string &warning : picture->warnings())
        report.warnings.push_back(label + ": " + warning);
    if (picture->decodedWithAlpha())
        path = WithPngExtension(path);
    bool partial = false;
    std::string partialNote;
    const bool written = WriteFile(path, label, report,
                                   [&](ByteSink &sink) { return picture->write(movie, sink, partial, partialNote); });
    if (written && partial)
        report.failures.push_back(label + ": " + partialNote);
}

} // namespace

std::string OutputName(const std::string &pattern, std::uint16_t id, int definitionNumber)
{
    std::string text = std::to_string(id);
    if (definitionNumber > 1)
        text += "." + std::to_string(definitionNumber);
    std::string name;
    std::size_t start = 0;
    for (std::size_t at = pattern.find("%d"); at != std::string::npos; at = pattern.find("%d", start)) {
        name += pattern.substr(start, at - start) + text;
        start = at + 2;
    }
    return name + pattern.substr(start);
}

std::string WithPngExtension(const std::string &name)
{
    const std::string lower = Lower(name);
    for (const char *extension : {".jpg", ".jpeg", ".jpe"})
        if (EndsWith(lower, extension))
            return name.substr(0, name.size() - std::strlen(extension)) + ".png";
    if (EndsWith(lower, ".png"))
        return name;
    return name + ".png";
}

bool IsFlvName(const std::string &name)
{
    return EndsWith(Lower(name), ".flv");
}

ExtractionReport ExtractStreamFlv(const Movie &movie, std::uint16_t sprite, const std::string &out,
                                  const Limits &limits)
{
    ExtractionReport report;
    const Timeline timeline = Timeline::read(movie, limits);
    const std::string label = sprite == 0 ? "sound stream" : "sound stream of sprite " + std::to_string(sprite);
    WriteFile(out, label, report, [&](ByteSink &sink) { return WriteStreamFlv(movie, timeline, sprite, sink); });
    return report;
}

ExtractionReport ExtractVideoFlv(const Movie &movie, std::uint16_t id, const std::string &out, const Limits &limits)
{
    ExtractionReport report;
    const Timeline timeline = Timeline::read(movie, limits);
    WriteFile(out, "Video " + std::to_string(id), report,
              [&](ByteSink &sink) { return WriteVideoFlv(movie, timeline, id, sink); });
    return report;
}

ExtractionReport Extract(const Movie &movie, const Request &request, const Limits &limits)
{
    ExtractionReport report;
    std::vector<const Definition *> chosen;
    Select(movie, ObjectClass::Jpeg, request.jpegIds, chosen, report);
    Select(movie, ObjectClass::Png, request.pngIds, chosen, report);
    Select(movie, ObjectClass::Sound, request.soundIds, chosen, report);
    // File order, so that ID.2 is always the later definition.
    std::sort(chosen.begin(), chosen.end(),
              [](const Definition *a, const Definition *b) { return a->tag.offset < b->tag.offset; });

    const bool perObject = request.out.find("%d") != std::string::npos;
    if (!perObject && chosen.size() > 1) {
        report.failures.push_back(std::to_string(chosen.size()) + " objects asked for, but the output name \""
                                  + request.out + "\" has no %d; nothing written");
        return report;
    }
    std::map<std::uint16_t, int> seen;
    std::vector<Selected> items;
    for (const Definition *definition : chosen)
        items.push_back(Selected{definition, ++seen[definition->id]});

    // Every object goes to a file of its own and the movie is only read, so
    // they are written on every core; the reports are joined in file order.
    std::vector<ExtractionReport> reports(items.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < items.size(); i = next++)
            WriteOne(movie, items[i], request.out, limits, reports[i]);
    };
    const std::size_t cores = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, kMaxWriterThreads);
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < std::min(cores, items.size()); ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread &helper : helpers)
        helper.join();
    for (ExtractionReport &part : reports) {
        using List = std::vector<std::string> ExtractionReport::*;
        for (const List list : {&ExtractionReport::written, &ExtractionReport::failures, &ExtractionReport::warnings})
            (report.*list).insert((report.*list).end(), (part.*list).begin(), (part.*list).end());
    }

    if (request.mp3)
        WriteFile(request.out, "MP3 stream", report, [&](ByteSink &sink) { return WriteMp3Stream(movie, sink); });
    return report;
}

} // namespace SwfExtract
