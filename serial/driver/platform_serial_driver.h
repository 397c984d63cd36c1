#pragma once

#include "serial/driver/serial_driver.h"

#include <memory>

namespace dedarida {

// The SerialDriver of the system the tool was built for.
std::unique_ptr<SerialDriver> NewPlatformSerialDriver();

// What the port refuses by itself, with no driver call made.
enum class PortRefusal {
    NotOpen,  // a transfer or status query on a port that is closed or closing
    BadCount, // a negative byte count
};
// The error number a refusal carries, in the same numbering as the driver's
// LastError, so the message reads as a failed call of that system would.
int PlatformErrorFor(PortRefusal refusal);

} // namespace dedarida
