#pragma once

#include "ports/list_com_ports.h"

#include <optional>
#include <string>
#include <vector>

namespace dedarida {

// What --port names: a COM name or a device path, taken as it is, or a USB
// adapter by its identity ("usb:0403:6001", "usb:0403:6001:A1B2C3") or by
// where it is plugged in ("usb-path:1-1.2", with the interface for one tty
// of a multi-interface adapter: "usb-path:1-2:01"), which stay the same
// whatever device name the system gives it.
struct PortSelector {
    enum class Kind { Name, Usb, UsbPath };
    Kind kind = Kind::Name;
    std::string text; // as given
    // Ids in lower case; the serial number optional, compared without regard
    // to ASCII case.
    std::string vendorId, productId, serialNumber;
    std::string portPath;
    std::string interfaceNumber; // two lower-case hex digits; empty: any

    // Whether `port` is an adapter this selector names (never for Kind::Name).
    bool Matches(const SerialPortInfo& port) const;
};

// Nothing, with the reason in `error`, when `text` is a malformed usb: or
// usb-path: selector.
std::optional<PortSelector> ParsePortSelector(const std::string& text, std::string& error);

// The device `selector` names among `ports`: a Name as DevicePathForPortArgument
// gives it; a USB selector must match exactly one adapter. Empty, with the
// reason in `error`, otherwise.
std::string ResolvePortSelector(const PortSelector& selector,
                                const std::vector<SerialPortInfo>& ports, std::string& error);

// Whether two ports' adapters cannot be told apart by their USB identity:
// the same ids and serial number (or none), as cheap clones and the ttys of
// one multi-interface adapter have. Only where they are plugged in (and the
// interface) tells them apart.
bool LookAlike(const SerialPortInfo& a, const SerialPortInfo& b);

// The usb-path: selector that names `port` alone among `ports`, with the
// interface when another port of them sits on the same USB port path; empty
// when the system tells no path.
std::string PathSelectorOf(const SerialPortInfo& port, const std::vector<SerialPortInfo>& ports);

// The same unit when it comes back: the same USB identity (ids, interface
// and serial number, or the port path when it has no serial number; serial
// numbers without regard to ASCII case), or, without an adapter, the same
// device path.
bool SameUnit(const SerialPortInfo& a, const SerialPortInfo& b);

// The port of `ports` whose device is `device`, if any.
std::optional<SerialPortInfo> PortOfDevice(const std::vector<SerialPortInfo>& ports,
                                           const std::string& device);

} // namespace dedarida
