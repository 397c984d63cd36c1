#pragma once

#include "ports/list_com_ports.h"

#include <functional>
#include <optional>
#include <string>

namespace dedarida {

// What Windows says about a USB serial port, in UTF-8, as it says it; any of
// them may be empty.
struct UsbPortStrings {
    std::string deviceHardwareId; // the USB device's, "USB\VID_0403&PID_6001&REV_0600"
    std::string deviceInstanceId; // the USB device's, "USB\VID_0403&PID_6001\A1B2C3"
    std::string manufacturer;     // the port's driver maker
    std::string busDescription;   // the product string the device reported
    std::string friendlyName;     // the port's, "USB Serial Port (COM5)"
    std::string location;         // the USB device's, "Port_#0002.Hub_#0001"
    // The interface node the port sits on, "USB\VID_0403&PID_6010&MI_01\7&99&0&0001";
    // empty for an adapter of one interface.
    std::string interfaceInstanceId;
};

// The nodes above a port: its USB device's instance id and, for a
// multi-interface adapter, the interface's.
struct UsbNodesOfPort {
    std::string deviceInstanceId;
    std::string interfaceInstanceId;
};

// Whether `text` is a vendor or product id: four hex digits.
bool IsUsbId(const std::string& text);

// The USB device a port's device node belongs to: the node itself, or the
// device above it, through the interfaces of a composite device and the one
// node a vendor's bus driver puts between. Empty for a port on another bus (a
// Bluetooth port stays one although its radio sits on USB). `parentOf` gives
// a node's parent, empty at the top or when unknown.
UsbNodesOfPort UsbDeviceOfPort(const std::string& portInstanceId,
                               const std::function<std::string(const std::string&)>& parentOf);

// The adapter the strings describe, the ids as four lower-case hex digits;
// nullopt when the hardware id holds no vendor and product id. The serial
// number is the last part of the instance id unless the system made that part
// up for a device that reports none (it then holds '&'); the interface number
// is the MI_ field of the interface's id.
std::optional<UsbAdapter> UsbAdapterFrom(const UsbPortStrings& strings);

} // namespace dedarida
