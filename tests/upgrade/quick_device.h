#pragma once

#include "image/embedded_firmware.h"
#include "sim/sim_config.h"

#include <chrono>
#include <string>

namespace dedarida::test {

using namespace std::chrono_literals;

// The simulated device with quick processing times, checking against the
// embedded firmware, reachable through a symlink that follows the line to its
// new pty after a hang-up.
inline sim::SimConfig QuickDevice(const std::string& linkPath) {
    sim::SimConfig config;
    config.linkPath = linkPath;
    config.rebootDelay = 50ms;
    config.eraseTime = 10ms;
    config.programTime = 0ms;
    config.checkTime = 10ms;
    const auto firmware = EmbeddedFirmware();
    config.reference.assign(firmware.begin(), firmware.end());
    return config;
}

} // namespace dedarida::test
