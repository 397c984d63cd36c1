#include "link/link.h"

#include <algorithm>

namespace dedarida {

Link::Link(DataPort& port, const TFlashImage& image, StatusPanels& panels, MainThread& main,
           ReplyWaitBounds bounds)
    : port_(port), image_(image), panels_(panels), main_(main), bounds_(bounds) {}

bool Link::Drain() {
    // Bytes beyond the free space stay in the port's queue for the next call.
    for (;;) {
        const std::int32_t waiting = port_.InputCount();
        const std::span<std::uint8_t> space = framer_.FreeSpace();
        if (waiting <= 0)
            return false;
        if (space.empty())
            return true;
        const std::int32_t count = std::min(waiting, static_cast<std::int32_t>(space.size()));
        const std::int32_t got = port_.Read(space.data(), count, true);
        if (got <= 0)
            return false;
        framer_.Received(got);
    }
}

void Link::ReceiveFrames() {
    std::lock_guard rx(rxMutex_);
    // What a full buffer left in the port is read by the next call, after the
    // reply completed here has been interpreted: a port failure on that read
    // must not cost a reply already received.
    backlog_ = Drain();
    if (framer_.Scan(linkMode_ == BootMode)) {
        lastFed_ = Clock::now();
        rxIdle_.notify_all();
    }
}

bool Link::MoreToReceive() const {
    std::lock_guard rx(rxMutex_);
    return framer_.RxCount() != 0 || backlog_;
}

void Link::ClearRxBuffer() {
    std::lock_guard rx(rxMutex_);
    framer_.ClearBuffer();
    backlog_ = false;
}

void Link::SetLinkMode(std::uint8_t mode) {
    std::lock_guard rx(rxMutex_);
    if (linkMode_ == mode)
        return;
    linkMode_ = mode;
    // A state of one grammar means nothing in the other.
    framer_.Reset();
    rxIdle_.notify_all();
}

bool Link::TakeFrame() {
    std::lock_guard rx(rxMutex_);
    return framer_.TakeFrame();
}

bool Link::FrameBeforeRequest() const {
    std::lock_guard rx(rxMutex_);
    return framer_.FrameStartsAt() < requestMark_;
}

std::int32_t Link::RxCount() const {
    std::lock_guard rx(rxMutex_);
    return framer_.RxCount();
}

} // namespace dedarida
