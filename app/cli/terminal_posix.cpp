#include "app/cli/terminal.h"

#include <cerrno>
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

int WriteText(std::FILE* out, std::string_view text) {
    if (std::fflush(out) != 0)
        return errno != 0 ? errno : EIO;
    const int fd = fileno(out);
    while (!text.empty()) {
        const ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

} // namespace dedarida
