#pragma once

#include "serial/driver/modem_watcher_posix.h"
#include "serial/driver/serial_driver.h"
#include "serial/driver/tty_calls_posix.h"
#include "system/event_fd.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <linux/serial.h>
#include <memory>
#include <mutex>

namespace dedarida {

// SerialDriver on a Linux tty. Non-blocking descriptor; every wait is a
// poll() bounded by the timeouts and woken by aborts. LastError is the errno
// of the calling thread's last failed call. `calls` must outlive the driver.
class PosixSerialDriver : public SerialDriver {
public:
    explicit PosixSerialDriver(TtyCalls& calls = SystemTtyCalls()) : calls_(calls) {}
    PosixSerialDriver(const PosixSerialDriver&) = delete;
    PosixSerialDriver& operator=(const PosixSerialDriver&) = delete;
    ~PosixSerialDriver() override;

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

private:
    using Clock = std::chrono::steady_clock;

    // When the operation is finished by its limits, or max() for no limit.
    Clock::time_point Deadline(const Transfer& op, const CommTimeouts& t) const;
    bool ReadReturnsAtOnce(const Transfer& op, const CommTimeouts& t) const;
    // One non-blocking step; false on a failure (errno set).
    bool Step(Transfer& op, const CommTimeouts& t);
    bool HungUp() const;
    // Waits for the device to be ready for `op` until `deadline`; false on an
    // abort or a failure (errno set).
    bool AwaitReady(const Transfer& op, Clock::time_point deadline);
    bool Finished(const Transfer& op, const CommTimeouts& t) const;
    // What the event wait watches besides the descriptor: input left unread
    // and output not yet sent, neither of which the tty can signal.
    struct Watch {
        std::int32_t queued = 0;
        std::uint64_t readGeneration = 0;
        int unsent = 0;
        bool operator==(const Watch&) const = default;
    };
    // One wait for something that may change the line events: Events means
    // "look again", Stopped and Failed end the event wait.
    WaitOutcome AwaitLineChange(int stopFd, const Watch& watch, std::uint32_t mask);
    // How long to sleep before looking at `watch` again: short while things
    // move, backing off while they stay as they were.
    int WatchDelay(const Watch& watch);
    // Line and error events from the driver's counters since the last call
    // (hardware UARTs only; a pty has no counters).
    std::uint32_t CounterEvents(std::uint32_t mask);
    void RestoreSerialFlags();

    TtyCalls& calls_;
    int fd_ = -1;
    // The driver's serial flags before Open asked for low latency.
    bool serialFlagsSaved_ = false;
    int savedSerialFlags_ = 0;

    EventFd abort_;
    std::atomic<std::uint64_t> abortGeneration_ = 0;
    // Transfers inside a wait on abort_: the wake-up it carries is cleared only
    // once no older transfer may still have to see it.
    std::atomic<int> abortWaiters_ = 0;
    std::atomic<std::uint32_t> mask_ = 0;
    std::atomic<std::uint32_t> inQueue_ = 0;
    std::mutex timeoutsMutex_;
    CommTimeouts timeouts_;
    std::atomic<std::uint32_t> bitsPerSecond_ = 9600;
    // When the last write that completed may still be on its way out: Close
    // waits for it up to there.
    std::atomic<Clock::rep> lastWriteLimit_ = 0;

    // Wakes the event wait after output was queued or input taken.
    EventFd transferred_;
    // Count the writes and the reads that moved bytes: the same queue count
    // after a read is new input, and a write after TxEmpty was judged keeps
    // the next one due.
    std::atomic<std::uint64_t> writeGeneration_ = 0;
    std::atomic<std::uint64_t> readGeneration_ = 0;

    // Event thread only.
    Watch seen_;
    std::uint64_t txEmptyGeneration_ = 0;
    int watchDelayMs_ = 0;
    bool modemWatched_ = false;
    bool countersKnown_ = false;
    serial_icounter_struct counters_{};
    serial_icounter_struct openCounters_{};
    mutable std::mutex lineErrorsMutex_;
    LineErrorCounts lineErrors_;
    std::unique_ptr<ModemWatcher> modemWatcher_;
};

} // namespace dedarida
