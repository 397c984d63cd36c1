#include "app/cli/terminal.h"
#include "text/utf16.h"

#include <algorithm>
#include <cerrno>
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

int WriteText(std::FILE* out, std::string_view text) {
    if (std::fflush(out) != 0)
        return errno != 0 ? errno : EIO;
    const HANDLE console = ConsoleOf(out);
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) {
        // The descriptor keeps the stream's text mode (its line ends).
        const int fd = _fileno(out);
        while (!text.empty()) {
            const unsigned chunk =
                static_cast<unsigned>(std::min<std::size_t>(text.size(), 1 << 20));
            const int written = _write(fd, text.data(), chunk);
            if (written <= 0)
                return written < 0 ? errno : EIO;
            text.remove_prefix(
                std::min<std::size_t>(static_cast<std::size_t>(written), text.size()));
        }
        return 0;
    }
    // The bytes would go through the console's code page, which shows
    // nothing of a name beyond it.
    const std::wstring wide = Utf16FromUtf8(text);
    const wchar_t* left = wide.data();
    DWORD count = static_cast<DWORD>(wide.size());
    while (count > 0) {
        DWORD written = 0;
        if (!WriteConsoleW(console, left, count, &written, nullptr) || written == 0)
            return EIO;
        left += written;
        count -= written;
    }
    return 0;
}

} // namespace dedarida
