#include "ports/usb_adapter_ids.h"

#include "serial/com_names.h"
#include "text/ascii_case.h"

#include <algorithm>
#include <cctype>

namespace dedarida {

namespace {

// Port node, interface nodes and the device: deeper is no adapter's.
constexpr int kMostNodesToUsbDevice = 4;

enum class UsbNode { Device, Interface, Other };

bool IsAlphanumeric(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// The `width` hex digits after `key` ("VID_") where the key starts a field
// of the id, lower-cased; empty when there are none.
std::string HexFieldAfter(const std::string& upperId, const std::string& key, std::size_t width) {
    for (std::size_t at = upperId.find(key); at != std::string::npos;
         at = upperId.find(key, at + 1)) {
        if (at > 0 && IsAlphanumeric(upperId[at - 1]))
            continue;
        const std::size_t digits = at + key.size();
        if (upperId.size() < digits + width ||
            (upperId.size() > digits + width && IsAlphanumeric(upperId[digits + width])))
            continue;
        const std::string field = upperId.substr(digits, width);
        if (std::all_of(field.begin(), field.end(),
                        [](unsigned char c) { return std::isxdigit(c) != 0; }))
            return AsciiLower(field);
    }
    return "";
}

std::string HexIdAfter(const std::string& upperId, const std::string& key) {
    return HexFieldAfter(upperId, key, 4);
}

// "01" of "USB\VID_0403&PID_6010&MI_01\7&99&0&0001": the field of the ids,
// not of the instance part after them.
std::string InterfaceNumberOf(const std::string& interfaceInstanceId) {
    const std::string id = AsciiUpper(interfaceInstanceId);
    return HexFieldAfter(id.substr(0, id.rfind('\\')), "MI_", 2);
}

bool HasUsbIds(const std::string& upperId) {
    return !HexIdAfter(upperId, "VID_").empty() && !HexIdAfter(upperId, "PID_").empty();
}

// "USB\VID_0403&PID_6001\A1B2C3" is a device, "USB\VID_2341&PID_8036&MI_00\6&1&0&0000"
// an interface of one.
UsbNode UsbNodeOf(const std::string& instanceId) {
    const std::string id = AsciiUpper(instanceId);
    const std::size_t second = id.find('\\', 4);
    if (id.rfind("USB\\", 0) != 0 || second == std::string::npos ||
        id.find('\\', second + 1) != std::string::npos)
        return UsbNode::Other;
    const std::string device = id.substr(4, second - 4);
    if (!HasUsbIds(device))
        return UsbNode::Other;
    return device.find("&MI_") == std::string::npos ? UsbNode::Device : UsbNode::Interface;
}

std::string SerialNumberOf(const std::string& instanceId) {
    const std::size_t last = instanceId.rfind('\\');
    if (last == std::string::npos)
        return "";
    const std::string part = instanceId.substr(last + 1);
    return part.find('&') == std::string::npos ? part : "";
}

// "USB Serial Port (COM5)" without " (COM5)".
std::string WithoutComName(const std::string& friendlyName) {
    const std::size_t open = friendlyName.rfind(" (");
    if (open == std::string::npos || friendlyName.back() != ')')
        return friendlyName;
    const std::string inside = friendlyName.substr(open + 2, friendlyName.size() - open - 3);
    return ComNumber(inside) != 0 ? friendlyName.substr(0, open) : friendlyName;
}

} // namespace

bool IsUsbId(const std::string& text) {
    return text.size() == 4 && std::all_of(text.begin(), text.end(),
                                           [](unsigned char c) { return std::isxdigit(c) != 0; });
}

UsbNodesOfPort UsbDeviceOfPort(const std::string& portInstanceId,
                               const std::function<std::string(const std::string&)>& parentOf) {
    std::string node = portInstanceId;
    std::string interface;
    for (int depth = 0; depth < kMostNodesToUsbDevice && !node.empty(); ++depth) {
        const UsbNode kind = UsbNodeOf(node);
        if (kind == UsbNode::Device)
            return {node, interface};
        if (depth > 0 && kind != UsbNode::Interface)
            return {};
        if (kind == UsbNode::Interface)
            interface = node;
        node = parentOf(node);
    }
    return {};
}

std::optional<UsbAdapter> UsbAdapterFrom(const UsbPortStrings& strings) {
    const std::string hardwareId = AsciiUpper(strings.deviceHardwareId);
    if (!HasUsbIds(hardwareId))
        return std::nullopt;
    UsbAdapter usb;
    usb.vendorId = HexIdAfter(hardwareId, "VID_");
    usb.productId = HexIdAfter(hardwareId, "PID_");
    usb.manufacturer = strings.manufacturer;
    usb.product = strings.busDescription.empty() ? WithoutComName(strings.friendlyName)
                                                 : strings.busDescription;
    usb.serialNumber = SerialNumberOf(strings.deviceInstanceId);
    usb.portPath = strings.location;
    usb.interfaceNumber = InterfaceNumberOf(strings.interfaceInstanceId);
    return usb;
}

} // namespace dedarida
