#include "serial/posix_serial_driver.h"

#include "serial/termios_mapping.h"

#include <algorithm>
#include <asm/termbits.h>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace dedarida {

namespace {

thread_local int tLastError = 0;

constexpr std::uint32_t kForever = 0xFFFFFFFF;

// While received bytes sit unread after being reported, look again at this
// period instead of reporting the same bytes over and over.
constexpr std::chrono::milliseconds kUnreadPause(20);

bool Failed(int error) {
    tLastError = error;
    return false;
}

bool IntervalInUse(const CommTimeouts& t) {
    return t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kForever;
}

// Waiting for a single first byte up to the constant, then returning at once.
bool WaitsForFirstByte(const CommTimeouts& t) {
    return t.ReadIntervalTimeout == kForever && t.ReadTotalTimeoutMultiplier == kForever &&
           t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kForever;
}

int PollTimeout(std::chrono::steady_clock::time_point until) {
    if (until == std::chrono::steady_clock::time_point::max())
        return -1;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT_MAX));
}

} // namespace

PosixSerialDriver::~PosixSerialDriver() {
    Close();
}

bool PosixSerialDriver::Open(const std::string& path) {
    if (path.empty())
        return Failed(ENOENT);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Failed(errno);
    // TIOCEXCL keeps other programs out; flock also keeps out a second open
    // by a privileged user, whom TIOCEXCL lets through.
    if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return Failed(error);
    }
    // USB adapters otherwise hold received bytes for their latency timer.
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &serial);
    }
    fd_ = fd;
    reportedQueue_ = 0;
    countersChecked_ = false;
    outputPending_ = false;
    return true;
}

void PosixSerialDriver::Close() {
    if (fd_ < 0)
        return;
    modemWatcher_.reset();
    // The exclusive flag outlives this descriptor on a pty whose master stays.
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

bool PosixSerialDriver::SetupComm(std::uint32_t inQueue, std::uint32_t) {
    // Linux sizes its tty queues itself; the input size still scales Rx80Full.
    inQueue_ = inQueue;
    return true;
}

bool PosixSerialDriver::SetCommState(const Dcb& dcb) {
    const termios2 settings = TermiosFromDcb(dcb);
    if (ioctl(fd_, TCSETS2, &settings) != 0)
        return Failed(errno);
    bitsPerSecond_ = dcb.BaudRate;
    const int on = ModemLinesOn(dcb);
    const int off = ModemLinesOff(dcb);
    for (const auto& [request, lines] : {std::pair{TIOCMBIS, &on}, std::pair{TIOCMBIC, &off}}) {
        // A pty has no modem lines.
        if (*lines != 0 && ioctl(fd_, request, lines) != 0 && errno != ENOTTY && errno != EINVAL)
            return Failed(errno);
    }
    return true;
}

bool PosixSerialDriver::SetCommTimeouts(const CommTimeouts& timeouts) {
    std::lock_guard lock(timeoutsMutex_);
    timeouts_ = timeouts;
    return true;
}

bool PosixSerialDriver::SetCommMask(std::uint32_t eventBits) {
    mask_ = eventBits;
    return true;
}

bool PosixSerialDriver::InputCount(std::int32_t& count) {
    int queued = 0;
    if (ioctl(fd_, TIOCINQ, &queued) != 0)
        return Failed(errno);
    count = queued;
    return true;
}

bool PosixSerialDriver::Purge(std::uint32_t actions) {
    if ((actions & (purge::TxAbort | purge::RxAbort)) != 0) {
        ++abortGeneration_;
        abort_.Set();
    }
    const bool tx = (actions & purge::TxClear) != 0;
    const bool rx = (actions & purge::RxClear) != 0;
    if (!tx && !rx)
        return true;
    const int queue = tx && rx ? TCIOFLUSH : (tx ? TCOFLUSH : TCIFLUSH);
    if (ioctl(fd_, TCFLSH, queue) != 0)
        return Failed(errno);
    return true;
}

int PosixSerialDriver::LastError() const {
    return tLastError;
}

// ---- transfers ----

PosixSerialDriver::Clock::time_point PosixSerialDriver::Deadline(const Transfer& op,
                                                                 const CommTimeouts& t) const {
    std::uint64_t total = 0;
    if (op.write)
        total = std::uint64_t{t.WriteTotalTimeoutMultiplier} * std::uint64_t(op.count) +
                t.WriteTotalTimeoutConstant;
    else if (WaitsForFirstByte(t))
        total = t.ReadTotalTimeoutConstant;
    else
        total = std::uint64_t{t.ReadTotalTimeoutMultiplier} * std::uint64_t(op.count) +
                t.ReadTotalTimeoutConstant;
    if (total == 0)
        return Clock::time_point::max();
    return op.start + std::chrono::milliseconds(total);
}

bool PosixSerialDriver::ReadReturnsAtOnce(const Transfer& op, const CommTimeouts& t) const {
    if (t.ReadIntervalTimeout == kForever && t.ReadTotalTimeoutMultiplier == 0 &&
        t.ReadTotalTimeoutConstant == 0)
        return true;
    return WaitsForFirstByte(t) && op.done > 0;
}

bool PosixSerialDriver::Finished(const Transfer& op, const CommTimeouts& t) const {
    if (op.done == op.count)
        return true;
    if (!op.write && ReadReturnsAtOnce(op, t))
        return true;
    const auto now = Clock::now();
    if (now >= Deadline(op, t))
        return true;
    return !op.write && IntervalInUse(t) && op.done > 0 &&
           now - op.lastByte >= std::chrono::milliseconds(t.ReadIntervalTimeout);
}

bool PosixSerialDriver::Step(Transfer& op) {
    if (op.generation != abortGeneration_.load())
        return Failed(ECANCELED);
    std::uint8_t* at = op.data + op.done;
    const std::size_t left = static_cast<std::size_t>(op.count - op.done);
    const ssize_t n = op.write ? ::write(fd_, at, left) : ::read(fd_, at, left);
    if (n > 0) {
        op.done += static_cast<std::int32_t>(n);
        if (op.write) {
            outputPending_ = true;
            outputQueued_.Set();
        } else {
            op.lastByte = Clock::now();
            ++readGeneration_;
        }
        return true;
    }
    // Raw mode without a minimum: nothing queued reads as 0, and so does a
    // tty whose far side has gone; only poll tells them apart.
    if (n == 0)
        return op.write || !HungUp() || Failed(EIO);
    return errno == EAGAIN || errno == EINTR || Failed(errno);
}

bool PosixSerialDriver::HungUp() const {
    pollfd fd{fd_, POLLIN, 0};
    return poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool PosixSerialDriver::AwaitReady(const Transfer& op, Clock::time_point deadline) {
    pollfd fds[2] = {{fd_, static_cast<short>(op.write ? POLLOUT : POLLIN), 0},
                     {abort_.Fd(), POLLIN, 0}};
    for (;;) {
        if (op.generation != abortGeneration_.load())
            return Failed(ECANCELED);
        const int timeout = PollTimeout(deadline);
        if (timeout == 0)
            return true;
        const int ready = poll(fds, 2, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Failed(errno);
        if (ready == 0)
            return true;
        if ((fds[1].revents & POLLIN) != 0) {
            if (op.generation != abortGeneration_.load())
                return Failed(ECANCELED);
            abort_.Reset(); // left over from an abort before this operation
            continue;
        }
        if ((fds[0].revents & POLLNVAL) != 0)
            return Failed(EBADF);
        if ((fds[0].revents & (POLLERR | POLLHUP)) != 0) {
            // Bytes that arrived before the hang-up can still be read.
            int queued = 0;
            if (op.write || ioctl(fd_, TIOCINQ, &queued) != 0 || queued == 0)
                return Failed(EIO);
        }
        return true;
    }
}

SerialDriver::Progress PosixSerialDriver::Advance(Transfer& op, bool block) {
    if (!op.begun) {
        op.begun = true;
        op.start = Clock::now();
        op.generation = abortGeneration_.load();
    }
    CommTimeouts t;
    {
        std::lock_guard lock(timeoutsMutex_);
        t = timeouts_;
    }
    for (;;) {
        if (!Step(op))
            return Progress::Failed;
        if (Finished(op, t))
            return Progress::Complete;
        if (!block)
            return Progress::Pending;
        Clock::time_point until = Deadline(op, t);
        if (!op.write && IntervalInUse(t) && op.done > 0)
            until = std::min(until, op.lastByte + std::chrono::milliseconds(t.ReadIntervalTimeout));
        if (!AwaitReady(op, until))
            return Progress::Failed;
    }
}

// ---- line events ----

SerialDriver::WaitOutcome PosixSerialDriver::WaitCommEvent(int stopFd, std::uint32_t& eventBits) {
    for (;;) {
        const std::uint32_t mask = mask_.load();
        const std::uint64_t generation = readGeneration_.load();
        std::int32_t queued = 0;
        if (!InputCount(queued))
            return WaitOutcome::Failed;
        if (queued == 0)
            reportedQueue_ = 0;
        eventBits = 0;
        if (queued > 0 && (queued != reportedQueue_ || generation != reportedGeneration_)) {
            eventBits |= mask & event_bit::RxChar;
            const std::uint64_t full = std::uint64_t{inQueue_.load()} * 8;
            if (full > 0 && std::uint64_t(queued) * 10 >= full)
                eventBits |= mask & event_bit::Rx80Full;
        }
        eventBits |= CounterEvents(mask);
        int unsent = 0;
        if ((mask & event_bit::TxEmpty) != 0 && outputPending_.load()) {
            if (ioctl(fd_, TIOCOUTQ, &unsent) != 0) {
                Failed(errno);
                return WaitOutcome::Failed;
            }
            if (unsent == 0) {
                outputPending_ = false;
                eventBits |= event_bit::TxEmpty;
            }
        }
        if (eventBits != 0) {
            if ((eventBits & event_bit::RxChar) != 0) {
                reportedQueue_ = queued;
                reportedGeneration_ = generation;
            }
            return WaitOutcome::Events;
        }
        const WaitOutcome outcome = AwaitLineChange(stopFd, queued, mask, unsent);
        if (outcome != WaitOutcome::Events)
            return outcome;
    }
}

SerialDriver::WaitOutcome PosixSerialDriver::AwaitLineChange(int stopFd, std::int32_t queued,
                                                             std::uint32_t mask, int unsent) {
    const bool unread = queued > 0;
    const short input = (mask & event_bit::RxChar) != 0 && !unread ? POLLIN : 0;
    const int modem = modemWatcher_ ? modemWatcher_->Fd() : -1; // poll skips -1
    pollfd fds[4] = {
        {stopFd, POLLIN, 0}, {fd_, input, 0}, {outputQueued_.Fd(), POLLIN, 0}, {modem, POLLIN, 0}};
    int timeout = -1;
    if (unread)
        timeout = static_cast<int>(kUnreadPause.count());
    if (unsent > 0) {
        // Time for the unsent bytes at ten bits each, at least a millisecond.
        const auto drain =
            std::int64_t{unsent} * 10'000 / std::max<std::uint32_t>(bitsPerSecond_, 1);
        const int drainMs = static_cast<int>(std::clamp<std::int64_t>(drain, 1, INT_MAX));
        timeout = timeout < 0 ? drainMs : std::min(timeout, drainMs);
    }
    if ((mask & event_bit::TxEmpty) == 0)
        fds[2].fd = -1;
    const int ready = poll(fds, 4, timeout);
    if (ready < 0 && errno != EINTR) {
        Failed(errno);
        return WaitOutcome::Failed;
    }
    if (ready <= 0)
        return WaitOutcome::Events;
    if ((fds[0].revents & POLLIN) != 0)
        return WaitOutcome::Stopped;
    if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        Failed(EIO);
        return WaitOutcome::Failed;
    }
    if ((fds[2].revents & POLLIN) != 0)
        outputQueued_.Reset();
    if ((fds[3].revents & POLLIN) != 0)
        modemWatcher_->Reset();
    return WaitOutcome::Events;
}

std::uint32_t PosixSerialDriver::CounterEvents(std::uint32_t mask) {
    constexpr std::uint32_t modemBits =
        event_bit::CTS | event_bit::DSR | event_bit::Ring | event_bit::RLSD;
    if (!countersChecked_) {
        countersChecked_ = true;
        countersKnown_ = ioctl(fd_, TIOCGICOUNT, &counters_) == 0;
        if (countersKnown_ && (mask & modemBits) != 0)
            modemWatcher_ = std::make_unique<ModemWatcher>(fd_);
    }
    serial_icounter_struct now{};
    if (!countersKnown_ || ioctl(fd_, TIOCGICOUNT, &now) != 0)
        return 0;
    std::uint32_t bits = 0;
    const auto changed = [&](int serial_icounter_struct::*field, std::uint32_t bit) {
        if (now.*field != counters_.*field)
            bits |= bit;
    };
    changed(&serial_icounter_struct::cts, event_bit::CTS);
    changed(&serial_icounter_struct::dsr, event_bit::DSR);
    changed(&serial_icounter_struct::rng, event_bit::Ring);
    changed(&serial_icounter_struct::dcd, event_bit::RLSD);
    changed(&serial_icounter_struct::brk, event_bit::Break);
    changed(&serial_icounter_struct::frame, event_bit::Error);
    changed(&serial_icounter_struct::parity, event_bit::Error);
    changed(&serial_icounter_struct::overrun, event_bit::Error);
    changed(&serial_icounter_struct::buf_overrun, event_bit::Error);
    counters_ = now;
    return bits & mask;
}

} // namespace dedarida
