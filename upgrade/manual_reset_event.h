#pragma once

#include <condition_variable>
#include <mutex>

namespace dedarida {

// An event that stays signalled until reset (TickEvent). Thread-safe.
class ManualResetEvent {
public:
    void Set();
    void Reset();
    // Waits until signalled or until `stop` holds (checked when woken by Set
    // or Interrupt). Returns whether the event is signalled.
    template <typename Predicate> bool Wait(Predicate stop) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return signalled_ || stop(); });
        return signalled_;
    }
    // Wakes the waiters so they look at their `stop` condition again.
    void Interrupt();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

} // namespace dedarida
