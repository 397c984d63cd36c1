#pragma once

#include <string>

namespace dedarida {

// Appends `record` (one line of JSON, no line end) and a line end to the JSON
// Lines file at `path`, creating it. The line goes out in one write under an
// exclusive lock of the file and is synced to the disk before this returns,
// so several processes can share the file, and a process killed at any
// moment leaves every line whole. Returns the system's reason when it could
// not, else empty.
std::string AppendRecord(const std::string& path, const std::string& record);

} // namespace dedarida
