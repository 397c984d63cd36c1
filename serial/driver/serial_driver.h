#pragma once

#include "serial/settings/line_records.h"
#include "system/event_fd.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace dedarida {

// One write or read in progress. The port owns it; the driver fills in `done`
// and the bookkeeping. Limits are measured from `start`, so an operation that
// is advanced in several steps keeps its original time limit.
struct Transfer {
    bool write = false;
    std::uint8_t* data = nullptr;
    std::int32_t count = 0;
    std::int32_t done = 0;
    std::chrono::steady_clock::time_point start{};
    std::chrono::steady_clock::time_point lastByte{};
    std::uint64_t generation = 0;
    bool begun = false;
    // A write left pending moves only while a call works on it, so its time
    // limit runs from the first call that waits for it.
    bool waitedOn = false;
};

// The platform's serial interface. Each call returns false (or Failed) and
// leaves its error number (errno, or the Win32 code) in LastError. Calls that use the open device
// must not race Open/Close (the port guarantees this); Purge with only abort actions may be called
// from any thread at any time.
class SerialDriver {
public:
    enum class Progress { Complete, Pending, Failed };
    enum class WaitOutcome { Events, Stopped, Failed };

    virtual ~SerialDriver() = default;

    // Existing devices only, exclusive, never the controlling terminal.
    virtual bool Open(const std::string& path) = 0;
    virtual void Close() = 0;
    virtual bool SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) = 0;
    virtual bool SetCommState(const Dcb& dcb) = 0;
    virtual bool SetCommTimeouts(const CommTimeouts& timeouts) = 0;
    virtual bool SetCommMask(std::uint32_t eventBits) = 0;
    // Moves bytes for `op` under the current timeouts. With block false only
    // what is possible now; Pending means the timeouts still allow more.
    virtual Progress Advance(Transfer& op, bool block) = 0;
    virtual bool InputCount(std::int32_t& count) = 0;
    // Abort actions end every Advance in progress (ECANCELED, or
    // ERROR_OPERATION_ABORTED); clear actions
    // discard the queues.
    virtual bool Purge(std::uint32_t actions) = 0;
    // Waits for line events of the mask, or until `stop` is set.
    virtual WaitOutcome WaitCommEvent(const EventFd& stop, std::uint32_t& eventBits) = 0;
    // Waits until the bytes of completed writes have left the output queue,
    // at most for their wire time and a margin (see DrainDeadline) and never
    // past the last one's time limit; gives up on a failure.
    virtual void DrainOutput() = 0;
    // Whether `error` (a LastError value) means the device has gone: a
    // hang-up, or an adapter pulled out. Line-status errors never are.
    virtual bool IsLineLost(int error) const = 0;
    virtual int LastError() const = 0;
    // Line errors since Open, as far as the event wait has seen them. Any
    // thread.
    virtual LineErrorCounts LineErrors() const = 0;
};

} // namespace dedarida
