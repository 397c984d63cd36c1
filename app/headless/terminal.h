#pragma once

#include <cstddef>
#include <cstdio>

namespace dedarida {

// Whether `out` is a terminal that takes the cursor controls a live line
// needs (where the system has to be asked for them, they are turned on).
bool IsLiveTerminal(std::FILE* out);
// The terminal's width in columns; 0 when it cannot be told.
std::size_t TerminalWidth(std::FILE* out);

} // namespace dedarida
