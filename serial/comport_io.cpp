#include "serial/async_record.h"
#include "serial/comport.h"
#include "serial/driver/platform_serial_driver.h"

#include <memory>
#include <vector>

namespace dedarida {

namespace {

using Progress = SerialDriver::Progress;

// No driver call failed, so there is no line to report lost.
[[noreturn]] void Refuse(const char* text, PortRefusal refusal) {
    throw EComPort(text + std::to_string(PlatformErrorFor(refusal)));
}

} // namespace

std::int32_t TComPort::Write(const void* Buffer, std::int32_t Count, bool Wait) {
    // The driver only reads from a write's buffer.
    auto* data = const_cast<std::uint8_t*>(static_cast<const std::uint8_t*>(Buffer));
    return StartTransfer(kWrite, data, Count, Wait);
}

std::int32_t TComPort::Read(void* Buffer, std::int32_t Count, bool Wait) {
    return StartTransfer(kRead, static_cast<std::uint8_t*>(Buffer), Count, Wait);
}

std::int32_t TComPort::StartTransfer(Direction direction, std::uint8_t* data, std::int32_t count,
                                     bool wait) {
    if (count < 0)
        Refuse("Operation failed: ", PortRefusal::BadCount);
    if (count == 0)
        return 0;
    const DeviceUsers::Use device(deviceUsers_);
    if (!device.In())
        Refuse("Operation failed: ", PortRefusal::NotOpen);
    std::lock_guard serial(directionMutex_[direction]);
    AsyncRecord record;
    record.op.write = direction == kWrite;
    record.op.data = data;
    record.op.count = count;
    // Bytes of an earlier pending operation must reach the line first.
    if (AdvanceEarlier(direction, wait)) {
        record.state = driver_->Advance(record.op, wait);
        if (record.state == Progress::Failed)
            Fail("Operation failed: ");
        if (record.state == Progress::Complete)
            return record.op.done;
    }
    std::lock_guard ops(opsMutex_);
    PendingOps.Push(new AsyncRecord(record));
    return -1;
}

bool TComPort::AdvanceEarlier(Direction direction, bool block) {
    std::vector<AsyncRecord*> earlier;
    {
        std::lock_guard ops(opsMutex_);
        for (AsyncRecord* record : PendingOps.Items())
            if (record->op.write == (direction == kWrite))
                earlier.push_back(record);
    }
    for (AsyncRecord* record : earlier) {
        if (record->state != Progress::Pending)
            continue;
        record->state = driver_->Advance(record->op, block);
        if (record->state == Progress::Failed)
            record->error = driver_->LastError();
        if (record->state == Progress::Pending)
            return false;
    }
    return true;
}

std::int32_t TComPort::WaitForWrite() {
    std::unique_ptr<AsyncRecord> record;
    {
        std::lock_guard ops(opsMutex_);
        if (PendingOps.IsEmpty())
            return -2;
        record.reset(PendingOps.Pop());
    }
    const Direction direction = record->op.write ? kWrite : kRead;
    const DeviceUsers::Use device(deviceUsers_);
    std::lock_guard serial(directionMutex_[direction]);
    if (record->state == Progress::Pending) {
        if (!device.In())
            Refuse("Operation failed: ", PortRefusal::NotOpen);
        AdvanceEarlier(direction, true);
        record->state = driver_->Advance(record->op, true);
        if (record->state == Progress::Failed)
            record->error = driver_->LastError();
    }
    if (record->state == Progress::Failed)
        FailWith("Operation failed: ", record->error);
    return record->op.done;
}

void TComPort::AbortAll() {
    {
        std::lock_guard ops(opsMutex_);
        if (PendingOps.IsEmpty())
            return;
    }
    const bool aborted = driver_->Purge(purge::TxAbort | purge::RxAbort);
    const int error = aborted ? 0 : driver_->LastError();
    {
        // Holding both directions means no transfer is touching a record.
        std::scoped_lock serial(directionMutex_[kWrite], directionMutex_[kRead]);
        std::lock_guard ops(opsMutex_);
        while (!PendingOps.IsEmpty())
            delete PendingOps.Pop();
    }
    if (!aborted)
        FailWith("Cannot abort operation: ", error);
}

std::int32_t TComPort::InputCount() {
    const DeviceUsers::Use device(deviceUsers_);
    if (!device.In())
        Refuse("Unable to read com status: ", PortRefusal::NotOpen);
    std::int32_t count = 0;
    if (!driver_->InputCount(count))
        Fail("Unable to read com status: ");
    return count;
}

} // namespace dedarida
