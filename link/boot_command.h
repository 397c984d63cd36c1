#pragma once

#include "link/protocol.h"

#include <cstdint>
#include <string>

namespace dedarida {

// The status-bar text of a bootloader request; an unknown code leaves `text`
// as it is.
void GetCommandStr(std::uint8_t code, std::string& text);

} // namespace dedarida
