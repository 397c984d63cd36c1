#pragma once

#include <string>

namespace dedarida {

// What `dedarida --version` prints: the tool's version, and the size and
// SHA-256 of the firmware built into it, so a technician can tell which image
// a binary carries.
std::string VersionText();

// The tool's version alone ("4.5"), for records and traces.
const char* ToolVersion();

} // namespace dedarida
