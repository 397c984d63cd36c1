#pragma once

#include "image/flash_image.h"
#include "link/protocol.h"
#include "link/receive_framer.h"
#include "link/status_panels.h"
#include "serial/data_port.h"
#include "serial/main_thread.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace dedarida {

inline constexpr std::size_t TxFrameSize = 2100;

// How long SendAppCommand waits for a reply being received to complete: a
// reply whose bytes stop for `stall` (one maximal reply at 4800 baud is about
// 94 ms), or that is still not complete after `limit`, is dropped.
struct ReplyWaitBounds {
    std::chrono::milliseconds stall{100};
    std::chrono::milliseconds limit{1000};
};

// The device link: the request builders of both modes, the receive framer and
// their shared state (one instance per upgrade tool). Members keep the
// protocol's names. All port errors (EComPort) pass through to the caller.
//
// Threads: ReceiveFrames, TakeFrame, RxFrame, RxFrameLength, SendBootCommand
// and SendDataBlock run on the main thread. SendAppCommand, ClearRxBuffer,
// SetLinkMode, RxCount and RxState may run on any thread. One request is built
// and written at a time.
//
// Lock order: txMutex_ (recursive: a sender may run a reply handler that
// sends) before rxMutex_. Under rxMutex_ the link calls nothing but the port.
class Link {
public:
    Link(DataPort& port, const TFlashImage& image, StatusPanels& panels, MainThread& main,
         ReplyWaitBounds bounds = {});
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // The eight-byte command frame of `code`; panel 2 shows its text.
    void SendBootCommand(std::uint8_t code);
    // The next 1024 bytes of the image at BlockPosition, or Start Application
    // once they are used up; nothing while EndOfImage is set.
    void SendDataBlock();
    // Writes the command once the framer is between frames (see
    // ReplyWaitBounds); on the main thread received data keeps being handled
    // meanwhile. False, with nothing written and LastAppCommand unchanged,
    // when the link has left application mode by then (a reply handled
    // during the wait may switch it).
    bool SendAppCommand(std::uint8_t code);
    // Drains the port into RxBuffer (never beyond it) and feeds the framer of
    // the current LinkMode. It touches the port only before it feeds, so a
    // reply it completes is in RxFrame even if the port fails afterwards.
    void ReceiveFrames();
    // The receive loop goes on while this holds: bytes are held in RxBuffer,
    // or the last drain left some in the port because RxBuffer was full.
    bool MoreToReceive() const;

    // True when buffer[n] is the sum modulo 256 of buffer[0..n-1]; n is taken
    // as 8 bits. False for n < 1 or n > 41, so it never reads outside the frame.
    static bool FrameChecksumOk(std::uint8_t n, const TRxFrame& buffer);

    // RxCount := 0 from any thread: the bytes held but not yet fed are dropped,
    // and the receive loop ends.
    void ClearRxBuffer();
    // Switches the framer's grammar; a frame cut off by the switch is dropped.
    void SetLinkMode(std::uint8_t mode);
    std::uint8_t LinkMode() const { return linkMode_; }

    // Reply access for the interpreter (main thread).
    bool TakeFrame(); // FrameReady: true once per complete frame, and clears it
    const TRxFrame& RxFrame() const { return framer_.RxFrame(); }
    std::int32_t RxFrameLength() const { return framer_.RxFrameLength(); }
    std::int32_t RxCount() const;
    std::int32_t RxState() const { return framer_.RxState(); }
    // Whether the frame taken last began to arrive before the bootloader
    // request written last was written: then it cannot be that request's answer.
    bool FrameBeforeRequest() const;

    // Upgrade bookkeeping the requests keep.
    std::atomic<std::uint8_t> LastBootCommand{0};
    // Set when a bootloader request is written; cleared by whoever takes its
    // one answer.
    std::atomic<bool> BootAnswerDue{false};
    std::atomic<std::uint8_t> LastAppCommand{0};
    std::atomic<std::int32_t> BlockPosition{0};
    std::atomic<std::uint8_t> EndOfImage{0};

private:
    using Clock = std::chrono::steady_clock;

    // With rxMutex_ held by `rx`: returns once the framer is idle, dropping a
    // reply that stalls or takes too long.
    void WaitForFramerIdle(std::unique_lock<std::mutex>& rx);
    // Moves the port's input into RxBuffer, as far as it has room; true when
    // bytes stayed in the port because RxBuffer was full.
    bool Drain();
    // Appends `byte` to TxFrame at `length`, doubled if it is DLE.
    void AppendStuffed(std::size_t& length, std::uint8_t byte);
    void WriteTxFrame(std::size_t length);
    // Before a bootloader request is written: LastBootCommand := code, its
    // answer due, and every byte received so far marked as earlier than it.
    void NoteBootRequest(std::uint8_t code);

    DataPort& port_;
    const TFlashImage& image_;
    StatusPanels& panels_;
    MainThread& main_;
    const ReplyWaitBounds bounds_;

    std::recursive_mutex txMutex_;
    std::array<std::uint8_t, TxFrameSize> TxFrame_{};

    mutable std::mutex rxMutex_;
    std::condition_variable rxIdle_;
    ReceiveFramer framer_;
    Clock::time_point lastFed_{};
    bool backlog_ = false;
    std::uint64_t requestMark_ = 0;
    std::atomic<std::uint8_t> linkMode_{AppMode};
};

} // namespace dedarida
