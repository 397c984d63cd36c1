#include "link/link.h"

#include <algorithm>

namespace dedarida {

namespace {

constexpr std::size_t AppFrameSize = AppCommandLength + 4;

} // namespace

void Link::WaitForFramerIdle(std::unique_lock<std::mutex>& rx) {
    const Clock::time_point started = Clock::now();
    while (framer_.RxState() != ReceiveFramer::Idle) {
        const Clock::time_point deadline =
            std::min(lastFed_ + bounds_.stall, started + bounds_.limit);
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            framer_.Reset();
            return;
        }
        if (main_.IsMainThread()) {
            // The framer runs here: let the queued received-data handlers run.
            rx.unlock();
            main_.RunQueuedFor(std::chrono::ceil<std::chrono::milliseconds>(deadline - now),
                               [this] { return framer_.RxState() == ReceiveFramer::Idle; });
            rx.lock();
        } else {
            rxIdle_.wait_until(rx, deadline);
        }
    }
}

bool Link::SendAppCommand(std::uint8_t code) {
    std::lock_guard tx(txMutex_);
    std::unique_lock rx(rxMutex_);
    // Wait before building: a handler run meanwhile may send and reuse TxFrame.
    // rx stays held through the write so no new reply starts in between, and
    // the mode cannot change under it.
    WaitForFramerIdle(rx);
    if (linkMode_ != AppMode)
        return false;
    TxFrame_[0] = AppStart;
    TxFrame_[1] = AppFixed;
    TxFrame_[2] = AppMarker;
    TxFrame_[3] = AppCommandLength;
    TxFrame_[4] = code;
    TxFrame_[5] =
        static_cast<std::uint8_t>(AppStart + AppFixed + AppMarker + AppCommandLength + code);
    WriteTxFrame(AppFrameSize);
    LastAppCommand = code;
    return true;
}

} // namespace dedarida
