#include "serial/ecomport.h"
#include "system/event_fd.h"

#include <string>
#include <windows.h>

namespace dedarida {

// Kernel handles carry 32 significant bits on 64-bit Windows, so the handle
// travels as the int the shared interface has.
EventFd::EventFd() : fd_(HandleToLong(CreateEventA(nullptr, TRUE, FALSE, nullptr))) {
    if (fd_ == 0)
        throw EComPort("Unable to create event: " + std::to_string(GetLastError()));
}

EventFd::~EventFd() {
    CloseHandle(LongToHandle(fd_));
}

void EventFd::Set() {
    SetEvent(LongToHandle(fd_));
}

void EventFd::Reset() {
    ResetEvent(LongToHandle(fd_));
}

} // namespace dedarida
