#include "ports/list_com_ports.h"
#include "text/ascii_case.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace dedarida {

namespace {

// "0403_6001_A1B2C3@1-1.2:01": the adapter an entry of the folder stands for.
std::optional<UsbAdapter> AdapterNamed(const std::string& name) {
    const std::size_t first = name.find('_');
    const std::size_t second = first == std::string::npos ? first : name.find('_', first + 1);
    if (first != 4 || second != 9)
        return std::nullopt;
    UsbAdapter usb;
    usb.vendorId = AsciiLower(name.substr(0, 4));
    usb.productId = AsciiLower(name.substr(5, 4));
    const std::string rest = name.substr(10);
    const std::size_t at = rest.find('@');
    usb.serialNumber = rest.substr(0, at);
    if (at == std::string::npos)
        return usb;
    // No port path holds a colon: one starts the interface number.
    const std::string place = rest.substr(at + 1);
    const std::size_t colon = place.rfind(':');
    usb.portPath = place.substr(0, colon);
    if (colon != std::string::npos)
        usb.interfaceNumber = place.substr(colon + 1);
    return usb;
}

std::vector<SerialPortInfo> FolderPorts(const std::string& folder) {
    std::vector<SerialPortInfo> ports;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        // Hidden entries are links being made.
        if (entry.path().filename().string().starts_with("."))
            continue;
        SerialPortInfo port;
        port.device = entry.path().string();
        port.usb = AdapterNamed(entry.path().filename().string());
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.device < b.device; });
    return ports;
}

} // namespace

std::string PortsFolder() {
    const char* folder = std::getenv(PortsFolderVariable);
    return folder ? folder : "";
}

std::vector<SerialPortInfo> ListSerialPorts(PortHolding holding) {
    const std::string folder = PortsFolder();
    return folder.empty() ? ListSystemSerialPorts(holding) : FolderPorts(folder);
}

} // namespace dedarida
