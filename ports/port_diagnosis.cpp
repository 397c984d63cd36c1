#include "ports/port_diagnosis.h"

#include "ports/list_com_ports.h"
#include "ports/open_failure.h"
#include "serial/ecomport.h"

#include <cstdlib>
#include <vector>

namespace dedarida {

namespace {

// The system's code at the end of an EComPort message, or 0.
int TrailingCode(const std::string& message) {
    const auto digits = message.find_last_not_of("0123456789");
    if (digits == std::string::npos || digits + 1 == message.size())
        return 0;
    return std::atoi(message.c_str() + digits + 1);
}

std::string PortsPresent() {
    std::vector<std::string> ports;
    ListComPorts(ports, true);
    if (ports.empty())
        return NoPortsText();
    std::string text = "Ports present:";
    for (const auto& port : ports)
        text += "\n  " + port;
    return text;
}

} // namespace

std::string InWords(const std::exception& failure) {
    const std::string message = failure.what();
    if (dynamic_cast<const EComPort*>(&failure) == nullptr)
        return message;
    const int code = TrailingCode(message);
    return code == 0 ? message : message + " (" + SystemErrorText(code) + ")";
}

std::string OpenProblem(const std::string& port, const std::string& device,
                        const std::string& failure) {
    if (device.empty())
        return port + " names no device.";
    const std::string name = port == device ? port : port + " (" + device + ")";
    const int code = TrailingCode(failure);
    switch (ClassifyOpenFailure(code)) {
    case OpenFailure::NoPermission:
        return "No permission to open " + name + ". " + PermissionHint();
    case OpenFailure::InUse: {
        const std::string holders = PortHoldersText(device);
        return name + " is in use by " + (holders.empty() ? "another program" : holders) +
               "; close it there, or choose another port.";
    }
    case OpenFailure::Missing:
        return name + " does not exist.";
    case OpenFailure::Gone:
        return name + " has no device behind it (" + SystemErrorText(code) +
               "): plug the adapter in again, or choose another port.";
    case OpenFailure::NotSerial:
        return name + " is not a serial port.";
    case OpenFailure::Other:
        break;
    }
    // The component's own text ends in the bare number; say what it means.
    return "Cannot open " + name + ": " + (code != 0 ? SystemErrorText(code) : failure) + ".";
}

std::string BriefOpenProblem(const std::string& port, const std::string& device,
                             const std::string& failure) {
    if (device.empty())
        return port + ": no such port";
    switch (ClassifyOpenFailure(TrailingCode(failure))) {
    case OpenFailure::NoPermission:
        return port + ": no permission";
    case OpenFailure::InUse:
        return port + ": in use";
    case OpenFailure::Missing:
        return port + ": no such port";
    case OpenFailure::Gone:
        return port + ": no device";
    case OpenFailure::NotSerial:
        return port + ": not serial";
    case OpenFailure::Other:
        break;
    }
    return port + ": cannot open";
}

std::string DiagnoseOpenFailure(const std::string& port, const std::string& device,
                                const std::string& failure) {
    const std::string problem = OpenProblem(port, device, failure);
    if (!device.empty()) {
        const OpenFailure kind = ClassifyOpenFailure(TrailingCode(failure));
        if (kind != OpenFailure::Missing && kind != OpenFailure::Gone &&
            kind != OpenFailure::NotSerial)
            return problem;
    }
    return problem + " " + PortsPresent();
}

} // namespace dedarida
