#pragma once

#include "ports/list_com_ports.h"

#include <string>
#include <vector>

namespace dedarida {

// `dedarida --list-ports`: a few lines per port for people. The device's own
// strings are shown with control and non-ASCII bytes escaped, so they cannot
// drive the terminal.
std::string PortListText(const std::vector<SerialPortInfo>& ports);

// `dedarida --list-ports --json`: one JSON array, an object per port. Bytes
// that are not UTF-8 become U+FFFD.
std::string PortListJson(const std::vector<SerialPortInfo>& ports);

// Prints the ports present on standard output, as text or JSON; returns the
// exit status (1 when the ports cannot be listed).
int PrintPortList(bool json);

} // namespace dedarida
