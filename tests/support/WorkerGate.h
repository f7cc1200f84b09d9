#pragma once

// Holds a worker thread at a known point, so a test can change the world
// while the work is in flight and then let it go on, without sleeping.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tessaline::testing {

class WorkerGate
{
public:
    // Called by the worker: tells the test it is here, then waits until the
    // gate opens. The wait is bounded only so that a failed test cannot hang
    // the run; a test never relies on it running out.
    void pass()
    {
        std::unique_lock lock(m_mutex);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait_for(lock, std::chrono::seconds(60), [this] { return m_open; });
    }

    // Called by the test: blocks until the worker stands at the gate.
    bool waitUntilEntered()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(60), [this] { return m_entered; });
    }

    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_open = false;
};

} // namespace tessaline::testing
