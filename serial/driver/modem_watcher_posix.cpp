#include "serial/driver/modem_watcher_posix.h"

#include <cerrno>
#include <csignal>
#include <linux/serial.h>
#include <pthread.h>
#include <sys/ioctl.h>

namespace dedarida {

namespace {

constexpr int kWakeSignal = SIGURG;
// The signal can land just before the thread enters the ioctl; send again.
constexpr auto kWakeRetry = std::chrono::milliseconds(10);

void IgnoreWake(int) {}

// The modem-line part of the driver's counters; false where it has none.
bool ModemCounts(TtyCalls& calls, int fd, serial_icounter_struct& counts) {
    return calls.Ioctl(fd, TIOCGICOUNT, &counts) == 0;
}

bool SameLines(const serial_icounter_struct& a, const serial_icounter_struct& b) {
    return a.cts == b.cts && a.dsr == b.dsr && a.rng == b.rng && a.dcd == b.dcd;
}

void InstallWakeHandler() {
    static const bool installed = [] {
        struct sigaction current {};
        sigaction(kWakeSignal, nullptr, &current);
        if (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN) {
            struct sigaction wake {};
            wake.sa_handler = IgnoreWake; // no SA_RESTART: the ioctl must return
            sigemptyset(&wake.sa_mask);
            sigaction(kWakeSignal, &wake, nullptr);
        }
        return true;
    }();
    (void)installed;
}

} // namespace

ModemWatcher::ModemWatcher(int fd, TtyCalls& calls) : fd_(fd), calls_(calls) {
    InstallWakeHandler();
    thread_ = std::thread([this] { Run(); });
}

ModemWatcher::~ModemWatcher() {
    stop_ = true;
    std::unique_lock lock(mutex_);
    while (!done_) {
        pthread_kill(thread_.native_handle(), kWakeSignal);
        ended_.wait_for(lock, kWakeRetry, [this] { return done_; });
    }
    lock.unlock();
    thread_.join();
}

void ModemWatcher::Run() {
    const int lines = TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD;
    // TIOCMIWAIT waits for a change after it is entered: one between two
    // waits shows only in the counters, so they are compared before each.
    serial_icounter_struct seen{};
    bool counted = ModemCounts(calls_, fd_, seen);
    while (!stop_.load()) {
        serial_icounter_struct now{};
        if (counted && ModemCounts(calls_, fd_, now) && !SameLines(now, seen)) {
            seen = now;
            changed_.Set();
        }
        if (calls_.WaitModemChange(fd_, lines) == 0) {
            counted = ModemCounts(calls_, fd_, seen);
            changed_.Set();
        } else if (errno != EINTR) {
            changed_.Set(); // the event wait finds out what went wrong
            break;
        }
    }
    std::lock_guard lock(mutex_);
    done_ = true;
    ended_.notify_all();
}

} // namespace dedarida
