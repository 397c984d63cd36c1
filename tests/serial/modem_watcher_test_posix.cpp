#include "serial/driver/modem_watcher_posix.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>

using namespace dedarida;
using namespace std::chrono_literals;

namespace {

// A modem-line driver whose second change lands between two waits of the
// watcher, where TIOCMIWAIT itself cannot see it.
class GapLines : public TtyCalls {
public:
    int Ioctl(int, unsigned long request, void* argument) override {
        if (request != TIOCGICOUNT)
            return -1;
        std::unique_lock lock(mutex_);
        if (waits_ == 1 && ++readsAfterFirstWait_ == 2) {
            // The second change comes once the first one's wake-up has been
            // taken, before the watcher waits again.
            cleared_.wait(lock, [this] { return clearedFirst_; });
            ++counters_.cts;
        }
        *static_cast<serial_icounter_struct*>(argument) = counters_;
        return 0;
    }
    int WaitModemChange(int, int) override {
        {
            std::lock_guard lock(mutex_);
            if (++waits_ == 1) {
                ++counters_.cts;
                return 0;
            }
        }
        return ::poll(nullptr, 0, -1); // no more changes: until woken to end
    }
    void FirstChangeCleared() {
        {
            std::lock_guard lock(mutex_);
            clearedFirst_ = true;
        }
        cleared_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cleared_;
    serial_icounter_struct counters_{};
    int waits_ = 0;
    bool clearedFirst_ = false;
    int readsAfterFirstWait_ = 0;
};

bool Readable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeoutMs) == 1;
}

TEST(ModemWatcher, AChangeBetweenTwoWaitsIsNotMissed) {
    GapLines lines;
    ModemWatcher watcher(-1, lines);
    ASSERT_TRUE(Readable(watcher.Fd(), 1000));
    watcher.Reset();
    lines.FirstChangeCleared();
    EXPECT_TRUE(Readable(watcher.Fd(), 1000));
}

} // namespace
