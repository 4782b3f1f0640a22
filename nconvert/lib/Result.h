#pragma once

#include <string>
#include <utility>
#include <variant>

namespace NConvert {

enum class ErrorCode {
    Unreadable = 1,    // the file cannot be opened or read
    TooLarge = 2,      // a size is beyond the limits
    UnknownFormat = 3, // the content is no picture we know
    Malformed = 4,     // the picture's data contradicts itself or ends early
    Unsupported = 5,   // a valid variant we do not decode
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
class Result
{
public:
    Result(T value)
        : m_state(std::move(value))
    {
    }
    Result(Error error)
        : m_state(std::move(error))
    {
    }

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }
    T &value() { return std::get<T>(m_state); }
    const T &value() const { return std::get<T>(m_state); }
    const Error &error() const { return std::get<Error>(m_state); }

private:
    std::variant<T, Error> m_state;
};

struct Done
{
};

inline Error MakeError(ErrorCode code, std::string message)
{
    return Error{code, std::move(message)};
}

} // namespace NConvert
