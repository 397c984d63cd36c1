#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace dedarida {

inline constexpr std::size_t RxBufferSize = 2100;
inline constexpr std::size_t RxFrameSize = 42;

using TRxFrame = std::array<std::uint8_t, RxFrameSize>;

// The receive framer of both link modes over RxBuffer: raw bytes go in at
// RxCount, complete reply frames come out in RxFrame. No I/O, no clock.
//
// Not thread-safe: the owner serialises every call, except RxState, which any
// thread may read at any time.
class ReceiveFramer {
public:
    // RxState 0: no frame is being assembled.
    static constexpr std::int32_t Idle = 0;

    // The free tail of RxBuffer; the caller fills a prefix and reports it with
    // Received.
    std::span<std::uint8_t> FreeSpace();
    void Received(std::int32_t count);

    // Feeds the bytes not yet fed to the machine of `bootMode`, up to and
    // including the end of the next complete frame, so each reply is taken
    // on its own. True when at least one byte was fed.
    bool Scan(bool bootMode);

    // RxCount := 0; the bytes held but not yet fed are dropped.
    void ClearBuffer();
    // Drops the frame being assembled.
    void Reset();

    bool TakeFrame();
    const TRxFrame& RxFrame() const { return RxFrame_; }
    std::int32_t RxFrameLength() const { return RxFrameLength_; }
    std::int32_t RxCount() const { return RxCount_; }
    std::int32_t ScanPos() const { return ScanPos_; }
    std::int32_t RxState() const { return RxState_; }
    // Bytes taken from the line so far, counted from the framer's creation.
    std::uint64_t Taken() const { return taken_; }
    // Where the frame taken last began, counted like Taken: a frame that
    // begins below a given Taken() arrived, at least in part, before it.
    std::uint64_t FrameStartsAt() const { return completedStart_; }

private:
    // Both true when they returned early, after a completed frame (or, for
    // the application machine, a rejected one).
    bool ScanBoot();
    bool ScanApp();
    void Complete(std::int32_t last);
    std::uint64_t StreamBase() const;
    void StoreBootByte(std::uint8_t byte);
    void SkipRejectedFrame(std::int32_t rejected);

    std::array<std::uint8_t, RxBufferSize> RxBuffer_{};
    std::int32_t RxCount_ = 0;
    std::int32_t ScanPos_ = 0;
    std::atomic<std::int32_t> RxState_{Idle};
    TRxFrame RxFrame_{};
    std::int32_t RxFrameLength_ = 0;
    std::int32_t AppFrameLength_ = 0;
    bool FrameReady_ = false;
    std::uint64_t taken_ = 0;
    std::uint64_t openingAt_ = 0;
    std::uint64_t frameStart_ = 0;
    std::uint64_t completedStart_ = 0;
};

} // namespace dedarida
