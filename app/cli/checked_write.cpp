#include "app/cli/checked_write.h"

#include "app/cli/terminal.h"

#include <system_error>

namespace dedarida {

std::string WriteChecked(std::FILE* out, std::string_view text) {
    if (const int error = WriteText(out, text); error != 0)
        return std::generic_category().message(error);
    return {};
}

} // namespace dedarida
