#include "ports/list_com_ports.h"
#include "ports/port_holders_posix.h"
#include "serial/com_names.h"
#include "serial/ecomport.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <libudev.h>
#include <linux/serial.h>
#include <memory>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace dedarida {

namespace {

constexpr unsigned kFixedTableSize = 9;
constexpr const char kVariablePrefix[] = "DEDARIDA_COM";
constexpr const char kByIdFolder[] = "/dev/serial/by-id";

struct FoundPort {
    SerialPortInfo info;
    dev_t number;
};

// A name of the file system and the character device it stands for.
struct DeviceName {
    std::string path;
    dev_t number;
};

std::optional<dev_t> CharacterDevice(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
        return std::nullopt;
    return info.st_rdev;
}

// The kernel's UART type of a /dev/ttyS device: 0 is "unknown", a port the
// driver reserves although no hardware answers there. Only when sysfs does
// not say is the port asked, and asking changes nothing on it.
bool IsRealUart(udev_device* device, const char* node) {
    if (const char* type = udev_device_get_sysattr_value(device, "type"))
        return std::atoi(type) != 0;
    const int fd = ::open(node, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct serial{};
    const bool known = ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type != PORT_UNKNOWN;
    ::close(fd);
    return known;
}

std::string Attribute(udev_device* device, const char* name) {
    const char* value = udev_device_get_sysattr_value(device, name);
    return value ? value : "";
}

std::optional<UsbAdapter> UsbAdapterOf(udev_device* tty) {
    // The parent belongs to the child; it is not released on its own.
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    if (!usb)
        return std::nullopt;
    const char* portPath = udev_device_get_sysname(usb);
    udev_device* interface =
        udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_interface");
    return UsbAdapter{Attribute(usb, "idVendor"),
                      Attribute(usb, "idProduct"),
                      Attribute(usb, "manufacturer"),
                      Attribute(usb, "product"),
                      Attribute(usb, "serial"),
                      portPath ? portPath : "",
                      interface ? Attribute(interface, "bInterfaceNumber") : ""};
}

// The kernel's tty devices that sit on hardware; `seen` collects every tty
// device number the kernel lists, kept or not.
std::vector<FoundPort> KernelPorts(std::set<dev_t>& seen) {
    const std::unique_ptr<udev, decltype(&udev_unref)> context(udev_new(), udev_unref);
    if (!context)
        throw EComPort("Cannot list the serial ports");
    const std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> enumeration(
        udev_enumerate_new(context.get()), udev_enumerate_unref);
    if (!enumeration || udev_enumerate_add_match_subsystem(enumeration.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(enumeration.get()) < 0)
        throw EComPort("Cannot list the serial ports");

    std::vector<FoundPort> ports;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get())) {
        const std::unique_ptr<udev_device, decltype(&udev_device_unref)> device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)),
            udev_device_unref);
        const char* node = device ? udev_device_get_devnode(device.get()) : nullptr;
        if (!node)
            continue;
        seen.insert(udev_device_get_devnum(device.get()));
        // Consoles and pseudo terminals of the kernel have no parent device.
        if (!udev_device_get_parent(device.get()))
            continue;
        if (std::strncmp(udev_device_get_sysname(device.get()), "ttyS", 4) == 0 &&
            !IsRealUart(device.get(), node))
            continue;
        FoundPort port{{}, udev_device_get_devnum(device.get())};
        port.info.device = node;
        port.info.usb = UsbAdapterOf(device.get());
        ports.push_back(std::move(port));
    }
    return ports;
}

// COM numbers named by DEDARIDA_COMn variables, then those of the fixed table.
std::set<unsigned> CandidateNumbers() {
    std::set<unsigned> numbers;
    for (unsigned n = 1; n <= kFixedTableSize; ++n)
        numbers.insert(n);
    const std::size_t prefix = std::strlen(kVariablePrefix);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::size_t equals = text.find('=');
        if (text.compare(0, prefix, kVariablePrefix) != 0 || equals == std::string::npos)
            continue;
        const std::string digits = text.substr(prefix, equals - prefix);
        if (digits.empty() || digits.size() > 3 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](unsigned char c) { return std::isdigit(c) != 0; }))
            continue;
        if (const unsigned n = static_cast<unsigned>(std::stoul(digits)); n > 0)
            numbers.insert(n);
    }
    return numbers;
}

// Each COM name whose device exists, in the dialog's form ("COM05").
std::vector<DeviceName> ComNamesPresent() {
    std::vector<DeviceName> names;
    for (const unsigned number : CandidateNumbers()) {
        if (const auto device =
                CharacterDevice(DevicePathForComName("COM" + std::to_string(number))))
            names.push_back({ListedComName(number), *device});
    }
    return names;
}

// The /dev/serial/by-id links by the name of the node they point to; udev
// makes them relative ("../../ttyUSB0").
std::vector<std::pair<std::string, std::string>> ByIdLinks() {
    std::vector<std::pair<std::string, std::string>> links;
    std::error_code error;
    for (const auto& link : std::filesystem::directory_iterator(kByIdFolder, error)) {
        std::error_code unreadable;
        const auto target = std::filesystem::read_symlink(link.path(), unreadable);
        if (!unreadable)
            links.emplace_back(target.filename().string(), link.path().string());
    }
    return links;
}

} // namespace

std::vector<SerialPortInfo> ListSystemSerialPorts(PortHolding holding) {
    std::set<dev_t> seen;
    std::vector<FoundPort> ports = KernelPorts(seen);
    const std::vector<DeviceName> comNames = ComNamesPresent();
    for (const DeviceName& name : comNames) {
        if (seen.count(name.number))
            continue;
        seen.insert(name.number);
        FoundPort port{{}, name.number};
        port.info.device = DevicePathForComName(name.path);
        ports.push_back(std::move(port));
    }
    const auto links = ByIdLinks();
    const std::optional<PortHolders> holders =
        holding == PortHolding::Told ? std::optional<PortHolders>(std::in_place) : std::nullopt;
    std::vector<SerialPortInfo> list;
    for (FoundPort& port : ports) {
        for (const DeviceName& name : comNames)
            if (name.number == port.number)
                port.info.comNames.push_back(name.path);
        const std::string nodeName = std::filesystem::path(port.info.device).filename().string();
        for (const auto& [target, link] : links)
            if (target == nodeName)
                port.info.byId = link;
        if (holders) {
            port.info.inUse = holders->LockedByAnotherProgram(port.info.device);
            port.info.heldBy = HoldersText(holders->HoldersOf(port.info.device));
        }
        list.push_back(std::move(port.info));
    }
    std::sort(list.begin(), list.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.device < b.device; });
    return list;
}

} // namespace dedarida
