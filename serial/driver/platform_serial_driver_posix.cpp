#include "serial/driver/platform_serial_driver.h"
#include "serial/driver/serial_driver_posix.h"

#include <cerrno>

namespace dedarida {

std::unique_ptr<SerialDriver> NewPlatformSerialDriver() {
    return std::make_unique<PosixSerialDriver>();
}

int PlatformErrorFor(PortRefusal refusal) {
    return refusal == PortRefusal::NotOpen ? EBADF : EINVAL;
}

} // namespace dedarida
