#include "serial/present_com_ports.h"

#include <windows.h>

namespace dedarida {

namespace {

constexpr const char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Closes the key on every way out.
class RegistryKey {
public:
    RegistryKey(HKEY parent, const char* path) {
        if (RegOpenKeyExA(parent, path, 0, KEY_QUERY_VALUE, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

} // namespace

std::vector<ComPortDevice> PresentComPorts() {
    std::vector<ComPortDevice> present;
    // The key exists only while the system has a serial port.
    const RegistryKey key(HKEY_LOCAL_MACHINE, kSerialComm);
    if (key.Get() == nullptr)
        return present;
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
        present.push_back({reinterpret_cast<const char*>(name), device});
    }
    return present;
}

} // namespace dedarida
