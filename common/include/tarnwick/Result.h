#pragma once

#include <utility>
#include <variant>

namespace Tarnwick {

// A value or the reason there is none. The libraries return this instead of
// throwing, so that no exception leaves them; each brings its own error
// type `E` (a code, a message and what else it knows of the place).
template <typename T, typename E>
class Result
{
public:
    Result(T value)
        : m_state(std::in_place_index<0>, std::move(value))
    {
    }
    Result(E error)
        : m_state(std::in_place_index<1>, std::move(error))
    {
    }

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T &value() { return std::get<0>(m_state); }
    const T &value() const { return std::get<0>(m_state); }
    T &operator*() { return value(); }
    const T &operator*() const { return value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

    const E &error() const { return std::get<1>(m_state); }

private:
    std::variant<T, E> m_state;
};

// The value of a step that has nothing to give but success.
struct Done
{
};

} // namespace Tarnwick
