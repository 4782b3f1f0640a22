#include "swfextract/lib/CommandLine.h"

#include "swfextract/lib/Listing.h"
#include "swfextract/lib/Movie.h"

#include <ostream>

namespace SwfExtract {

namespace {

constexpr char kUsage[] =
    "Usage: swfextract FILE                          list the objects of a SWF movie\n"
    "       swfextract [-j IDS] [-p IDS] [-s IDS] FILE -o OUT\n"
    "       swfextract -m FILE -o OUT\n"
    "  -j IDS   JPEG pictures with these IDs (a JPEG with transparency is written\n"
    "           as PNG: an OUT ending in .jpg/.jpeg/.jpe gets .png instead, any\n"
    "           other OUT gets .png added)\n"
    "  -p IDS   lossless pictures with these IDs, as PNG\n"
    "  -s IDS   MP3 event sounds with these IDs\n"
    "  -m       the MP3 sound stream of the main timeline\n"
    "  -o OUT   output file; %d in OUT stands for each object's ID, and for\n"
    "           ID.2, ID.3, ... when an ID is defined more than once\n"
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
};

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

Result<Options> Parse(const std::vector<std::string> &arguments)
{
    Options options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &arg = arguments[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (!options.file.empty())
                return MakeError(ErrorCode::Malformed, "more than one input file: \"" + options.file + "\" and \""
                                                           + arg + "\"");
            options.file = arg;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg == "-m") {
            options.request.mp3 = options.extract = true;
            continue;
        }
        const bool takesValue = arg == "-j" || arg == "-p" || arg == "-s" || arg == "-o";
        if (!takesValue) {
            if (const char *what = arg.size() == 2 ? UnsupportedClass(arg[1]) : nullptr)
                return MakeError(ErrorCode::Unsupported, std::string("extracting ") + what + " (" + arg
                                                             + ") is not supported");
            return MakeError(ErrorCode::Malformed, "unknown option " + arg);
        }
        if (i + 1 >= arguments.size())
            return MakeError(ErrorCode::Malformed, "option " + arg + " needs a value");
        const std::string &value = arguments[++i];
        if (arg == "-o") {
            options.request.out = value;
            options.hasOut = true;
            continue;
        }
        Result<std::vector<std::uint16_t>> ids = ParseIdList(value);
        if (!ids)
            return ids.error();
        std::vector<std::uint16_t> &list = arg == "-j"   ? options.request.jpegIds
                                           : arg == "-p" ? options.request.pngIds
                                                         : options.request.soundIds;
        list.insert(list.end(), ids->begin(), ids->end());
        options.extract = true;
    }
    if (options.help)
        return options;
    if (options.file.empty())
        return MakeError(ErrorCode::Malformed, "no input file");
    if (options.extract && (!options.hasOut || options.request.out.empty()))
        return MakeError(ErrorCode::Malformed, "-o OUT is needed to extract");
    if (!options.extract && options.hasOut)
        return MakeError(ErrorCode::Malformed, "-o given but nothing to extract (use -j, -p, -s or -m)");
    const Request &request = options.request;
    if (request.mp3 && (!request.jpegIds.empty() || !request.pngIds.empty() || !request.soundIds.empty()))
        return MakeError(ErrorCode::Malformed, "-m writes one file: extract the stream in a run of its own");
    return options;
}

void PrintLines(std::ostream &err, const std::string &prefix, const std::vector<std::string> &lines)
{
    for (const std::string &line : lines)
        err << "swfextract: " << prefix << line << '\n';
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
    PrintLines(err, "warning: " + options->file + ": ", movie->warnings());

    if (!options->extract) {
        out << FormatListing(*movie, options->file);
        out.flush();
        if (movie->complete())
            return kExitOk;
        err << "swfextract: " << options->file << " is cut or damaged; the listing shows what could be read\n";
        return kExitFailed;
    }

    const ExtractionReport report = Extract(*movie, options->request, limits);
    PrintLines(err, "warning: ", report.warnings);
    PrintLines(err, "", report.failures);
    return report.ok() ? kExitOk : kExitFailed;
}

} // namespace SwfExtract
