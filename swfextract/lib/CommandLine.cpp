#include "swfextract/lib/CommandLine.h"

#include "swfextract/lib/Listing.h"
#include "swfextract/lib/Movie.h"
#include "swfextract/lib/Timeline.h"

#include <optional>
#include <ostream>

namespace SwfExtract {

namespace {

constexpr char kUsage[] = "Usage: swfextract FILE                          list the objects of a SWF movie\n"
                          "       swfextract [-j IDS] [-p IDS] [-s IDS] FILE -o OUT\n"
                          "       swfextract -m FILE -o OUT\n"
                          "       swfextract --timeline FILE                 report the timeline as JSON\n"
                          "       swfextract --stream SPRITE FILE -o OUT.flv\n"
                          "       swfextract --video ID FILE -o OUT.flv\n"
                          "       swfextract FILE [-j IDS] -o OUT [-m] -o OUT ...   several outputs, one read\n"
                          "  -j IDS   JPEG pictures with these IDs (a JPEG with transparency is written\n"
                          "           as PNG: an OUT ending in .jpg/.jpeg/.jpe gets .png instead, any\n"
                          "           other OUT gets .png added)\n"
                          "  -p IDS   lossless pictures with these IDs, as PNG\n"
                          "  -s IDS   MP3 event sounds with these IDs; with an OUT ending in .flv,\n"
                          "           event sounds of any format, each as an audio-only FLV\n"
                          "  -m       the MP3 sound stream of the main timeline\n"
                          "  --timeline       when each picture is on stage, the sounds, their starts,\n"
                          "                   the streams and videos, buttons, sprites and effects,\n"
                          "                   as one JSON document\n"
                          "  --stream SPRITE  the stream sound of a sprite (0: the main timeline), any\n"
                          "                   format, as an audio-only FLV on the movie's frame clock\n"
                          "  --video ID       the frames of a DefineVideoStream as a video-only FLV\n"
                          "  -o OUT   output file; %d in OUT stands for each object's ID, and for\n"
                          "           ID.2, ID.3, ... when an ID is defined more than once\n"
                          "With several -o, each writes what the options since the one before ask for.\n"
                          "IDS is a list like 1-3,5, 9. Exit status: 0 when everything asked for was\n"
                          "written, 1 when something was not (or the file is damaged), 2 for a wrong\n"
                          "command line.\n";

struct Options
{
    std::string file;
    Request request;
    bool extract = false;
    bool hasOut = false;
    bool help = false;
    bool timeline = false;
    std::optional<std::uint16_t> stream;
    std::optional<std::uint16_t> video;
    // With more than one -o: what each writes, in order (each with its own
    // request, stream or video and its out).
    std::vector<Options> outputs;
};

Result<std::uint16_t> OneId(const std::string &option, const std::string &value)
{
    Result<std::vector<std::uint16_t>> ids = ParseIdList(value);
    if (!ids)
        return ids.error();
    if (ids->size() != 1)
        return MakeError(ErrorCode::Malformed, option + " takes one ID, not \"" + value + "\"");
    return ids->front();
}

const char *UnsupportedClass(char letter)
{
    switch (letter) {
    case 'i': return "shapes";
    case 'M': return "morph shapes";
    case 'n': return "movie clips";
    case 'F': return "fonts";
    case 't': return "texts";
    case 'b': return "buttons";
    case 'v': return "videos";
    case 'B': return "binary data";
    case 'f': return "frames";
    default: return nullptr;
    }
}

// What one output needs; `options` holds the extraction options of one run
// or of one of several -o.
Status CheckExtraction(const Options &options)
{
    if (options.stream || options.video) {
        if (!options.hasOut || options.request.out.empty())
            return MakeError(ErrorCode::Malformed, "-o OUT is needed to extract");
        return Done{};
    }
    if (options.extract && (!options.hasOut || options.request.out.empty()))
        return MakeError(ErrorCode::Malformed, "-o OUT is needed to extract");
    if (!options.extract && options.hasOut)
        return MakeError(ErrorCode::Malformed, "-o given but nothing to extract (use -j, -p, -s or -m)");
    const Request &request = options.request;
    if (request.mp3 && (!request.jpegIds.empty() || !request.pngIds.empty() || !request.soundIds.empty()))
        return MakeError(ErrorCode::Malformed, "-m writes one file: extract the stream in a run of its own");
    return Done{};
}

int ModesOf(const Options &options)
{
    return int(options.extract) + int(options.timeline) + int(bool(options.stream)) + int(bool(options.video));
}

// Several -o: the extraction options before each -o (since the one before)
// make one output. Nothing may follow the last -o but the input file.
Result<Options> CheckOutputs(Options options, const Options &pending)
{
    if (ModesOf(pending) > 0)
        return MakeError(ErrorCode::Malformed, "with several -o, each extraction goes before its own -o");
    if (options.timeline)
        return MakeError(ErrorCode::Malformed, "--timeline prints its report and needs a run of its own");
    for (const Options &output : options.outputs) {
        if (ModesOf(output) > 1)
            return MakeError(ErrorCode::Malformed,
                             "--stream, --video and the other extractions each need an -o of their own");
        Status checked = CheckExtraction(output);
        if (!checked)
            return checked.error();
    }
    return options;
}

// What the command line says so far: the whole run's options and the
// extraction options since the last -o.
struct Parsed
{
    Options options;
    Options pending;
};

// -j, -p or -s with its list of IDs.
Status AddIds(const std::string &option, const std::string &value, Parsed &parsed)
{
    Result<std::vector<std::uint16_t>> ids = ParseIdList(value);
    if (!ids)
        return ids.error();
    for (Options *options : {&parsed.options, &parsed.pending}) {
        std::vector<std::uint16_t> &list = option == "-j"   ? options->request.jpegIds
                                           : option == "-p" ? options->request.pngIds
                                                            : options->request.soundIds;
        list.insert(list.end(), ids->begin(), ids->end());
        options->extract = true;
    }
    return Done{};
}

// -o ends the output being gathered.
void AddOutput(const std::string &out, Parsed &parsed)
{
    parsed.options.request.out = out;
    parsed.options.hasOut = true;
    parsed.pending.request.out = out;
    parsed.pending.hasOut = true;
    parsed.options.outputs.push_back(parsed.pending);
    parsed.pending = Options();
}

// --stream or --video with its one ID.
Status AddFlvSource(const std::string &option, const std::string &value, Parsed &parsed)
{
    Result<std::uint16_t> id = OneId(option, value);
    if (!id)
        return id.error();
    (option == "--stream" ? parsed.options.stream : parsed.options.video) = *id;
    (option == "--stream" ? parsed.pending.stream : parsed.pending.video) = *id;
    return Done{};
}

Error UnknownOption(const std::string &option)
{
    if (const char *what = option.size() == 2 ? UnsupportedClass(option[1]) : nullptr)
        return MakeError(ErrorCode::Unsupported,
                         std::string("extracting ") + what + " (" + option + ") is not supported");
    return MakeError(ErrorCode::Malformed, "unknown option " + option);
}

// One option; `i` moves past the value of an option that takes one.
Status ParseOption(const std::vector<std::string> &arguments, std::size_t &i, Parsed &parsed)
{
    const std::string &arg = arguments[i];
    if (arg == "-h" || arg == "--help") {
        parsed.options.help = true;
        return Done{};
    }
    if (arg == "-m") {
        parsed.options.request.mp3 = parsed.options.extract = true;
        parsed.pending.request.mp3 = parsed.pending.extract = true;
        return Done{};
    }
    if (arg == "--timeline") {
        parsed.options.timeline = true;
        return Done{};
    }
    const bool flvSource = arg == "--stream" || arg == "--video";
    const bool takesValue = flvSource || arg == "-j" || arg == "-p" || arg == "-s" || arg == "-o";
    if (!takesValue)
        return UnknownOption(arg);
    if (i + 1 >= arguments.size())
        return MakeError(ErrorCode::Malformed, "option " + arg + " needs a value");
    const std::string &value = arguments[++i];
    if (flvSource)
        return AddFlvSource(arg, value, parsed);
    if (arg == "-o") {
        AddOutput(value, parsed);
        return Done{};
    }
    return AddIds(arg, value, parsed);
}

// Whether the options parsed make one run, or several outputs of one run.
Result<Options> CheckParsed(Parsed parsed)
{
    Options &options = parsed.options;
    if (options.help)
        return options;
    if (options.file.empty())
        return MakeError(ErrorCode::Malformed, "no input file");
    if (options.outputs.size() > 1)
        return CheckOutputs(std::move(options), parsed.pending);
    options.outputs.clear();
    if (ModesOf(options) > 1)
        return MakeError(ErrorCode::Malformed,
                         "--timeline, --stream, --video and the other extractions each need a run of their own");
    if (options.timeline) {
        if (options.hasOut)
            return MakeError(ErrorCode::Malformed, "--timeline prints its report; -o is not used");
        return options;
    }
    Status checked = CheckExtraction(options);
    if (!checked)
        return checked.error();
    return options;
}

Result<Options> Parse(const std::vector<std::string> &arguments)
{
    Parsed parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &arg = arguments[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (!parsed.options.file.empty())
                return MakeError(ErrorCode::Malformed,
                                 "more than one input file: \"" + parsed.options.file + "\" and \"" + arg + "\"");
            parsed.options.file = arg;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        Status option = ParseOption(arguments, i, parsed);
        if (!option)
            return option.error();
    }
    return CheckParsed(std::move(parsed));
}

void PrintLines(std::ostream &err, const std::string &prefix, const std::vector<std::string> &lines)
{
    for (const std::string &line : lines)
        err << "swfextract: " << prefix << line << '\n';
}

// Writes one output: pictures and sounds by ID, the MP3 stream, a stream or
// a video; prints its problems. True when all of it was written.
bool WriteOutput(const Movie &movie, const Options &output, const Limits &limits, std::ostream &err)
{
    if (output.stream || output.video) {
        const ExtractionReport report = output.stream
                                            ? ExtractStreamFlv(movie, *output.stream, output.request.out, limits)
                                            : ExtractVideoFlv(movie, *output.video, output.request.out, limits);
        PrintLines(err, "", report.failures);
        return report.ok();
    }
    const ExtractionReport report = Extract(movie, output.request, limits);
    PrintLines(err, "warning: ", report.warnings);
    PrintLines(err, "", report.failures);
    return report.ok();
}

} // namespace

int RunCommandLine(const std::vector<std::string> &arguments, std::ostream &out, std::ostream &err,
                   const Limits &limits)
{
    Result<Options> options = Parse(arguments);
    if (!options) {
        err << "swfextract: " << options.error().text() << " (swfextract -h for help)\n";
        return kExitUsage;
    }
    if (options->help) {
        out << kUsage;
        return kExitOk;
    }
    Result<Movie> movie = Movie::open(options->file, limits);
    if (!movie) {
        err << "swfextract: " << options->file << ": " << movie.error().text() << '\n';
        return kExitFailed;
    }
    if (options->timeline) {
        // The report's warnings hold the movie's own too.
        const Timeline timeline = Timeline::read(*movie, limits);
        PrintLines(err, "warning: " + options->file + ": ", timeline.warnings);
        out << FormatTimeline(*movie, timeline);
        out.flush();
        if (movie->complete() && !timeline.damaged)
            return kExitOk;
        err << "swfextract: " << options->file << " is cut or damaged; the report shows what could be read\n";
        return kExitFailed;
    }
    PrintLines(err, "warning: " + options->file + ": ", movie->warnings());
    if (!options->outputs.empty()) {
        // The movie is read once; each output is written as its own run
        // would write it, in the order given.
        bool ok = true;
        for (const Options &output : options->outputs)
            ok = WriteOutput(*movie, output, limits, err) && ok;
        return ok ? kExitOk : kExitFailed;
    }
    if (options->stream || options->video)
        return WriteOutput(*movie, *options, limits, err) ? kExitOk : kExitFailed;

    if (!options->extract) {
        out << FormatListing(*movie, options->file);
        out.flush();
        if (movie->complete())
            return kExitOk;
        err << "swfextract: " << options->file << " is cut or damaged; the listing shows what could be read\n";
        return kExitFailed;
    }

    return WriteOutput(*movie, *options, limits, err) ? kExitOk : kExitFailed;
}

} // namespace SwfExtract
