#include "serial/driver/tty_calls_posix.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace dedarida {

int TtyCalls::Open(const char* path, int flags) {
    return ::open(path, flags);
}

int TtyCalls::Close(int fd) {
    return ::close(fd);
}

ssize_t TtyCalls::Read(int fd, void* data, std::size_t count) {
    return ::read(fd, data, count);
}

ssize_t TtyCalls::Write(int fd, const void* data, std::size_t count) {
    return ::write(fd, data, count);
}

int TtyCalls::Ioctl(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}

int TtyCalls::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}

int TtyCalls::PollLineEvents(pollfd* fds, nfds_t count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}

int TtyCalls::WaitModemChange(int fd, int lines) {
    return ::ioctl(fd, TIOCMIWAIT, lines);
}

TtyCalls& SystemTtyCalls() {
    static TtyCalls calls;
    return calls;
}

} // namespace dedarida
