#include "app/win32/win32_error.h"

#include <string>
#include <system_error>
#include <windows.h>

namespace dedarida {

void ThrowLastError(const char* what) {
    const DWORD code = GetLastError();
    throw std::system_error(static_cast<int>(code), std::system_category(),
                            std::string(what) + " failed (" + std::to_string(code) + ")");
}

} // namespace dedarida
