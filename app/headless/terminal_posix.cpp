#include "app/headless/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace dedarida {

bool IsLiveTerminal(std::FILE* out) {
    return isatty(fileno(out)) == 1;
}

std::size_t TerminalWidth(std::FILE* out) {
    winsize size{};
    if (ioctl(fileno(out), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

void WriteText(std::FILE* out, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), out);
}

} // namespace dedarida
