#include "fleet/station_stop.h"

namespace dedarida {

// Called under the lock, so that Detach waits for a stop on its way.
void StationStop::Stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    if (interrupt_)
        interrupt_();
}

bool StationStop::Stopped() const {
    std::lock_guard lock(mutex_);
    return stopped_;
}

void StationStop::Attach(std::function<void()> interrupt) {
    std::lock_guard lock(mutex_);
    interrupt_ = std::move(interrupt);
    if (stopped_)
        interrupt_();
}

void StationStop::Detach() {
    std::lock_guard lock(mutex_);
    interrupt_ = {};
}

} // namespace dedarida
