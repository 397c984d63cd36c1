#pragma once

#include <string>
#include <vector>

namespace dedarida {

struct ComPortDevice {
    std::string name; // "COM5"
    std::string path; // its device
};

// The COM ports whose device is present, in no particular order. Linux: the
// COM names of the fixed table and the DEDARIDA_COMn variables; a /dev/ttyS
// device counts only when the kernel knows its UART type. Windows: the
// ports the system lists under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
std::vector<ComPortDevice> PresentComPorts();

} // namespace dedarida
