#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

namespace dedarida {

// Whether `out` is a terminal that takes the cursor controls a live line
// needs (where the system has to be asked for them, they are turned on).
bool IsLiveTerminal(std::FILE* out);
// The terminal's width in columns; 0 when it cannot be told.
std::size_t TerminalWidth(std::FILE* out);
// Writes `text` (UTF-8) to `out`: a console shows its characters whatever its
// code page; a file or a pipe gets the bytes as they are. It goes straight to
// the stream's descriptor, so no buffer is left for the exit to flush to a
// reader that stopped. Returns 0, or the system's error number.
int WriteText(std::FILE* out, std::string_view text);

} // namespace dedarida
