#include "app/headless/process_setup.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace dedarida {

void PrepareProcess() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0) {
            // The lowest free descriptor is this one.
            const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (null >= 0 && null != fd)
                close(null);
        }
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace dedarida
