#include "serial/modem_watcher.h"

#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <sys/ioctl.h>

namespace dedarida {

namespace {

constexpr int kWakeSignal = SIGURG;
// The signal can land just before the thread enters the ioctl; send again.
constexpr auto kWakeRetry = std::chrono::milliseconds(10);

void IgnoreWake(int) {}

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

ModemWatcher::ModemWatcher(int fd) : fd_(fd) {
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
    while (!stop_.load()) {
        if (ioctl(fd_, TIOCMIWAIT, lines) == 0) {
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
