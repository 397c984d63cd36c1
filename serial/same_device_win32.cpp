#include "serial/com_names.h"
#include "serial/same_device.h"
#include "text/ascii_case.h"
#include "text/utf16.h"

#include <cwchar>
#include <windows.h>

namespace dedarida {

namespace {

constexpr const char kDevicePrefix[] = "\\\\.\\";

// `name` with its full path, as the system resolves it; as it is when the
// system cannot.
std::string FullPath(const std::string& name) {
    const std::wstring wide = Utf16FromUtf8(name);
    std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
    if (full.empty() ||
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr) == 0)
        return name;
    full.resize(std::wcslen(full.c_str()));
    return Utf8FromUtf16(full);
}

} // namespace

std::string DeviceKey(const std::string& path) {
    if (path.empty())
        return {};
    std::string name = path;
    if (name.rfind(kDevicePrefix, 0) == 0 || name.rfind("\\\\?\\", 0) == 0)
        name.erase(0, 4);
    if (const unsigned number = ComNumber(name))
        return kDevicePrefix + std::string("COM") + std::to_string(number);
    return AsciiUpper(kDevicePrefix + FullPath(name));
}

} // namespace dedarida
