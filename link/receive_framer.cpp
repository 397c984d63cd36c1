#include "link/receive_framer.h"

#include "link/protocol.h"

#include <algorithm>
#include <utility>

namespace dedarida {

namespace {

// Length bytes above this give a frame longer than RxFrame.
constexpr std::int32_t AppLengthFit = static_cast<std::int32_t>(RxFrameSize) - 4;

// RxState values. 0 to 5 are the protocol's; AppDiscard passes over the rest of
// a reply too long for RxFrame, so its body is not hunted for new replies.
enum : std::int32_t {
    Hunting = ReceiveFramer::Idle,
    BootAfterDle = 1,
    BootBody = 2,
    BootBodyAfterDle = 3,
    AppBody = 2,
    AppAfterStart = 1,
    AppAfterMarker = 4,
    AppAfterFixed = 5,
    AppDiscard = 6,
};

} // namespace

std::span<std::uint8_t> ReceiveFramer::FreeSpace() {
    return std::span(RxBuffer_).subspan(static_cast<std::size_t>(RxCount_));
}

void ReceiveFramer::Received(std::int32_t count) {
    const std::int32_t fits = std::clamp(count, 0, static_cast<std::int32_t>(FreeSpace().size()));
    RxCount_ += fits;
    taken_ += static_cast<std::uint64_t>(fits);
}

std::uint64_t ReceiveFramer::StreamBase() const {
    // RxBuffer always holds the latest RxCount bytes taken.
    return taken_ - static_cast<std::uint64_t>(RxCount_);
}

void ReceiveFramer::ClearBuffer() {
    // ScanPos goes too: left behind, it would skip the next bytes received.
    RxCount_ = 0;
    ScanPos_ = 0;
}

void ReceiveFramer::Reset() {
    RxState_ = Hunting;
}

bool ReceiveFramer::TakeFrame() {
    return std::exchange(FrameReady_, false);
}

bool ReceiveFramer::Scan(bool bootMode) {
    if (RxCount_ == 0)
        return false;
    const bool feeds = ScanPos_ < RxCount_;
    if (bootMode ? ScanBoot() : ScanApp())
        return true;
    if (RxCount_ == ScanPos_)
        ClearBuffer();
    else
        ScanPos_ = RxCount_;
    return feeds;
}

void ReceiveFramer::StoreBootByte(std::uint8_t byte) {
    if (RxFrameLength_ < static_cast<std::int32_t>(RxFrameSize)) {
        RxFrame_[RxFrameLength_++] = byte;
        RxState_ = BootBody;
    } else {
        // Dropped. Hunting stays in step with the DLE pairs, so the rest of a
        // stuffed body cannot pass for the start of a reply.
        RxState_ = Hunting;
    }
}

bool ReceiveFramer::ScanBoot() {
    const std::uint64_t base = StreamBase();
    bool badStart = false;
    for (std::int32_t i = ScanPos_; i < RxCount_; ++i) {
        const std::uint8_t byte = RxBuffer_[i];
        switch (RxState_) {
        case BootAfterDle:
            if (byte == BootReplyStart) {
                RxFrameLength_ = 0;
                frameStart_ = openingAt_;
                RxState_ = BootBody;
            } else {
                badStart = true;
                RxState_ = Hunting;
            }
            break;
        case BootBody:
            if (byte == Dle)
                RxState_ = BootBodyAfterDle;
            else
                StoreBootByte(byte);
            break;
        case BootBodyAfterDle:
            if (byte == BootReplyEnd) {
                Complete(i);
                return true;
            }
            StoreBootByte(byte);
            break;
        default:
            if (byte == Dle) {
                openingAt_ = base + static_cast<std::uint64_t>(i);
                RxState_ = BootAfterDle;
            } else {
                RxState_ = Hunting;
            }
            break;
        }
    }
    // A DLE that starts no reply empties the buffer once the batch is fed.
    if (badStart)
        ClearBuffer();
    return false;
}

void ReceiveFramer::Complete(std::int32_t last) {
    FrameReady_ = true;
    completedStart_ = frameStart_;
    RxState_ = Hunting;
    if (last == RxCount_ - 1)
        ClearBuffer();
    else
        ScanPos_ = last + 1;
}

void ReceiveFramer::SkipRejectedFrame(std::int32_t rejected) {
    // The rejected frame began one byte earlier; its length byte follows the
    // rejected one. Never move back, never past what has been received.
    const std::int32_t lengthAt = rejected + 2;
    std::int32_t next = rejected + 1;
    if (lengthAt < RxCount_)
        next = std::min(lengthAt + 1 + RxBuffer_[lengthAt], RxCount_);
    ScanPos_ = next;
}

bool ReceiveFramer::ScanApp() {
    const std::uint64_t base = StreamBase();
    for (std::int32_t i = ScanPos_; i < RxCount_; ++i) {
        const std::uint8_t byte = RxBuffer_[i];
        switch (RxState_) {
        case AppAfterStart:
            if (byte != AppMarker && byte != AppMarkerAlt) {
                RxState_ = Hunting;
                SkipRejectedFrame(i);
                return true;
            }
            RxFrame_[RxFrameLength_++] = byte;
            RxState_ = AppAfterMarker;
            break;
        case AppAfterMarker:
            if (byte == AppFixed) {
                RxFrame_[RxFrameLength_++] = byte;
                RxState_ = AppAfterFixed;
            } else {
                RxState_ = Hunting;
            }
            break;
        case AppAfterFixed:
            if (byte > AppLengthLimit) {
                RxState_ = Hunting;
                break;
            }
            AppFrameLength_ = byte;
            RxFrame_[RxFrameLength_++] = byte;
            RxState_ = byte > AppLengthFit ? AppDiscard : AppBody;
            break;
        case AppBody:
            RxFrame_[RxFrameLength_] = byte;
            if (RxFrameLength_ < AppFrameLength_ + 3) {
                ++RxFrameLength_;
                break;
            }
            Complete(i);
            return true;
        case AppDiscard:
            if (RxFrameLength_ < AppFrameLength_ + 3)
                ++RxFrameLength_;
            else
                RxState_ = Hunting;
            break;
        default:
            if (byte == AppStart) {
                frameStart_ = base + static_cast<std::uint64_t>(i);
                RxFrame_[0] = byte;
                RxFrameLength_ = 1;
                RxState_ = AppAfterStart;
            } else {
                RxState_ = Hunting;
            }
            break;
        }
    }
    return false;
}

} // namespace dedarida
