#pragma once

#include "serial/main_thread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace dedarida {

// A MainThread made of a queue of routines. The thread that constructs it is
// the main thread. A toolkit with a loop of its own passes `wake`, called
// (on any thread) after each routine is queued, so the loop calls RunQueued.
class RunQueue : public MainThread {
public:
    RunQueue();
    explicit RunQueue(std::function<void()> wake);
    RunQueue(const RunQueue&) = delete;
    RunQueue& operator=(const RunQueue&) = delete;

    void RunAndWait(Routine routine) override;
    void Post(Routine routine) override;
    bool IsMainThread() const override;
    void RunQueued() override;
    void RunQueuedFor(std::chrono::milliseconds timeout,
                      const std::function<bool()>& done) override;

    // Main thread only: runs queued routines until `deadline`, or until Stop.
    void RunUntil(std::chrono::steady_clock::time_point deadline);
    // Ends the RunUntil in progress, or the next one (from any thread).
    void Stop();

private:
    struct Completion {
        bool done = false;
        std::exception_ptr error;
    };
    struct Item {
        Routine routine;
        Completion* completion; // null for Post
    };

    void Push(Item item);
    // Runs one queued routine if there is one; `lock` is released meanwhile.
    bool RunOne(std::unique_lock<std::mutex>& lock);

    std::function<void()> wake_;
    std::thread::id main_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable finished_;
    std::deque<Item> items_;
    bool stop_ = false;
};

} // namespace dedarida
