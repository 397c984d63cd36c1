#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace dedarida::test {

// Generous: a watcher that works answers in milliseconds.
inline constexpr std::chrono::seconds kWatcherBound{10};

// Counts the calls of a watcher's `changed`.
class WatcherCalls {
public:
    std::function<void()> Counter() {
        return [this] {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++count_;
            called_.notify_all();
        };
    }
    // True once `changed` has run `count` times.
    bool WaitFor(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return called_.wait_for(lock, kWatcherBound, [&] { return count_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable called_;
    int count_ = 0;
};

// True when destroying `watcher` returns within the bound. One that hangs is
// left to its thread, so the test fails instead of hanging.
template <class Watcher> bool DestroyedPromptly(std::unique_ptr<Watcher> watcher) {
    std::promise<void> destroyed;
    std::future<void> done = destroyed.get_future();
    std::thread([watcher = std::move(watcher), destroyed = std::move(destroyed)]() mutable {
        watcher.reset();
        destroyed.set_value();
    }).detach();
    return done.wait_for(kWatcherBound) == std::future_status::ready;
}

} // namespace dedarida::test
