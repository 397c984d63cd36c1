#pragma once

#include <windows.h>

namespace dedarida {

// The device interface class every serial port driver registers its ports
// under (GUID_DEVINTERFACE_COMPORT); mingw's headers lack it.
inline constexpr GUID kComPortInterface = {
    0x86E0D1E0L, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

} // namespace dedarida
