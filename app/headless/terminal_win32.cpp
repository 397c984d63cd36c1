#include "app/headless/terminal.h"
#include "unicode/utf16.h"

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

void WriteText(std::FILE* out, std::string_view text) {
    const HANDLE console = ConsoleOf(out);
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) {
        std::fwrite(text.data(), 1, text.size(), out);
        return;
    }
    // The bytes would go through the console's code page, which shows
    // nothing of a name beyond it.
    std::fflush(out);
    const std::wstring wide = Utf16FromUtf8(text);
    const wchar_t* left = wide.data();
    DWORD count = static_cast<DWORD>(wide.size());
    while (count > 0) {
        DWORD written = 0;
        if (!WriteConsoleW(console, left, count, &written, nullptr) || written == 0)
            return;
        left += written;
        count -= written;
    }
}

} // namespace dedarida
