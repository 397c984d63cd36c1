#pragma once

#include "serial/driver/tty_calls_posix.h"
#include "system/event_fd.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace dedarida {

// Waits in TIOCMIWAIT for the modem status lines (CTS, DSR, RI, DCD) of an
// open tty and makes Fd readable after each change, so a poll() can wait for
// them together with the data. The ioctl cannot be polled, hence the thread;
// it is woken for good by SIGURG, which gets a no-op handler unless the
// program already handles it. The descriptor must outlive the watcher.
class ModemWatcher {
public:
    ModemWatcher(int fd, TtyCalls& calls);
    ModemWatcher(const ModemWatcher&) = delete;
    ModemWatcher& operator=(const ModemWatcher&) = delete;
    ~ModemWatcher();

    int Fd() const { return changed_.Fd(); }
    void Reset() { changed_.Reset(); }

private:
    void Run();

    int fd_;
    TtyCalls& calls_;
    EventFd changed_;
    std::atomic<bool> stop_ = false;
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread thread_;
};

} // namespace dedarida
