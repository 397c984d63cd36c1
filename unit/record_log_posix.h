#pragma once

#include "unit/record_log.h"

#include <cstddef>
#include <sys/types.h>

namespace dedarida {

// The write that puts a record's line into the log, as write(2) does it. A
// test bench overrides it to show what a full disk does.
class LogFileCalls {
public:
    virtual ~LogFileCalls() = default;
    virtual ssize_t Write(int fd, const void* data, std::size_t size);
};

// The calls as they are.
LogFileCalls& SystemLogFileCalls();

// AppendRecord with its write made through `calls`.
std::string AppendRecord(const std::string& path, const std::string& record, const LogWait& wait,
                         LogFileCalls& calls);

} // namespace dedarida
