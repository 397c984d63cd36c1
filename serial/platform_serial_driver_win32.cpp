#include "serial/platform_serial_driver.h"
#include "serial/serial_driver_win32.h"

namespace dedarida {

std::unique_ptr<SerialDriver> NewPlatformSerialDriver() {
    return std::make_unique<Win32SerialDriver>();
}

} // namespace dedarida
