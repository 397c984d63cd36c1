#pragma once

#include <string>

namespace dedarida {

// This computer's name, as the records of a station name it by default;
// "unknown" when the system does not tell.
std::string HostName();

} // namespace dedarida
