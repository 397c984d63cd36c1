#include "serial/descriptor_watch_posix.h"

#include <cerrno>
#include <poll.h>

namespace dedarida {

DescriptorWatch::DescriptorWatch(int fd, std::function<void()> readable)
    : thread_([this, fd, readable = std::move(readable)] {
          pollfd fds[2] = {{fd, POLLIN, 0}, {stop_.Fd(), POLLIN, 0}};
          for (;;) {
              if (poll(fds, 2, -1) < 0) {
                  if (errno == EINTR)
                      continue;
                  return;
              }
              if (fds[1].revents != 0)
                  return;
              readable();
          }
      }) {}

DescriptorWatch::~DescriptorWatch() {
    stop_.Set();
    thread_.join();
}

} // namespace dedarida
