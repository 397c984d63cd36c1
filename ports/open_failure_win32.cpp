#include "ports/open_failure.h"
#include "text/utf16.h"

#include <windows.h>

namespace dedarida {

OpenFailure ClassifyOpenFailure(int code) {
    switch (code) {
    // A COM port opens for one program at a time: the system says "access
    // denied" to the second.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return OpenFailure::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return OpenFailure::Missing;
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_UNIT:
        return OpenFailure::Gone;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return OpenFailure::NotSerial;
    default:
        return OpenFailure::Other;
    }
}

std::string SystemErrorText(int code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string words = length > 0 ? Utf8FromUtf16(std::wstring_view(text, length)) : "";
    LocalFree(text);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == '.'))
        words.pop_back();
    return words.empty() ? "Windows error " + std::to_string(code) : words;
}

// Windows does not tell which program holds a port.
std::string PortHoldersText(const std::string&) {
    return {};
}

const char* PermissionHint() {
    return "Ask the administrator of this computer for access to the port.";
}

const char* NoPortsText() {
    return "No serial ports are present; plug in the adapter, and check that Device Manager "
           "lists it under Ports (COM & LPT).";
}

} // namespace dedarida
