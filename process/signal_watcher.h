#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace dedarida {

// Turns an interrupt (Ctrl-C; on Linux also SIGTERM and SIGHUP) into a flag and a call of
// `onSignal` on a thread other than the caller's. Construct it before any other
// thread starts, so that on Linux every thread inherits the blocked signals;
// the old state comes back at destruction.
class SignalWatcher {
public:
    explicit SignalWatcher(std::function<void()> onSignal);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    bool Signalled() const { return signalled_; }
    // Any thread: as if an interrupt came.
    void Raise() { Notify(); }

private:
    struct Platform;

    void Notify();

    std::function<void()> onSignal_;
    std::atomic<bool> signalled_{false};
    std::unique_ptr<Platform> platform_;
};

} // namespace dedarida
