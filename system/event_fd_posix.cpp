#include "serial/ecomport.h"
#include "system/event_fd.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>

namespace dedarida {

EventFd::EventFd() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0)
        throw EComPort("Unable to create event: " + std::to_string(errno));
}

EventFd::~EventFd() {
    close(fd_);
}

void EventFd::Set() {
    const std::uint64_t one = 1;
    // A full counter is still readable, which is all Set promises.
    [[maybe_unused]] const ssize_t n = write(fd_, &one, sizeof one);
}

void EventFd::Reset() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(fd_, &count, sizeof count);
}

} // namespace dedarida
