#include "app/headless/signal_watcher.h"

#include <pthread.h>
#include <signal.h>
#include <thread>

namespace dedarida {

struct SignalWatcher::Platform {
    sigset_t watched;
    sigset_t previous;
    std::thread thread;
};

SignalWatcher::SignalWatcher(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)), platform_(std::make_unique<Platform>()) {
    sigset_t& watched = platform_->watched;
    sigemptyset(&watched);
    sigaddset(&watched, SIGINT);
    sigaddset(&watched, SIGTERM);
    // SIGUSR1 only ends the watcher itself.
    sigaddset(&watched, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &watched, &platform_->previous);
    platform_->thread = std::thread([this, &watched] {
        for (;;) {
            int signal = 0;
            if (sigwait(&watched, &signal) != 0 || signal == SIGUSR1)
                return;
            Notify();
        }
    });
}

SignalWatcher::~SignalWatcher() {
    pthread_kill(platform_->thread.native_handle(), SIGUSR1);
    platform_->thread.join();
    pthread_sigmask(SIG_SETMASK, &platform_->previous, nullptr);
}

} // namespace dedarida
