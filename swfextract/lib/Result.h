#pragma once

#include "tarnwick/Result.h"

#include <cstdint>
#include <string>
#include <utility>

namespace SwfExtract {

enum class ErrorCode {
    NotSwf, // unknown signature or too short
    Unreadable, // the file cannot be opened or read
    TooLarge, // a limit refused the input
    Truncated, // the data ends before what it announces
    Malformed, // a field holds a value that cannot be right
    Unsupported, // well-formed, but nothing we can extract
    NotFound, // no object of the asked kind with that ID
    WriteFailed, // the output file could not be written
};

// What went wrong and where: `offset` is the logical movie offset (0 = the
// signature) when the failure belongs to a place in the file, else -1.
struct Error
{
    ErrorCode code;
    std::string message;
    std::int64_t offset = -1;

    // The one-line text shown to the user.
    std::string text() const;
};

// A value or the reason there is none: parsing code returns this instead of
// throwing, so that no exception leaves the library.
template <typename T>
using Result = Tarnwick::Result<T, Error>;
using Tarnwick::Done;
using Status = Result<Done>;

inline Error MakeError(ErrorCode code, std::string message, std::int64_t offset = -1)
{
    return Error{code, std::move(message), offset};
}

} // namespace SwfExtract
