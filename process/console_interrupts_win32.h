#pragma once

#include <functional>
#include <windows.h>

namespace dedarida {

// The console's interrupts for the whole process: Ctrl-C, Ctrl-Break and the
// console closed. The console calls its handler on a thread of its own.
class ConsoleInterrupts {
public:
    // From now on no interrupt ends the process by itself: one that comes
    // while nobody receives is kept for the next receiver.
    static void Hold();
    // An interrupt also comes when `event` is set: a supervisor's, passed on.
    // Takes the handle.
    static void Relay(HANDLE event);
    // `receiver` takes each interrupt from now on, on the console's thread,
    // until Release. True when one was kept for it, which it should take too.
    static bool Receive(std::function<void()> receiver);
    static void Release();
    // What the console calls. TRUE: the event is taken and does not end the
    // process by itself.
    static BOOL WINAPI OnEvent(DWORD event);
};

} // namespace dedarida
