#include "link/boot_command.h"

namespace dedarida {

void GetCommandStr(std::uint8_t code, std::string& text) {
    switch (code) {
    case BootPoll:
        text = "Poll";
        break;
    case BootEraseFlash:
        text = "Erase Flash";
        break;
    case BootProgram:
        text = "Program";
        break;
    case BootStartApplication:
        text = "Start Application";
        break;
    case BootFwId:
        text = "Fw Id";
        break;
    default:
        break;
    }
}

} // namespace dedarida
