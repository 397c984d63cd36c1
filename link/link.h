#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "image/flash_image.h"
#include "serial/data_port.h"
#include "serial/main_thread.h"
#include "link/status_panels.h"

namespace dedarida {

inline constexpr std::size_t TxFrameSize = 2100;
inline constexpr std::size_t RxBufferSize = 2100;
inline constexpr std::size_t RxFrameSize = 42;

enum : std::uint8_t { AppMode = 0, BootMode = 1 };

// The device link: the request builders of both modes, the receive framer and
// their shared state (one instance per upgrade tool). Members keep the
// protocol's names.
//
// Threads: ReceiveFrames, SendBootCommand and SendDataBlock run on the main
// thread. SendAppCommand, ClearRxBuffer and SetLinkMode may also run on the
// tick thread. One request is built and written at a time.
class Link {
public:
    Link(DataPort& port, const TFlashImage& image, StatusPanels& panels, MainThread& main);

    void SendBootCommand(std::uint8_t code);
    void SendDataBlock();
    void SendAppCommand(std::uint8_t code);
    void ReceiveFrames();

    // True when buffer[n] is the sum modulo 256 of buffer[0..n-1]; n is taken
    // as 8 bits and never reads outside the frame.
    static bool FrameChecksumOk(std::uint8_t n, const std::array<std::uint8_t, RxFrameSize>& buffer);

    // RxCount := 0 from any thread: the bytes held but not yet fed are dropped.
    void ClearRxBuffer();
    // Switches the framer's grammar; a frame cut off by the switch is dropped.
    void SetLinkMode(std::uint8_t mode);
    std::uint8_t LinkMode() const { return linkMode_; }

    // Reply access for the interpreter (main thread).
    bool TakeFrame(); // FrameReady: true once per complete frame, and clears it
    const std::array<std::uint8_t, RxFrameSize>& RxFrame() const { return rxFrame_; }
    std::int32_t RxFrameLength() const { return rxFrameLength_; }
    std::int32_t RxCount() const;

    // Upgrade bookkeeping the requests keep.
    std::atomic<std::uint8_t> LastBootCommand{0};
    std::atomic<std::uint8_t> LastAppCommand{0};
    std::atomic<std::int32_t> BlockPosition{0};
    std::atomic<std::uint8_t> EndOfImage{0};

    // ... (the implementation adds its private state)
};

} // namespace dedarida
