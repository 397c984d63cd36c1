#include "sim/sim_status.h"

namespace dedarida::sim {

void StatusBoard::Update(const std::function<void(SimStatus&)>& change) {
    {
        const std::lock_guard lock(mutex_);
        change(status_);
    }
    changed_.notify_all();
}

SimStatus StatusBoard::Get() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

bool StatusBoard::WaitFor(const std::function<bool(const SimStatus&)>& condition,
                          std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return condition(status_); });
}

} // namespace dedarida::sim
