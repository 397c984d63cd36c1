#pragma once

#include <cstddef>
#include <poll.h>
#include <sys/types.h>

namespace dedarida {

// The system calls the POSIX driver makes on a tty. The default forwards them
// unchanged; a test bench overrides some to show what real lines do that a
// pty never does (line errors, held output, a pulled adapter). Each call
// returns as the system call does, with errno set on failure. Thread-safe.
class TtyCalls {
public:
    virtual ~TtyCalls() = default;

    virtual int Open(const char* path, int flags);
    virtual int Close(int fd);
    virtual ssize_t Read(int fd, void* data, std::size_t count);
    virtual ssize_t Write(int fd, const void* data, std::size_t count);
    virtual int Ioctl(int fd, unsigned long request, void* argument);
    // A wait of a data transfer.
    virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);
    // A wait of the event thread for line events: each return is a wake-up.
    virtual int PollLineEvents(pollfd* fds, nfds_t count, int timeoutMs);
    // TIOCMIWAIT takes its mask by value.
    virtual int WaitModemChange(int fd, int lines);
};

// The calls as they are.
TtyCalls& SystemTtyCalls();

} // namespace dedarida
