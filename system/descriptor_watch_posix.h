#pragma once

#include "system/event_fd.h"

#include <functional>
#include <thread>

namespace dedarida {

// Runs `readable` on a thread of its own each time the descriptor `fd` can be
// read, until it is destroyed; `readable` must take what is there. Waits in
// poll, never on a timer.
class DescriptorWatch {
public:
    DescriptorWatch(int fd, std::function<void()> readable);
    ~DescriptorWatch();
    DescriptorWatch(const DescriptorWatch&) = delete;
    DescriptorWatch& operator=(const DescriptorWatch&) = delete;

private:
    EventFd stop_;
    std::thread thread_;
};

} // namespace dedarida
