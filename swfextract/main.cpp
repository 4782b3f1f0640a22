// swfextract: lists the objects of a SWF movie and extracts its pictures and
// MP3 sound. All the work is in the library; this only passes the arguments.
#include "swfextract/lib/CommandLine.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return SwfExtract::RunCommandLine(arguments, std::cout, std::cerr);
}
