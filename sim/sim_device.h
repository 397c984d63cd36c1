#pragma once

#include "sim/sim_config.h"
#include "sim/sim_flash.h"
#include "sim/sim_status.h"
#include "sim/transcript.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dedarida::sim {

// The simulated device on its own thread, behind a pty. All members are thread safe.
//   SimDevice device(config); device.Start(); open device.SlavePath() ...;
//   device.WaitFor([](const SimStatus& s) { return s.checkPassed.has_value(); }, 5s);
//   device.Stop(); device.Transcript(); device.Flash();
class SimDevice {
public:
    explicit SimDevice(SimConfig config);
    ~SimDevice(); // stops the device
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // Opens the pty (and the symlink) before it returns; throws if that fails.
    void Start();
    // Idempotent. After it the transcript and the flash no longer change.
    void Stop();

    // The current slave device; empty while the line is hung up.
    std::string SlavePath() const;
    SimStatus Status() const;
    // Blocks until `condition` holds or `timeout` passes; true when it holds.
    bool WaitFor(const std::function<bool(const SimStatus&)>& condition,
                 std::chrono::milliseconds timeout) const;

    // Sends `bytes` at once in one write, unrequested, at the device's current
    // speed; lost like any reply while nobody has the line open.
    void Send(std::vector<std::uint8_t> bytes, std::string meaning);

    std::vector<TranscriptEntry> Transcript() const;
    std::array<std::uint8_t, FlashSize> Flash() const;
    void WriteFlash(const std::string& path) const; // raw bytes; throws on I/O errors

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace dedarida::sim
