// nconvert: converts one picture to a true-colour JPEG.
//
//     nconvert -out jpeg -truecolors [-q QUALITY] [-bgcolor R G B] -o OUT IN
//
// A JPEG the video encoder reads as it is is copied unchanged unless -q asks
// for a quality. A picture with transparency is laid on the -bgcolor colour
// (each channel 0 to 255), black when none is given.
//
// Exit status 0 when OUT was written; 1 when IN could not be converted (a
// reason on standard error, nothing written); 2 for a wrong command line.
#include "lib/Convert.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Usage(const char *problem)
{
    std::fprintf(stderr,
                 "nconvert: %s\nusage: nconvert -out jpeg [-truecolors] [-q QUALITY] [-bgcolor R G B] -o OUT IN\n",
                 problem);
    return kExitUsage;
}

// A whole number from `low` to `high`, or nothing.
std::optional<long> NumberIn(const char *text, long low, long high)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char **argv)
{
    std::string output;
    std::string input;
    bool haveInput = false;
    int quality = NConvert::kKeepQuality;
    NConvert::Rgb background;
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argument, "-out") == 0) {
            if (!hasValue)
                return Usage("-out needs a format");
            if (std::strcmp(argv[++i], "jpeg") != 0 && std::strcmp(argv[i], "jpg") != 0)
                return Usage("only the jpeg output format is supported");
        } else if (std::strcmp(argument, "-truecolors") == 0) {
            // JPEG output is always true colour.
        } else if (std::strcmp(argument, "-q") == 0) {
            if (!hasValue)
                return Usage("-q needs a quality");
            const std::optional<long> value = NumberIn(argv[++i], 1, 100);
            if (!value)
                return Usage("the quality must be 1 to 100");
            quality = int(*value);
        } else if (std::strcmp(argument, "-bgcolor") == 0) {
            if (i + 3 >= argc)
                return Usage("-bgcolor needs red, green and blue");
            std::uint8_t *channels[3] = {&background.red, &background.green, &background.blue};
            for (std::uint8_t *channel : channels) {
                const std::optional<long> value = NumberIn(argv[++i], 0, 255);
                if (!value)
                    return Usage("each -bgcolor channel must be 0 to 255");
                *channel = std::uint8_t(*value);
            }
        } else if (std::strcmp(argument, "-o") == 0) {
            if (!hasValue)
                return Usage("-o needs an output file");
            output = argv[++i];
        } else if (argument[0] == '-' && argument[1] != '\0') {
            return Usage((std::string("unknown option ") + argument).c_str());
        } else if (haveInput) {
            return Usage("only one input file may be given");
        } else {
            input = argument;
            haveInput = true;
        }
    }
    if (output.empty() || !haveInput)
        return Usage("an output file (-o) and an input file are needed");

    const NConvert::Result<NConvert::Done> done = NConvert::ConvertToJpeg(input, output, quality, NConvert::Limits(),
                                                                          background);
    if (!done) {
        std::fprintf(stderr, "nconvert: %s: %s\n", input.c_str(), done.error().message.c_str());
        return kExitFailed;
    }
    return 0;
}
