#include "app/headless/terminal.h"

#include <io.h>
#include <windows.h>

namespace dedarida {

namespace {

HANDLE ConsoleOf(std::FILE* out) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
}

} // namespace

bool IsLiveTerminal(std::FILE* out) {
    // A console takes the controls once asked to; a pipe or a file is no
    // terminal, and an old console that refuses gets line output.
    const HANDLE console = ConsoleOf(out);
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode))
        return false;
    return SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::size_t TerminalWidth(std::FILE* out) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(ConsoleOf(out), &info))
        return 0;
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

} // namespace dedarida
