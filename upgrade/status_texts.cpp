#include "upgrade/status_texts.h"

namespace dedarida {

void ProgrammerStatusStr(std::uint8_t mode, std::string& text) {
    if (mode == 0)
        text = "Status: Command";
    else if (mode == 1)
        text = "Status: Data";
}

} // namespace dedarida
