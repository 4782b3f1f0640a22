#pragma once

#include "tarnwick/Result.h"

#include <string>
#include <utility>

namespace NConvert {

enum class ErrorCode {
    Unreadable = 1, // the file cannot be opened or read
    TooLarge = 2, // a size is beyond the limits
    UnknownFormat = 3, // the content is no picture we know
    Malformed = 4, // the picture's data contradicts itself or ends early
    Unsupported = 5, // a valid variant we do not decode
    OutOfMemory = 6,
    WriteFailed = 7,
};

struct Error
{
    ErrorCode code;
    std::string message;
};

// A value or the reason there is none. The converter's library reports every
// failure this way; no exception leaves it.
template <typename T>
using Result = Tarnwick::Result<T, Error>;
using Tarnwick::Done;

inline Error MakeError(ErrorCode code, std::string message)
{
    return Error{code, std::move(message)};
}

} // namespace NConvert
