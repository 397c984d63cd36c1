#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace dedarida {

// Writes `text` (see WriteText); the system's reason when that failed (a
// full disk), else empty.
std::string WriteChecked(std::FILE* out, std::string_view text);

} // namespace dedarida
