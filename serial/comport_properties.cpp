#include "serial/comport.h"
#include "serial/settings/sub_object_access.h"

#include <mutex>
#include <utility>

namespace dedarida {

TBaudRate TComPort::BaudRate() const {
    return SubObjectAccess::Get(*this, baudRate_);
}
void TComPort::SetBaudRate(TBaudRate value) {
    SubObjectAccess::SetLine(*this, baudRate_, value);
}
TStopBits TComPort::StopBits() const {
    return SubObjectAccess::Get(*this, stopBits_);
}
void TComPort::SetStopBits(TStopBits value) {
    SubObjectAccess::SetLine(*this, stopBits_, value);
}
TDataBits TComPort::DataBits() const {
    return SubObjectAccess::Get(*this, dataBits_);
}
void TComPort::SetDataBits(TDataBits value) {
    SubObjectAccess::SetLine(*this, dataBits_, value);
}
bool TComPort::DiscardNull() const {
    return SubObjectAccess::Get(*this, discardNull_);
}
void TComPort::SetDiscardNull(bool value) {
    SubObjectAccess::SetLine(*this, discardNull_, value);
}
std::uint8_t TComPort::EventChar() const {
    return SubObjectAccess::Get(*this, eventChar_);
}
void TComPort::SetEventChar(std::uint8_t value) {
    SubObjectAccess::SetLine(*this, eventChar_, value);
}
TEvents TComPort::Events() const {
    return SubObjectAccess::Get(*this, events_);
}
TSyncMethod TComPort::SyncMethod() const {
    return SubObjectAccess::Get(*this, syncMethod_);
}
std::uint8_t TComPort::Port() const {
    return SubObjectAccess::Get(*this, port_);
}
std::uint32_t TComPort::WriteBufSize() const {
    return SubObjectAccess::Get(*this, writeBufSize_);
}
std::uint32_t TComPort::ReadBufSize() const {
    return SubObjectAccess::Get(*this, readBufSize_);
}

void TComPort::SetEvents(TEvents value) {
    std::lock_guard lock(configMutex_);
    events_ = value;
}

void TComPort::SetWriteBufSize(std::uint32_t value) {
    SubObjectAccess::SetQueueSize(*this, writeBufSize_, value);
}

void TComPort::SetReadBufSize(std::uint32_t value) {
    SubObjectAccess::SetQueueSize(*this, readBufSize_, value);
}

void TComPort::SetSyncMethod(TSyncMethod value) {
    std::lock_guard lock(configMutex_);
    if (syncMethod_ == value)
        return;
    if (connected_.load())
        throw EComPort("Cannot set SyncMethod while connected");
    syncMethod_ = value;
}

const std::string& TComPort::PortName() const {
    return *portName_.load();
}

void TComPort::SetDevicePath(std::string path) {
    std::lock_guard lock(configMutex_);
    devicePath_ = std::move(path);
}

// ---- handlers ----

void TComPort::SetLineHandler(TEvent event, TNotifyEvent handler) {
    std::lock_guard lock(configMutex_);
    onLineEvent_[static_cast<std::size_t>(event)] = std::move(handler);
}

void TComPort::SetOnRxChar(TRxCharEvent handler) {
    std::lock_guard lock(configMutex_);
    onRxChar_ = std::move(handler);
}
void TComPort::SetOnTxEmpty(TNotifyEvent h) {
    SetLineHandler(TEvent::evTxEmpty, std::move(h));
}
void TComPort::SetOnBreak(TNotifyEvent h) {
    SetLineHandler(TEvent::evBreak, std::move(h));
}
void TComPort::SetOnRing(TNotifyEvent h) {
    SetLineHandler(TEvent::evRing, std::move(h));
}
void TComPort::SetOnCTS(TNotifyEvent h) {
    SetLineHandler(TEvent::evCTS, std::move(h));
}
void TComPort::SetOnDSR(TNotifyEvent h) {
    SetLineHandler(TEvent::evDSR, std::move(h));
}
void TComPort::SetOnRLSD(TNotifyEvent h) {
    SetLineHandler(TEvent::evRLSD, std::move(h));
}
void TComPort::SetOnRxFlag(TNotifyEvent h) {
    SetLineHandler(TEvent::evRxFlag, std::move(h));
}
void TComPort::SetOnError(TNotifyEvent h) {
    SetLineHandler(TEvent::evError, std::move(h));
}
void TComPort::SetOnRx80Full(TNotifyEvent h) {
    SetLineHandler(TEvent::evRx80Full, std::move(h));
}

void TComPort::SetOnOpen(TNotifyEvent handler) {
    std::lock_guard lock(configMutex_);
    onOpen_ = std::move(handler);
}

void TComPort::SetOnClose(TNotifyEvent handler) {
    std::lock_guard lock(configMutex_);
    onClose_ = std::move(handler);
}

void TComPort::SetOnLineLost(TNotifyEvent handler) {
    std::lock_guard lock(configMutex_);
    onLineLost_ = std::move(handler);
}

TRxCharEvent TComPort::RxCharHandler() const {
    return SubObjectAccess::Get(*this, onRxChar_);
}

TNotifyEvent TComPort::LineHandler(TEvent event) const {
    return SubObjectAccess::Get(*this, onLineEvent_[static_cast<std::size_t>(event)]);
}

} // namespace dedarida
