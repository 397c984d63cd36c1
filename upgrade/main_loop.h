#pragma once

#include "serial/run_queue.h"

#include <atomic>
#include <chrono>
#include <functional>

namespace dedarida {

// The core's own main-thread loop, standing in for the window's: the run
// queue of the main thread plus one periodic timer (Timer1). Construct it on
// the thread that will run it.
class MainLoop {
public:
    using Clock = std::chrono::steady_clock;

    explicit MainLoop(std::chrono::milliseconds interval = std::chrono::milliseconds(1000));

    RunQueue& Queue() { return queue_; }

    // The timer's routine, run on the main thread at each expiry while enabled.
    void SetOnTimer(std::function<void()> onTimer);
    // Any thread. Enabling starts a full interval from now.
    void SetTimerEnabled(bool enabled);

    // Runs until Quit, or until `done` holds (checked after each routine and
    // timer expiry), or until `deadline`. Returns whether `done` held.
    bool RunUntil(const std::function<bool()>& done,
                  Clock::time_point deadline = Clock::time_point::max());
    // Any thread: ends the current RunUntil.
    void Quit();

private:
    void Wake();

    RunQueue queue_;
    std::chrono::milliseconds interval_;
    std::function<void()> onTimer_;
    std::atomic<bool> timerEnabled_{false};
    std::atomic<Clock::rep> nextExpiry_{0};
    std::atomic<bool> quit_{false};
    std::atomic<bool> changed_{false};
};

} // namespace dedarida
