#pragma once

#include <windows.h>

namespace dedarida {

// A handle the system opened, given back with `Close` on every way out.
// The opening calls tell failure by a null handle or by INVALID_HANDLE_VALUE,
// each its own; neither is ever a handle, so both are none here.
template <typename Handle, auto Close> class SystemHandle {
public:
    explicit SystemHandle(Handle handle) : handle_(handle) {}
    SystemHandle(const SystemHandle&) = delete;
    SystemHandle& operator=(const SystemHandle&) = delete;
    ~SystemHandle() {
        if (Valid())
            Close(handle_);
    }
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    Handle Get() const { return handle_; }

private:
    Handle handle_;
};

} // namespace dedarida
