#pragma once

#include <cstdint>
#include <string>

namespace dedarida {

// "COM" + decimal(port + 1), for port 0..255; the string lives as long as
// the program. Thread-safe.
const std::string& ComName(std::uint8_t port);

// The number n of "COMn" (1..256 and beyond), or 0 when the name is not one.
// Case-insensitive "com".
unsigned ComNumber(const std::string& name);

// COM name n as lists show it, a one-digit number with a 0 before it
// ("COM05", "COM12").
std::string ListedComName(unsigned number);

// The device a COM name stands for. Windows: the system's own device of the
// name (\\.\COMn). Linux: the variable DEDARIDA_COMn if set, else
// COM1-4 = /dev/ttyS0-3, COM5-7 = /dev/ttyUSB0-2, COM8-9 = /dev/ttyACM0-1.
// Empty when the name maps to nothing. Case-insensitive "com".
std::string DevicePathForComName(const std::string& name);

// For the headless mode: a COM name as above; a device path (Linux: anything
// containing '/'; Windows: anything containing a backslash or '/', such as \\.\COM5,
// Z:\dir\entry or dir\entry) is taken as it is.
std::string DevicePathForPortArgument(const std::string& argument);

} // namespace dedarida
