#include "app/headless/console_interrupts_win32.h"

#include <mutex>

namespace dedarida {

namespace {

std::mutex gMutex;
std::function<void()> gReceiver;

} // namespace

void ConsoleInterrupts::Hold() {}

bool ConsoleInterrupts::Receive(std::function<void()> receiver) {
    {
        std::lock_guard lock(gMutex);
        gReceiver = std::move(receiver);
    }
    SetConsoleCtrlHandler(&OnEvent, TRUE);
    return false;
}

void ConsoleInterrupts::Release() {
    SetConsoleCtrlHandler(&OnEvent, FALSE);
    std::lock_guard lock(gMutex);
    gReceiver = nullptr;
}

BOOL WINAPI ConsoleInterrupts::OnEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    std::lock_guard lock(gMutex);
    if (!gReceiver)
        return FALSE;
    gReceiver();
    return TRUE;
}

} // namespace dedarida
