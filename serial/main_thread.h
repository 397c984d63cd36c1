#pragma once

#include <chrono>
#include <functional>

namespace dedarida {

// The thread that owns the window (or, headless, the core's own loop). Other
// threads hand it work here. Thread-safe unless a call says "main thread only".
class MainThread {
public:
    using Routine = std::function<void()>;

    virtual ~MainThread() = default;

    // Runs `routine` on the main thread and waits for it to return; an
    // exception it throws is rethrown to the caller. On the main thread it
    // runs at once.
    virtual void RunAndWait(Routine routine) = 0;
    // Queues `routine` for the main thread and returns.
    virtual void Post(Routine routine) = 0;
    virtual bool IsMainThread() const = 0;
    // Main thread only: runs what other threads have queued so far.
    virtual void RunQueued() = 0;
    // Main thread only: runs queued routines as they arrive, for at most
    // `timeout`, returning early once `done` holds (checked after each one).
    virtual void RunQueuedFor(std::chrono::milliseconds timeout,
                              const std::function<bool()>& done) = 0;
};

} // namespace dedarida
