#include "app/headless/port_diagnosis.h"

#include "serial/list_com_ports.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace dedarida {

namespace {

// The errno at the end of an EComPort message, or 0.
int TrailingErrno(const std::string& message) {
    const auto digits = message.find_last_not_of("0123456789");
    if (digits == std::string::npos || digits + 1 == message.size())
        return 0;
    return std::atoi(message.c_str() + digits + 1);
}

std::string PortsPresent() {
    std::vector<std::string> ports;
    ListComPorts(ports, true);
    if (ports.empty())
        return "No serial ports are present; set DEDARIDA_COMn=/dev/... to name one.";
    std::string text = "Ports present:";
    for (const auto& port : ports)
        text += "\n  " + port;
    return text;
}

} // namespace

std::string DiagnoseOpenFailure(const std::string& port, const std::string& device,
                                const std::string& failure) {
    if (device.empty())
        return port + " names no device. " + PortsPresent();
    const std::string name = port == device ? port : port + " (" + device + ")";
    switch (TrailingErrno(failure)) {
    case EACCES:
    case EPERM:
        return "No permission to open " + name +
               ". Add your user to the dialout group (sudo usermod -aG dialout $USER), then log "
               "in again.";
    case EBUSY:
    case EWOULDBLOCK:
        return name + " is in use by another program.";
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return name + " does not exist. " + PortsPresent();
    default:
        return "Cannot open " + name + ": " + failure;
    }
}

} // namespace dedarida
