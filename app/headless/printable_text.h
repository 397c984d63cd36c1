#pragma once

#include <string>
#include <string_view>

namespace dedarida {

// `text` safe for a terminal, a log line or a table cell: control bytes, DEL,
// bytes above 0x7E and the backslash become escapes (\n, \r, \t, \\, \xNN).
// Device texts go through it, so a reply can neither start a line of its own
// nor move the cursor.
std::string Printable(std::string_view text);

// A line of this tool's own (a unit's process said it, its device texts
// escaped already) safe for a terminal: only control bytes and DEL become
// \xNN, so nothing is escaped twice.
std::string WithoutControls(std::string_view line);

} // namespace dedarida
