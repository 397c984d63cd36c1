#pragma once

#include <windows.h>

namespace dedarida {

// An open registry key, closed on every way out; Get() is null when the key
// could not be opened.
class RegistryKey {
public:
    RegistryKey(HKEY parent, const char* path) {
        if (RegOpenKeyExA(parent, path, 0, KEY_QUERY_VALUE, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    // Takes over a key another call opened; INVALID_HANDLE_VALUE is none.
    explicit RegistryKey(HKEY opened) : key_(opened == INVALID_HANDLE_VALUE ? nullptr : opened) {}
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

} // namespace dedarida
