#include "ports/port_selector.h"

#include "ports/usb_adapter_ids.h"
#include "serial/com_names.h"
#include "text/ascii_case.h"

namespace dedarida {

namespace {

std::vector<std::string> Fields(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos)
            return fields;
        start = colon + 1;
    }
}

// Windows gives serial numbers upper-cased in its instance ids.
bool SameSerial(const std::string& a, const std::string& b) {
    return AsciiLower(a) == AsciiLower(b);
}

std::string Describe(const SerialPortInfo& port) {
    std::string text = port.device;
    if (port.usb && !port.usb->serialNumber.empty())
        text += " (serial " + port.usb->serialNumber + ")";
    return text;
}

} // namespace

bool PortSelector::Matches(const SerialPortInfo& port) const {
    if (kind == Kind::Name || !port.usb)
        return false;
    if (kind == Kind::UsbPath)
        return port.usb->portPath == portPath;
    return port.usb->vendorId == vendorId && port.usb->productId == productId &&
           (serialNumber.empty() || SameSerial(port.usb->serialNumber, serialNumber));
}

std::optional<PortSelector> ParsePortSelector(const std::string& text, std::string& error) {
    PortSelector selector;
    selector.text = text;
    const std::string lowered = AsciiLower(text);
    if (lowered.starts_with("usb-path:")) {
        selector.kind = PortSelector::Kind::UsbPath;
        selector.portPath = text.substr(9);
        if (selector.portPath.empty()) {
            error = "--port usb-path: needs the USB port path (as --list-ports shows it)";
            return std::nullopt;
        }
        return selector;
    }
    if (!lowered.starts_with("usb:"))
        return selector;
    selector.kind = PortSelector::Kind::Usb;
    // The serial number may hold colons of its own.
    std::vector<std::string> fields = Fields(text.substr(4));
    if (fields.size() < 2 || !IsUsbId(fields[0]) || !IsUsbId(fields[1])) {
        error = "--port " + text +
                ": give usb:VID:PID or usb:VID:PID:SERIAL, with VID and PID "
                "as four hex digits (as --list-ports shows them)";
        return std::nullopt;
    }
    selector.vendorId = AsciiLower(fields[0]);
    selector.productId = AsciiLower(fields[1]);
    if (fields.size() == 2)
        return selector;
    // "usb:VID:PID:" would match any of them.
    selector.serialNumber = text.substr(4 + 10);
    if (selector.serialNumber.empty()) {
        error = "--port " + text +
                ": the serial number after the colon is empty; give it (usb:VID:PID:SERIAL) "
                "or leave the colon out (usb:VID:PID)";
        return std::nullopt;
    }
    return selector;
}

std::string ResolvePortSelector(const PortSelector& selector,
                                const std::vector<SerialPortInfo>& ports, std::string& error) {
    if (selector.kind == PortSelector::Kind::Name)
        return DevicePathForPortArgument(selector.text);
    std::vector<const SerialPortInfo*> matches;
    for (const SerialPortInfo& port : ports)
        if (selector.Matches(port))
            matches.push_back(&port);
    if (matches.size() == 1)
        return matches.front()->device;
    if (matches.empty()) {
        error =
            "no adapter " + selector.text + " is plugged in (--list-ports shows those that are)";
    } else {
        error = selector.text + " matches " + std::to_string(matches.size()) + " adapters:";
        for (const SerialPortInfo* port : matches)
            error.append(" ").append(Describe(*port));
        error += selector.kind == PortSelector::Kind::Usb
                     ? "; add its serial number (usb:VID:PID:SERIAL)"
                     : "";
    }
    return {};
}

bool SameUnit(const SerialPortInfo& a, const SerialPortInfo& b) {
    if (!a.usb || !b.usb)
        return !a.usb && !b.usb && a.device == b.device;
    if (a.usb->vendorId != b.usb->vendorId || a.usb->productId != b.usb->productId ||
        a.usb->interfaceNumber != b.usb->interfaceNumber)
        return false;
    if (!a.usb->serialNumber.empty() || !b.usb->serialNumber.empty())
        return SameSerial(a.usb->serialNumber, b.usb->serialNumber);
    return a.usb->portPath == b.usb->portPath;
}

std::optional<SerialPortInfo> PortOfDevice(const std::vector<SerialPortInfo>& ports,
                                           const std::string& device) {
    for (const SerialPortInfo& port : ports)
        if (port.device == device)
            return port;
    return std::nullopt;
}

} // namespace dedarida
