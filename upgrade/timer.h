#pragma once

#include "serial/main_thread.h"
#include "upgrade/programmer_window.h"

#include <atomic>
#include <exception>
#include <thread>

namespace dedarida {

class Programmer;

// The tick thread: waits for TickEvent and runs one tick of the controller
// each time it is signalled. An error inside a tick is shown in status panel 1
// and ticking goes on.
class Timer {
public:
    Timer(Programmer& programmer, ProgrammerWindow& window, MainThread& main);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Main thread only: ends the thread and joins it. While it waits it runs
    // what the tick thread has handed to the main thread, so a tick waiting
    // for SendPoll finishes first.
    void Stop();

private:
    void Execute();
    void Report(std::exception_ptr failure) noexcept;

    Programmer& programmer_;
    ProgrammerWindow& window_;
    MainThread& main_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

} // namespace dedarida
