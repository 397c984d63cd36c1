#include "serial/driver/serial_driver_win32.h"

#include "serial/drain_bound.h"
#include "serial/driver/dcb_mapping_win32.h"
#include "serial/ecomport.h"
#include "serial/same_device.h"
#include "text/utf16.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

namespace dedarida {

namespace {

thread_local DWORD tLastError = 0;

// ERROR_NO_SUCH_DEVICE, which mingw-w64's headers lack: what a removed USB
// adapter's driver may give.
constexpr DWORD kErrorNoSuchDevice = 433;

constexpr DWORD kModemLineEvents =
    event_bit::CTS | event_bit::DSR | event_bit::RLSD | event_bit::Ring;

// How long an operation may take to end once it has been cancelled.
constexpr DWORD kCancelLimitMs = 2000;

// How often an event wait that keeps ending as aborted is re-armed while no
// data comes; as long as the event thread pauses after any other failed wait.
constexpr DWORD kRearmPauseMs = 100;

// How often the result of an event wait whose event is set is looked at
// before the wait counts as aborted.
constexpr int kResultLooks = 3;

// The look-ahead read waits for its byte without a time limit.
constexpr COMMTIMEOUTS kLookaheadTimeouts{0, 0, 0, 0, 0};

bool Failed(DWORD error) {
    tLastError = error;
    return false;
}

SerialDriver::Progress FailedProgress(DWORD error) {
    Failed(error);
    return SerialDriver::Progress::Failed;
}

HANDLE NewEvent(BOOL manualReset) {
    const HANDLE event = CreateEventA(nullptr, manualReset, FALSE, nullptr);
    if (event == nullptr)
        throw EComPort("Unable to create event: " + std::to_string(GetLastError()));
    return event;
}

// The name of the tool's own lock on the device `path`, the same for every
// spelling of it; a name holds no backslash after its namespace, and at most
// MAX_PATH characters, so a long one is hashed (FNV-1a).
std::wstring LockName(const std::string& path) {
    std::string key = DeviceKey(path);
    std::replace(key.begin(), key.end(), '\\', '/');
    if (key.size() > 200) {
        std::uint64_t hash = 14695981039346656037u;
        for (const char c : key)
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
        key = std::to_string(hash);
    }
    return L"Global\\dedarida-port-" + Utf16FromUtf8(key);
}

// Cancels the operation of `overlapped` and waits for it to end.
bool CancelAndWait(HANDLE handle, OVERLAPPED& overlapped, HANDLE done) {
    if (WaitForSingleObject(done, 0) == WAIT_OBJECT_0)
        return true;
    CancelIoEx(handle, &overlapped);
    return WaitForSingleObject(done, kCancelLimitMs) == WAIT_OBJECT_0;
}

} // namespace

Win32SerialDriver::Win32SerialDriver() {
    for (Slot& slot : slots_)
        slot.done = NewEvent(TRUE);
    eventWaitDone_ = NewEvent(TRUE);
    lookahead_.done = NewEvent(TRUE);
    readEnded_ = NewEvent(FALSE);
}

Win32SerialDriver::~Win32SerialDriver() {
    Close();
    for (Slot& slot : slots_)
        CloseHandle(slot.done);
    CloseHandle(eventWaitDone_);
    CloseHandle(lookahead_.done);
    CloseHandle(readEnded_);
}

bool Win32SerialDriver::Open(const std::string& path) {
    if (path.empty())
        return Failed(ERROR_FILE_NOT_FOUND);
    // Wine lets a second program open a port in use: the tool's own lock
    // keeps a second copy of it off the device all the same, as "in use".
    const HANDLE portLock = CreateMutexW(nullptr, FALSE, LockName(path).c_str());
    if (portLock == nullptr)
        return Failed(GetLastError());
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(portLock);
        return Failed(ERROR_ACCESS_DENIED);
    }
    // No sharing: a second program gets ERROR_ACCESS_DENIED.
    const HANDLE handle = CreateFileW(Utf16FromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        CloseHandle(portLock);
        return Failed(error);
    }
    portLock_ = portLock;
    handle_ = handle;
    abortsInRow_ = 0;
    std::lock_guard lock(lineErrorsMutex_);
    lineErrors_ = {};
    return true;
}

void Win32SerialDriver::Close() {
    std::lock_guard lock(slotsMutex_);
    const HANDLE handle = handle_.exchange(INVALID_HANDLE_VALUE);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    // The buffers are the driver's, but an operation must end before the
    // slot is used again.
    for (Slot& slot : slots_) {
        if (slot.ticket != 0)
            CancelAndWait(handle, slot.overlapped, slot.done);
        slot.ticket = 0;
    }
    if (lookahead_.pending)
        CancelAndWait(handle, lookahead_.overlapped, lookahead_.done);
    lookahead_.pending = false;
    lookahead_.holding = false;
    lookaheadTimeouts_ = false;
    CloseHandle(handle);
    CloseHandle(portLock_);
    portLock_ = nullptr;
}

bool Win32SerialDriver::SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) {
    return ::SetupComm(handle_, inQueue, outQueue) || Failed(GetLastError());
}

bool Win32SerialDriver::SetCommState(const Dcb& dcb) {
    DCB current{};
    current.DCBlength = sizeof current;
    if (!GetCommState(handle_, &current))
        return Failed(GetLastError());
    DCB wanted = Win32Dcb(dcb, current);
    if (!::SetCommState(handle_, &wanted))
        return Failed(GetLastError());
    bitsPerSecond_ = dcb.BaudRate;
    return true;
}

bool Win32SerialDriver::SetCommTimeouts(const CommTimeouts& timeouts) {
    COMMTIMEOUTS t{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                   timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                   timeouts.WriteTotalTimeoutConstant};
    std::lock_guard lock(slotsMutex_);
    if (!::SetCommTimeouts(handle_, &t))
        return Failed(GetLastError());
    timeouts_ = t;
    lookaheadTimeouts_ = false;
    writeMultiplierMs_ = timeouts.WriteTotalTimeoutMultiplier;
    writeConstantMs_ = timeouts.WriteTotalTimeoutConstant;
    return true;
}

bool Win32SerialDriver::SetCommMask(std::uint32_t eventBits) {
    mask_ = eventBits;
    return ::SetCommMask(handle_, eventBits) || Failed(GetLastError());
}

bool Win32SerialDriver::CommStatus(COMSTAT& status) {
    DWORD errors = 0;
    if (!ClearCommError(handle_, &errors, &status))
        return false;
    // The system reports which errors happened since the last look, not how
    // often: each look that finds one counts it once.
    if (errors != 0) {
        std::lock_guard lock(lineErrorsMutex_);
        lineErrors_.framing += (errors & CE_FRAME) != 0;
        lineErrors_.parity += (errors & CE_RXPARITY) != 0;
        lineErrors_.overrun += (errors & (CE_OVERRUN | CE_RXOVER)) != 0;
        lineErrors_.breaks += (errors & CE_BREAK) != 0;
    }
    return true;
}

LineErrorCounts Win32SerialDriver::LineErrors() const {
    std::lock_guard lock(lineErrorsMutex_);
    return lineErrors_;
}

bool Win32SerialDriver::InputCount(std::int32_t& count) {
    COMSTAT status{};
    if (!CommStatus(status))
        return Failed(GetLastError());
    std::lock_guard lock(slotsMutex_);
    CollectLookahead();
    count = static_cast<std::int32_t>(
        std::min<DWORD>(status.cbInQue + (lookahead_.holding ? 1 : 0), INT32_MAX));
    return true;
}

bool Win32SerialDriver::Purge(std::uint32_t actions) {
    const HANDLE handle = handle_;
    {
        std::lock_guard lock(slotsMutex_);
        // PURGE_RXABORT alone does not end a pending ReadFile everywhere.
        for (int write = 0; write < 2; ++write) {
            const std::uint32_t abort = write != 0 ? purge::TxAbort : purge::RxAbort;
            if ((actions & abort) != 0 && slots_[write].ticket != 0)
                CancelIoEx(handle, &slots_[write].overlapped);
        }
        // The look-ahead's byte is part of the input queue.
        if ((actions & purge::RxClear) != 0) {
            CollectLookahead();
            lookahead_.holding = false;
        }
    }
    return PurgeComm(handle, actions) || Failed(GetLastError());
}

bool Win32SerialDriver::IsLineLost(int error) const {
    // What a pulled USB adapter or a hung-up line gives, never a line-status
    // error or an abort.
    switch (static_cast<DWORD>(error)) {
    case ERROR_INVALID_HANDLE:
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BROKEN_PIPE:
    case kErrorNoSuchDevice:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return true;
    default:
        return false;
    }
}

int Win32SerialDriver::LastError() const {
    return static_cast<int>(tLastError);
}

// ---- transfers ----

bool Win32SerialDriver::Issue(Slot& slot, Transfer& op) {
    const DWORD chunk = std::min<DWORD>(static_cast<DWORD>(op.count - op.done), kChunkBytes);
    if (!op.write && !RestoreTimeouts())
        return false;
    if (op.write) {
        std::memcpy(slot.buffer.data(), op.data + op.done, chunk);
        const auto limit =
            std::chrono::milliseconds(std::uint64_t{writeMultiplierMs_} * chunk + writeConstantMs_);
        lastWriteLimit_ = (std::chrono::steady_clock::now() + limit).time_since_epoch().count();
    }
    slot.overlapped = OVERLAPPED{};
    slot.overlapped.hEvent = slot.done;
    ResetEvent(slot.done);
    slot.requested = chunk;
    slot.ticket = op.generation;
    const BOOL finished =
        op.write ? WriteFile(handle_, slot.buffer.data(), chunk, nullptr, &slot.overlapped)
                 : ReadFile(handle_, slot.buffer.data(), chunk, nullptr, &slot.overlapped);
    if (!finished && GetLastError() != ERROR_IO_PENDING) {
        slot.ticket = 0;
        return Failed(GetLastError());
    }
    return true;
}

void Win32SerialDriver::FreeSlot(Slot& slot, const Transfer& op) {
    slot.ticket = 0;
    if (!op.write)
        SetEvent(readEnded_);
}

bool Win32SerialDriver::Reclaim(Slot& slot, std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    const bool ended = CancelAndWait(handle_, slot.overlapped, slot.done);
    lock.lock();
    if (!ended)
        return Failed(WAIT_TIMEOUT);
    slot.ticket = 0;
    return true;
}

SerialDriver::Progress Win32SerialDriver::Advance(Transfer& op, bool block) {
    Slot& slot = slots_[op.write ? 1 : 0];
    std::unique_lock lock(slotsMutex_);
    if (!op.begun) {
        op.begun = true;
        op.start = std::chrono::steady_clock::now();
        if (slot.ticket != 0 && !Reclaim(slot, lock))
            return Progress::Failed;
        op.generation = ++lastTicket_;
        if (!op.write) {
            if (!StopLookahead())
                return Progress::Failed;
            if (lookahead_.holding) {
                op.data[op.done++] = lookahead_.byte;
                op.lastByte = std::chrono::steady_clock::now();
                lookahead_.holding = false;
                if (op.done == op.count)
                    return Progress::Complete;
            }
        }
        if (!Issue(slot, op))
            return Progress::Failed;
    } else if (slot.ticket != op.generation) {
        // Dropped by an abort or a close.
        return FailedProgress(ERROR_OPERATION_ABORTED);
    }
    for (;;) {
        DWORD moved = 0;
        if (!GetOverlappedResult(handle_, &slot.overlapped, &moved, FALSE)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_INCOMPLETE) {
                FreeSlot(slot, op);
                return FailedProgress(error);
            }
            if (!block)
                return Progress::Pending;
            // Bounded by the timeouts; an abort or a close ends it early.
            lock.unlock();
            WaitForSingleObject(slot.done, INFINITE);
            lock.lock();
            if (slot.ticket != op.generation)
                return FailedProgress(ERROR_OPERATION_ABORTED);
            continue;
        }
        if (!op.write)
            std::memcpy(op.data + op.done, slot.buffer.data(), moved);
        op.done += static_cast<std::int32_t>(moved);
        if (moved > 0)
            op.lastByte = std::chrono::steady_clock::now();
        FreeSlot(slot, op);
        // A short chunk means the timeouts ended the transfer.
        if (moved < slot.requested || op.done == op.count)
            return Progress::Complete;
        if (!Issue(slot, op))
            return Progress::Failed;
    }
}

void Win32SerialDriver::DrainOutput() {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> limit;
    for (;;) {
        COMSTAT status{};
        if (handle_ == INVALID_HANDLE_VALUE || !CommStatus(status) || status.cbOutQue == 0)
            return;
        const auto now = Clock::now();
        if (!limit)
            limit = DrainDeadline(now, status.cbOutQue, bitsPerSecond_,
                                  Clock::time_point{Clock::duration(lastWriteLimit_.load())});
        if (now >= *limit)
            return;
        // The wire time of what is left, ten bits a byte.
        const auto wire = std::chrono::milliseconds(1 + std::uint64_t{status.cbOutQue} * 10'000 /
                                                            std::max<DWORD>(bitsPerSecond_, 1));
        Sleep(static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(
                                     std::min<Clock::duration>(wire, *limit - now))
                                     .count()));
    }
}

// ---- line events ----

bool Win32SerialDriver::LineAnswers() {
    COMSTAT status{};
    return CommStatus(status) || Failed(GetLastError());
}

bool Win32SerialDriver::RestoreTimeouts() {
    if (!lookaheadTimeouts_)
        return true;
    if (!::SetCommTimeouts(handle_, &timeouts_))
        return Failed(GetLastError());
    lookaheadTimeouts_ = false;
    return true;
}

bool Win32SerialDriver::IssueLookahead() {
    if (!lookaheadTimeouts_) {
        COMMTIMEOUTS timeouts = kLookaheadTimeouts;
        timeouts.WriteTotalTimeoutMultiplier = timeouts_.WriteTotalTimeoutMultiplier;
        timeouts.WriteTotalTimeoutConstant = timeouts_.WriteTotalTimeoutConstant;
        if (!::SetCommTimeouts(handle_, &timeouts))
            return Failed(GetLastError());
        lookaheadTimeouts_ = true;
    }
    lookahead_.overlapped = OVERLAPPED{};
    lookahead_.overlapped.hEvent = lookahead_.done;
    ResetEvent(lookahead_.done);
    if (!ReadFile(handle_, &lookahead_.byte, 1, nullptr, &lookahead_.overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        return Failed(GetLastError());
    lookahead_.pending = true;
    return true;
}

void Win32SerialDriver::CollectLookahead() {
    if (!lookahead_.pending || WaitForSingleObject(lookahead_.done, 0) != WAIT_OBJECT_0)
        return;
    DWORD moved = 0;
    const bool ended = GetOverlappedResult(handle_, &lookahead_.overlapped, &moved, FALSE);
    // Its result not stored yet (wine): still under way.
    if (!ended && GetLastError() == ERROR_IO_INCOMPLETE)
        return;
    lookahead_.pending = false;
    lookahead_.holding = ended && moved == 1;
    // Cancelled for a read of the port's own, it took nothing from anyone.
    lookahead_.failed = !lookahead_.holding && (ended || GetLastError() != ERROR_OPERATION_ABORTED);
}

bool Win32SerialDriver::StopLookahead() {
    if (lookahead_.pending && !CancelAndWait(handle_, lookahead_.overlapped, lookahead_.done))
        return Failed(WAIT_TIMEOUT);
    CollectLookahead();
    return true;
}

Win32SerialDriver::DataWait Win32SerialDriver::WaitForData(HANDLE stop, DWORD limitMs) {
    HANDLE wakers[2] = {stop, nullptr};
    DWORD waitMs = limitMs;
    {
        std::lock_guard lock(slotsMutex_);
        CollectLookahead();
        // After a look-ahead that failed (a hang-up), only the limit: the next
        // event wait tells what happened, and a read that keeps failing
        // cannot spin.
        if (std::exchange(lookahead_.failed, false) || (mask_ & event_bit::RxChar) == 0)
            wakers[1] = nullptr;
        else if (lookahead_.holding)
            return DataWait::Arrived;
        else if (slots_[0].ticket != 0)
            wakers[1] = readEnded_; // that read takes what comes; look again after it
        else if (lookahead_.pending || IssueLookahead()) {
            // No event wait is armed meanwhile: where waits keep ending at
            // once, they tell of nothing but arriving data, which this does.
            wakers[1] = lookahead_.done;
            waitMs = INFINITE;
        }
    }
    const DWORD woken = WaitForMultipleObjects(wakers[1] != nullptr ? 2 : 1, wakers, FALSE, waitMs);
    if (woken == WAIT_OBJECT_0)
        return DataWait::Stopped;
    if (woken == WAIT_OBJECT_0 + 1 && wakers[1] == lookahead_.done) {
        std::lock_guard lock(slotsMutex_);
        CollectLookahead();
        if (lookahead_.holding)
            return DataWait::Arrived;
    }
    return DataWait::TimedOut;
}

bool Win32SerialDriver::EventWaitResult() {
    DWORD unused = 0;
    for (int look = 0; look < kResultLooks; ++look) {
        if (GetOverlappedResult(handle_, &eventWait_, &unused, FALSE))
            return true;
        if (GetLastError() != ERROR_IO_INCOMPLETE)
            return false;
        WaitForSingleObject(eventWaitDone_, 0);
    }
    SetLastError(ERROR_OPERATION_ABORTED);
    return false;
}

void Win32SerialDriver::EndEventWait() {
    // A new mask ends the wait at once, where cancelling may not.
    ::SetCommMask(handle_, mask_);
    if (WaitForSingleObject(eventWaitDone_, kCancelLimitMs) != WAIT_OBJECT_0)
        CancelAndWait(handle_, eventWait_, eventWaitDone_);
    DWORD unused = 0;
    GetOverlappedResult(handle_, &eventWait_, &unused, FALSE);
}

SerialDriver::WaitOutcome Win32SerialDriver::WaitCommEvent(const EventFd& stopEvent,
                                                           std::uint32_t& eventBits) {
    const HANDLE stop = LongToHandle(stopEvent.Fd());
    for (;;) {
        if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0)
            return WaitOutcome::Stopped;
        eventWait_ = OVERLAPPED{};
        eventWait_.hEvent = eventWaitDone_;
        waitedEvents_ = 0;
        // Wine leaves the event of the last wait set; a set event would end
        // the next wait before its operation has.
        ResetEvent(eventWaitDone_);
        bool ended = ::WaitCommEvent(handle_, &waitedEvents_, &eventWait_);
        if (!ended && GetLastError() == ERROR_IO_PENDING) {
            const HANDLE both[2] = {stop, eventWaitDone_};
            if (WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0) {
                EndEventWait();
                return WaitOutcome::Stopped;
            }
            ended = EventWaitResult();
        }
        if (!ended) {
            const DWORD error = GetLastError();
            // A port without modem status lines (wine on a pty, some virtual
            // ports) refuses to wait for their changes: wait for the rest.
            if (error == ERROR_NOT_SUPPORTED && (mask_ & kModemLineEvents) != 0 &&
                ::SetCommMask(handle_, mask_ & ~kModemLineEvents)) {
                mask_ &= ~kModemLineEvents;
                continue;
            }
            // Ended by a mask change, or by wine when a pty has no modem lines
            // (then every wait ends so, within milliseconds); a lost line fails
            // the look at its status.
            if (error == ERROR_OPERATION_ABORTED) {
                if (!LineAnswers())
                    return WaitOutcome::Failed;
                // The first re-arms at once: a mask change ends a wait so.
                if (++abortsInRow_ == 1)
                    continue;
                switch (WaitForData(stop, kRearmPauseMs)) {
                case DataWait::Stopped:
                    return WaitOutcome::Stopped;
                case DataWait::Arrived:
                    eventBits = event_bit::RxChar;
                    return WaitOutcome::Events;
                case DataWait::TimedOut:
                    continue;
                }
            }
            Failed(error);
            return WaitOutcome::Failed;
        }
        abortsInRow_ = 0;
        // A mask change ends the wait with no events.
        eventBits = waitedEvents_ & mask_;
        if (eventBits != 0)
            return WaitOutcome::Events;
    }
}

} // namespace dedarida
