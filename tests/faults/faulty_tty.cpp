#include "tests/faults/faulty_tty.h"

#include <algorithm>
#include <asm/termbits.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace dedarida::test {

FaultyTty::FaultyTty() = default;

void FaultyTty::Wake() {
    lineWake_.Set();
    dataWake_.Set();
}

int FaultyTty::Fail(int error) const {
    errno = error;
    return -1;
}

bool FaultyTty::IsDevice(int fd) const {
    return fd >= 0 && fd == device_;
}

void FaultyTty::InjectLineError(LineError kind, const std::string& garbage) {
    {
        std::lock_guard lock(mutex_);
        switch (kind) {
        case LineError::Framing:
            ++counters_.frame;
            break;
        case LineError::Parity:
            ++counters_.parity;
            break;
        case LineError::Overrun:
            ++counters_.overrun;
            break;
        case LineError::Break:
            ++counters_.brk;
            break;
        }
        garbage_ += garbage;
    }
    Wake();
}

void FaultyTty::HoldOutput(std::size_t capacity) {
    std::lock_guard lock(mutex_);
    held_ = true;
    capacity_ = capacity;
}

void FaultyTty::ReleaseOutput() {
    {
        std::lock_guard lock(mutex_);
        held_ = false;
        FlushHeld();
    }
    Wake();
}

void FaultyTty::FlushHeld() {
    if (device_ >= 0 && !heldBytes_.empty()) {
        [[maybe_unused]] const ssize_t n = ::write(device_, heldBytes_.data(), heldBytes_.size());
    }
    heldBytes_.clear();
}

void FaultyTty::LimitWriteChunk(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    writeChunk_ = bytes;
}

void FaultyTty::Pull(int error) {
    {
        std::lock_guard lock(mutex_);
        pulled_ = true;
        pulledError_ = error;
    }
    Wake();
}

void FaultyTty::Plug() {
    std::lock_guard lock(mutex_);
    pulled_ = replugged_ = false;
}

void FaultyTty::FailAfterHangUp(int error) {
    std::lock_guard lock(mutex_);
    hangUpError_ = error;
}

void FaultyTty::OnNextOutputCount(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    outputCountHook_ = std::move(hook);
}

void FaultyTty::PauseNextReadWait() {
    std::lock_guard lock(mutex_);
    pauseReadWait_ = true;
}

void FaultyTty::AwaitReadWaitPaused() {
    std::unique_lock lock(mutex_);
    resumed_.wait(lock, [this] { return readWaitPaused_; });
}

void FaultyTty::ResumeReadWait() {
    {
        std::lock_guard lock(mutex_);
        pauseReadWait_ = false;
        readWaitPaused_ = false;
    }
    resumed_.notify_all();
}

std::size_t FaultyTty::GarbageRead() const {
    std::lock_guard lock(mutex_);
    return garbageRead_;
}

int FaultyTty::SerialFlags() const {
    std::lock_guard lock(mutex_);
    return serialFlags_;
}

int FaultyTty::Open(const char* path, int flags) {
    {
        std::lock_guard lock(mutex_);
        if (pulled_ && !replugged_)
            return Fail(ENOENT);
    }
    const int fd = ::open(path, flags);
    std::lock_guard lock(mutex_);
    if (fd >= 0) {
        device_ = fd;
        if (replugged_)
            pulled_ = replugged_ = false;
        hangUpError_ = 0;
        garbage_.clear();
        heldBytes_.clear();
    }
    return fd;
}

int FaultyTty::Close(int fd) {
    {
        std::lock_guard lock(mutex_);
        if (IsDevice(fd)) {
            device_ = -1;
            heldBytes_.clear();
        }
    }
    return ::close(fd);
}

ssize_t FaultyTty::Read(int fd, void* data, std::size_t count) {
    {
        std::lock_guard lock(mutex_);
        if (IsDevice(fd) && pulled_)
            return Fail(pulledError_);
        if (IsDevice(fd) && !garbage_.empty()) {
            const std::size_t n = std::min(count, garbage_.size());
            std::memcpy(data, garbage_.data(), n);
            garbage_.erase(0, n);
            garbageRead_ += n;
            return static_cast<ssize_t>(n);
        }
    }
    return ::read(fd, data, count);
}

ssize_t FaultyTty::Write(int fd, const void* data, std::size_t count) {
    std::lock_guard lock(mutex_);
    if (!IsDevice(fd))
        return ::write(fd, data, count);
    if (pulled_)
        return Fail(pulledError_);
    if (writeChunk_ > 0)
        count = std::min(count, writeChunk_);
    if (!held_)
        return ::write(fd, data, count);
    const std::size_t room = capacity_ - heldBytes_.size();
    if (room == 0)
        return Fail(EAGAIN);
    const std::size_t n = std::min(count, room);
    heldBytes_.append(static_cast<const char*>(data), n);
    return static_cast<ssize_t>(n);
}

int FaultyTty::Ioctl(int fd, unsigned long request, void* argument) {
    std::function<void()> hook;
    {
        std::lock_guard lock(mutex_);
        if (!IsDevice(fd))
            return ::ioctl(fd, request, argument);
        if (pulled_)
            return Fail(pulledError_);
        switch (request) {
        case TIOCGICOUNT:
            *static_cast<serial_icounter_struct*>(argument) = counters_;
            return 0;
        case TIOCGSERIAL:
            *static_cast<serial_struct*>(argument) = serial_struct{};
            static_cast<serial_struct*>(argument)->flags = serialFlags_;
            return 0;
        case TIOCSSERIAL:
            serialFlags_ = static_cast<serial_struct*>(argument)->flags;
            return 0;
        case TIOCINQ: {
            const int result = ::ioctl(fd, request, argument);
            if (result == 0)
                *static_cast<int*>(argument) += static_cast<int>(garbage_.size());
            return result;
        }
        case TCFLSH: {
            const long queue = reinterpret_cast<long>(argument);
            if (queue == TCOFLUSH || queue == TCIOFLUSH)
                heldBytes_.clear();
            if (queue == TCIFLUSH || queue == TCIOFLUSH)
                garbage_.clear();
            return ::ioctl(fd, request, argument);
        }
        case TIOCOUTQ:
            hook = std::move(outputCountHook_);
            outputCountHook_ = nullptr;
            break;
        default:
            return ::ioctl(fd, request, argument);
        }
    }
    if (hook)
        hook();
    std::lock_guard lock(mutex_);
    const int result = ::ioctl(fd, request, argument);
    if (result == 0)
        *static_cast<int*>(argument) += static_cast<int>(heldBytes_.size());
    return result;
}

short FaultyTty::FaultEvents(const pollfd& device, bool& pending) {
    short revents = 0;
    if (pulled_)
        revents |= POLLHUP | POLLERR;
    if ((device.events & POLLIN) != 0 && !garbage_.empty())
        revents |= POLLIN;
    if ((device.events & POLLOUT) != 0 && held_ && heldBytes_.size() < capacity_)
        revents |= POLLOUT;
    pending = revents != 0;
    return revents;
}

int FaultyTty::PollWithFaults(pollfd* fds, nfds_t count, int timeoutMs, bool endOnWake) {
    constexpr nfds_t kMost = 8;
    if (count >= kMost)
        return Fail(EINVAL);
    for (;;) {
        pollfd all[kMost];
        std::copy(fds, fds + count, all);
        EventFd& wake = endOnWake ? lineWake_ : dataWake_;
        all[count] = {wake.Fd(), POLLIN, 0};
        {
            std::lock_guard lock(mutex_);
            for (nfds_t i = 0; i < count; ++i) {
                if (!IsDevice(fds[i].fd))
                    continue;
                bool pending = false;
                const short revents = FaultEvents(fds[i], pending);
                if (pending) {
                    for (nfds_t j = 0; j < count; ++j)
                        fds[j].revents = 0;
                    fds[i].revents = revents;
                    return 1;
                }
                if (held_)
                    all[i].events &= static_cast<short>(~POLLOUT);
            }
        }
        const int ready = ::poll(all, count + 1, timeoutMs);
        if (ready <= 0)
            return ready;
        int shown = 0;
        for (nfds_t i = 0; i < count; ++i) {
            fds[i].revents = all[i].revents;
            shown += fds[i].revents != 0;
            std::lock_guard lock(mutex_);
            if (IsDevice(fds[i].fd) && (fds[i].revents & POLLHUP) != 0 && hangUpError_ != 0) {
                pulled_ = true;
                pulledError_ = hangUpError_;
                replugged_ = true;
            }
        }
        if (all[count].revents != 0)
            wake.Reset();
        // A fault shown by this layer ends an event wait like a timeout: the
        // driver then looks at the line again, as it does after the tty woke it.
        if (shown > 0 || endOnWake)
            return shown;
    }
}

int FaultyTty::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
    {
        std::unique_lock lock(mutex_);
        const bool readWait = count > 0 && IsDevice(fds[0].fd) && (fds[0].events & POLLIN) != 0;
        if (readWait && pauseReadWait_ && timeoutMs != 0) {
            pauseReadWait_ = false;
            readWaitPaused_ = true;
            resumed_.notify_all();
            resumed_.wait(lock, [this] { return !readWaitPaused_; });
        }
    }
    return PollWithFaults(fds, count, timeoutMs, false);
}

int FaultyTty::PollLineEvents(pollfd* fds, nfds_t count, int timeoutMs) {
    const int ready = PollWithFaults(fds, count, timeoutMs, true);
    ++wakeups_;
    return ready;
}

int FaultyTty::WaitModemChange(int, int) {
    // No modem line ever changes here: sleep until the watcher is woken to end.
    return ::poll(nullptr, 0, -1);
}

} // namespace dedarida::test
