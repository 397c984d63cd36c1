#include "app/headless/port_listing.h"

#include "app/headless/json_text.h"
#include "app/headless/terminal.h"
#include "serial/ecomport.h"
#include "serial/open_failure.h"

#include <cstdio>

namespace dedarida {

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Names(const std::vector<std::string>& comNames) {
    std::string text;
    for (const std::string& name : comNames)
        text += name + " ";
    return text.empty() ? "(no COM name) " : text;
}

Json NullOr(const std::string& text) {
    return text.empty() ? Json() : Json(text);
}

} // namespace

std::string PortListText(const std::vector<SerialPortInfo>& ports) {
    if (ports.empty())
        return std::string(NoPortsText()) + "\n";
    std::string text;
    for (const SerialPortInfo& port : ports) {
        text += Names(port.comNames) + port.device;
        if (port.inUse.value_or(false))
            text += ", in use by " + (port.heldBy.empty() ? "another program" : port.heldBy);
        else if (!port.heldBy.empty())
            text += ", open in " + port.heldBy;
        text += "\n";
        if (!port.byId.empty())
            text += "  by-id: " + port.byId + "\n";
        if (port.usb)
            text += "  usb: " + port.usb->vendorId + ":" + port.usb->productId + ", manufacturer " +
                    Quoted(port.usb->manufacturer) + ", product " + Quoted(port.usb->product) +
                    ", serial " + Quoted(port.usb->serialNumber) +
                    (port.usb->portPath.empty() ? "" : ", usb-path:" + port.usb->portPath) +
                    (port.usb->interfaceNumber.empty()
                         ? ""
                         : ", interface " + Quoted(port.usb->interfaceNumber)) +
                    "\n";
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
