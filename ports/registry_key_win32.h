#pragma once

#include "system/system_handle_win32.h"

#include <windows.h>

namespace dedarida {

using RegistryKey = SystemHandle<HKEY, &RegCloseKey>;

// The key at `path` under `parent`, opened to read its values; not Valid
// when it cannot be.
inline RegistryKey OpenRegistryKey(HKEY parent, const char* path) {
    HKEY key = nullptr;
    return RegistryKey(
        RegOpenKeyExA(parent, path, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS ? key : nullptr);
}

} // namespace dedarida
