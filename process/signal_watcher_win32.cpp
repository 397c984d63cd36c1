#include "process/console_interrupts_win32.h"
#include "process/signal_watcher.h"

#include <thread>

namespace dedarida {

struct SignalWatcher::Platform {
    // Takes an interrupt that came before this watcher, on a thread other
    // than the caller's as a live one is.
    std::thread kept;
};

SignalWatcher::SignalWatcher(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)), platform_(std::make_unique<Platform>()) {
    if (ConsoleInterrupts::Receive([this] { Notify(); }))
        platform_->kept = std::thread([this] { Notify(); });
}

SignalWatcher::~SignalWatcher() {
    ConsoleInterrupts::Release();
    if (platform_->kept.joinable())
        platform_->kept.join();
}

} // namespace dedarida
