#pragma once

#include "serial/run_queue.h"

#include <atomic>
#include <windows.h>

namespace dedarida {

// The application object: the common controls, and the core's main thread,
// whose queued routines (RunAndWait and posted ones alike) arrive as messages
// of the thread's message queue, so they also run while a modal dialog or
// message box has the loop. Construct it on the main thread.
class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    MainThread& MainQueue() { return queue_; }

    // The message loop, until the main window posts its quit message; returns
    // the quit code. `accelerators` act for `mainWindow` and its controls only.
    int Run(HWND mainWindow, HACCEL accelerators);

private:
    static LRESULT CALLBACK QueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Wake();

    HWND queueWindow_;
    // One wake message at a time: the routines queued meanwhile run with it.
    std::atomic<bool> wakePending_{false};
    RunQueue queue_;
};

} // namespace dedarida
