// nconvert: converts one picture to a true-colour JPEG.
//
//     nconvert -out jpeg -truecolors [-q QUALITY] -o OUT IN
//
// A JPEG the video encoder reads as it is is copied unchanged unless -q asks
// for a quality.
//
// Exit status 0 when OUT was written; 1 when IN could not be converted (a
// reason on standard error, nothing written); 2 for a wrong command line.
#include "lib/Convert.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Usage(const char *problem)
{
    std::fprintf(stderr, "nconvert: %s\nusage: nconvert -out jpeg [-truecolors] [-q QUALITY] -o OUT IN\n", problem);
    return kExitUsage;
}

} // namespace

int main(int argc, char **argv)
{
    std::string output;
    std::string input;
    bool haveInput = false;
    int quality = NConvert::kKeepQuality;
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
            char *end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 1 || value > 100)
                return Usage("the quality must be 1 to 100");
            quality = int(value);
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

    const NConvert::Result<NConvert::Done> done = NConvert::ConvertToJpeg(input, output, quality);
    if (!done) {
        std::fprintf(stderr, "nconvert: %s: %s\n", input.c_str(), done.error().message.c_str());
        return kExitFailed;
    }
    return 0;
}
