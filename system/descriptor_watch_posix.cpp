#include "system/descriptor_watch_posix.h"

#include <cerrno>
#include <chrono>
#include <poll.h>

namespace dedarida {

DescriptorWatch::DescriptorWatch(int fd, std::function<void()> readable)
    : thread_([this, fd, readable = std::move(readable)] {
          pollfd fds[2] = {{fd, POLLIN, 0}, {stop_.Fd(), POLLIN, 0}};
          for (;;) {
              // With two valid descriptors poll fails only for want of
              // memory, which passes; the watch must not end unseen.
              if (poll(fds, 2, -1) < 0) {
                  if (errno != EINTR)
                      std::this_thread::sleep_for(std::chrono::milliseconds(100));
                  continue;
              }
              if (fds[1].revents != 0)
                  return;
              try {
                  readable();
              } catch (...) {
                  // One change not passed on; the next one is.
              }
          }
      }) {}

DescriptorWatch::~DescriptorWatch() {
    stop_.Set();
    thread_.join();
}

} // namespace dedarida
