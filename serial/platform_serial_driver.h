#pragma once

#include "serial/serial_driver.h"

#include <memory>

namespace dedarida {

// The SerialDriver of the system the tool was built for.
std::unique_ptr<SerialDriver> NewPlatformSerialDriver();

} // namespace dedarida
