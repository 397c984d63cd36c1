#pragma once

#include "serial/driver/serial_driver.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <windows.h>

namespace dedarida {

// SerialDriver on a Windows COM port: overlapped I/O on a handle opened
// without sharing and under a lock of the tool's own per device (a named
// mutex), the system's own timeouts and line events. Each direction
// moves its bytes through a fixed buffer of the driver, so an abandoned
// transfer never writes into memory its owner has freed. LastError is the
// Win32 error code of the calling thread's last failed call.
class Win32SerialDriver : public SerialDriver {
public:
    Win32SerialDriver();
    Win32SerialDriver(const Win32SerialDriver&) = delete;
    Win32SerialDriver& operator=(const Win32SerialDriver&) = delete;
    ~Win32SerialDriver() override;

    bool Open(const std::string& path) override;
    void Close() override;
    bool SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) override;
    bool SetCommState(const Dcb& dcb) override;
    bool SetCommTimeouts(const CommTimeouts& timeouts) override;
    bool SetCommMask(std::uint32_t eventBits) override;
    Progress Advance(Transfer& op, bool block) override;
    bool InputCount(std::int32_t& count) override;
    bool Purge(std::uint32_t actions) override;
    WaitOutcome WaitCommEvent(const EventFd& stop, std::uint32_t& eventBits) override;
    void DrainOutput() override;
    bool IsLineLost(int error) const override;
    int LastError() const override;
    LineErrorCounts LineErrors() const override;

    // Bytes one ReadFile or WriteFile moves at most; a longer transfer takes
    // several, each under the timeouts.
    static constexpr DWORD kChunkBytes = 4096;

private:
    // The one overlapped operation of a direction. `ticket` names the
    // transfer it belongs to (its Transfer::generation), 0 when free.
    struct Slot {
        OVERLAPPED overlapped{};
        HANDLE done = nullptr;
        DWORD requested = 0;
        std::uint64_t ticket = 0;
        std::array<std::uint8_t, kChunkBytes> buffer{};
    };

    // Starts the next chunk of `op`; false on a failure.
    bool Issue(Slot& slot, Transfer& op);
    // The slot's operation has ended: the slot is free again.
    void FreeSlot(Slot& slot, const Transfer& op);
    // Waits (bounded) for the operation of a transfer that was dropped
    // after an abort, then frees the slot.
    bool Reclaim(Slot& slot, std::unique_lock<std::mutex>& lock);
    // Ends a pending event wait and waits for it to finish.
    void EndEventWait();
    // The result of the event wait whose event is set. Wine may set the
    // event before it stores the result, which the thread's next waits on
    // its server let it do; or for a wait that never ends, which then counts
    // as aborted.
    bool EventWaitResult();
    // Whether the device still answers: a wait ended as aborted by a mask
    // change (or by wine on a pty) is not a lost line.
    bool LineAnswers();
    // ClearCommError, counting the line errors it reports.
    bool CommStatus(COMSTAT& status);

    enum class DataWait { Arrived, Stopped, TimedOut };
    // Waits, at most `limitMs`, for a byte to arrive, with the look-ahead
    // read pending; without RxChar in the mask, or while a read of the
    // port's own is under way, only for `stop`.
    DataWait WaitForData(HANDLE stop, DWORD limitMs);
    // The look-ahead read: a one-byte read that waits for the first byte
    // without a time limit; its byte goes to the next read first. All of
    // these need slotsMutex_.
    bool IssueLookahead();
    void CollectLookahead();
    bool StopLookahead();
    // The port's own read timeouts again, after the look-ahead's.
    bool RestoreTimeouts();

    std::atomic<HANDLE> handle_ = INVALID_HANDLE_VALUE;
    HANDLE portLock_ = nullptr; // the tool's own lock on the open device
    std::mutex slotsMutex_;
    std::uint64_t lastTicket_ = 0;
    Slot slots_[2]; // read, write
    std::atomic<DWORD> mask_ = 0;
    std::atomic<DWORD> bitsPerSecond_ = 9600;
    std::atomic<DWORD> writeMultiplierMs_ = 0;
    std::atomic<DWORD> writeConstantMs_ = 0;
    // When the last write issued reaches its time limit (steady clock ticks).
    std::atomic<std::chrono::steady_clock::rep> lastWriteLimit_ = 0;
    OVERLAPPED eventWait_{};
    HANDLE eventWaitDone_ = nullptr;
    DWORD waitedEvents_ = 0;
    mutable std::mutex lineErrorsMutex_;
    LineErrorCounts lineErrors_;
    int abortsInRow_ = 0; // only the event thread's wait touches it
    // Where event waits end at once (wine on a pty), a pending one-byte read
    // is what wakes the event thread when data arrives.
    struct Lookahead {
        OVERLAPPED overlapped{};
        HANDLE done = nullptr;
        std::uint8_t byte = 0;
        bool pending = false;
        bool holding = false; // `byte` arrived and no read has taken it yet
        bool failed = false;  // it ended with no byte, not cancelled
    };
    Lookahead lookahead_;
    COMMTIMEOUTS timeouts_{}; // the port's own
    bool lookaheadTimeouts_ = false;
    HANDLE readEnded_ = nullptr; // auto-reset: set when a read of the port's own ends
};

} // namespace dedarida
