#include "serial/device_users.h"

namespace dedarida {

namespace {

// A user that entered just before the first wake can start waiting after it;
// it is woken by the next.
constexpr auto kWakeRetry = std::chrono::milliseconds(20);

} // namespace

void DeviceUsers::Admit() {
    std::lock_guard lock(mutex_);
    admitting_ = true;
}

bool DeviceUsers::Admitting() const {
    std::lock_guard lock(mutex_);
    return admitting_;
}

bool DeviceUsers::Enter() {
    std::lock_guard lock(mutex_);
    if (!admitting_)
        return false;
    ++inside_;
    return true;
}

void DeviceUsers::Leave() {
    {
        std::lock_guard lock(mutex_);
        --inside_;
    }
    left_.notify_all();
}

void DeviceUsers::Drain(const std::function<void()>& wake) {
    std::unique_lock lock(mutex_);
    admitting_ = false;
    while (inside_ > 0) {
        lock.unlock();
        wake();
        lock.lock();
        left_.wait_for(lock, kWakeRetry, [this] { return inside_ == 0; });
    }
}

} // namespace dedarida
