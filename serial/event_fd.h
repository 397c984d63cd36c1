#pragma once

namespace dedarida {

// A Linux eventfd used as a manual-reset event: Set makes it readable until
// Reset. Non-blocking, close-on-exec. Thread-safe.
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
