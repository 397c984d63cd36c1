#include "serial/settings/com_timeouts.h"

#include "serial/settings/sub_object_access.h"

namespace dedarida {

std::int32_t TComTimeouts::ReadInterval() const {
    return SubObjectAccess::Get(*owner_, readInterval_);
}
void TComTimeouts::SetReadInterval(std::int32_t value) {
    SubObjectAccess::SetTimeout(*owner_, readInterval_, value);
}

std::int32_t TComTimeouts::ReadTotalMultiplier() const {
    return SubObjectAccess::Get(*owner_, readTotalMultiplier_);
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t value) {
    SubObjectAccess::SetTimeout(*owner_, readTotalMultiplier_, value);
}

std::int32_t TComTimeouts::ReadTotalConstant() const {
    return SubObjectAccess::Get(*owner_, readTotalConstant_);
}
void TComTimeouts::SetReadTotalConstant(std::int32_t value) {
    SubObjectAccess::SetTimeout(*owner_, readTotalConstant_, value);
}

std::int32_t TComTimeouts::WriteTotalMultiplier() const {
    return SubObjectAccess::Get(*owner_, writeTotalMultiplier_);
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t value) {
    SubObjectAccess::SetTimeout(*owner_, writeTotalMultiplier_, value);
}

std::int32_t TComTimeouts::WriteTotalConstant() const {
    return SubObjectAccess::Get(*owner_, writeTotalConstant_);
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t value) {
    SubObjectAccess::SetTimeout(*owner_, writeTotalConstant_, value);
}

void TComTimeouts::AssignTo(TComTimeouts& target) const {
    SubObjectAccess::AssignTo(*this, target);
}

} // namespace dedarida
