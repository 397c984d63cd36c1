#include "tests/serial/wait_for_either.h"

#include <poll.h>

namespace dedarida::test {

bool WaitForEither(int first, int second) {
    pollfd fds[2] = {{first, POLLIN, 0}, {second, POLLIN, 0}};
    poll(fds, 2, -1);
    return (fds[0].revents & POLLIN) != 0;
}

} // namespace dedarida::test
