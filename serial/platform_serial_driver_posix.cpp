#include "serial/platform_serial_driver.h"
#include "serial/posix_serial_driver.h"

namespace dedarida {

std::unique_ptr<SerialDriver> NewPlatformSerialDriver() {
    return std::make_unique<PosixSerialDriver>();
}

} // namespace dedarida
