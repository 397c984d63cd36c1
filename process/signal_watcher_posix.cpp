#include "process/signal_watcher.h"
#include "system/descriptor_watch_posix.h"

#include <optional>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace dedarida {

struct SignalWatcher::Platform {
    sigset_t watched;
    sigset_t previous;
    int signals = -1;
    std::optional<DescriptorWatch> watch;
};

SignalWatcher::SignalWatcher(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)), platform_(std::make_unique<Platform>()) {
    Platform& p = *platform_;
    sigemptyset(&p.watched);
    // A closed terminal (SIGHUP) ends the upgrade as Ctrl-C does, never
    // silently in the middle of a block. The user signals mean nothing here:
    // taken and dropped, they can neither end the upgrade nor this watcher.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2})
        sigaddset(&p.watched, signal);
    pthread_sigmask(SIG_BLOCK, &p.watched, &p.previous);
    // Non-blocking: where two watchers live at once (a window's and the
    // children's), both wake for one signal and only one can read it; a
    // blocking read would hold the other's thread, and its end, for ever.
    p.signals = signalfd(-1, &p.watched, SFD_CLOEXEC | SFD_NONBLOCK);
    // Blocked with nothing to read them, Ctrl-C would be ignored: without a
    // descriptor the signals keep their default action.
    if (p.signals < 0)
        pthread_sigmask(SIG_SETMASK, &p.previous, nullptr);
    else
        p.watch.emplace(p.signals, [this] {
            signalfd_siginfo info;
            if (read(platform_->signals, &info, sizeof info) == sizeof info &&
                info.ssi_signo != SIGUSR1 && info.ssi_signo != SIGUSR2)
                Notify();
        });
}

SignalWatcher::~SignalWatcher() {
    platform_->watch.reset();
    if (platform_->signals >= 0)
        close(platform_->signals);
    pthread_sigmask(SIG_SETMASK, &platform_->previous, nullptr);
}

} // namespace dedarida
