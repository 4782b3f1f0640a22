#pragma once

#include "Command.h"

#include <QString>

namespace Tools {

// The text returned when the program cannot be started.
inline constexpr char kCreateProcessFailed[] = "Failed to create process, check the path of the command line.";

// Most bytes of output kept; a tool that talks more than this is cut off
// there and stopped, so a runaway child cannot exhaust memory.
inline constexpr qsizetype kMaxCapturedBytes = 16 * 1024 * 1024;

// Runs the command without a shell and returns what it wrote to the chosen
// channels, decoded from the local 8-bit encoding, read until the output
// ends. The event loop is kept alive while reading. Returns
// kCreateProcessFailed when the program cannot be started. Raises Failure 5
// when neither channel is chosen. `oemConversion` has no separate console
// code page to convert from here: the local encoding is used either way.
// `errors` receives the last lines of the tool's standard error.
QString RunCaptured(const Command &command, bool captureStandardOutput, bool captureStandardError,
                    bool oemConversion = true, QString *errors = nullptr);

} // namespace Tools
