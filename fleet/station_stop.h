#pragma once

#include <functional>
#include <mutex>

namespace dedarida {

// Stops a station from any thread as Ctrl-C does: every running unit is
// passed the interrupt and ends "interrupted" with its record, then
// RunStation returns. A stop that comes before the station runs ends it as
// it starts. Thread-safe.
class StationStop {
public:
    void Stop();
    bool Stopped() const;

    // The station's own, while it runs: what stops it.
    void Attach(std::function<void()> interrupt);
    // Once it returns, no stop reaches it any more.
    void Detach();

private:
    mutable std::mutex mutex_;
    bool stopped_ = false;
    std::function<void()> interrupt_;
};

} // namespace dedarida
