#pragma once

namespace dedarida {

// What the system's code for a failed open of a port means to a technician.
enum class OpenFailure { NoPermission, InUse, Missing, Other };

OpenFailure ClassifyOpenFailure(int code);
// What to do about NoPermission on this system.
const char* PermissionHint();
// Said when the system has no serial port at all.
const char* NoPortsText();

} // namespace dedarida
