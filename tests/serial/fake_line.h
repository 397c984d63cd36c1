#pragma once

#include "serial/driver/serial_driver.h"
#include "system/event_fd.h"
#include "tests/serial/wait_for_either.h"

#include <atomic>
#include <cerrno>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Free of GoogleTest, so a fuzz target can drive a port with it too.
namespace dedarida::test {

// What a FakeDriver saw and what it is told to answer. Tests keep it; the
// port owns the driver. Guarded by `mutex` where the event thread reads it.
struct FakeLine {
    std::mutex mutex;
    std::vector<std::string> calls;
    std::string openedPath;
    Dcb dcb;
    CommTimeouts timeouts;
    std::uint32_t inQueue = 0;
    std::uint32_t outQueue = 0;
    std::uint32_t mask = 0;
    std::int32_t queued = 0;
    // errno to fail a call with, by call name ("Open", "SetCommTimeouts", ...).
    std::string failCall;
    int failError = 0;
    // Transfers that do not block stay pending.
    bool nonBlockingPends = false;
    // Byte count of every blocking transfer step, negative for non-blocking.
    std::vector<std::int32_t> steps;
    std::deque<std::uint32_t> events;
    // The event wait fails with this errno: from now on for a lost line,
    // otherwise `waitFailures` times.
    int waitError = 0;
    int waitFailures = 0;
    int waitsFailed = 0;
    LineErrorCounts lineErrors;
    EventFd eventsReady;
    // Run by the driver's Close, and by its SetCommState, on the calling thread.
    std::function<void()> onClose;
    std::function<void()> onConfigure;

    void FailWaits(int error, int times) {
        {
            std::lock_guard lock(mutex);
            waitError = error;
            waitFailures = times;
        }
        eventsReady.Set();
    }
    void Lose() { FailWaits(ENODEV, 1 << 30); }

    void Raise(std::uint32_t bits) {
        {
            std::lock_guard lock(mutex);
            events.push_back(bits);
        }
        eventsReady.Set();
    }
    std::size_t Count(const std::string& call) {
        std::lock_guard lock(mutex);
        std::size_t n = 0;
        for (const std::string& c : calls)
            n += c == call;
        return n;
    }
    bool EventsTaken() {
        std::lock_guard lock(mutex);
        return events.empty();
    }
    std::vector<std::string> Calls() {
        std::lock_guard lock(mutex);
        return calls;
    }
};

class FakeDriver : public SerialDriver {
public:
    explicit FakeDriver(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}

    bool Open(const std::string& path) override {
        if (!Note("Open"))
            return false;
        std::lock_guard lock(line_->mutex);
        line_->openedPath = path;
        return true;
    }
    void Close() override {
        Note("Close");
        if (line_->onClose)
            line_->onClose();
    }
    bool SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) override {
        if (!Note("SetupComm"))
            return false;
        std::lock_guard lock(line_->mutex);
        line_->inQueue = inQueue;
        line_->outQueue = outQueue;
        return true;
    }
    bool SetCommState(const Dcb& dcb) override {
        if (!Note("SetCommState"))
            return false;
        if (line_->onConfigure)
            line_->onConfigure();
        std::lock_guard lock(line_->mutex);
        line_->dcb = dcb;
        return true;
    }
    bool SetCommTimeouts(const CommTimeouts& timeouts) override {
        if (!Note("SetCommTimeouts"))
            return false;
        std::lock_guard lock(line_->mutex);
        line_->timeouts = timeouts;
        return true;
    }
    bool SetCommMask(std::uint32_t bits) override {
        Note("SetCommMask");
        std::lock_guard lock(line_->mutex);
        line_->mask = bits;
        return true;
    }
    Progress Advance(Transfer& op, bool block) override {
        if (!Note(op.write ? "Write" : "Read"))
            return Progress::Failed;
        std::lock_guard lock(line_->mutex);
        line_->steps.push_back(block ? op.count : -op.count);
        if (!block && line_->nonBlockingPends)
            return Progress::Pending;
        op.done = op.count;
        return Progress::Complete;
    }
    bool InputCount(std::int32_t& count) override {
        if (!Note("InputCount"))
            return false;
        std::lock_guard lock(line_->mutex);
        count = line_->queued;
        return true;
    }
    bool Purge(std::uint32_t actions) override {
        if (!Note("Purge" + std::to_string(actions)))
            return false;
        if ((actions & purge::RxClear) != 0) {
            std::lock_guard lock(line_->mutex);
            line_->queued = 0;
        }
        return true;
    }
    WaitOutcome WaitCommEvent(const EventFd& stop, std::uint32_t& bits) override {
        for (;;) {
            {
                std::lock_guard lock(line_->mutex);
                if (line_->waitFailures > 0) {
                    --line_->waitFailures;
                    ++line_->waitsFailed;
                    lastError_ = line_->waitError;
                    return WaitOutcome::Failed;
                }
                if (!line_->events.empty()) {
                    bits = line_->events.front();
                    line_->events.pop_front();
                    return WaitOutcome::Events;
                }
            }
            if (WaitForEither(stop.Fd(), line_->eventsReady.Fd()))
                return WaitOutcome::Stopped;
            line_->eventsReady.Reset();
        }
    }
    void DrainOutput() override {}
    bool IsLineLost(int error) const override {
        return error == EIO || error == ENXIO || error == ENODEV;
    }
    int LastError() const override { return lastError_.load(); }
    LineErrorCounts LineErrors() const override {
        std::lock_guard lock(line_->mutex);
        return line_->lineErrors;
    }

private:
    bool Note(const std::string& call) {
        std::lock_guard lock(line_->mutex);
        line_->calls.push_back(call);
        if (call != line_->failCall)
            return true;
        lastError_ = line_->failError;
        return false;
    }

    std::shared_ptr<FakeLine> line_;
    std::atomic<int> lastError_ = 0;
};

} // namespace dedarida::test
