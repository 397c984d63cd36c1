#pragma once

#include "serial/event_fd.h"
#include "serial/modem_watcher.h"
#include "serial/serial_driver.h"

#include <atomic>
#include <cstdint>
#include <linux/serial.h>
#include <memory>
#include <mutex>

namespace dedarida {

// SerialDriver on a Linux tty. Non-blocking descriptor; every wait is a
// poll() bounded by the timeouts and woken by aborts. LastError is the errno
// of the calling thread's last failed call.
class PosixSerialDriver : public SerialDriver {
public:
    PosixSerialDriver() = default;
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
    WaitOutcome WaitCommEvent(int stopFd, std::uint32_t& eventBits) override;
    int LastError() const override;

private:
    using Clock = std::chrono::steady_clock;

    // When the operation is finished by its limits, or max() for no limit.
    Clock::time_point Deadline(const Transfer& op, const CommTimeouts& t) const;
    bool ReadReturnsAtOnce(const Transfer& op, const CommTimeouts& t) const;
    // One non-blocking step; false on a failure (errno set).
    bool Step(Transfer& op);
    bool HungUp() const;
    // Waits for the device to be ready for `op` until `deadline`; false on an
    // abort or a failure (errno set).
    bool AwaitReady(const Transfer& op, Clock::time_point deadline);
    bool Finished(const Transfer& op, const CommTimeouts& t) const;
    // One wait for something that may change the line events: Events means
    // "look again", Stopped and Failed end the event wait.
    WaitOutcome AwaitLineChange(int stopFd, std::int32_t queued, std::uint32_t mask, int unsent);
    // Line and error events from the driver's counters since the last call
    // (hardware UARTs only; a pty has no counters).
    std::uint32_t CounterEvents(std::uint32_t mask);

    int fd_ = -1;
    EventFd abort_;
    std::atomic<std::uint64_t> abortGeneration_ = 0;
    // Wakes the event wait after output was queued, for evTxEmpty.
    EventFd outputQueued_;
    std::atomic<bool> outputPending_ = false;
    std::atomic<std::uint32_t> mask_ = 0;
    std::atomic<std::uint32_t> inQueue_ = 0;
    std::mutex timeoutsMutex_;
    CommTimeouts timeouts_;
    std::atomic<std::uint32_t> bitsPerSecond_ = 9600;
    // Counts the reads that took bytes: the same queue count after a read is
    // new input, not the input already reported.
    std::atomic<std::uint64_t> readGeneration_ = 0;
    // Event thread only: the queue count and read generation last reported
    // with evRxChar, and the driver's counters when last looked at.
    std::int32_t reportedQueue_ = 0;
    std::uint64_t reportedGeneration_ = 0;
    bool countersChecked_ = false;
    bool countersKnown_ = false;
    serial_icounter_struct counters_{};
    std::unique_ptr<ModemWatcher> modemWatcher_;
};

} // namespace dedarida
