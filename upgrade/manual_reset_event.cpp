#include "upgrade/manual_reset_event.h"

namespace dedarida {

void ManualResetEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    changed_.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

void ManualResetEvent::Interrupt() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

} // namespace dedarida
