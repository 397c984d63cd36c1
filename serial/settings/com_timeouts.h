#pragma once

#include <cstdint>

namespace dedarida {

class TComPort;

// Timeouts of a port in milliseconds; a change goes to the driver at once
// while the port is open. Thread-safe (guarded by the owning port).
class TComTimeouts {
public:
    explicit TComTimeouts(TComPort& owner) : owner_(&owner) {}

    std::int32_t ReadInterval() const;
    void SetReadInterval(std::int32_t value);
    std::int32_t ReadTotalMultiplier() const;
    void SetReadTotalMultiplier(std::int32_t value);
    std::int32_t ReadTotalConstant() const;
    void SetReadTotalConstant(std::int32_t value);
    std::int32_t WriteTotalMultiplier() const;
    void SetWriteTotalMultiplier(std::int32_t value);
    std::int32_t WriteTotalConstant() const;
    void SetWriteTotalConstant(std::int32_t value);

    // Copies the values; the target keeps its own port, and nothing goes to
    // a driver.
    void AssignTo(TComTimeouts& target) const;

private:
    friend class TComPort;
    friend struct SubObjectAccess;

    TComPort* owner_;
    std::int32_t readInterval_ = -1;
    std::int32_t readTotalMultiplier_ = 0;
    std::int32_t readTotalConstant_ = 0;
    std::int32_t writeTotalMultiplier_ = 100;
    std::int32_t writeTotalConstant_ = 1000;
};

} // namespace dedarida
