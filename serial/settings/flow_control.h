#pragma once

#include "serial/settings/comport_types.h"

namespace dedarida {

// Handshake settings of a port; a change rewrites the line settings at once
// while the port is open. Thread-safe (guarded by the owning port).
class TFlowControl {
public:
    explicit TFlowControl(TComPort& owner) : owner_(&owner) {}

    bool OutCtsFlow() const;
    void SetOutCtsFlow(bool value);
    bool OutDsrFlow() const;
    void SetOutDsrFlow(bool value);
    TDtrFlowControl ControlDtr() const;
    void SetControlDtr(TDtrFlowControl value);
    TRtsFlowControl ControlRts() const;
    void SetControlRts(TRtsFlowControl value);
    bool XonXoffOut() const;
    void SetXonXoffOut(bool value);
    bool XonXoffIn() const;
    void SetXonXoffIn(bool value);

    // Copies the values; the target keeps its own port, and nothing goes to
    // a driver.
    void AssignTo(TFlowControl& target) const;

private:
    friend class TComPort;
    friend struct SubObjectAccess;

    TComPort* owner_;
    bool outCtsFlow_ = false;
    bool outDsrFlow_ = false;
    TDtrFlowControl controlDtr_ = TDtrFlowControl::dtrDisable;
    TRtsFlowControl controlRts_ = TRtsFlowControl::rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
};

} // namespace dedarida
