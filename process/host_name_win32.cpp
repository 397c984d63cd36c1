#include "process/host_name.h"
#include "text/utf16.h"

#include <windows.h>

namespace dedarida {

std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size) || size == 0)
        return "unknown";
    return Utf8FromUtf16(std::wstring(name, size));
}

} // namespace dedarida
