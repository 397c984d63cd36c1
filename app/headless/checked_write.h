#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace dedarida {

// The exit status of a run whose upgrades ended, but whose --json record,
// --trace file or --log record could not be written.
inline constexpr int OutputErrorStatus = 74;

// Writes `text` (see WriteText); the system's reason when that failed (a
// full disk), else empty.
std::string WriteChecked(std::FILE* out, std::string_view text);

} // namespace dedarida
