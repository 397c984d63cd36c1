#include "process/console_interrupts_win32.h"

#include <mutex>
#include <thread>

namespace dedarida {

namespace {

// Windows ends a process whose console closed a few seconds after the event
// at the latest; until then the interrupted upgrade finishes its result and
// record, and the process ends by itself.
constexpr DWORD CloseAllowanceMs = 10000;

std::mutex gMutex;
std::function<void()> gReceiver;
bool gHeld = false;
bool gKept = false;
std::once_flag gInstalled;

// Under the lock.
void Deliver() {
    if (gReceiver)
        gReceiver();
    else
        gKept = true;
}

void Install() {
    std::call_once(gInstalled, [] { SetConsoleCtrlHandler(&ConsoleInterrupts::OnEvent, TRUE); });
}

} // namespace

void ConsoleInterrupts::Hold() {
    Install();
    std::lock_guard lock(gMutex);
    gHeld = true;
}

void ConsoleInterrupts::Relay(HANDLE event) {
    // Waits for the life of the process, which ends it.
    std::thread([event] {
        if (WaitForSingleObject(event, INFINITE) != WAIT_OBJECT_0)
            return;
        std::lock_guard lock(gMutex);
        Deliver();
    }).detach();
}

bool ConsoleInterrupts::Receive(std::function<void()> receiver) {
    Install();
    std::lock_guard lock(gMutex);
    gReceiver = std::move(receiver);
    const bool kept = gKept;
    gKept = false;
    return kept;
}

void ConsoleInterrupts::Release() {
    // Waits for a call in progress: the receiver may be going away.
    std::lock_guard lock(gMutex);
    gReceiver = nullptr;
}

BOOL WINAPI ConsoleInterrupts::OnEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    {
        std::lock_guard lock(gMutex);
        if (!gReceiver && !gHeld)
            return FALSE;
        Deliver();
    }
    if (event == CTRL_CLOSE_EVENT)
        Sleep(CloseAllowanceMs);
    return TRUE;
}

} // namespace dedarida
