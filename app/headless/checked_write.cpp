#include "app/headless/checked_write.h"

#include "app/headless/terminal.h"

#include <cerrno>
#include <system_error>

namespace dedarida {

std::string WriteChecked(std::FILE* out, std::string_view text) {
    errno = 0;
    WriteText(out, text);
    if (std::fflush(out) != 0 || std::ferror(out))
        return std::generic_category().message(errno != 0 ? errno : EIO);
    return {};
}

} // namespace dedarida
