#include "serial/driver/serial_driver_posix.h"

#include "serial/drain_bound.h"
#include "serial/driver/termios_mapping_posix.h"

#include <algorithm>
#include <asm/termbits.h>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/serial.h>
#include <optional>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>

namespace dedarida {

namespace {

thread_local int tLastError = 0;

constexpr std::uint32_t kForever = 0xFFFFFFFF;

// Limits beyond this (the multipliers allow about 290 million years) mean no
// limit; the clock could not hold them.
constexpr std::uint64_t kLongestLimitMs = std::uint64_t{1} << 40;

// Looking again at input left unread or output not yet sent starts at these
// delays and doubles, up to the last, while nothing moves.
constexpr int kUnreadDelayMs = 20;
constexpr int kLongestWatchDelayMs = 250;

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

// Time for `bytes` on the wire at ten bits each, at least a millisecond.
std::int64_t WireTimeMs(std::int64_t bytes, std::uint32_t bitsPerSecond) {
    return std::max<std::int64_t>(bytes * 10'000 / std::max<std::uint32_t>(bitsPerSecond, 1), 1);
}

// The next delay of a watch: `firstMs` (at most the longest) after a change,
// otherwise the last one doubled up to the longest.
int NextWatchDelay(int lastMs, bool unchanged, std::int64_t firstMs) {
    if (unchanged && lastMs > 0)
        return std::min(lastMs * 2, kLongestWatchDelayMs);
    return static_cast<int>(std::min<std::int64_t>(firstMs, kLongestWatchDelayMs));
}

} // namespace

PosixSerialDriver::~PosixSerialDriver() {
    Close();
}

bool PosixSerialDriver::Open(const std::string& path) {
    if (path.empty())
        return Failed(ENOENT);
    const int fd = calls_.Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Failed(errno);
    // TIOCEXCL keeps other programs out; flock also keeps out a second open
    // by a privileged user, whom TIOCEXCL lets through.
    if (calls_.Ioctl(fd, TIOCEXCL, nullptr) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        calls_.Close(fd);
        return Failed(error);
    }
    // USB adapters otherwise hold received bytes for their latency timer.
    serial_struct serial{};
    serialFlagsSaved_ = false;
    if (calls_.Ioctl(fd, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) == 0) {
        savedSerialFlags_ = serial.flags;
        serial.flags |= ASYNC_LOW_LATENCY;
        serialFlagsSaved_ = calls_.Ioctl(fd, TIOCSSERIAL, &serial) == 0;
    }
    fd_ = fd;
    seen_ = {};
    txEmptyGeneration_ = writeGeneration_.load();
    watchDelayMs_ = 0;
    // Errors from here on are events; what the counters held before is not.
    countersKnown_ = calls_.Ioctl(fd, TIOCGICOUNT, &counters_) == 0;
    openCounters_ = counters_;
    {
        std::lock_guard lock(lineErrorsMutex_);
        lineErrors_ = {};
    }
    modemWatched_ = false;
    lastWriteLimit_ = 0;
    return true;
}

void PosixSerialDriver::Close() {
    if (fd_ < 0)
        return;
    modemWatcher_.reset();
    RestoreSerialFlags();
    // The exclusive flag outlives this descriptor on a pty whose master stays.
    calls_.Ioctl(fd_, TIOCNXCL, nullptr);
    calls_.Close(fd_);
    fd_ = -1;
}

// Low latency is a setting of the device, not of this descriptor: the next
// program finds the port as this one found it.
void PosixSerialDriver::RestoreSerialFlags() {
    serial_struct serial{};
    if (serialFlagsSaved_ && calls_.Ioctl(fd_, TIOCGSERIAL, &serial) == 0) {
        serial.flags = savedSerialFlags_;
        calls_.Ioctl(fd_, TIOCSSERIAL, &serial);
    }
    serialFlagsSaved_ = false;
}

bool PosixSerialDriver::SetupComm(std::uint32_t inQueue, std::uint32_t) {
    // Linux sizes its tty queues itself; the input size still scales Rx80Full.
    inQueue_ = inQueue;
    return true;
}

bool PosixSerialDriver::SetCommState(const Dcb& dcb) {
    termios2 settings = TermiosFromDcb(dcb);
    if (calls_.Ioctl(fd_, TCSETS2, &settings) != 0)
        return Failed(errno);
    bitsPerSecond_ = dcb.BaudRate;
    int on = ModemLinesOn(dcb);
    int off = ModemLinesOff(dcb);
    for (const auto& [request, lines] : {std::pair{TIOCMBIS, &on}, std::pair{TIOCMBIC, &off}}) {
        // A pty has no modem lines.
        if (*lines != 0 && calls_.Ioctl(fd_, request, lines) != 0 && errno != ENOTTY &&
            errno != EINVAL)
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
    if (calls_.Ioctl(fd_, TIOCINQ, &queued) != 0)
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
    int queue = tx && rx ? TCIOFLUSH : (tx ? TCOFLUSH : TCIFLUSH);
    if (calls_.Ioctl(fd_, TCFLSH, reinterpret_cast<void*>(static_cast<long>(queue))) != 0)
        return Failed(errno);
    return true;
}

bool PosixSerialDriver::IsLineLost(int error) const {
    return error == EIO || error == ENXIO || error == ENODEV;
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
    if (total == 0 || total >= kLongestLimitMs)
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

bool PosixSerialDriver::Step(Transfer& op, const CommTimeouts& t) {
    if (op.generation != abortGeneration_.load())
        return Failed(ECANCELED);
    std::uint8_t* at = op.data + op.done;
    const std::size_t left = static_cast<std::size_t>(op.count - op.done);
    const ssize_t n = op.write ? calls_.Write(fd_, at, left) : calls_.Read(fd_, at, left);
    if (n > 0) {
        op.done += static_cast<std::int32_t>(n);
        if (op.write) {
            Clock::time_point limit = Deadline(op, t);
            if (limit == Clock::time_point::max())
                limit = Clock::now() + std::chrono::milliseconds(
                                           1000 + WireTimeMs(op.count, bitsPerSecond_.load()));
            lastWriteLimit_ = std::max(lastWriteLimit_.load(), limit.time_since_epoch().count());
            ++writeGeneration_;
        } else {
            op.lastByte = Clock::now();
            ++readGeneration_;
        }
        transferred_.Set();
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
    return calls_.Poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool PosixSerialDriver::AwaitReady(const Transfer& op, Clock::time_point deadline) {
    pollfd fds[2] = {{fd_, static_cast<short>(op.write ? POLLOUT : POLLIN), 0},
                     {abort_.Fd(), POLLIN, 0}};
    struct Waiting {
        std::atomic<int>& count;
        explicit Waiting(std::atomic<int>& c) : count(c) { ++count; }
        ~Waiting() { --count; }
    } waiting(abortWaiters_);
    for (;;) {
        if (op.generation != abortGeneration_.load())
            return Failed(ECANCELED);
        const int timeout = PollTimeout(deadline);
        if (timeout == 0)
            return true;
        const int ready = calls_.Poll(fds, 2, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Failed(errno);
        if (ready == 0)
            return true;
        if ((fds[1].revents & POLLIN) != 0) {
            if (op.generation != abortGeneration_.load())
                return Failed(ECANCELED);
            // Left over from an abort before this operation. A transfer of the
            // other direction may still have to see it: leave it to that one.
            if (abortWaiters_.load() == 1) {
                abort_.Reset();
            } else if (fds[0].revents == 0) {
                pollfd device = fds[0];
                calls_.Poll(&device, 1, 1);
            }
            if (fds[0].revents == 0)
                continue;
        }
        if ((fds[0].revents & POLLNVAL) != 0)
            return Failed(EBADF);
        if ((fds[0].revents & (POLLERR | POLLHUP)) != 0) {
            // Bytes that arrived before the hang-up can still be read.
            int queued = 0;
            if (op.write || calls_.Ioctl(fd_, TIOCINQ, &queued) != 0 || queued == 0)
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
    if (block && op.write && !op.waitedOn) {
        op.waitedOn = true;
        op.start = Clock::now();
    }
    CommTimeouts t;
    {
        std::lock_guard lock(timeoutsMutex_);
        t = timeouts_;
    }
    for (;;) {
        if (!Step(op, t))
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

void PosixSerialDriver::DrainOutput() {
    std::optional<Clock::time_point> limit;
    int delayMs = 0;
    int before = -1;
    for (;;) {
        int unsent = 0;
        if (fd_ < 0 || calls_.Ioctl(fd_, TIOCOUTQ, &unsent) != 0 || unsent <= 0)
            return;
        if (!limit)
            limit = DrainDeadline(Clock::now(), static_cast<std::uint64_t>(unsent), bitsPerSecond_,
                                  Clock::time_point{Clock::duration(lastWriteLimit_.load())});
        const int left = PollTimeout(*limit);
        if (left == 0)
            return;
        delayMs = NextWatchDelay(delayMs, unsent == before, WireTimeMs(unsent, bitsPerSecond_));
        before = unsent;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(delayMs, left)));
    }
}

// ---- line events ----

SerialDriver::WaitOutcome PosixSerialDriver::WaitCommEvent(const EventFd& stop,
                                                           std::uint32_t& eventBits) {
    for (;;) {
        const std::uint32_t mask = mask_.load();
        Watch now;
        now.readGeneration = readGeneration_.load();
        if (!InputCount(now.queued))
            return WaitOutcome::Failed;
        eventBits = 0;
        if (now.queued > 0 &&
            (now.queued != seen_.queued || now.readGeneration != seen_.readGeneration)) {
            eventBits |= mask & event_bit::RxChar;
            const std::uint64_t full = std::uint64_t{inQueue_.load()} * 8;
            if (full > 0 && std::uint64_t(now.queued) * 10 >= full)
                eventBits |= mask & event_bit::Rx80Full;
        }
        // Input counts as seen whichever of its events the mask selects.
        seen_.queued = now.queued;
        seen_.readGeneration = now.readGeneration;
        eventBits |= CounterEvents(mask);
        const std::uint64_t writes = writeGeneration_.load();
        if ((mask & event_bit::TxEmpty) != 0 && writes != txEmptyGeneration_) {
            if (calls_.Ioctl(fd_, TIOCOUTQ, &now.unsent) != 0) {
                Failed(errno);
                return WaitOutcome::Failed;
            }
            if (now.unsent == 0) {
                txEmptyGeneration_ = writes;
                eventBits |= event_bit::TxEmpty;
            }
        }
        if (eventBits != 0) {
            watchDelayMs_ = 0;
            return WaitOutcome::Events;
        }
        const WaitOutcome outcome = AwaitLineChange(stop.Fd(), now, mask);
        if (outcome != WaitOutcome::Events)
            return outcome;
    }
}

int PosixSerialDriver::WatchDelay(const Watch& watch) {
    watchDelayMs_ = NextWatchDelay(watchDelayMs_, watch == seen_,
                                   watch.unsent > 0 ? WireTimeMs(watch.unsent, bitsPerSecond_)
                                                    : kUnreadDelayMs);
    seen_.unsent = watch.unsent;
    return watchDelayMs_;
}

SerialDriver::WaitOutcome PosixSerialDriver::AwaitLineChange(int stopFd, const Watch& watch,
                                                             std::uint32_t mask) {
    const bool watchesInput = (mask & (event_bit::RxChar | event_bit::Rx80Full)) != 0;
    const bool unread = watch.queued > 0;
    // Readable input stays readable: while some is unread, only a read or
    // the timed look below can show that more has come.
    const short input = watchesInput && !unread ? POLLIN : 0;
    const bool watchesTransfers = (mask & event_bit::TxEmpty) != 0 || watchesInput;
    const int modem = modemWatcher_ ? modemWatcher_->Fd() : -1; // poll skips -1
    pollfd fds[4] = {{stopFd, POLLIN, 0},
                     {fd_, input, 0},
                     {watchesTransfers ? transferred_.Fd() : -1, POLLIN, 0},
                     {modem, POLLIN, 0}};
    const bool timed = (watchesInput && unread) || watch.unsent > 0;
    const int timeout = timed ? WatchDelay(watch) : -1;
    const int ready = calls_.PollLineEvents(fds, 4, timeout);
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
        transferred_.Reset();
    if ((fds[3].revents & POLLIN) != 0)
        modemWatcher_->Reset();
    return WaitOutcome::Events;
}

std::uint32_t PosixSerialDriver::CounterEvents(std::uint32_t mask) {
    constexpr std::uint32_t modemBits =
        event_bit::CTS | event_bit::DSR | event_bit::Ring | event_bit::RLSD;
    if (!modemWatched_) {
        modemWatched_ = true;
        if (countersKnown_ && (mask & modemBits) != 0)
            modemWatcher_ = std::make_unique<ModemWatcher>(fd_, calls_);
    }
    serial_icounter_struct now{};
    if (!countersKnown_ || calls_.Ioctl(fd_, TIOCGICOUNT, &now) != 0)
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
    const auto since = [&](int serial_icounter_struct::*field) {
        return static_cast<std::uint32_t>(now.*field - openCounters_.*field);
    };
    {
        std::lock_guard lock(lineErrorsMutex_);
        lineErrors_ = {
            since(&serial_icounter_struct::frame), since(&serial_icounter_struct::parity),
            since(&serial_icounter_struct::overrun) + since(&serial_icounter_struct::buf_overrun),
            since(&serial_icounter_struct::brk)};
    }
    return bits & mask;
}

LineErrorCounts PosixSerialDriver::LineErrors() const {
    std::lock_guard lock(lineErrorsMutex_);
    return lineErrors_;
}

} // namespace dedarida
