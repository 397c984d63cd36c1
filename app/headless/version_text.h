#pragma once

#include <string>

namespace dedarida {

// What `dedarida --version` prints: the tool's version, and the size and
// SHA-256 of the firmware built into it, so a technician can tell which image
// a binary carries.
std::string VersionText();

} // namespace dedarida
