#include "serial/settings/parity.h"

#include "serial/settings/sub_object_access.h"

namespace dedarida {

TParityBits TParity::Bits() const {
    return SubObjectAccess::Get(*owner_, bits_);
}
void TParity::SetBits(TParityBits value) {
    SubObjectAccess::SetLine(*owner_, bits_, value);
}

bool TParity::Check() const {
    return SubObjectAccess::Get(*owner_, check_);
}
void TParity::SetCheck(bool value) {
    SubObjectAccess::SetLine(*owner_, check_, value);
}

bool TParity::Replace() const {
    return SubObjectAccess::Get(*owner_, replace_);
}
void TParity::SetReplace(bool value) {
    SubObjectAccess::SetLine(*owner_, replace_, value);
}

std::uint8_t TParity::ReplaceChar() const {
    return SubObjectAccess::Get(*owner_, replaceChar_);
}
void TParity::SetReplaceChar(std::uint8_t value) {
    SubObjectAccess::SetLine(*owner_, replaceChar_, value);
}

void TParity::AssignTo(TParity& target) const {
    SubObjectAccess::AssignTo(*this, target);
}

} // namespace dedarida
