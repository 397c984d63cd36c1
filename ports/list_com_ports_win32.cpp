#include "ports/list_com_ports.h"
#include "ports/registry_key_win32.h"
#include "ports/usb_adapters_win32.h"
#include "serial/com_names.h"

#include <algorithm>
#include <windows.h>

namespace dedarida {

namespace {

constexpr const char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The COM names the system lists, in no particular order; each value of the
// key is a device, its data the name ("COM5").
std::vector<std::string> RegisteredComNames() {
    std::vector<std::string> names;
    // The key exists only while the system has a serial port.
    const RegistryKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, kSerialComm);
    if (!key.Valid())
        return names;
    for (DWORD index = 0;; ++index) {
        char device[256];
        DWORD deviceLength = sizeof device;
        BYTE name[64];
        DWORD nameBytes = sizeof name - 1;
        DWORD type = 0;
        const LONG status = RegEnumValueA(key.Get(), index, device, &deviceLength, nullptr, &type,
                                          name, &nameBytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        // A value too long for a COM name is not one; skip it.
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        name[nameBytes] = 0;
        names.emplace_back(reinterpret_cast<const char*>(name));
    }
    return names;
}

} // namespace

std::vector<SerialPortInfo> ListSystemSerialPorts(PortHolding) {
    std::vector<unsigned> numbers;
    for (const std::string& name : RegisteredComNames())
        // A driver may list a name that is no COM name; no one can open it by one.
        if (const unsigned number = ComNumber(name); number != 0)
            numbers.push_back(number);
    std::sort(numbers.begin(), numbers.end());
    const auto adapters = UsbAdaptersByComNumber();
    std::vector<SerialPortInfo> list;
    for (const unsigned number : numbers) {
        SerialPortInfo port;
        port.comNames = {ListedComName(number)};
        port.device = DevicePathForComName("COM" + std::to_string(number));
        if (const auto usb = adapters.find(number); usb != adapters.end())
            port.usb = usb->second;
        list.push_back(std::move(port));
    }
    return list;
}

} // namespace dedarida
