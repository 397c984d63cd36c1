#pragma once

#include "sim/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace dedarida::sim {

// One pseudo terminal: the device owns the master, the tool opens and closes the slave.
// A slave descriptor of our own keeps the master from reporting POLLHUP while the port is
// closed; an inotify watch counts the tool's opens and closes instead. When the last one
// closes, the line behaves as a real port does on its final close: the tool's TIOCEXCL is
// cleared (a pty keeps it while its master lives, and a normal user's next open would get
// EBUSY) and unread input is dropped. Not thread safe; errors throw std::system_error.
class Pty {
public:
    // Opens a pty (slave raw, 9600 baud until the tool sets its speed); when linkPath is
    // not empty, points a symlink there at the slave, replacing whatever was there.
    explicit Pty(const std::string& linkPath);
    // Removes the symlink while it still points here, as a device node goes with its
    // device: a link left behind would lead to whichever pty reuses the number.
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int MasterFd() const { return master_.Get(); }
    // Readable when the tool opened or closed the slave; then call TakeOpensAndCloses().
    int WatchFd() const { return watch_.Get(); }
    void TakeOpensAndCloses();
    bool ToolPresent() const { return openers_ > 0; }

    const std::string& SlavePath() const { return slavePath_; }
    // Points the symlink at a path that never opens and leaves it there at
    // destruction, as a device node may outlast its device for a moment;
    // returns that path (empty without a symlink).
    std::string LeaveLink();
    unsigned Speed() const; // the speed the tool set, in baud

    // Non-blocking; return the byte count, 0 when nothing could move.
    std::size_t Read(std::span<std::uint8_t> into);
    std::size_t Write(std::span<const std::uint8_t> bytes);

private:
    UniqueFd master_;
    UniqueFd slaveHolder_;
    UniqueFd watch_;
    int openers_ = 0;
    std::string slavePath_;
    std::string linkPath_;
};

} // namespace dedarida::sim
