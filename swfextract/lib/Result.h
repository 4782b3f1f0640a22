#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace SwfExtract {

enum class ErrorCode {
    NotSwf,        // unknown signature or too short
    Unreadable,    // the file cannot be opened or read
    TooLarge,      // a limit refused the input
    Truncated,     // the data ends before what it announces
    Malformed,     // a field holds a value that cannot be right
    Unsupported,   // well-formed, but nothing we can extract
    NotFound,      // no object of the asked kind with that ID
    WriteFailed,   // the output file could not be written
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

// A value or the reason there is none. Parsing code returns this instead of
// throwing, so that no exception leaves the library.
template <typename T>
class Result
{
public:
    Result(T value) : m_state(std::move(value)) {}
    Result(Error error) : m_state(std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T &value() { return std::get<0>(m_state); }
    const T &value() const { return std::get<0>(m_state); }
    T &operator*() { return value(); }
    const T &operator*() const { return value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

    const Error &error() const { return std::get<1>(m_state); }

private:
    std::variant<T, Error> m_state;
};

struct Done
{
};
using Status = Result<Done>;

inline Error MakeError(ErrorCode code, std::string message, std::int64_t offset = -1)
{
    return Error{code, std::move(message), offset};
}

} // namespace SwfExtract
