#include "link/receive_framer.h"

#include "link/wire_bytes.h"

#include <algorithm>
#include <utility>

namespace dedarida {

namespace {

constexpr std::uint8_t ReplyStart = 0x02;
constexpr std::uint8_t ReplyEnd = 0x03;
constexpr std::uint8_t AppMarkerAlt = 0x0F;
constexpr std::uint8_t AppLengthLimit = 41;
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
    RxCount_ += std::clamp(count, 0, static_cast<std::int32_t>(FreeSpace().size()));
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
    if (bootMode)
        ScanBoot();
    else if (ScanApp())
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

void ReceiveFramer::ScanBoot() {
    // Completing a frame empties the buffer, yet the rest of the batch is fed.
    const std::int32_t end = RxCount_;
    for (std::int32_t i = ScanPos_; i < end; ++i) {
        const std::uint8_t byte = RxBuffer_[i];
        switch (RxState_) {
        case BootAfterDle:
            if (byte == ReplyStart) {
                RxFrameLength_ = 0;
                RxState_ = BootBody;
            } else {
                RxCount_ = 0;
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
            if (byte == ReplyEnd) {
                FrameReady_ = true;
                RxCount_ = 0;
                ScanPos_ = 0;
                RxState_ = Hunting;
            } else {
                StoreBootByte(byte);
            }
            break;
        default:
            RxState_ = byte == Dle ? BootAfterDle : Hunting;
            break;
        }
    }
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
            FrameReady_ = true;
            RxState_ = Hunting;
            if (i == RxCount_ - 1)
                ClearBuffer();
            else
                ScanPos_ = i + 1;
            return true;
        case AppDiscard:
            if (RxFrameLength_ < AppFrameLength_ + 3)
                ++RxFrameLength_;
            else
                RxState_ = Hunting;
            break;
        default:
            if (byte == AppStart) {
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
