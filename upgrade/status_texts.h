#pragma once

#include <cstdint>
#include <string>

namespace dedarida {

// "Status: Command" for mode 0, "Status: Data" for mode 1; other modes leave
// `text` as it is.
void ProgrammerStatusStr(std::uint8_t mode, std::string& text);

} // namespace dedarida
