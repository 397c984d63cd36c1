#pragma once

#include "ports/list_com_ports.h"

#include <map>

namespace dedarida {

// The USB adapters behind the system's serial ports, by COM number, as
// SetupAPI knows them (the Ports class and the COM port interface); a port
// on another bus, or one SetupAPI does not know (wine's), is absent.
std::map<unsigned, UsbAdapter> UsbAdaptersByComNumber();

} // namespace dedarida
