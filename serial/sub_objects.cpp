#include "serial/comport.h"

#include <mutex>

namespace dedarida {

// ---- TComTimeouts ----

std::int32_t TComTimeouts::Get(const std::int32_t& field) const {
    std::lock_guard lock(owner_->ConfigMutex());
    return field;
}

void TComTimeouts::Set(std::int32_t& field, std::int32_t value) {
    std::lock_guard lock(owner_->ConfigMutex());
    if (field == value)
        return;
    field = value;
    owner_->ConfigureTimeouts();
}

std::int32_t TComTimeouts::ReadInterval() const {
    return Get(readInterval_);
}
void TComTimeouts::SetReadInterval(std::int32_t v) {
    Set(readInterval_, v);
}
std::int32_t TComTimeouts::ReadTotalMultiplier() const {
    return Get(readTotalMultiplier_);
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t v) {
    Set(readTotalMultiplier_, v);
}
std::int32_t TComTimeouts::ReadTotalConstant() const {
    return Get(readTotalConstant_);
}
void TComTimeouts::SetReadTotalConstant(std::int32_t v) {
    Set(readTotalConstant_, v);
}
std::int32_t TComTimeouts::WriteTotalMultiplier() const {
    return Get(writeTotalMultiplier_);
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t v) {
    Set(writeTotalMultiplier_, v);
}
std::int32_t TComTimeouts::WriteTotalConstant() const {
    return Get(writeTotalConstant_);
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t v) {
    Set(writeTotalConstant_, v);
}

void TComTimeouts::AssignTo(TComTimeouts& target) const {
    std::scoped_lock lock(owner_->ConfigMutex(), target.owner_->ConfigMutex());
    TComPort* const targetOwner = target.owner_;
    target = *this;
    target.owner_ = targetOwner; // settings of one port must not drive another
}

// ---- TFlowControl ----

template <typename T> T TFlowControl::Get(const T& field) const {
    std::lock_guard lock(owner_->ConfigMutex());
    return field;
}

template <typename T> void TFlowControl::Set(T& field, T value) {
    std::lock_guard lock(owner_->ConfigMutex());
    if (field == value)
        return;
    field = value;
    owner_->ConfigureLine();
}

bool TFlowControl::OutCtsFlow() const {
    return Get(outCtsFlow_);
}
void TFlowControl::SetOutCtsFlow(bool v) {
    Set(outCtsFlow_, v);
}
bool TFlowControl::OutDsrFlow() const {
    return Get(outDsrFlow_);
}
void TFlowControl::SetOutDsrFlow(bool v) {
    Set(outDsrFlow_, v);
}
TDtrFlowControl TFlowControl::ControlDtr() const {
    return Get(controlDtr_);
}
void TFlowControl::SetControlDtr(TDtrFlowControl v) {
    Set(controlDtr_, v);
}
TRtsFlowControl TFlowControl::ControlRts() const {
    return Get(controlRts_);
}
void TFlowControl::SetControlRts(TRtsFlowControl v) {
    Set(controlRts_, v);
}
bool TFlowControl::XonXoffOut() const {
    return Get(xonXoffOut_);
}
void TFlowControl::SetXonXoffOut(bool v) {
    Set(xonXoffOut_, v);
}
bool TFlowControl::XonXoffIn() const {
    return Get(xonXoffIn_);
}
void TFlowControl::SetXonXoffIn(bool v) {
    Set(xonXoffIn_, v);
}

void TFlowControl::AssignTo(TFlowControl& target) const {
    std::scoped_lock lock(owner_->ConfigMutex(), target.owner_->ConfigMutex());
    TComPort* const targetOwner = target.owner_;
    target = *this;
    target.owner_ = targetOwner; // settings of one port must not drive another
}

// ---- TParity ----

template <typename T> T TParity::Get(const T& field) const {
    std::lock_guard lock(owner_->ConfigMutex());
    return field;
}

template <typename T> void TParity::Set(T& field, T value) {
    std::lock_guard lock(owner_->ConfigMutex());
    if (field == value)
        return;
    field = value;
    owner_->ConfigureLine();
}

TParityBits TParity::Bits() const {
    return Get(bits_);
}
void TParity::SetBits(TParityBits v) {
    Set(bits_, v);
}
bool TParity::Check() const {
    return Get(check_);
}
void TParity::SetCheck(bool v) {
    Set(check_, v);
}
bool TParity::Replace() const {
    return Get(replace_);
}
void TParity::SetReplace(bool v) {
    Set(replace_, v);
}
std::uint8_t TParity::ReplaceChar() const {
    return Get(replaceChar_);
}
void TParity::SetReplaceChar(std::uint8_t v) {
    Set(replaceChar_, v);
}

void TParity::AssignTo(TParity& target) const {
    std::scoped_lock lock(owner_->ConfigMutex(), target.owner_->ConfigMutex());
    TComPort* const targetOwner = target.owner_;
    target = *this;
    target.owner_ = targetOwner; // settings of one port must not drive another
}

} // namespace dedarida
