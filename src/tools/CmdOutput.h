#pragma once

#include "Command.h"

#include "tarnwick/Limits.h"

#include <QString>

namespace Tools {

// The text returned when the program cannot be started.
inline constexpr char kCreateProcessFailed[] = "Failed to create process, check the path of the command line.";

inline constexpr qsizetype kMaxCapturedBytes = Tarnwick::kMaxCapturedBytes;

// Runs the command without a shell and returns what it wrote to the chosen
// channels, decoded from the local 8-bit encoding, read until the output
// ends. The event loop is kept alive while reading. Returns
// kCreateProcessFailed when the program cannot be started. Raises Failure 5
// when neither channel is chosen. `oemConversion` has no separate console
// code page to convert from here: the local encoding is used either way.
// `errors` receives the last lines of the tool's standard error, `exitCode`
// its exit code (-1 when it could not start, crashed or was cut off).
QString RunCaptured(const Command &command, bool captureStandardOutput, bool captureStandardError,
                    bool oemConversion = true, QString *errors = nullptr, int *exitCode = nullptr);

} // namespace Tools
