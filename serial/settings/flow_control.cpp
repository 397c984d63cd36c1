#include "serial/settings/flow_control.h"

#include "serial/settings/sub_object_access.h"

namespace dedarida {

bool TFlowControl::OutCtsFlow() const {
    return SubObjectAccess::Get(*owner_, outCtsFlow_);
}
void TFlowControl::SetOutCtsFlow(bool value) {
    SubObjectAccess::SetLine(*owner_, outCtsFlow_, value);
}

bool TFlowControl::OutDsrFlow() const {
    return SubObjectAccess::Get(*owner_, outDsrFlow_);
}
void TFlowControl::SetOutDsrFlow(bool value) {
    SubObjectAccess::SetLine(*owner_, outDsrFlow_, value);
}

TDtrFlowControl TFlowControl::ControlDtr() const {
    return SubObjectAccess::Get(*owner_, controlDtr_);
}
void TFlowControl::SetControlDtr(TDtrFlowControl value) {
    SubObjectAccess::SetLine(*owner_, controlDtr_, value);
}

TRtsFlowControl TFlowControl::ControlRts() const {
    return SubObjectAccess::Get(*owner_, controlRts_);
}
void TFlowControl::SetControlRts(TRtsFlowControl value) {
    SubObjectAccess::SetLine(*owner_, controlRts_, value);
}

bool TFlowControl::XonXoffOut() const {
    return SubObjectAccess::Get(*owner_, xonXoffOut_);
}
void TFlowControl::SetXonXoffOut(bool value) {
    SubObjectAccess::SetLine(*owner_, xonXoffOut_, value);
}

bool TFlowControl::XonXoffIn() const {
    return SubObjectAccess::Get(*owner_, xonXoffIn_);
}
void TFlowControl::SetXonXoffIn(bool value) {
    SubObjectAccess::SetLine(*owner_, xonXoffIn_, value);
}

void TFlowControl::AssignTo(TFlowControl& target) const {
    SubObjectAccess::AssignTo(*this, target);
}

} // namespace dedarida
