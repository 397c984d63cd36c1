#pragma once

#include "serial/settings/comport_types.h"

#include <cstdint>

namespace dedarida {

// Parity settings of a port; a change rewrites the line settings at once
// while the port is open. Thread-safe (guarded by the owning port).
class TParity {
public:
    explicit TParity(TComPort& owner) : owner_(&owner) {}

    TParityBits Bits() const;
    void SetBits(TParityBits value);
    bool Check() const;
    void SetCheck(bool value);
    bool Replace() const;
    void SetReplace(bool value);
    std::uint8_t ReplaceChar() const;
    void SetReplaceChar(std::uint8_t value);

    // Copies the values; the target keeps its own port, and nothing goes to
    // a driver.
    void AssignTo(TParity& target) const;

private:
    friend class TComPort;
    friend struct SubObjectAccess;

    TComPort* owner_;
    TParityBits bits_ = TParityBits::prNone;
    bool check_ = false;
    bool replace_ = false;
    std::uint8_t replaceChar_ = 0;
};

} // namespace dedarida
