#include "ports/port_selector.h"

#include "ports/usb_adapter_ids.h"
#include "serial/com_names.h"
#include "text/ascii_case.h"

#include <algorithm>

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

// "01", "1" and "0A" as sysfs gives interface numbers: two lower-case hex
// digits; empty when `text` is none.
std::string InterfaceNumber(const std::string& text) {
    if (text.empty() || text.size() > 2 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return "";
    return AsciiLower(text.size() == 1 ? "0" + text : text);
}

// A candidate with what names it alone.
std::string Describe(const SerialPortInfo& port, const std::vector<SerialPortInfo>& ports) {
    std::string details;
    if (port.usb && !port.usb->serialNumber.empty())
        details = "serial " + port.usb->serialNumber;
    if (const std::string path = PathSelectorOf(port, ports); !path.empty())
        details += (details.empty() ? "" : ", ") + path;
    return details.empty() ? port.device : port.device + " (" + details + ")";
}

// What tells the candidates apart, for the user to add.
std::string Advice(const PortSelector& selector,
                   const std::vector<const SerialPortInfo*>& matches) {
    if (selector.kind == PortSelector::Kind::UsbPath)
        return "; add the interface (usb-path:PATH:IF)";
    const auto hasLookAlike = [&](const SerialPortInfo* port) {
        return std::any_of(matches.begin(), matches.end(),
                           [&](const SerialPortInfo* other) { return LookAlike(*port, *other); });
    };
    const auto likeFirst = [&](const SerialPortInfo* port) {
        return port == matches.front() || LookAlike(*port, *matches.front());
    };
    if (std::none_of(matches.begin(), matches.end(), hasLookAlike))
        return "; add its serial number (usb:VID:PID:SERIAL)";
    if (std::all_of(matches.begin(), matches.end(), likeFirst))
        return "; they look alike (the same USB ids and serial number): give the usb-path: of one";
    return "; add its serial number (usb:VID:PID:SERIAL), or give the usb-path: of a look-alike";
}

} // namespace

bool PortSelector::Matches(const SerialPortInfo& port) const {
    if (kind == Kind::Name || !port.usb)
        return false;
    if (kind == Kind::UsbPath)
        return port.usb->portPath == portPath &&
               (interfaceNumber.empty() || port.usb->interfaceNumber == interfaceNumber);
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
        // No port path holds a colon: one starts the interface.
        if (const std::size_t colon = selector.portPath.rfind(':'); colon != std::string::npos) {
            selector.interfaceNumber = InterfaceNumber(selector.portPath.substr(colon + 1));
            selector.portPath.resize(colon);
            if (selector.interfaceNumber.empty() || selector.portPath.empty()) {
                error = "--port " + text +
                        ": give usb-path:PATH or usb-path:PATH:IF, with IF the interface's "
                        "two hex digits (as --list-ports shows them)";
                return std::nullopt;
            }
        }
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
            error.append(" ").append(Describe(*port, ports));
        error += Advice(selector, matches);
    }
    return {};
}

bool LookAlike(const SerialPortInfo& a, const SerialPortInfo& b) {
    return a.device != b.device && a.usb && b.usb && a.usb->vendorId == b.usb->vendorId &&
           a.usb->productId == b.usb->productId &&
           SameSerial(a.usb->serialNumber, b.usb->serialNumber);
}

std::string PathSelectorOf(const SerialPortInfo& port, const std::vector<SerialPortInfo>& ports) {
    if (!port.usb || port.usb->portPath.empty())
        return "";
    const bool shared = std::any_of(ports.begin(), ports.end(), [&](const SerialPortInfo& other) {
        return other.device != port.device && other.usb &&
               other.usb->portPath == port.usb->portPath;
    });
    std::string selector = "usb-path:" + port.usb->portPath;
    if (shared && !port.usb->interfaceNumber.empty())
        selector += ":" + port.usb->interfaceNumber;
    return selector;
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
