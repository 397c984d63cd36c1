#pragma once

namespace dedarida {

// A manual-reset event: Set makes it readable (signalled) until Reset. On
// Linux a non-blocking, close-on-exec eventfd; on Windows an event object,
// whose handle Fd gives as an int. Thread-safe.
class EventFd {
public:
    EventFd();
    EventFd(const EventFd&) = delete;
    EventFd& operator=(const EventFd&) = delete;
    ~EventFd();

    void Set();
    void Reset();
    int Fd() const { return fd_; }

private:
    int fd_;
};

} // namespace dedarida
