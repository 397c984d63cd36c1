#include "app/headless/signal_watcher.h"

#include <pthread.h>

namespace dedarida {

SignalWatcher::SignalWatcher(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
    sigemptyset(&watched_);
    sigaddset(&watched_, SIGINT);
    sigaddset(&watched_, SIGTERM);
    // SIGUSR1 only ends the watcher itself.
    sigaddset(&watched_, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &watched_, &previous_);
    thread_ = std::thread([this] {
        for (;;) {
            int signal = 0;
            if (sigwait(&watched_, &signal) != 0 || signal == SIGUSR1)
                return;
            signalled_ = true;
            onSignal_();
        }
    });
}

SignalWatcher::~SignalWatcher() {
    pthread_kill(thread_.native_handle(), SIGUSR1);
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

} // namespace dedarida
