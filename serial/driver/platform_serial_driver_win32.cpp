#include "serial/driver/platform_serial_driver.h"
#include "serial/driver/serial_driver_win32.h"

namespace dedarida {

std::unique_ptr<SerialDriver> NewPlatformSerialDriver() {
    return std::make_unique<Win32SerialDriver>();
}

int PlatformErrorFor(PortRefusal refusal) {
    return refusal == PortRefusal::NotOpen ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
}

} // namespace dedarida
