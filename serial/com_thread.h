#pragma once

#include "serial/settings/comport_types.h"
#include "system/event_fd.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

namespace dedarida {

class TComPort;

// Waits for line events of one open port and hands each batch to the port's
// handlers on the thread its SyncMethod selects. Created by Open, stopped by
// Close; the port's device stays open until Stop has returned.
class TComThread {
public:
    explicit TComThread(TComPort& owner);
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;
    ~TComThread();

    void SignalStop();
    // SignalStop, then waits for the thread to end. On the main thread it runs
    // queued main-thread routines meanwhile; an error one of them raised is
    // rethrown after the thread has ended.
    void Stop();

private:
    void Execute();
    // True once SignalStop was called, waiting at most `pause` for it.
    bool StopWithin(std::chrono::milliseconds pause);
    void DispatchEvents();
    void SendEventMessages();
    void DeliverEvents();
    void DeliverEvent(TEvent event);

    TComPort& owner_;
    std::uint32_t EventMask = 0;
    EventFd StopEvent;
    std::mutex stopMutex_;
    std::condition_variable stopChanged_;
    bool stopRequested_ = false;
    TSyncMethod syncMethod_;
    std::atomic<bool> finished_ = false;
    std::thread thread_;
};

} // namespace dedarida
