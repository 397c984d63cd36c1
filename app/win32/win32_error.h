#pragma once

namespace dedarida {

// Raises std::system_error for the failed window call `what`, with the
// system's last error code.
[[noreturn]] void ThrowLastError(const char* what);

} // namespace dedarida
