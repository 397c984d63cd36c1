#include "upgrade/main_loop.h"

#include <algorithm>
#include <utility>

namespace dedarida {

MainLoop::MainLoop(std::chrono::milliseconds interval) : interval_(interval) {}

void MainLoop::SetOnTimer(std::function<void()> onTimer) {
    onTimer_ = std::move(onTimer);
}

void MainLoop::SetTimerEnabled(bool enabled) {
    nextExpiry_ = (Clock::now() + interval_).time_since_epoch().count();
    timerEnabled_ = enabled;
    Wake();
}

// Ends the queue's current wait so the loop looks at the timer again.
void MainLoop::Wake() {
    changed_ = true;
    queue_.Post([] {});
}

void MainLoop::Quit() {
    quit_ = true;
    Wake();
}

bool MainLoop::RunUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    quit_ = false;
    for (;;) {
        if (done())
            return true;
        const auto now = Clock::now();
        if (quit_ || now >= deadline)
            return false;
        auto until = deadline;
        if (timerEnabled_) {
            const Clock::time_point expiry{Clock::duration(nextExpiry_.load())};
            if (now >= expiry) {
                nextExpiry_ = (expiry + interval_).time_since_epoch().count();
                if (onTimer_)
                    onTimer_();
                continue;
            }
            until = std::min(until, expiry);
        }
        // Waits in slices so a far deadline never overflows the clock.
        const auto wait = std::min<Clock::duration>(until - now, std::chrono::hours(1));
        queue_.RunQueuedFor(std::chrono::ceil<std::chrono::milliseconds>(wait),
                            [&] { return changed_.exchange(false) || done(); });
    }
}

} // namespace dedarida
