#pragma once

#include <string>
#include <string_view>

namespace dedarida {

// `text` safe for a terminal, a log line or a table cell: control bytes, DEL,
// bytes above 0x7E and the backslash become escapes (\n, \r, \t, \\, \xNN).
// Device texts go through it, so a reply can neither start a line of its own
// nor move the cursor.
std::string Printable(std::string_view text);

} // namespace dedarida
