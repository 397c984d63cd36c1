#include "app/headless/signal_watcher.h"

#include <windows.h>

namespace dedarida {

namespace {

// The console calls its handlers on a thread of its own, with no context.
std::atomic<SignalWatcher*> gWatcher = nullptr;

} // namespace

struct SignalWatcher::Platform {
    static BOOL WINAPI OnConsoleEvent(DWORD event) {
        if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
            return FALSE;
        SignalWatcher* watcher = gWatcher.load();
        if (watcher == nullptr)
            return FALSE;
        watcher->Notify();
        return TRUE;
    }
};

SignalWatcher::SignalWatcher(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
    gWatcher = this;
    SetConsoleCtrlHandler(&Platform::OnConsoleEvent, TRUE);
}

SignalWatcher::~SignalWatcher() {
    SetConsoleCtrlHandler(&Platform::OnConsoleEvent, FALSE);
    gWatcher = nullptr;
}

} // namespace dedarida
