#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace dedarida {

// How long an append waits for another program to let go of the log (its
// lock; on Windows also a file it keeps open without sharing it).
struct LogWait {
    std::chrono::milliseconds limit = std::chrono::seconds(10);
    // Asked between tries: once true (an interrupt), the wait goes on for a
    // second at most.
    std::function<bool()> interrupted;
};

// Why `path` cannot take records (a symbolic link, no regular file, a missing
// folder, no permission), else empty. Creates the file when it is missing, so
// a log that could not be made is found out before any unit is touched.
std::string CheckLog(const std::string& path);

// Appends `record` (one line of JSON, no line end) and a line end to the JSON
// Lines file at `path`, creating it. The line goes out in one write under an
// exclusive lock of the file and is synced to the disk before this returns,
// so several processes can share the file. A write the disk took only part
// of is cut off again before the lock goes, and so is a tail without its line
// end that a writer which died left: the file holds whole lines only. Returns
// the reason when the record could not be added, else empty.
std::string AppendRecord(const std::string& path, const std::string& record,
                         const LogWait& wait = {});

} // namespace dedarida
