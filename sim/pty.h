#pragma once

#include "sim/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace dedarida::sim {

// One pseudo terminal: the device owns the master, the tool opens the slave. Holding a
// slave descriptor of our own keeps the master readable while the tool has the port closed.
// Not thread safe; errors throw std::system_error.
class Pty {
public:
    // Opens a pty (slave raw, 9600 baud until the tool sets its speed); when linkPath is
    // not empty, points a symlink there at the slave, replacing whatever was there.
    explicit Pty(const std::string& linkPath);

    int MasterFd() const { return master_.Get(); }
    const std::string& SlavePath() const { return slavePath_; }
    unsigned Speed() const; // the speed the tool set, in baud

    // Non-blocking; return the byte count, 0 when nothing could move.
    std::size_t Read(std::span<std::uint8_t> into);
    std::size_t Write(std::span<const std::uint8_t> bytes);

private:
    UniqueFd master_;
    UniqueFd slaveHolder_;
    std::string slavePath_;
};

} // namespace dedarida::sim
