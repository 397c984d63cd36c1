#include "app/cli/port_listing.h"

#include "app/cli/terminal.h"
#include "ports/open_failure.h"
#include "ports/port_selector.h"
#include "serial/ecomport.h"
#include "text/json_text.h"
#include "text/printable_text.h"

#include <cstdio>

namespace dedarida {

namespace {

std::string Names(const std::vector<std::string>& comNames) {
    std::string text;
    for (const std::string& name : comNames)
        text += name + " ";
    return text.empty() ? "(no COM name) " : text;
}

Json NullOr(const std::string& text) {
    return text.empty() ? Json() : Json(text);
}

std::vector<std::string> LookAlikesOf(const SerialPortInfo& port,
                                      const std::vector<SerialPortInfo>& ports) {
    std::vector<std::string> devices;
    for (const SerialPortInfo& other : ports)
        if (LookAlike(port, other))
            devices.push_back(other.device);
    return devices;
}

// Nothing in their USB identity tells them apart: say what does.
std::string LookAlikeLine(const SerialPortInfo& port, const std::vector<SerialPortInfo>& ports) {
    const std::vector<std::string> devices = LookAlikesOf(port, ports);
    if (devices.empty())
        return "";
    std::string line = "  look-alike of ";
    for (const std::string& device : devices)
        line += (&device == &devices.front() ? "" : ", ") + Printable(device);
    const std::string path = PathSelectorOf(port, ports);
    return line + " (the same USB ids and serial number): name it " +
           (path.empty() ? "by its device" : "--port " + Printable(path)) + "\n";
}

} // namespace

std::string PortListText(const std::vector<SerialPortInfo>& ports) {
    if (ports.empty())
        return std::string(NoPortsText()) + "\n";
    std::string text;
    for (const SerialPortInfo& port : ports) {
        text += Names(port.comNames) + Printable(port.device);
        if (port.inUse.value_or(false))
            text +=
                ", in use by " + (port.heldBy.empty() ? "another program" : Printable(port.heldBy));
        else if (!port.heldBy.empty())
            text += ", open in " + Printable(port.heldBy);
        text += "\n";
        if (!port.byId.empty())
            text += "  by-id: " + Printable(port.byId) + "\n";
        if (port.usb)
            text +=
                "  usb: " + port.usb->vendorId + ":" + port.usb->productId + ", manufacturer " +
                Quoted(port.usb->manufacturer) + ", product " + Quoted(port.usb->product) +
                ", serial " + Quoted(port.usb->serialNumber) +
                (port.usb->portPath.empty() ? "" : ", usb-path:" + Printable(port.usb->portPath)) +
                (port.usb->interfaceNumber.empty()
                     ? ""
                     : ", interface " + Quoted(port.usb->interfaceNumber)) +
                "\n";
        text += LookAlikeLine(port, ports);
    }
    return text;
}

std::string PortListJson(const std::vector<SerialPortInfo>& ports) {
    Json list = Json::array();
    for (const SerialPortInfo& port : ports) {
        Json usb;
        if (port.usb)
            usb = {{"vendorId", port.usb->vendorId},
                   {"productId", port.usb->productId},
                   {"manufacturer", port.usb->manufacturer},
                   {"product", port.usb->product},
                   {"serialNumber", port.usb->serialNumber},
                   {"portPath", NullOr(port.usb->portPath)},
                   {"interfaceNumber", NullOr(port.usb->interfaceNumber)}};
        list.push_back({{"comNames", port.comNames},
                        {"device", port.device},
                        {"byId", NullOr(port.byId)},
                        {"usb", usb},
                        {"lookAlikeOf", LookAlikesOf(port, ports)},
                        {"inUse", port.inUse ? Json(*port.inUse) : Json()},
                        {"heldBy", NullOr(port.heldBy)}});
    }
    return JsonText(list, 2) + "\n";
}

int PrintPortList(bool json) {
    try {
        const auto ports = ListSerialPorts();
        WriteText(stdout, json ? PortListJson(ports) : PortListText(ports));
        return 0;
    } catch (const EComPort& failure) {
        WriteText(stderr, "dedarida: " + std::string(failure.what()) + "\n");
        return 1;
    }
}

} // namespace dedarida
