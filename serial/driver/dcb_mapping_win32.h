#pragma once

#include "serial/settings/line_records.h"

#include <windows.h>

namespace dedarida {

// `current` (from GetCommState) with every field of `dcb` written over it, as
// SetCommState takes it. Flow control is exactly what `dcb` says: the system's
// default of XON/XOFF on would swallow bytes 0x11 and 0x13 of the firmware.
DCB Win32Dcb(const Dcb& dcb, DCB current);

} // namespace dedarida
