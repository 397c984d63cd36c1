#pragma once

#include "serial/driver/tty_calls_posix.h"
#include "system/event_fd.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <linux/serial.h>
#include <mutex>
#include <string>

namespace dedarida::test {

enum class LineError { Framing, Parity, Overrun, Break };

// The system calls of a real UART or USB adapter over a pty: the bytes still
// cross the pty, but this layer adds what a pty never does. It reports line
// errors in the driver's counters (with the garbage bytes such errors bring),
// holds output in a queue that does not drain, fails calls as a pulled
// adapter does, and counts the event thread's wake-ups. One device at a time.
class FaultyTty : public TtyCalls {
public:
    FaultyTty();

    // Counts the error and queues `garbage` ahead of the bytes still to be read.
    void InjectLineError(LineError kind, const std::string& garbage = "");
    // While held, written bytes wait in a queue of `capacity` bytes; when let
    // go they reach the line.
    void HoldOutput(std::size_t capacity = 4096);
    void ReleaseOutput();
    // Each write takes at most `bytes` (0: no limit), as a slow line's driver does.
    void LimitWriteChunk(std::size_t bytes);
    // The adapter goes: every call on the open device fails with `error`,
    // its waits report a hang-up, and opening fails until Plug.
    void Pull(int error);
    void Plug();
    // Once the far side hangs up, the open device fails as a pulled adapter
    // does; the device that comes back at the path opens as a new one.
    void FailAfterHangUp(int error);
    // Runs once, on the calling thread, inside the next call of this kind.
    void OnNextOutputCount(std::function<void()> hook);
    // The next wait of a read stops before it begins, until ResumeReadWait.
    void PauseNextReadWait();
    void AwaitReadWaitPaused();
    void ResumeReadWait();

    std::uint64_t LineEventWakeups() const { return wakeups_.load(); }
    std::size_t GarbageRead() const;
    int SerialFlags() const;

    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    ssize_t Read(int fd, void* data, std::size_t count) override;
    ssize_t Write(int fd, const void* data, std::size_t count) override;
    int Ioctl(int fd, unsigned long request, void* argument) override;
    int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;
    int PollLineEvents(pollfd* fds, nfds_t count, int timeoutMs) override;
    int WaitModemChange(int fd, int lines) override;

private:
    int Fail(int error) const;
    bool IsDevice(int fd) const;
    // poll() with this layer's wake-up added and its states shown in revents;
    // `endOnWake` returns on that wake-up, otherwise it waits on.
    int PollWithFaults(pollfd* fds, nfds_t count, int timeoutMs, bool endOnWake);
    // revents this layer decides for the device entry; `pending` when it has some.
    short FaultEvents(const pollfd& device, bool& pending);
    void FlushHeld();

    mutable std::mutex mutex_;
    std::condition_variable resumed_;
    // Wake-ups for the event wait and for transfers' waits, kept apart so
    // that one kind never takes the other's.
    void Wake();
    EventFd lineWake_;
    EventFd dataWake_;
    int device_ = -1;
    int pulledError_ = 0;
    bool pulled_ = false;
    // The pull came from a hang-up: an open that finds a device ends it.
    bool replugged_ = false;
    int hangUpError_ = 0;
    bool held_ = false;
    std::size_t capacity_ = 0;
    std::string heldBytes_;
    std::size_t writeChunk_ = 0;
    std::string garbage_;
    std::size_t garbageRead_ = 0;
    serial_icounter_struct counters_{};
    int serialFlags_ = 0;
    std::function<void()> outputCountHook_;
    bool pauseReadWait_ = false;
    bool readWaitPaused_ = false;
    std::atomic<std::uint64_t> wakeups_ = 0;
};

} // namespace dedarida::test
