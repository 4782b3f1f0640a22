#pragma once

#include "swfextract/lib/Extraction.h"
#include "swfextract/lib/Limits.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace SwfExtract {

enum ExitStatus : int {
    kExitOk = 0, // everything asked for was written (or listed)
    kExitFailed = 1, // something asked for was not written, or the file is damaged
    kExitUsage = 2, // the command line is wrong
};

// The whole program: parses `arguments` (without the program name), lists
// or extracts, prints the listing to `out` and one line per problem to
// `err`, and returns the exit status.
int RunCommandLine(const std::vector<std::string> &arguments, std::ostream &out, std::ostream &err,
                   const Limits &limits = Limits());

} // namespace SwfExtract
