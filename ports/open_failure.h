#pragma once

#include <string>

namespace dedarida {

// What the system's code for a failed open of a port means to a technician:
// Missing, no such name; Gone, a name with no device behind it (an adapter
// pulled out); NotSerial, a device that is no serial port.
enum class OpenFailure { NoPermission, InUse, Missing, Gone, NotSerial, Other };

OpenFailure ClassifyOpenFailure(int code);
// The system's words for `code` ("Input/output error").
std::string SystemErrorText(int code);
// The other programs that hold `device` ("picocom (PID 1234)"), where the
// system tells; else empty.
std::string PortHoldersText(const std::string& device);
// What to do about NoPermission on this system.
const char* PermissionHint();
// Said when the system has no serial port at all.
const char* NoPortsText();

} // namespace dedarida
