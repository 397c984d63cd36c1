#pragma once

#include <string>
#include <string_view>

namespace dedarida {

// `text` from outside (a device's reply, a port's name, a process's name)
// safe for a terminal, a log line or a table cell: control bytes, DEL and
// bytes above 0x7E become escapes (\n, \r, \t, \xNN), so it can neither start
// a line of its own nor move the cursor. A backslash stays as it is: a
// Windows device path must read as the path it is.
std::string Printable(std::string_view text);

// `text` between double quotes as Printable shows it, with a quote or a
// backslash inside as \x22 and \x5C, so that only the closing quote ends it.
std::string Quoted(std::string_view text);

// A line of this tool's own (a unit's process said it, its device texts
// escaped already) safe for a terminal: only control bytes and DEL become
// \xNN, so nothing is escaped twice.
std::string WithoutControls(std::string_view line);

} // namespace dedarida
