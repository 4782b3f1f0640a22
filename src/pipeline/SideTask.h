#pragma once

#include "FrameNormalisation.h"

#include <QThread>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace Pipeline {

// Work on a thread of its own whose result is taken once. A QThread, so that
// a child it starts through the runner is watched as on the main thread.
template <typename T>
class SideTask
{
public:
    explicit SideTask(std::function<T()> work)
        : m_thread(QThread::create([this, work = std::move(work)] {
            try {
                m_result = work();
            } catch (...) {
                // Raised where the result is taken, as if the work ran there.
                m_error = std::current_exception();
            }
        }))
    {
        m_thread->start();
    }
    ~SideTask() { m_thread->wait(); }
    SideTask(const SideTask &) = delete;
    SideTask &operator=(const SideTask &) = delete;

    // Waits for the result with the event loop kept alive, calling
    // `waiting` at every poll.
    T take(const std::function<void()> &waiting = {})
    {
        while (!m_thread->wait(10)) {
            YieldToEventLoop();
            if (waiting)
                waiting();
        }
        if (m_error)
            std::rethrow_exception(m_error);
        return std::move(*m_result);
    }

private:
    std::optional<T> m_result;
    std::exception_ptr m_error;
    std::unique_ptr<QThread> m_thread;
};

} // namespace Pipeline
