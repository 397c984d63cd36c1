#pragma once

#include "sim/request_kind.h"
#include "sim/sim_config.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace dedarida::sim {

// A snapshot of what the device has done so far.
struct SimStatus {
    DeviceMode mode = DeviceMode::Application;
    std::string slavePath;       // empty while the line is hung up
    unsigned ptyGeneration = 0;  // 1 for the first pty, one more for each comeback
    bool toolPresent = false;    // the slave is open, as far as the device has seen
    std::uint64_t framesIn = 0;  // accepted requests
    std::uint64_t framesOut = 0; // replies handed to the line (half replies included)
    std::array<unsigned, RequestKindCount> requests{};
    unsigned rejectedFrames = 0;    // bad bootloader frames
    std::uint64_t garbageBytes = 0; // bytes at the wrong speed, or while rebooting
    std::size_t blocksStored = 0;
    std::optional<bool> checkPassed; // the result of the last Start Application
    bool silent = false;             // after a half reply
    bool running = false;            // between Start and the end of the device thread
    std::string error;               // set when the device thread died of an exception

    unsigned Requests(RequestKind kind) const { return requests[static_cast<std::size_t>(kind)]; }
    std::uint64_t Frames() const { return framesIn + framesOut; }
};

// The device thread publishes here; any thread reads or waits. Thread safe.
class StatusBoard {
public:
    void Update(const std::function<void(SimStatus&)>& change);
    SimStatus Get() const;
    // True once `condition` holds; false if it still does not after `timeout`.
    bool WaitFor(const std::function<bool(const SimStatus&)>& condition,
                 std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    SimStatus status_;
};

} // namespace dedarida::sim
