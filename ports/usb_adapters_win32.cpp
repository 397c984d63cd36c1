#include "ports/usb_adapters_win32.h"

#include "ports/com_port_interface_win32.h"
#include "ports/registry_key_win32.h"
#include "ports/usb_adapter_ids.h"
#include "serial/com_names.h"
#include "system/system_handle_win32.h"
#include "text/utf16.h"

#include <cfgmgr32.h>
#include <cwchar>
#include <setupapi.h>
#include <windows.h>
// The device class and property keys of the headers after initguid.h are
// defined here; the order matters.
// clang-format off
#include <initguid.h>
#include <devguid.h>
#include <devpkey.h>
// clang-format on

namespace dedarida {

namespace {

using DeviceList = SystemHandle<HDEVINFO, &SetupDiDestroyDeviceInfoList>;

struct DeviceNode {
    HDEVINFO list;
    SP_DEVINFO_DATA data;
};

// The text `read(buffer, bytes, needed)` hands over, the first string of a
// list; empty when there is none. `read` tells in `needed` the bytes it
// wants when called without a buffer.
template <class Read> std::string TextOf(Read read) {
    DWORD needed = 0;
    read(nullptr, 0, &needed);
    std::wstring text(needed / sizeof(wchar_t), L'\0');
    if (text.empty() || !read(reinterpret_cast<BYTE*>(text.data()),
                              static_cast<DWORD>(text.size() * sizeof(wchar_t)), &needed))
        return "";
    // The system's strings need not end in a terminator; the wstring's own ends them.
    text.resize(std::wcslen(text.c_str()));
    return Utf8FromUtf16(text);
}

std::string RegistryText(DeviceNode& node, DWORD property) {
    return TextOf([&](BYTE* buffer, DWORD bytes, DWORD* needed) {
        DWORD type = 0;
        return SetupDiGetDeviceRegistryPropertyW(node.list, &node.data, property, &type, buffer,
                                                 bytes, needed) &&
               (type == REG_SZ || type == REG_MULTI_SZ);
    });
}

std::string PropertyText(DeviceNode& node, const DEVPROPKEY& key) {
    return TextOf([&](BYTE* buffer, DWORD bytes, DWORD* needed) {
        DEVPROPTYPE type = 0;
        return SetupDiGetDevicePropertyW(node.list, &node.data, &key, &type, buffer, bytes, needed,
                                         0) &&
               type == DEVPROP_TYPE_STRING;
    });
}

std::string PortName(DeviceNode& node) {
    const RegistryKey key(SetupDiOpenDevRegKey(node.list, &node.data, DICS_FLAG_GLOBAL, 0,
                                               DIREG_DEV, KEY_QUERY_VALUE));
    if (!key.Valid())
        return "";
    return TextOf([&](BYTE* buffer, DWORD bytes, DWORD* needed) {
        DWORD type = 0;
        *needed = bytes;
        return RegQueryValueExW(key.Get(), L"PortName", nullptr, &type, buffer, needed) ==
                   ERROR_SUCCESS &&
               type == REG_SZ;
    });
}

std::string InstanceId(DeviceNode& node) {
    wchar_t id[MAX_DEVICE_ID_LEN];
    if (!SetupDiGetDeviceInstanceIdW(node.list, &node.data, id, MAX_DEVICE_ID_LEN, nullptr))
        return "";
    return Utf8FromUtf16(id);
}

// The node of `instanceId`, added to `list` when not in it yet.
std::optional<DeviceNode> NodeOf(HDEVINFO list, const std::string& instanceId) {
    DeviceNode node{list, {}};
    node.data.cbSize = sizeof node.data;
    if (!SetupDiOpenDeviceInfoW(list, Utf16FromUtf8(instanceId).c_str(), nullptr, 0, &node.data))
        return std::nullopt;
    return node;
}

// `others` collects the nodes above the port.
std::optional<UsbAdapter> UsbAdapterOf(DeviceNode& port, HDEVINFO others) {
    const UsbNodesOfPort nodes = UsbDeviceOfPort(InstanceId(port), [others](const std::string& id) {
        auto node = NodeOf(others, id);
        return node ? PropertyText(*node, DEVPKEY_Device_Parent) : std::string();
    });
    auto usb =
        nodes.deviceInstanceId.empty() ? std::nullopt : NodeOf(others, nodes.deviceInstanceId);
    if (!usb)
        return std::nullopt;
    return UsbAdapterFrom(
        {RegistryText(*usb, SPDRP_HARDWAREID), nodes.deviceInstanceId,
         RegistryText(port, SPDRP_MFG), PropertyText(*usb, DEVPKEY_Device_BusReportedDeviceDesc),
         RegistryText(port, SPDRP_FRIENDLYNAME), RegistryText(*usb, SPDRP_LOCATION_INFORMATION),
         nodes.interfaceInstanceId});
}

void AddAdapters(HDEVINFO ports, HDEVINFO others, std::map<unsigned, UsbAdapter>& adapters) {
    DeviceNode port{ports, {}};
    port.data.cbSize = sizeof port.data;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(ports, index, &port.data); ++index) {
        const unsigned number = ComNumber(PortName(port));
        if (number == 0 || adapters.count(number) != 0)
            continue;
        if (auto usb = UsbAdapterOf(port, others))
            adapters.emplace(number, std::move(*usb));
    }
}

} // namespace

std::map<unsigned, UsbAdapter> UsbAdaptersByComNumber() {
    std::map<unsigned, UsbAdapter> adapters;
    const DeviceList others(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    if (!others.Valid())
        return adapters;
    // A port driver may register its ports under one of the two only.
    const DeviceList portClass(
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT));
    const DeviceList portInterface(SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr,
                                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    for (const DeviceList* ports : {&portClass, &portInterface})
        if (ports->Valid())
            AddAdapters(ports->Get(), others.Get(), adapters);
    return adapters;
}

} // namespace dedarida
