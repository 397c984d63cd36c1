#include "process/console_interrupts_win32.h"
#include "process/process_setup.h"
#include "text/utf16.h"

#include <array>
#include <string>
#include <windows.h>

namespace dedarida {

// Windows has neither SIGPIPE nor inherited descriptor numbers to reserve:
// a missing standard handle stays missing, and no file takes its place.
void PrepareProcess() {}

void HoldInterrupts() {
    ConsoleInterrupts::Hold();
    const std::wstring variable = Utf16FromUtf8(SupervisorVariable);
    std::array<wchar_t, 128> name{};
    const DWORD length =
        GetEnvironmentVariableW(variable.c_str(), name.data(), static_cast<DWORD>(name.size()));
    if (length == 0 || length >= name.size())
        return;
    SetEnvironmentVariableW(variable.c_str(), nullptr);
    if (HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name.data()))
        ConsoleInterrupts::Relay(event);
}

} // namespace dedarida
