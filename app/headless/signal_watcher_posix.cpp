#include "app/headless/signal_watcher.h"
#include "serial/event_fd.h"

#include <cerrno>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

namespace dedarida {

struct SignalWatcher::Platform {
    sigset_t watched;
    sigset_t previous;
    int signals = -1;
    // Ends the watcher; a signal of any kind never does.
    EventFd stop;
    std::thread thread;
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
    p.signals = signalfd(-1, &p.watched, SFD_CLOEXEC);
    p.thread = std::thread([this] {
        Platform& platform = *platform_;
        pollfd fds[2] = {{platform.signals, POLLIN, 0}, {platform.stop.Fd(), POLLIN, 0}};
        while (platform.signals >= 0) {
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents != 0)
                return;
            signalfd_siginfo info;
            if (read(platform.signals, &info, sizeof info) == sizeof info &&
                info.ssi_signo != SIGUSR1 && info.ssi_signo != SIGUSR2)
                Notify();
        }
    });
}

SignalWatcher::~SignalWatcher() {
    platform_->stop.Set();
    platform_->thread.join();
    if (platform_->signals >= 0)
        close(platform_->signals);
    pthread_sigmask(SIG_SETMASK, &platform_->previous, nullptr);
}

} // namespace dedarida
