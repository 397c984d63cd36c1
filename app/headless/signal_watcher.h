#pragma once

#include <atomic>
#include <functional>
#include <signal.h>
#include <thread>

namespace dedarida {

// Turns SIGINT and SIGTERM into a flag and a call of `onSignal` on a thread of
// its own. Construct it before any other thread starts, so that every thread
// inherits the blocked signals; the old mask comes back at destruction.
class SignalWatcher {
public:
    explicit SignalWatcher(std::function<void()> onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    bool Signalled() const { return signalled_; }

private:
    sigset_t watched_;
    sigset_t previous_;
    std::function<void()> onSignal_;
    std::atomic<bool> signalled_{false};
    std::thread thread_;
};

} // namespace dedarida
